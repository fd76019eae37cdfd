#include "db/cursor.h"

#include <gtest/gtest.h>

#include "db/command.h"
#include "db/errors.h"
#include "support/test_database.h"

namespace qv {
namespace {

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
    db.Configure(connection);
    connection.Connect();
    transaction.SetReadOnly(true);
    transaction.StartTransaction();
  }
  void Lines(std::initializer_list<const char*> lines) {
    cursor.SQL().Clear();
    for (const char* line : lines) cursor.SQL().Add(line);
  }

  TestDatabase db;
  DbConnection connection;
  Transaction transaction{connection};
  Cursor cursor{connection, transaction};
};

TEST_F(CursorTest, RowsComeInOrderUntilEof) {
  Lines({"SELECT AREA_ID, AREA_NAME", "FROM AREA", "ORDER BY AREA_NAME"});
  cursor.Prepare();
  EXPECT_TRUE(cursor.Prepared());
  EXPECT_FALSE(cursor.Active());
  cursor.Open();
  std::string names;
  while (!cursor.Eof()) {
    names += cursor.Fields()[1].AsString() + "|";
    cursor.Next();
  }
  EXPECT_EQ(names, "Central|East|Harbor|North|West|");
  EXPECT_TRUE(cursor.Active());
  cursor.Close();
  EXPECT_FALSE(cursor.Active());
  cursor.Close();  // closed: nothing
}

TEST_F(CursorTest, EmptyResultIsEofWithEveryColumnNull) {
  Lines({"SELECT AREA_ID, AREA_NAME FROM AREA WHERE AREA_ID = 99"});
  cursor.Open();
  EXPECT_TRUE(cursor.Eof());
  ASSERT_EQ(cursor.Fields().ColumnCount(), 2u);
  for (size_t i = 0; i < 2; ++i) {
    EXPECT_TRUE(cursor.Fields()[i].IsNull());
    EXPECT_EQ(cursor.Fields()[i].AsString(), "");
    EXPECT_EQ(cursor.Fields()[i].AsInteger(), 0);
  }
}

TEST_F(CursorTest, ColumnsTurnNullAfterTheLastRow) {
  Lines({"SELECT AREA_ID, AREA_NAME FROM AREA WHERE AREA_ID = 3"});
  cursor.Open();
  ASSERT_FALSE(cursor.Eof());
  EXPECT_EQ(cursor.Fields()[0].AsInteger(), 3);
  EXPECT_EQ(cursor.Fields()[1].AsString(), "West");
  cursor.Next();
  EXPECT_TRUE(cursor.Eof());
  EXPECT_TRUE(cursor.Fields()[1].IsNull());
  EXPECT_EQ(cursor.Fields()[0].AsInteger(), 0);
  EXPECT_EQ(cursor.Fields()[1].AsString(), "");
  try {
    cursor.Next();
    FAIL() << "no exception";
  } catch (const DbError& e) {
    EXPECT_STREQ(e.what(), "At end of Dataset");
  }
}

TEST_F(CursorTest, RecordCountHonoursWhereAndIgnoresOrderBy) {
  Lines({"SELECT AREA_NAME", "FROM AREA", "WHERE AREA_ID > 2", "ORDER BY AREA_NAME"});
  cursor.Prepare();
  cursor.Open();
  cursor.First();
  EXPECT_EQ(cursor.RecordCount(), 3);
  EXPECT_EQ(cursor.Fields()[0].AsString(), "Central");  // the cursor stays on its row
  cursor.Next();
  EXPECT_EQ(cursor.Fields()[0].AsString(), "Harbor");
  Lines({"SELECT AREA_NAME FROM AREA WHERE AREA_ID > 99 ORDER BY AREA_NAME"});
  EXPECT_EQ(cursor.RecordCount(), 0);
}

TEST_F(CursorTest, RecordCountUsesTheParameterValues) {
  Lines({"SELECT AREA_NAME FROM AREA WHERE AREA_ID >= :LOW ORDER BY AREA_NAME"});
  cursor.Params()[0].SetAsInteger(4);
  EXPECT_EQ(cursor.RecordCount(), 2);
  cursor.Params()[0].SetAsInteger(1);
  EXPECT_EQ(cursor.RecordCount(), 5);
}

