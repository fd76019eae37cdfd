#include "db/cursor.h"

#include <gtest/gtest.h>

#include "db/database_session.h"
#include "db/errors.h"
#include "support/test_database.h"

namespace qv {
namespace {

enum class AreaColumn { kId, kName, kCount };
constexpr QueryText<AreaColumn> kAreasInOrder{"SELECT AREA_ID, AREA_NAME\nFROM AREA\nORDER BY AREA_NAME"};
constexpr QueryText<AreaColumn> kAreaById{"SELECT AREA_ID, AREA_NAME FROM AREA WHERE AREA_ID = :ID"};

class CursorTest : public ::testing::Test {
 protected:
  void SetUp() override {
    db.ExecScript(
        "INSERT INTO AREA (AREA_ID, AREA_NAME) VALUES (1, 'North');"
        "INSERT INTO AREA (AREA_ID, AREA_NAME) VALUES (2, 'East');"
        "INSERT INTO AREA (AREA_ID, AREA_NAME) VALUES (3, 'West');"
        "INSERT INTO AREA (AREA_ID, AREA_NAME) VALUES (4, 'Central');"
        "INSERT INTO AREA (AREA_ID, AREA_NAME) VALUES (5, 'Harbor');"
        "INSERT INTO ENTITY (ENTITY_ID, FIRST_NAME, LAST_OR_COMPANY_NAME, PRIMARY_PHONE_ID) "
        "  VALUES (10, 'Ann', 'Lee', 100);"
        "INSERT INTO GEN_PHONES (PHONE_ID, SOURCE_TABLE, SOURCE_KEY, PHONE_TYPE, PHONE_NUMBER) "
        "  VALUES (100, 2, 10, 'Cell', '555-0100');");
    db.Configure(session.Connection());
    session.Attach();
  }

