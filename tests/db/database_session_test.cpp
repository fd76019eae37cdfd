#include "db/database_session.h"

#include <gtest/gtest.h>

#include <string>

#include "support/test_database.h"

namespace qv {
namespace {

constexpr StatementText kTwoLines{"SELECT AREA_NAME FROM AREA\nWHERE AREA_ID = :ID"};
constexpr StatementText kOneLine{"SELECT COUNT(*) FROM AREA"};

TEST(DatabaseSession, NamesTheBuiltInDatabaseAndReadsReadOnlyAndReadCommitted) {
  DatabaseSession session;
  EXPECT_EQ(session.Connection().Param("PATH"), "/var/lib/quorvale/qvmain.gdb");
  EXPECT_FALSE(session.Connection().Connected());
  EXPECT_TRUE(session.Transaction().ReadOnly());
  EXPECT_EQ(session.Transaction().Isolation(), IsolationLevel::kReadCommitted);
}

TEST(DatabaseSession, KeepsOneCursorPerTextWithItsLines) {
  TestDatabase database;
  database.Exec("INSERT INTO AREA (AREA_ID, AREA_NAME) VALUES (3, 'North')");
  DatabaseSession session;
  database.Configure(session.Connection());
  session.Connection().Connect();

  Cursor& area = session.Statement(kTwoLines);
  EXPECT_EQ(&session.Statement(kTwoLines), &area);
  ASSERT_EQ(area.SQL().Count(), 2u);
  EXPECT_EQ(area.SQL()[0], "SELECT AREA_NAME FROM AREA");
  EXPECT_EQ(area.SQL()[1], "WHERE AREA_ID = :ID");
  area.Params()[0].SetAsInteger(3);
  area.Open();
  EXPECT_EQ(area.Fields()[0].AsString(), "North");
  area.Close();

  Cursor& count = session.Statement(kOneLine);
  EXPECT_NE(&count, &area);
  count.Open();
  EXPECT_EQ(count.Fields()[0].AsInteger(), 1);
  count.Close();
  session.Transaction().Commit();

  int visited = 0;
  session.ForEachStatement([&](Cursor&) { ++visited; });
  EXPECT_EQ(visited, 2);
}

}  // namespace
}  // namespace qv
