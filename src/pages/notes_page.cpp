// The Notes tab: a property's notes, newest first, with date, author, title and text.
#include "pages/data_pages.h"
#include "pages/page_frame.h"
#include "pages/page_statements.h"
#include "pages/tab_cells.h"
#include "pages/tab_page.h"

namespace qv {

namespace {

NoteData ReadNote(const Cursor<NoteColumn>& note) {
  using enum NoteColumn;
  NoteData data;
  data.id = IntegerOf(note, kNotesId);
  data.entered = ShownDateOf(note, kEnteredDate, true);
  data.entered_by = TextOf(note, kEnteredBy);
  data.title = TextOf(note, kNoteTitle);
  data.text = TextOf(note, kNote);
  if (!note.IsNull(kFollowUpDate)) data.follow_up = DateValue{note.DateTimeValue(kFollowUpDate)};
  data.item_done = IntegerOf(note, kItemDone);
  return data;
}

void WriteHead(PageStream& out) {
  out.WriteString(frame::kPlainTable);
  out.WriteString("<THEAD><TR VALIGN=TOP>");
  out.WriteString("<TD WIDTH=15% bgcolor=\"#99CCFF\"><B><P>Note Date<BR></P></B></TD>");
  out.WriteString("<TD WIDTH=10% bgcolor=\"#99CCFF\"><B><P>Note By<BR></P></B></TD>");
  out.WriteString(
      "<TD WIDTH=75% bgcolor=\"#99CCFF\"><B><P>Note Title and Note Text<BR></P></B></TD>");
  out.WriteString("</TR></THEAD>");
  out.WriteString("<TBODY><TR VALIGN=TOP>");
}

void WriteNoRows(PageStream& out) {
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

void WriteRow(PageStream& out, const NoteData& note) {
  tabcells::WriteValueCell(out, "<TD WIDTH=15% bgcolor=\"#E8E8E8\"><P>", note.entered.text);
  tabcells::WriteValueCell(out, "<TD WIDTH=10% bgcolor=\"#E8E8E8\"><P>", Plain(note.entered_by));
  out.WriteString("<TD WIDTH=75% bgcolor=\"#E8E8E8\"><P>");
  out.WriteString("<b>");
  out.WriteString(Plain(note.title));
  out.WriteString(": </b> ");
  out.WriteString(Plain(note.text));
  out.WriteString(" <br>");
  out.WriteString("</P></TD></TR>");
}

}  // namespace

NotesData ReadNotesPage(PageContext& page) {
  NotesData data{ReadTabStart(page, "Property Notes", TabHeading::kPropertyQuery), {}};
  data.notes = ReadEachRow(page, kNotesQuery, data.start.requested_id, ReadNote);
  return data;
}

void WriteHtml(PageStream& out, const PageEntry& entry, const NotesData& data) {
  WriteTabStart(out, entry, data.start);
  WriteHead(out);
  if (data.notes.empty()) WriteNoRows(out);
  for (const NoteData& note : data.notes) WriteRow(out, note);
  out.WriteString("</TBODY></TABLE>");
}

void NotesPage(PageContext& page) { RenderPage(page, ReadNotesPage(page)); }

}  // namespace qv
