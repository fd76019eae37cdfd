// The CPTED tab: a property's CPTED inspections, most recently started first,
// with the inspector and the milestone dates of the phases.
#include "pages/page_frame.h"
#include "pages/page_module.h"
#include "pages/page_text.h"
#include "pages/tab_cells.h"

namespace qv {

void TPageModule::CptedPage(TStringStream& out, TPageRequest& request) {
  BeginPageTransaction();
  out.WriteString(frame::kBareHead);
  PageBanner(out, request, "Property CPTED");
  const int32_t requestedId = ParseRequestInteger(request.Param("PROPID"), 0);
  PropertyHeading(out, request, requestedId, kTabCpted);

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

  qInspecs.SQL().Clear();
  qInspecs.SQL().Add("SELECT ");
  qInspecs.SQL().Add("  CI.CPTED_INSPECS_ID, ");
  qInspecs.SQL().Add("  CI.PROPERTY_ID, ");
  qInspecs.SQL().Add("  CI.TITLE, ");
  qInspecs.SQL().Add("  CI.INSPEC_BY_ID, ");
  qInspecs.SQL().Add("(SELECT U.DB_USER_NAME FROM DB_USERS U ");
  qInspecs.SQL().Add(" WHERE U.DB_USER_ID = CI.INSPEC_BY_ID) AS ");
  qInspecs.SQL().Add("                INSPECTION_BY_NAME, ");
  qInspecs.SQL().Add("  CI.START_DATE, ");
  qInspecs.SQL().Add("  CI.CK_BACK_DATE, ");
  qInspecs.SQL().Add("  CI.MEETING_DATE, ");
  qInspecs.SQL().Add("  CI.FINISH_DATE, ");
  qInspecs.SQL().Add("  CI.RENEWAL_DATE, ");
  qInspecs.SQL().Add("  CI.NOTE ");
  qInspecs.SQL().Add("FROM CPTED_INSPECS CI ");
  qInspecs.SQL().Add("LEFT JOIN PROPERTY P ON (CI.PROPERTY_ID = P.PROPERTY_ID) ");
  qInspecs.SQL().Add("WHERE CI.PROPERTY_ID = " + std::to_string(requestedId));
  qInspecs.SQL().Add("   ORDER BY CI.START_DATE DESC ");
  qInspecs.Prepare();
  qInspecs.Open();
  qInspecs.First();

  const std::string_view wide = "<TD WIDTH=15% bgcolor=\"#E8E8E8\"><P>";
  const std::string_view narrow = "<TD WIDTH=10% bgcolor=\"#E8E8E8\"><P>";
  if (qInspecs.RecordCount() < 1) {
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
    while (!qInspecs.Eof()) {
      TIB_Row& f = qInspecs.Fields();
      tabcells::WriteValueCell(out, wide, f[2].AsString());    // title
      tabcells::WriteValueCell(out, narrow, f[4].AsString());  // inspector
      // Dates in select-list order: under "Completed Date" stands the meeting
      // date and under "Meeting Date" the finish date.
      tabcells::WriteValueCell(out, wide, f[5].AsString());
      tabcells::WriteValueCell(out, wide, f[6].AsString());
      tabcells::WriteValueCell(out, wide, f[7].AsString());
      tabcells::WriteValueCell(out, wide, f[8].AsString());
      tabcells::WriteValueCell(out, wide, f[9].AsString(), tabcells::kRowEnd);
      qInspecs.Next();
    }
  }
  qInspecs.Close();
  out.WriteString("</TBODY></TABLE>");
  EndPageTransaction();
}

}  // namespace qv
