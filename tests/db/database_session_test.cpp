#include "db/database_session.h"

#include <gtest/gtest.h>

#include <string>

#include "support/test_database.h"

namespace qv {
namespace {

enum class NameColumn { kName, kCount };
constexpr QueryText<NameColumn> kAreaName{"SELECT AREA_NAME FROM AREA\nWHERE AREA_ID = :ID"};

TEST(DatabaseSession, NamesTheBuiltInDatabaseAndIsNotAttached) {
  DatabaseSession session;
  EXPECT_EQ(session.Connection().Param("PATH"), "/var/lib/quorvale/qvmain.gdb");
  EXPECT_FALSE(session.Attached());
  EXPECT_FALSE(session.InTransaction());
}

// The session's queries run read-only and read committed: the transaction
// holds no snapshot, as the engine's monitoring tables show.
TEST(DatabaseSession, QueriesRunReadOnlyAndReadCommitted) {
  TestDatabase database;
  database.Exec("INSERT INTO AREA (AREA_ID, AREA_NAME) VALUES (3, 'North')");
  DatabaseSession session;
  database.Configure(session.Connection());
  session.Attach();
  const auto mode = session.QueryRows(
      "SELECT MON$ISOLATION_MODE, MON$READ_ONLY FROM MON$TRANSACTIONS "
      "WHERE MON$TRANSACTION_ID = CURRENT_TRANSACTION");
  EXPECT_EQ(mode.Integer(0), 2);  // read committed, record versions
  EXPECT_EQ(mode.Integer(1), 1);
}

TEST(DatabaseSession, KeepsOneStatementPerText) {
  TestDatabase database;
  database.Exec("INSERT INTO AREA (AREA_ID, AREA_NAME) VALUES (3, 'North')");
  DatabaseSession session;
  database.Configure(session.Connection());
  session.Attach();
  EXPECT_EQ(session.Query(kAreaName, 3).Text(NameColumn::kName), "North");
  // The same text from another object is the same statement.
  const std::string copy(kAreaName.sql);
  EXPECT_TRUE(session.Query(QueryText<NameColumn>(copy), 4).AtEnd());
  EXPECT_EQ(session.QueryRows("SELECT COUNT(*) FROM AREA").Integer(0), 1);
  ASSERT_EQ(session.PreparedTexts().size(), 2u);
  EXPECT_EQ(session.Counts().prepared, 2u);
  EXPECT_EQ(session.Counts().executed, 3u);
}

}  // namespace
}  // namespace qv
