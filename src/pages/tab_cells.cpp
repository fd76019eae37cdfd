// Caption tables of the property tab pages.
#include "pages/tab_cells.h"

#include "pages/page_frame.h"

namespace qv::tabcells {

namespace {

void WriteCaptionCells(PageStream& out, std::span<const Caption> captions) {
  for (const Caption& caption : captions) {
    out.WriteString("<TD WIDTH=");
    out.WriteString(caption.width);
    out.WriteString(" bgcolor=\"#99CCFF\"><B><P>");
    out.WriteString(caption.text);
    out.WriteString("<BR></P></B></TD>");
  }
}

}  // namespace

void WriteCaptionTable(PageStream& out, std::span<const Caption> captions,
                       std::span<const Caption> more) {
  out.WriteString(frame::kPlainTable);
  out.WriteString("<THEAD><TR VALIGN=TOP>");
  WriteCaptionCells(out, captions);
  WriteCaptionCells(out, more);
  out.WriteString("</TR></THEAD>");
  out.WriteString("<TBODY><TR VALIGN=TOP>");
}

}  // namespace qv::tabcells
