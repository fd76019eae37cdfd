#include "db/transaction.h"

#include <gtest/gtest.h>

#include "db/command.h"
#include "db/database_session.h"
#include "db/errors.h"
#include "support/test_database.h"

namespace qv {
namespace {

struct BlockCase {
  TransactionMode mode;
  std::vector<uint8_t> expected;
};
void PrintTo(const BlockCase& c, std::ostream* out) {
  for (uint8_t b : c.expected) *out << int{b} << ' ';
}

class ParameterBlockTest : public ::testing::TestWithParam<BlockCase> {};

TEST_P(ParameterBlockTest, BytesFollowTheMode) {
  EXPECT_EQ(ParameterBlock(GetParam().mode), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Table, ParameterBlockTest,
    ::testing::Values(
        BlockCase{{true, IsolationLevel::kConcurrency}, {3, 8, 2, 7}},
        BlockCase{{false, IsolationLevel::kConcurrency}, {3, 9, 2, 7}},
        BlockCase{{false, IsolationLevel::kConsistency}, {3, 9, 1, 7}},
        BlockCase{{true, IsolationLevel::kReadCommitted}, {3, 8, 15, 17, 7}},
        BlockCase{kSessionTransaction, {3, 8, 15, 17, 7}}));

class TransactionTest : public ::testing::Test {
 protected:
  void SetUp() override {
    db.Exec("INSERT INTO AREA (AREA_ID, AREA_NAME) VALUES (1, 'North')");
    db.Configure(connection);
    connection.Connect();
  }
  // The areas as another attachment sees them now.
  int32_t CommittedAreas() {
    DatabaseSession other;
    db.Configure(other.Connection());
    other.Attach();
    return other.QueryRows("SELECT COUNT(*) FROM AREA").Integer(0);
  }

  TestDatabase db;
  DbConnection connection;
};

TEST_F(TransactionTest, CommittedWorkStays) {
  Transaction writer(connection);
  Command(writer, "INSERT INTO AREA (AREA_ID, AREA_NAME) VALUES (?, ?)").Run(2, "South");
  EXPECT_EQ(CommittedAreas(), 1);
  writer.Commit();
  EXPECT_FALSE(writer.Open());
  EXPECT_EQ(CommittedAreas(), 2);
  EXPECT_NO_THROW(writer.Commit());  // ended: nothing
  EXPECT_NO_THROW(writer.Rollback());
}

// A transaction that ends without a commit rolls back: nothing it wrote stays.
TEST_F(TransactionTest, AnEndWithoutCommitRollsBack) {
  {
    Transaction writer(connection);
    ExecuteImmediate(writer, "INSERT INTO AREA (AREA_ID, AREA_NAME) VALUES (2, 'South')");
  }
  EXPECT_EQ(CommittedAreas(), 1);
  Transaction writer(connection);
  ExecuteImmediate(writer, "INSERT INTO AREA (AREA_ID, AREA_NAME) VALUES (3, 'East')");
  writer.Rollback();
  EXPECT_FALSE(writer.Open());
  EXPECT_EQ(CommittedAreas(), 1);
}

TEST_F(TransactionTest, CommitAndRestartKeepsTheWorkAndGoesOn) {
  Transaction writer(connection);
  Command insert(writer, "INSERT INTO AREA (AREA_ID, AREA_NAME) VALUES (?, 'X')");
  insert.Run(2);
  writer.CommitAndRestart();
  EXPECT_TRUE(writer.Open());
  insert.Run(3);
  EXPECT_EQ(CommittedAreas(), 2);
}

TEST_F(TransactionTest, AReadOnlyTransactionRefusesWrites) {
  Transaction reader(connection, TransactionMode{.read_only = true});
  EXPECT_THROW(ExecuteImmediate(reader, "UPDATE AREA SET AREA_NAME = 'X'"), DbStatusError);
}

// A snapshot reads one state until it ends; the session's read-committed
// transaction reads what is committed when each statement runs.
TEST_F(TransactionTest, SnapshotAgainstReadCommitted) {
  DatabaseSession session;
  db.Configure(session.Connection());
  session.Attach();
  Transaction snapshot(connection, TransactionMode{.read_only = true});
  const auto count = [&] {
    PreparedStatement statement(connection, "SELECT COUNT(*) FROM AREA");
    statement.Prepare(snapshot);
    statement.Execute(snapshot);
    return RowCursor(statement, {connection.Handle(), snapshot.Handle()}).Integer(0);
  };
  EXPECT_EQ(count(), 1);
  EXPECT_EQ(session.QueryRows("SELECT COUNT(*) FROM AREA").Integer(0), 1);
  db.Exec("INSERT INTO AREA (AREA_ID, AREA_NAME) VALUES (2, 'South')");
  EXPECT_EQ(count(), 1);
  EXPECT_EQ(session.QueryRows("SELECT COUNT(*) FROM AREA").Integer(0), 2);
  EXPECT_TRUE(session.InTransaction());
}

// The session's transaction starts with its first query and stays open until
// it is ended; a commit or a rollback closes the cursors still open.
TEST_F(TransactionTest, TheSessionsTransactionEndsWhenAskedAndClosesItsCursors) {
  DatabaseSession session;
  db.Configure(session.Connection());
  session.Attach();
  EXPECT_FALSE(session.InTransaction());
  {
    const auto open = session.QueryRows("SELECT AREA_NAME FROM AREA");
    EXPECT_TRUE(session.InTransaction());
    session.Commit();
    EXPECT_FALSE(session.InTransaction());
  }
  EXPECT_EQ(session.QueryRows("SELECT AREA_NAME FROM AREA").Text(0), "North");
  session.Rollback();
  EXPECT_FALSE(session.InTransaction());
  EXPECT_NO_THROW(session.Rollback());
  EXPECT_NO_THROW(session.Commit());
}

// Detaching with a transaction open is refused, and the attachment stays
// usable; its owner ends the transaction first.
TEST_F(TransactionTest, DetachWaitsForTheTransactionsOwner) {
  {
    Transaction open(connection);
    EXPECT_THROW(connection.Disconnect(), DbStatusError);
    EXPECT_TRUE(connection.Connected());
  }
  connection.Disconnect();
  EXPECT_FALSE(connection.Connected());
}

}  // namespace
}  // namespace qv
