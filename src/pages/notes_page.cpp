// The Notes tab: a property's notes, newest first, with date, author, title and text.
#include "pages/page_frame.h"
#include "pages/page_statements.h"
#include "pages/tab_cells.h"
#include "pages/tab_page.h"

namespace qv {

namespace {

void WriteHead(PageContext& page, int32_t /*propertyId*/) {
  PageStream& out = page.out;
  out.WriteString(frame::kPlainTable);
  out.WriteString("<THEAD><TR VALIGN=TOP>");
  out.WriteString("<TD WIDTH=15% bgcolor=\"#99CCFF\"><B><P>Note Date<BR></P></B></TD>");
  out.WriteString("<TD WIDTH=10% bgcolor=\"#99CCFF\"><B><P>Note By<BR></P></B></TD>");
  out.WriteString(
      "<TD WIDTH=75% bgcolor=\"#99CCFF\"><B><P>Note Title and Note Text<BR></P></B></TD>");
  out.WriteString("</TR></THEAD>");
  out.WriteString("<TBODY><TR VALIGN=TOP>");
}

void WriteNoRows(PageContext& page) {
  PageStream& out = page.out;
  out.WriteString("<TD WIDTH=15% bgcolor=\"#E8E8E8\"><P>");
  out.WriteString("No Notes<br>");
  out.WriteString("</P></TD>");
  out.WriteString("<TD WIDTH=10% bgcolor=\"#E8E8E8\"><P>");
  out.WriteString(" <br>");
  out.WriteString("</P></TD>");
  out.WriteString("<TD WIDTH=75% bgcolor=\"#E8E8E8\"><P>");
  out.WriteString(" <br>");
  out.WriteString("</P></TD></TR>");
}

void WriteRow(PageContext& page, const Cursor<NoteColumn>& note) {
  PageStream& out = page.out;
  tabcells::WriteValueCell(out, "<TD WIDTH=15% bgcolor=\"#E8E8E8\"><P>",
                           note.Text(NoteColumn::kEnteredDate));
  tabcells::WriteValueCell(out, "<TD WIDTH=10% bgcolor=\"#E8E8E8\"><P>",
                           note.Text(NoteColumn::kEnteredBy));
  out.WriteString("<TD WIDTH=75% bgcolor=\"#E8E8E8\"><P>");
  out.WriteString("<b>");
  out.WriteString(note.Text(NoteColumn::kNoteTitle));
  out.WriteString(": </b> ");
  out.WriteString(note.Text(NoteColumn::kNote));
  out.WriteString(" <br>");
  out.WriteString("</P></TD></TR>");
}

void WriteRows(PageContext& page, int32_t property_id) {
  WriteEachRow(page, kNotesQuery, property_id, WriteRow, WriteNoRows);
}

constexpr TabPageLayout kLayout{
    .title = "Property Notes",
    .write_head = WriteHead,
    .write_rows = WriteRows,
    .end = "</TBODY></TABLE>",
};

}  // namespace

void NotesPage(PageContext& page) { WriteTabPage(page, kLayout); }

}  // namespace qv
