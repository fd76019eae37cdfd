// The CPTED tab: a property's CPTED inspections, most recently started first,
// with the inspector and the milestone dates of the phases.
#include "pages/data_pages.h"
#include "pages/page_frame.h"
#include "pages/tab_cells.h"
#include "pages/tab_page.h"

namespace qv {

namespace {

enum class InspectionColumn {
  kInspectionId, kPropertyId, kTitle, kInspectorId, kInspectorName, kStartDate, kCheckBackDate,
  kMeetingDate, kFinishDate, kRenewalDate, kNote, kCount
};
constexpr QueryText<InspectionColumn> kInspectionsQuery{
    "SELECT \n"
    "  CI.CPTED_INSPECS_ID, \n"
    "  CI.PROPERTY_ID, \n"
    "  CI.TITLE, \n"
    "  CI.INSPEC_BY_ID, \n"
    "(SELECT U.DB_USER_NAME FROM DB_USERS U \n"
    " WHERE U.DB_USER_ID = CI.INSPEC_BY_ID) AS \n"
    "                INSPECTION_BY_NAME, \n"
    "  CI.START_DATE, \n"
    "  CI.CK_BACK_DATE, \n"
    "  CI.MEETING_DATE, \n"
    "  CI.FINISH_DATE, \n"
    "  CI.RENEWAL_DATE, \n"
    "  CI.NOTE \n"
    "FROM CPTED_INSPECS CI \n"
    "LEFT JOIN PROPERTY P ON (CI.PROPERTY_ID = P.PROPERTY_ID) \n"
    "WHERE CI.PROPERTY_ID = :PROPID\n"
    "   ORDER BY CI.START_DATE DESC "};

constexpr std::string_view kWide = "<TD WIDTH=15% bgcolor=\"#E8E8E8\"><P>";
constexpr std::string_view kNarrow = "<TD WIDTH=10% bgcolor=\"#E8E8E8\"><P>";

InspectionData ReadInspection(const Cursor<InspectionColumn>& inspection) {
  using enum InspectionColumn;
  InspectionData data;
  data.id = IntegerOf(inspection, kInspectionId);
  data.title = TextOf(inspection, kTitle);
  data.inspector_id = IntegerOf(inspection, kInspectorId);
  data.inspector_name = TextOf(inspection, kInspectorName);
  data.started = ShownDateOf(inspection, kStartDate);
  data.check_back = ShownDateOf(inspection, kCheckBackDate);
  data.meeting = ShownDateOf(inspection, kMeetingDate);
  data.finished = ShownDateOf(inspection, kFinishDate);
  data.renewal = ShownDateOf(inspection, kRenewalDate);
  return data;
}

void WriteHead(PageStream& out) {
  out.WriteString(frame::kPlainTable);
  out.WriteString("<THEAD><TR VALIGN=TOP>");
  out.WriteString("<TD WIDTH=15% bgcolor=\"#99CCFF\"><B><P>CPTED<BR>");
  out.WriteString("Inpection Title<BR></B></P></TD>");
  out.WriteString("<TD WIDTH=10% bgcolor=\"#99CCFF\"><B><P>Inpection<BR>");
  out.WriteString("By<BR></B></P></TD>");
  out.WriteString("<TD WIDTH=15% bgcolor=\"#99CCFF\"><B><P>CPTED Phase 2<BR>");
  out.WriteString("Started Date<BR></B></P></TD>");
  out.WriteString("<TD WIDTH=15% bgcolor=\"#99CCFF\"><B><P>CPTED Phase 2<BR>");
  out.WriteString("Check Back Date<BR></B></P></TD>");
  out.WriteString("<TD WIDTH=15% bgcolor=\"#99CCFF\"><B><P>CPTED Phase 2<BR>");
  out.WriteString("Completed Date<BR></B></P></TD>");
  out.WriteString("<TD WIDTH=15% bgcolor=\"#99CCFF\"><B><P>CPTED Phase 3<BR>");
  out.WriteString("Meeting Date<BR></B></P></TD>");
  out.WriteString("<TD WIDTH=15% bgcolor=\"#99CCFF\"><B><P>CPTED Annual<BR>");
  out.WriteString("Renewal Date<BR></B></P></TD>");
  out.WriteString("</TR></THEAD>");
  out.WriteString("<TBODY><TR VALIGN=TOP>");
}

void WriteNoRows(PageStream& out) {
  out.WriteString(kWide);
  out.WriteString("No Inspections <br>");
  out.WriteString("</P></TD>");
  out.WriteString(kNarrow);
  out.WriteString(" <br>");
  out.WriteString("</P></TD>");
  for (int i = 0; i < 4; ++i) {
    out.WriteString(kWide);
    out.WriteString(" <br>");
    out.WriteString("</P></TD>");
  }
  out.WriteString(kWide);
  out.WriteString(" <br>");
  out.WriteString("</P></TD></TR>");
}

void WriteRow(PageStream& out, const InspectionData& inspection) {
  tabcells::WriteValueCell(out, kWide, Plain(inspection.title));
  tabcells::WriteValueCell(out, kNarrow, Plain(inspection.inspector_name));
  // Dates in select-list order: under "Completed Date" stands the meeting
  // date and under "Meeting Date" the finish date.
  tabcells::WriteValueCell(out, kWide, inspection.started.text);
  tabcells::WriteValueCell(out, kWide, inspection.check_back.text);
  tabcells::WriteValueCell(out, kWide, inspection.meeting.text);
  tabcells::WriteValueCell(out, kWide, inspection.finished.text);
  tabcells::WriteValueCell(out, kWide, inspection.renewal.text, tabcells::kRowEnd);
}

}  // namespace

CptedData ReadCptedPage(PageContext& page) {
  CptedData data{ReadTabStart(page, "Property CPTED", TabHeading::kPropertyQuery), {}};
  data.inspections = ReadEachRow(page, kInspectionsQuery, data.start.requested_id, ReadInspection);
  return data;
}

void WriteHtml(PageStream& out, const PageEntry& entry, const CptedData& data) {
  WriteTabStart(out, entry, data.start);
  WriteHead(out);
  if (data.inspections.empty()) WriteNoRows(out);
  for (const InspectionData& inspection : data.inspections) WriteRow(out, inspection);
  out.WriteString("</TBODY></TABLE>");
}

void CptedPage(PageContext& page) { RenderPage(page, ReadCptedPage(page)); }

}  // namespace qv
