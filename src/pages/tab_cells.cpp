// Caption tables of the property tab pages.
#include "pages/tab_cells.h"

#include "pages/page_frame.h"

namespace qv::tabcells {

namespace {

void WriteCaptionCells(TStringStream& out, std::span<const TCaption> captions) {
  for (const TCaption& caption : captions) {
    out.WriteString("<TD WIDTH=");
    out.WriteString(caption.width);
    out.WriteString(" bgcolor=\"#99CCFF\"><B><P>");
    out.WriteString(caption.text);
    out.WriteString("<BR></P></B></TD>");
  }
}

}  // namespace

void WriteCaptionTable(TStringStream& out, std::span<const TCaption> captions,
                       std::span<const TCaption> more) {
  out.WriteString(frame::kPlainTable);
  out.WriteString("<THEAD><TR VALIGN=TOP>");
  WriteCaptionCells(out, captions);
  WriteCaptionCells(out, more);
  out.WriteString("</TR></THEAD>");
  out.WriteString("<TBODY><TR VALIGN=TOP>");
}

}  // namespace qv::tabcells
