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

void WriteViolationRow(PageStream& out, const ViolationSummary& violation) {
  out.WriteString("<TD WIDTH=16% bgcolor=\"#E8E8E8\"><P><a href=\"/vdetail?vid=");
  out.WriteString(violation.id.text);
  out.WriteString("\">");
  out.WriteString(violation.date.text);
  out.WriteString("</a><br></P></TD>");
  WriteValueCell(out, kGreyCell14, Plain(violation.apartment));
  WriteValueCell(out, kGreyCell14, Plain(violation.case_number));
  WriteValueCell(out, kGreyCell14, Plain(violation.request_partner_number));
  WriteValueCell(out, kGreyCell14, YesNoText(violation.evictable.value_or(0)));
  WriteValueCell(out, kGreyCell14, Plain(violation.type_description));
  WriteValueCell(out, kGreyCell14, Plain(violation.action_description), kRowEnd);
}

}  // namespace qv::tabcells
