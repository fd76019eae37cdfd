// The Notes tab: a property's notes, newest first, with date, author, title and text.
#include "pages/page_frame.h"
#include "pages/tab_page.h"
#include "pages/page_text.h"
#include "pages/tab_cells.h"

namespace qv {

namespace {

constexpr TStatementText kNotesQuery{
    "SELECT \n"
    "   N.NOTES_ID, \n"
    "   N.SOURCE_TABLE, \n"
    "   N.SOURCE_KEY, \n"
    "   N.ENTERED_DATE, \n"
    "   N.NOTE, \n"
    "   N.ENTERED_BY, \n"
    "   N.NOTES_FOLLOW_UP_DATE, \n"
    "   N.NOTES_ITEM_DONE, \n"
    "   N.NOTE_TITLE \n"
    "FROM GEN_NOTES N \n"
    "LEFT JOIN PROPERTY P ON (N.SOURCE_KEY = P.PROPERTY_ID) \n"
    "WHERE N.SOURCE_TABLE = 1\n"
    "  AND P.PROPERTY_ID = :PROPID\n"
    "  ORDER BY ENTERED_DATE DESC"};

}  // namespace

void NotesPage(PageContext& page) {
  TStringStream& out = page.out;
  TPageRequest& request = page.request;
  BeginPageTransaction(page.db);
  out.WriteString(frame::kBareHead);
  PageBanner(page, "Property Notes");
  const int32_t requestedId = ParseRequestInteger(request.Param("PROPID"), 0);
  PropertyHeading(page, requestedId);

  out.WriteString(frame::kPlainTable);
  out.WriteString("<THEAD><TR VALIGN=TOP>");
  out.WriteString("<TD WIDTH=15% bgcolor=\"#99CCFF\"><B><P>Note Date<BR></P></B></TD>");
  out.WriteString("<TD WIDTH=10% bgcolor=\"#99CCFF\"><B><P>Note By<BR></P></B></TD>");
  out.WriteString(
      "<TD WIDTH=75% bgcolor=\"#99CCFF\"><B><P>Note Title and Note Text<BR></P></B></TD>");
  out.WriteString("</TR></THEAD>");
  out.WriteString("<TBODY><TR VALIGN=TOP>");

  TIB_Cursor& notes = page.db.Statement(kNotesQuery);
  notes.Params()[0].SetAsInteger(requestedId);
  notes.Open();
  notes.First();

  if (notes.RecordCount() < 1) {
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
    while (!notes.Eof()) {
      tabcells::WriteValueCell(out, "<TD WIDTH=15% bgcolor=\"#E8E8E8\"><P>",
                               notes.Fields()[3].AsString());
      tabcells::WriteValueCell(out, "<TD WIDTH=10% bgcolor=\"#E8E8E8\"><P>",
                               notes.Fields()[5].AsString());
      out.WriteString("<TD WIDTH=75% bgcolor=\"#E8E8E8\"><P>");
      out.WriteString("<b>" + notes.Fields()[8].AsString() + ": </b> " +
                      notes.Fields()[4].AsString() + " <br>");
      out.WriteString("</P></TD></TR>");
      notes.Next();
    }
  }
  notes.Close();
  out.WriteString("</TBODY></TABLE>");
  EndPageTransaction(page.db);
}

}  // namespace qv
