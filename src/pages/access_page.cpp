// The Access Info tab: the access entries recorded for a property's addresses,
// with the date each was entered.
#include "pages/data_pages.h"
#include "pages/page_frame.h"
#include "pages/page_statements.h"
#include "pages/tab_page.h"
#include "platform/datetime.h"

namespace qv {

namespace {

AccessEntryData ReadEntry(const Cursor<AccessColumn>& access) {
  AccessEntryData entry{TextOf(access, AccessColumn::kType), TextOf(access, AccessColumn::kInfo),
                        std::nullopt};
  if (!access.IsNull(AccessColumn::kEnteredDate)) {
    entry.entered = DateValue{access.DateTimeValue(AccessColumn::kEnteredDate), true};
  }
  return entry;
}

void WriteHead(PageStream& out) {
  out.WriteString(frame::kPlainTable);
  out.WriteString("<THEAD><TR VALIGN=TOP>");
  out.WriteString("<TD WIDTH=33% bgcolor=\"#99CCFF\"><B><P>Access Type<BR></B></P></TD>");
  out.WriteString("<TD WIDTH=33% bgcolor=\"#99CCFF\"><B><P>Access Info<BR></B></P></TD>");
  out.WriteString("<TD WIDTH=34% bgcolor=\"#99CCFF\"><B><P>Date Entered<BR></B></P></TD>");
  out.WriteString("</TR></THEAD>");
  out.WriteString("<TBODY><TR VALIGN=TOP>");
}

// Each row closes the body it opened; nothing follows the last one.
void WriteRow(PageStream& out, const AccessEntryData& access) {
  out.WriteString("<TD WIDTH=33% bgcolor=\"#E8E8E8\"><P>");
  out.WriteString(Plain(access.type));
  out.WriteString("<BR></B></P></TD>");
  out.WriteString("<TD WIDTH=33% bgcolor=\"#E8E8E8\"><P>");
  out.WriteString(Plain(access.info));
  out.WriteString("<BR></B></P></TD>");
  out.WriteString("<TD WIDTH=33% bgcolor=\"#E8E8E8\"><P>");
  // "mm/dd/yyyy"; a NULL date is day zero, 12/30/1899.
  out.WriteString(PaddedDateText(DecodeDateTime(access.entered ? access.entered->days : 0)));
  out.WriteString("<BR></B></P></TD>");
  out.WriteString("</TR></TBODY>");
}

}  // namespace

AccessData ReadAccessPage(PageContext& page) {
  AccessData data{ReadTabStart(page, "Property Access", TabHeading::kPropertyQuery), {}};
  data.entries = ReadEachRow(page, kAccessQuery, data.start.requested_id, ReadEntry);
  return data;
}

void WriteHtml(PageStream& out, const PageEntry& entry, const AccessData& data) {
  WriteTabStart(out, entry, data.start);
  WriteHead(out);
  for (const AccessEntryData& access : data.entries) WriteRow(out, access);
}

void AccessPage(PageContext& page) { RenderPage(page, ReadAccessPage(page)); }

}  // namespace qv
