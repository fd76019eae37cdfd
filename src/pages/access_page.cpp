// The Access Info tab: the access entries recorded for a property's addresses,
// with the date each was entered.
#include "pages/page_frame.h"
#include "pages/page_statements.h"
#include "pages/tab_page.h"
#include "platform/datetime.h"

namespace qv {

namespace {

void WriteHead(PageContext& page, int32_t /*propertyId*/) {
  PageStream& out = page.out;
  out.WriteString(frame::kPlainTable);
  out.WriteString("<THEAD><TR VALIGN=TOP>");
  out.WriteString("<TD WIDTH=33% bgcolor=\"#99CCFF\"><B><P>Access Type<BR></B></P></TD>");
  out.WriteString("<TD WIDTH=33% bgcolor=\"#99CCFF\"><B><P>Access Info<BR></B></P></TD>");
  out.WriteString("<TD WIDTH=34% bgcolor=\"#99CCFF\"><B><P>Date Entered<BR></B></P></TD>");
  out.WriteString("</TR></THEAD>");
  out.WriteString("<TBODY><TR VALIGN=TOP>");
}

void WriteRow(PageContext& page, const Cursor<AccessColumn>& access) {
  PageStream& out = page.out;
  out.WriteString("<TD WIDTH=33% bgcolor=\"#E8E8E8\"><P>");
  out.WriteString(access.Text(AccessColumn::kType));
  out.WriteString("<BR></B></P></TD>");
  out.WriteString("<TD WIDTH=33% bgcolor=\"#E8E8E8\"><P>");
  out.WriteString(access.Text(AccessColumn::kInfo));
  out.WriteString("<BR></B></P></TD>");
  out.WriteString("<TD WIDTH=33% bgcolor=\"#E8E8E8\"><P>");
  // "mm/dd/yyyy"; a NULL date is day zero, 12/30/1899.
  out.WriteString(PaddedDateText(DecodeDateTime(access.DateTimeValue(AccessColumn::kEnteredDate))));
  out.WriteString("<BR></B></P></TD>");
  out.WriteString("</TR></TBODY>");
}

void WriteRows(PageContext& page, int32_t property_id) {
  WriteEachRow(page, kAccessQuery, property_id, WriteRow);
}

// Each row closes the body it opened; nothing follows the last one.
constexpr TabPageLayout kLayout{
    .title = "Property Access",
    .write_head = WriteHead,
    .write_rows = WriteRows,
    .end = "",
};

}  // namespace

void AccessPage(PageContext& page) { WriteTabPage(page, kLayout); }

}  // namespace qv
