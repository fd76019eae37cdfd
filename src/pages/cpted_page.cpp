// The CPTED tab: a property's CPTED inspections, most recently started first,
// with the inspector and the milestone dates of the phases.
#include "pages/page_frame.h"
#include "pages/tab_page.h"
#include "pages/page_text.h"
#include "pages/tab_cells.h"

namespace qv {

namespace {

constexpr TStatementText kInspectionsQuery{
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

}  // namespace

void CptedPage(PageContext& page) {
  TStringStream& out = page.out;
  TPageRequest& request = page.request;
  BeginPageTransaction(page.db);
  out.WriteString(frame::kBareHead);
  PageBanner(page, "Property CPTED");
  const int32_t requestedId = ParseRequestInteger(request.Param("PROPID"), 0);
  PropertyHeading(page, requestedId);

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

  TIB_Cursor& inspections = page.db.Statement(kInspectionsQuery);
  inspections.Params()[0].SetAsInteger(requestedId);
  inspections.Open();
  inspections.First();

  const std::string_view wide = "<TD WIDTH=15% bgcolor=\"#E8E8E8\"><P>";
  const std::string_view narrow = "<TD WIDTH=10% bgcolor=\"#E8E8E8\"><P>";
  if (inspections.RecordCount() < 1) {
    out.WriteString(wide);
    out.WriteString("No Inspections <br>");
    out.WriteString("</P></TD>");
    out.WriteString(narrow);
    out.WriteString(" <br>");
    out.WriteString("</P></TD>");
    for (int i = 0; i < 4; ++i) {
      out.WriteString(wide);
      out.WriteString(" <br>");
      out.WriteString("</P></TD>");
    }
    out.WriteString(wide);
    out.WriteString(" <br>");
    out.WriteString("</P></TD></TR>");
  } else {
    while (!inspections.Eof()) {
      TIB_Row& f = inspections.Fields();
      tabcells::WriteValueCell(out, wide, f[2].AsString());    // title
      tabcells::WriteValueCell(out, narrow, f[4].AsString());  // inspector
      // Dates in select-list order: under "Completed Date" stands the meeting
      // date and under "Meeting Date" the finish date.
      tabcells::WriteValueCell(out, wide, f[5].AsString());
      tabcells::WriteValueCell(out, wide, f[6].AsString());
      tabcells::WriteValueCell(out, wide, f[7].AsString());
      tabcells::WriteValueCell(out, wide, f[8].AsString());
      tabcells::WriteValueCell(out, wide, f[9].AsString(), tabcells::kRowEnd);
      inspections.Next();
    }
  }
  inspections.Close();
  out.WriteString("</TBODY></TABLE>");
  EndPageTransaction(page.db);
}

}  // namespace qv
