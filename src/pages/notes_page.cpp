// The Notes tab: a property's notes, newest first, with date, author, title and text.
#include "pages/page_frame.h"
#include "pages/page_module.h"
#include "pages/page_text.h"
#include "pages/tab_cells.h"

namespace qv {

void TPageModule::NotesPage(TStringStream& out, TPageRequest& request) {
  BeginPageTransaction();
  out.WriteString(frame::kBareHead);
  PageBanner(out, request, "Property Notes");
  const int32_t requestedId = ParseRequestInteger(request.Param("PROPID"), 0);
  PropertyHeading(out, request, requestedId, kTabNotes);

  out.WriteString(frame::kPlainTable);
  out.WriteString("<THEAD><TR VALIGN=TOP>");
  out.WriteString("<TD WIDTH=15% bgcolor=\"#99CCFF\"><B><P>Note Date<BR></P></B></TD>");
  out.WriteString("<TD WIDTH=10% bgcolor=\"#99CCFF\"><B><P>Note By<BR></P></B></TD>");
  out.WriteString(
      "<TD WIDTH=75% bgcolor=\"#99CCFF\"><B><P>Note Title and Note Text<BR></P></B></TD>");
  out.WriteString("</TR></THEAD>");
  out.WriteString("<TBODY><TR VALIGN=TOP>");

  qNotes.SQL().Clear();
  qNotes.SQL().Add("SELECT ");
  qNotes.SQL().Add("   N.NOTES_ID, ");
  qNotes.SQL().Add("   N.SOURCE_TABLE, ");
  qNotes.SQL().Add("   N.SOURCE_KEY, ");
  qNotes.SQL().Add("   N.ENTERED_DATE, ");
  qNotes.SQL().Add("   N.NOTE, ");
  qNotes.SQL().Add("   N.ENTERED_BY, ");
  qNotes.SQL().Add("   N.NOTES_FOLLOW_UP_DATE, ");
  qNotes.SQL().Add("   N.NOTES_ITEM_DONE, ");
  qNotes.SQL().Add("   N.NOTE_TITLE ");
  qNotes.SQL().Add("FROM GEN_NOTES N ");
  qNotes.SQL().Add("LEFT JOIN PROPERTY P ON (N.SOURCE_KEY = P.PROPERTY_ID) ");
  qNotes.SQL().Add("WHERE N.SOURCE_TABLE = 1");
  qNotes.SQL().Add("  AND P.PROPERTY_ID = " + std::to_string(requestedId));
  qNotes.SQL().Add("  ORDER BY ENTERED_DATE DESC");
  qNotes.Prepare();
  qNotes.Open();
  qNotes.First();

  if (qNotes.RecordCount() < 1) {
    out.WriteString("<TD WIDTH=15% bgcolor=\"#E8E8E8\"><P>");
    out.WriteString("No Notes<br>");
    out.WriteString("</P></TD>");
    out.WriteString("<TD WIDTH=10% bgcolor=\"#E8E8E8\"><P>");
    out.WriteString(" <br>");
    out.WriteString("</P></TD>");
    out.WriteString("<TD WIDTH=75% bgcolor=\"#E8E8E8\"><P>");
    out.WriteString(" <br>");
    out.WriteString("</P></TD></TR>");
  } else {
    while (!qNotes.Eof()) {
      tabcells::WriteValueCell(out, "<TD WIDTH=15% bgcolor=\"#E8E8E8\"><P>",
                               qNotes.Fields()[3].AsString());
      tabcells::WriteValueCell(out, "<TD WIDTH=10% bgcolor=\"#E8E8E8\"><P>",
                               qNotes.Fields()[5].AsString());
      out.WriteString("<TD WIDTH=75% bgcolor=\"#E8E8E8\"><P>");
      out.WriteString("<b>" + qNotes.Fields()[8].AsString() + ": </b> " +
                      qNotes.Fields()[4].AsString() + " <br>");
      out.WriteString("</P></TD></TR>");
      qNotes.Next();
    }
  }
  qNotes.Close();
  out.WriteString("</TBODY></TABLE>");
  EndPageTransaction();
}

}  // namespace qv
