// The CPTED tab: a property's CPTED inspections, most recently started first,
// with the inspector and the milestone dates of the phases.
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

void WriteHead(PageContext& page, int32_t /*propertyId*/) {
  PageStream& out = page.out;
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

void WriteNoRows(PageContext& page) {
  PageStream& out = page.out;
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

void WriteRow(PageContext& page, const Cursor<InspectionColumn>& inspection) {
  using enum InspectionColumn;
  PageStream& out = page.out;
  tabcells::WriteValueCell(out, kWide, inspection.Text(kTitle));
  tabcells::WriteValueCell(out, kNarrow, inspection.Text(kInspectorName));
  // Dates in select-list order: under "Completed Date" stands the meeting
  // date and under "Meeting Date" the finish date.
  tabcells::WriteValueCell(out, kWide, inspection.Text(kStartDate));
  tabcells::WriteValueCell(out, kWide, inspection.Text(kCheckBackDate));
  tabcells::WriteValueCell(out, kWide, inspection.Text(kMeetingDate));
  tabcells::WriteValueCell(out, kWide, inspection.Text(kFinishDate));
  tabcells::WriteValueCell(out, kWide, inspection.Text(kRenewalDate), tabcells::kRowEnd);
}

void WriteRows(PageContext& page, int32_t property_id) {
  WriteEachRow(page, kInspectionsQuery, property_id, WriteRow, WriteNoRows);
}

constexpr TabPageLayout kLayout{
    .title = "Property CPTED",
    .write_head = WriteHead,
    .write_rows = WriteRows,
    .end = "</TBODY></TABLE>",
};

}  // namespace

void CptedPage(PageContext& page) { WriteTabPage(page, kLayout); }

}  // namespace qv