  TestDatabase db;
  DatabaseSession session;
};

TEST_F(CursorTest, RowsComeInOrderUntilTheEnd) {
  std::string names;
  for (auto areas = session.Query(kAreasInOrder); !areas.AtEnd(); areas.Next()) {
    names += std::string(areas.Text(AreaColumn::kName)) + "=" +
             std::to_string(areas.Integer(AreaColumn::kId)) + "|";
  }
  EXPECT_EQ(names, "Central=4|East=2|Harbor=5|North=1|West=3|");
}

TEST_F(CursorTest, NoRowsIsTheEndWithEveryColumnNull) {
  const auto areas = session.Query(kAreaById, 99);
  EXPECT_TRUE(areas.AtEnd());
  for (AreaColumn column : {AreaColumn::kId, AreaColumn::kName}) {
    EXPECT_TRUE(areas.IsNull(column));
    EXPECT_EQ(areas.Text(column), "");
    EXPECT_EQ(areas.Integer(column), 0);
  }
}

TEST_F(CursorTest, ColumnsTurnNullAfterTheLastRowAndNextThereRaises) {
  auto areas = session.Query(kAreaById, 3);
  ASSERT_FALSE(areas.AtEnd());
  EXPECT_EQ(areas.Integer(AreaColumn::kId), 3);
  EXPECT_EQ(areas.Text(AreaColumn::kName), "West");
  areas.Next();
  EXPECT_TRUE(areas.AtEnd());
  EXPECT_TRUE(areas.IsNull(AreaColumn::kName));
  EXPECT_EQ(areas.Integer(AreaColumn::kId), 0);
  EXPECT_EQ(areas.Text(AreaColumn::kName), "");
  try {
    areas.Next();
    FAIL() << "no exception";
  } catch (const DbError& e) {
    EXPECT_STREQ(e.what(), "At end of Dataset");
  }
}

// One prepared statement per text, run again with new values; the session
// counts what it asks of the server, not rows.
TEST_F(CursorTest, OneTextIsPreparedOnceAndRunWithEachValue) {
  const auto counts = session.Counts();
  for (int32_t id : {1, 2, 11}) {
    const auto area = session.Query(kAreaById, id);
    EXPECT_EQ(area.AtEnd(), id == 11);
  }
  for (auto areas = session.Query(kAreasInOrder); !areas.AtEnd(); areas.Next()) {
  }
  EXPECT_EQ(session.Counts().prepared - counts.prepared, 2u);
  EXPECT_EQ(session.Counts().executed - counts.executed, 4u);
  ASSERT_EQ(session.PreparedTexts().size(), 2u);
}

// A new attachment prepares the statements again; the old handles went with
// the old attachment.
TEST_F(CursorTest, ANewAttachmentPreparesAgain) {
  EXPECT_EQ(session.Query(kAreaById, 1).Text(AreaColumn::kName), "North");
  session.Detach();
  EXPECT_FALSE(session.Attached());
  db.Exec("UPDATE AREA SET AREA_NAME = 'Northgate' WHERE AREA_ID = 1");
  session.Attach();
  const uint64_t prepared = session.Counts().prepared;
  EXPECT_EQ(session.Query(kAreaById, 1).Text(AreaColumn::kName), "Northgate");
  EXPECT_EQ(session.Counts().prepared, prepared + 1);
}

TEST_F(CursorTest, TextParametersAndNull) {
  constexpr QueryText<AreaColumn> kByName{"SELECT AREA_ID, AREA_NAME FROM AREA WHERE AREA_NAME = ?"};
  EXPECT_EQ(session.Query(kByName, "Harbor").Integer(AreaColumn::kId), 5);
  EXPECT_EQ(session.Query(kByName, std::string("East")).Integer(AreaColumn::kId), 2);
  EXPECT_TRUE(session.Query(kByName, kNull).AtEnd());
  // A text longer than the column can hold matches nothing, and raises nothing.
  EXPECT_TRUE(session.Query(kByName, std::string(500, 'x')).AtEnd());
  try {
    session.Query(kByName);
    FAIL() << "no exception";
  } catch (const DbError& e) {
    EXPECT_EQ(std::string(e.what()).substr(0, 42), "The statement takes 1 parameters, 0 given:");
  }
}

// A whole number beyond 32 bits reaches a BIGINT parameter whole.
TEST_F(CursorTest, BigIntegerParameters) {
  enum class Number { kValue, kCount };
  constexpr QueryText<Number> kAbove{
      "SELECT CAST(? AS BIGINT) + 1 FROM RDB$DATABASE WHERE CAST(5000000000 AS BIGINT) > ?"};
  {
    const auto above = session.Query(kAbove, int64_t{4999999999}, int64_t{4999999999});
    ASSERT_FALSE(above.AtEnd());
    EXPECT_EQ(above.Text(Number::kValue), "5000000000");
  }
  EXPECT_TRUE(session.Query(kAbove, int64_t{1}, int64_t{5000000000}).AtEnd());
}

// Columns named beside a "*" select list are found by name once, when the
// statement is prepared; a name the statement lacks is told then.
TEST_F(CursorTest, NamedColumnsAreFoundWhenPrepared) {
  enum class Contact { kPhone, kFirstName, kCount };
  static constexpr std::string_view kNames[] = {"phone_number", "FIRST_NAME"};
  static constexpr QueryText<Contact> kContact{
      "SELECT E.*, G.* FROM ENTITY E\n"
      "LEFT JOIN GEN_PHONES G ON (G.PHONE_ID = E.PRIMARY_PHONE_ID)\n"
      "WHERE E.ENTITY_ID = :EID",
      kNames};
  {
    const auto contact = session.Query(kContact, 10);
    EXPECT_EQ(contact.Text(Contact::kFirstName), "Ann");
    EXPECT_EQ(contact.Text(Contact::kPhone), "555-0100");
  }
  EXPECT_TRUE(session.Query(kContact, 11).AtEnd());

  static constexpr std::string_view kMissing[] = {"PHONE_NUMBER", "NOPE"};
  static constexpr QueryText<Contact> kWrong{"SELECT E.*, G.* FROM ENTITY E, GEN_PHONES G", kMissing};
  try {
    session.Query(kWrong);
    FAIL() << "no exception";
  } catch (const DbError& e) {
    EXPECT_STREQ(e.what(), "FieldName: NOPE not found");
  }
}

// Without names, the select list must have the enum's columns exactly.
TEST_F(CursorTest, ASelectListThatDiffersFromItsColumnsIsRefused) {
  constexpr QueryText<AreaColumn> kOneColumn{"SELECT AREA_NAME FROM AREA"};
  try {
    session.Query(kOneColumn);
    FAIL() << "no exception";
  } catch (const DbError& e) {
    EXPECT_EQ(std::string(e.what()).substr(0, 45), "The statement yields 1 columns where 2 are na");
  }
}

TEST_F(CursorTest, OneCursorPerTextAtATime) {
  const auto first = session.Query(kAreaById, 1);
  EXPECT_THROW(session.Query(kAreaById, 2), DbError);
  EXPECT_EQ(first.Text(AreaColumn::kName), "North");
}

TEST_F(CursorTest, PlanNamesTheIndexTheServerChose) {
  EXPECT_EQ(session.Plan("SELECT AREA_NAME FROM AREA WHERE AREA_ID = :ID").rfind("PLAN (AREA INDEX (", 0),
            0u);
  EXPECT_EQ(session.Plan("SELECT AREA_NAME FROM AREA"), "PLAN (AREA NATURAL)");
}

// The plan of a query's own statement: prepared once, and the query runs it.
TEST_F(CursorTest, QueryPlanIsThePlanOfTheStatementTheQueryRuns) {
  EXPECT_EQ(session.QueryPlan(kAreasInOrder).rfind("PLAN SORT (", 0), 0u);
  const uint64_t prepared = session.Counts().prepared;
  EXPECT_EQ(session.Query(kAreasInOrder).Text(AreaColumn::kName), "Central");
  EXPECT_EQ(session.QueryPlan(kAreaById).rfind("PLAN (AREA INDEX (", 0), 0u);
  EXPECT_EQ(session.Counts().prepared, prepared + 1);
}

TEST_F(CursorTest, LinesReachTheServerJoinedByLineBreaks) {
  // A "--" comment ends at the line break, so the second line still counts.
  EXPECT_EQ(session.QueryRows("SELECT AREA_NAME -- the name\nFROM AREA WHERE AREA_ID = 1").Text(0),
            "North");
}

TEST_F(CursorTest, RejectedStatementRaisesTheClientMessage) {
  try {
    session.QueryRows("SELECT NO_SUCH_COLUMN\nFROM AREA WHERE AREA_ID = :ID");
    FAIL() << "no exception";
  } catch (const DbStatusError& e) {
    EXPECT_EQ(e.ErrCode(), 335544569);
    EXPECT_EQ(e.SqlCode(), -206);
    EXPECT_EQ(e.Sql(), "SELECT NO_SUCH_COLUMN\r\nFROM AREA WHERE AREA_ID = :ID");
    EXPECT_EQ(std::string(e.what()),
              "ISC ERROR CODE:335544569\r\n"
              "\r\n"
              "ISC ERROR MESSAGE:\r\n"
              "Dynamic SQL Error\r\n"
              "SQL error code = -206\r\n"
              "Column unknown\r\n"
              "NO_SUCH_COLUMN\r\n"
              "At line 1, column 8\r\n");
  }
  // The session goes on.
  EXPECT_EQ(session.Query(kAreaById, 2).Text(AreaColumn::kName), "East");
}

}  // namespace
}  // namespace qv
