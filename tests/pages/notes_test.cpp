// The Notes page: a property's notes newest first, the empty row, NULL title
// and text, unescaped markup, and notes of other owners left out.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tab_page_test.h"
#include "tab_page_text.h"

namespace qv::pagetest {
namespace {

struct Note {
  std::string date, by, title, text;
};

std::string NotesPageText(std::string_view name, int32_t id, const std::vector<Note>& notes) {
  std::string s = TabPageStart("Property Notes", name, id, 3) + std::string(kPlainTable) +
                  "<THEAD><TR VALIGN=TOP>"
                  "<TD WIDTH=15% bgcolor=\"#99CCFF\"><B><P>Note Date<BR></P></B></TD>"
                  "<TD WIDTH=10% bgcolor=\"#99CCFF\"><B><P>Note By<BR></P></B></TD>"
                  "<TD WIDTH=75% bgcolor=\"#99CCFF\"><B><P>Note Title and Note Text<BR></P></B>"
                  "</TD></TR></THEAD>" +
                  std::string(kRowStart);
  const std::string wide = "<TD WIDTH=15% bgcolor=\"#E8E8E8\"><P>";
  const std::string narrow = "<TD WIDTH=10% bgcolor=\"#E8E8E8\"><P>";
  const std::string text = "<TD WIDTH=75% bgcolor=\"#E8E8E8\"><P>";
  if (notes.empty()) {
    s += wide + "No Notes<br></P></TD>" + narrow + " <br></P></TD>" + text + " <br></P></TD></TR>";
  }
  for (const Note& n : notes) {
    s += Cell(wide, n.date) + Cell(narrow, n.by) + text + "<b>" + n.title + ": </b> " + n.text +
         " <br></P></TD></TR>";
  }
  return s + std::string(kTableEnd);
}

const std::vector<Note> kNotesOf42 = {
    {"6/1/2009", "akim", "Visit", ""},                          // NULL text
    {"3/15/2008 2:05:00 PM", "", "", "Untitled\r\ntwo lines"},  // NULL title and author
    {"1/10/2008", "jsmith", "Repair", "Gate <fixed> & oiled"},
};

class NotesTest : public TabPageTest {
 protected:
  NotesTest() {
    database.ExecScript(std::string(kAgencyRow) +
        "INSERT INTO PROPERTY (PROPERTY_ID, PROPERTY_NAME) VALUES (42, 'Harbor View');"
        "INSERT INTO PROPERTY (PROPERTY_ID, PROPERTY_NAME) VALUES (7, 'Elm Court');"
        "INSERT INTO GEN_NOTES (NOTES_ID, SOURCE_TABLE, SOURCE_KEY, ENTERED_DATE, NOTE, "
        "ENTERED_BY, NOTE_TITLE) VALUES (1, 1, 42, '2008-01-10', 'Gate <fixed> & oiled', "
        "'jsmith', 'Repair');"
        "INSERT INTO GEN_NOTES (NOTES_ID, SOURCE_TABLE, SOURCE_KEY, ENTERED_DATE, NOTE, "
        "ENTERED_BY, NOTE_TITLE) VALUES (2, 1, 42, '2009-06-01', NULL, 'akim', 'Visit');"
        "INSERT INTO GEN_NOTES (NOTES_ID, SOURCE_TABLE, SOURCE_KEY, ENTERED_DATE, NOTE, "
        "ENTERED_BY, NOTE_TITLE) VALUES (3, 1, 42, '2008-03-15 14:05:00', "
        "'Untitled' || ASCII_CHAR(13) || ASCII_CHAR(10) || 'two lines', NULL, NULL);"
        // Notes of other owners whose key equals a property id.
        "INSERT INTO GEN_NOTES (NOTES_ID, SOURCE_TABLE, SOURCE_KEY, ENTERED_DATE, NOTE, "
        "ENTERED_BY, NOTE_TITLE) VALUES (4, 2, 42, '2010-01-01', 'Entity note', 'x', 'E');"
        "INSERT INTO GEN_NOTES (NOTES_ID, SOURCE_TABLE, SOURCE_KEY, ENTERED_DATE, NOTE, "
        "ENTERED_BY, NOTE_TITLE) VALUES (5, 3, 7, '2010-01-01', 'Address note', 'x', 'A');");
  }
};

TEST_F(NotesTest, ListsThePropertysNotesNewestFirst) {
  EXPECT_EQ(RunWith("NotesPage", "PROPID", "42"),
            NotesPageText("Harbor View", 42, kNotesOf42));
}

TEST_F(NotesTest, PropertyWithoutNotesShowsTheEmptyRow) {
  EXPECT_EQ(RunWith("NotesPage", "PROPID", "7"), NotesPageText("Elm Court", 7, {}));
}

TEST_F(NotesTest, PropidFormsOnOneSession) {
  ExpectIdForms("NotesPage", "PROPID",
                NotesPageText("Harbor View", 42, kNotesOf42),
                NotesPageText("", 0, {}));
}

}  // namespace
}  // namespace qv::pagetest