// The connection counts executions, not rows or preparations: each open,
// each run again from the first row and each row count is one; fetching,
// closing and preparing are none.
TEST_F(CursorTest, ConnectionCountsEachExecution) {
  Lines({"SELECT AREA_NAME FROM AREA WHERE AREA_ID >= :LOW ORDER BY AREA_NAME"});
  cursor.Params()[0].SetAsInteger(1);
  const uint64_t start = connection.ExecuteCount();
  cursor.Prepare();
  EXPECT_EQ(connection.ExecuteCount(), start);
  cursor.Open();
  while (!cursor.Eof()) cursor.Next();  // five rows
  cursor.Close();
  EXPECT_EQ(connection.ExecuteCount(), start + 1);
  cursor.First();
  EXPECT_EQ(connection.ExecuteCount(), start + 2);
  EXPECT_EQ(cursor.RecordCount(), 5);
  EXPECT_EQ(connection.ExecuteCount(), start + 3);
  ExecuteImmediate(connection, transaction, "EXECUTE BLOCK AS BEGIN END");
  EXPECT_EQ(connection.ExecuteCount(), start + 4);
  EXPECT_THROW(ExecuteImmediate(connection, transaction, "DELETE FROM NOWHERE"),
               DbError);
  EXPECT_EQ(connection.ExecuteCount(), start + 5);  // a failed execute counts too
}

TEST_F(CursorTest, FirstRunsTheQueryAgainFromItsFirstRow) {
  Lines({"SELECT AREA_NAME FROM AREA ORDER BY AREA_NAME"});
  cursor.Open();
  cursor.Next();
  cursor.Next();
  EXPECT_EQ(cursor.Fields()[0].AsString(), "Harbor");
  cursor.First();
  EXPECT_EQ(cursor.Fields()[0].AsString(), "Central");
  cursor.Close();
  cursor.First();  // also when closed
  EXPECT_TRUE(cursor.Active());
  EXPECT_EQ(cursor.Fields()[0].AsString(), "Central");
}

// First runs the query again: it sees new parameter values, and in a
// transaction that writes, the rows written since Open.
TEST_F(CursorTest, FirstSeesNewParametersAndTheTransactionsOwnWrites) {
  Lines({"SELECT AREA_NAME FROM AREA WHERE AREA_ID = :ID"});
  cursor.Params()[0].SetAsInteger(1);
  cursor.Open();
  EXPECT_EQ(cursor.Fields()[0].AsString(), "North");
  cursor.Params()[0].SetAsInteger(2);
  cursor.First();
  EXPECT_EQ(cursor.Fields()[0].AsString(), "East");
  transaction.Commit();

  Transaction writer(connection);
  writer.StartTransaction();
  Cursor rows(connection, writer);
  rows.SQL().Add("SELECT COUNT(*) FROM AREA");
  rows.Open();
  EXPECT_EQ(rows.Fields()[0].AsInteger(), 5);
  SqlCommand insert(connection, writer, "INSERT INTO AREA (AREA_ID, AREA_NAME) VALUES (6, 'South')");
  insert.Execute();
  rows.First();
  EXPECT_EQ(rows.Fields()[0].AsInteger(), 6);
  writer.Commit();
}

// The shortcut of First (rows of a read-only snapshot reused) holds only
// within one transaction: once that ends, the query runs again in the next.
TEST_F(CursorTest, FirstNeverReusesTheRowsOfAnEndedTransaction) {
  Transaction implicit{connection};
  implicit.SetReadOnly(true);
  Cursor reader{connection, implicit};
  reader.SQL().Add("SELECT AREA_NAME FROM AREA WHERE AREA_ID = 1");
  reader.Open();  // starts the transaction by itself
  EXPECT_EQ(reader.Fields()[0].AsString(), "North");
  const uint64_t first = implicit.Serial();
  implicit.Commit();
  db.Exec("UPDATE AREA SET AREA_NAME = 'Northgate' WHERE AREA_ID = 1");
  reader.First();
  EXPECT_NE(implicit.Serial(), first);
  EXPECT_EQ(reader.Fields()[0].AsString(), "Northgate");
  reader.First();  // the same snapshot: its rows may be reused
  EXPECT_EQ(reader.Fields()[0].AsString(), "Northgate");
}

