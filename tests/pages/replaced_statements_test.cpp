// Statements whose text was changed for speed return the same rows in the
// same order as the texts they replaced, on a database made to tell them
// apart: rows whose record order differs from their key order (deleted rows
// leave gaps that later rows fill), equal sort keys, NULLs, rows of other
// owners with the same key, and addresses without entries.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "db/cursor.h"
#include "page_fixture.h"
#include "pages/page_statements.h"

namespace qv::pagetest {
namespace {

// Every row of a statement run with one integer parameter, each as its
// columns' texts joined by '|'.
std::vector<std::string> Rows(DatabaseSession& session, std::string_view text, int32_t id) {
  const ParamValue values[] = {id};
  std::vector<std::string> rows;
  for (auto cursor = session.QueryRows(text, values); !cursor.AtEnd(); cursor.Next()) {
    std::string row;
    for (size_t i = 0; i < cursor.ColumnCount(); ++i) row += std::string(cursor.Text(i)) + "|";
    rows.push_back(row);
  }
  return rows;
}

constexpr std::string_view kOldAccessQuery =
    "select g.phone_type, g.phone_number, g.entered_date\n"
    "from gen_phones g\n"
    "join prop_address a on g.source_key = a.prop_address_id\n"
    "where g.source_table = 3\n"
    "and a.property_id = :PROPID";

constexpr std::string_view kOldNotesQuery =
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
    "  ORDER BY ENTERED_DATE DESC";

// Properties 1 to 4 (3 has no address, 4 does not exist but has notes and
// entries); addresses 12, 11 (property 1, in that record order), 21 (property 2), 41 (property 4).
// Entries and notes go in with ids that run against their record order, and
// a first batch is deleted so that later rows reuse its record numbers.
void LoadTricky(TestDatabase& database) {
  std::string s =
      "INSERT INTO PROPERTY (PROPERTY_ID, PROPERTY_NAME) VALUES (1, 'One');"
      "INSERT INTO PROPERTY (PROPERTY_ID, PROPERTY_NAME) VALUES (2, 'Two');"
      "INSERT INTO PROPERTY (PROPERTY_ID, PROPERTY_NAME) VALUES (3, NULL);"
      "INSERT INTO PROP_ADDRESS (PROP_ADDRESS_ID, PROPERTY_ID) VALUES (12, 1);"
      "INSERT INTO PROP_ADDRESS (PROP_ADDRESS_ID, PROPERTY_ID) VALUES (21, 2);"
      "INSERT INTO PROP_ADDRESS (PROP_ADDRESS_ID, PROPERTY_ID) VALUES (11, 1);"
      "INSERT INTO PROP_ADDRESS (PROP_ADDRESS_ID, PROPERTY_ID) VALUES (41, 4);";
  for (int i = 1; i <= 30; ++i) {
    s += "INSERT INTO GEN_PHONES (PHONE_ID, SOURCE_TABLE, SOURCE_KEY) VALUES (" +
         std::to_string(9000 + i) + ", 3, 11);";
    s += "INSERT INTO GEN_NOTES (NOTES_ID, SOURCE_TABLE, SOURCE_KEY) VALUES (" +
         std::to_string(9000 + i) + ", 1, 1);";
  }
  database.ExecScript(s);
  database.Exec("DELETE FROM GEN_PHONES");
  database.Exec("DELETE FROM GEN_NOTES");
  s.clear();
  const char* const kKeys[] = {"11", "12", "21", "41", "11", "12"};
  for (int i = 1; i <= 60; ++i) {
    const int id = (i * 37) % 101;  // ids out of insertion order
    const std::string key = kKeys[i % 6];
    const std::string date = i % 7 == 0 ? "NULL"
                                        : "'2007-03-0" + std::to_string(1 + i % 3) + " " +
                                              (i % 2 ? "00:00:00'" : "10:30:00'");
    const std::string type = i % 5 == 0 ? "NULL" : "'Type " + std::to_string(i % 4) + "'";
    // Access entries of the addresses, and entity phones with the same keys.
    s += "INSERT INTO GEN_PHONES (PHONE_ID, SOURCE_TABLE, SOURCE_KEY, PHONE_TYPE, PHONE_NUMBER, "
         "ENTERED_DATE) VALUES (" +
         std::to_string(id) + ", " + (i % 9 == 0 ? "2" : "3") + ", " + key + ", " + type +
         ", '#" + std::to_string(i) + "', " + date + ");";
    // Notes of properties 1, 2 and 4 (not there), and of another owner with key 1.
    const std::string property = std::to_string(i % 4 == 3 ? 2 : i % 8 == 5 ? 4 : 1);
    s += "INSERT INTO GEN_NOTES (NOTES_ID, SOURCE_TABLE, SOURCE_KEY, ENTERED_DATE, NOTE, "
         "ENTERED_BY, NOTE_TITLE) VALUES (" +
         std::to_string(id) + ", " + (i % 11 == 0 ? "2" : "1") + ", " + property + ", " + date +
         ", " + (i % 6 == 0 ? "NULL" : "'text " + std::to_string(i % 3) + "'") + ", 'kd', " +
         type + ");";
  }
  database.ExecScript(s);
}

TEST_F(PageTest, AccessAndNotesGiveTheRowsOfTheTextsTheyReplaced) {
  LoadTricky(database);
  for (int32_t id : {0, 1, 2, 3, 4, 5}) {
    SCOPED_TRACE(id);
    const auto old_access = Rows(session, kOldAccessQuery, id);
    EXPECT_EQ(Rows(session, kAccessQuery.sql, id), old_access);
    const auto old_notes = Rows(session, kOldNotesQuery, id);
    EXPECT_EQ(Rows(session, kNotesQuery.sql, id), old_notes);
    if (id == 1) {  // the case that tells orders apart has rows to tell
      EXPECT_GT(old_access.size(), 10u);
      EXPECT_GT(old_notes.size(), 10u);
    }
  }
}

}  // namespace
}  // namespace qv::pagetest