TEST_F(CursorTest, PlanNamesTheIndexTheServerChose) {
  Lines({"SELECT AREA_NAME FROM AREA WHERE AREA_ID = :ID"});
  EXPECT_EQ(cursor.Plan().rfind("PLAN (AREA INDEX (", 0), 0u) << cursor.Plan();
  Lines({"SELECT AREA_NAME FROM AREA"});
  EXPECT_EQ(cursor.Plan(), "PLAN (AREA NATURAL)");
}

TEST_F(CursorTest, NamedParameterRunsSeveralTimesOnOnePreparation) {
  Lines({"SELECT E.*, G.* FROM ENTITY E", "LEFT JOIN GEN_PHONES G ON (G.PHONE_ID = E.PRIMARY_PHONE_ID)",
         "WHERE E.ENTITY_ID = :EID"});
  cursor.Prepare();
  ASSERT_EQ(cursor.Params().ColumnCount(), 1u);
  EXPECT_EQ(cursor.Params()[0].FieldName(), "EID");
  cursor.Params()[0].SetAsInteger(10);
  cursor.Open();
  EXPECT_EQ(cursor.FieldByName("first_name").AsString(), "Ann");
  EXPECT_EQ(cursor.FieldByName("PHONE_NUMBER").AsString(), "555-0100");
  cursor.Close();
  cursor.Params()[0].SetAsInteger(11);
  cursor.Open();
  EXPECT_TRUE(cursor.Eof());
  EXPECT_EQ(cursor.FieldByName("LAST_OR_COMPANY_NAME").AsString(), "");
  EXPECT_TRUE(cursor.Prepared());
}

TEST_F(CursorTest, FieldByNamePreparesAndNamesTheMissingField) {
  Lines({"SELECT AREA_ID AS THE_ID FROM AREA"});
  EXPECT_EQ(cursor.FieldByName("the_id").FieldName(), "THE_ID");
  EXPECT_TRUE(cursor.Prepared());
  try {
    cursor.FieldByName("NOPE");
    FAIL() << "no exception";
  } catch (const DbError& e) {
    EXPECT_STREQ(e.what(), "FieldName: NOPE not found");
  }
}

TEST_F(CursorTest, ChangingTheTextClosesAndUnprepares) {
  Lines({"SELECT AREA_NAME FROM AREA"});
  cursor.Open();
  ASSERT_TRUE(cursor.Active());
  cursor.SQL().Add("WHERE AREA_ID = 2");
  EXPECT_FALSE(cursor.Active());
  EXPECT_FALSE(cursor.Prepared());
  cursor.Open();
  EXPECT_EQ(cursor.Fields()[0].AsString(), "East");
  cursor.Next();
  EXPECT_TRUE(cursor.Eof());
  cursor.Unprepare();
  EXPECT_FALSE(cursor.Prepared());
  cursor.Unprepare();  // unprepared: nothing
}

TEST_F(CursorTest, LinesReachTheServerJoinedByLineBreaks) {
  // A "--" comment ends at the line break, so the second line still counts.
  Lines({"SELECT AREA_NAME -- the name", "FROM AREA WHERE AREA_ID = 1"});
  cursor.Open();
  EXPECT_EQ(cursor.Fields()[0].AsString(), "North");
}

TEST_F(CursorTest, RejectedStatementRaisesTheClientMessage) {
  Lines({"SELECT NO_SUCH_COLUMN", "FROM AREA"});
  try {
    cursor.Open();
    FAIL() << "no exception";
  } catch (const DbStatusError& e) {
    EXPECT_EQ(e.ErrCode(), 335544569);
    EXPECT_EQ(e.SqlCode(), -206);
    EXPECT_EQ(e.Sql(), "SELECT NO_SUCH_COLUMN\r\nFROM AREA");
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
  EXPECT_FALSE(cursor.Prepared());
  EXPECT_FALSE(cursor.Active());
}

TEST_F(CursorTest, ASyntaxErrorAtTheEndOfTheText) {
  // A NULL appended to "= " gives a statement the server rejects.
  Lines({"SELECT PROPERTY_NAME FROM PROPERTY WHERE PROPERTY_ID = "});
  EXPECT_THROW(cursor.Open(), DbStatusError);
}

}  // namespace
}  // namespace qv
