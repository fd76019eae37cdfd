#include "db/transaction.h"

#include <gtest/gtest.h>

#include <memory>

#include "db/cursor.h"
#include "db/errors.h"
#include "support/test_database.h"

namespace qv {
namespace {

struct BlockCase {
  bool read_only;
  IsolationLevel isolation;
  bool rec_version;
  bool lock_wait;
  bool auto_commit;
  std::vector<uint8_t> expected;
};
void PrintTo(const BlockCase& c, std::ostream* out) {
  for (uint8_t b : c.expected) *out << int{b} << ' ';
}

class ParameterBlockTest : public ::testing::TestWithParam<BlockCase> {};

TEST_P(ParameterBlockTest, BytesFollowTheSettings) {
  const BlockCase& c = GetParam();
  DbConnection connection;
  Transaction transaction(connection);
  transaction.SetReadOnly(c.read_only);
  transaction.SetIsolation(c.isolation);
  transaction.SetRecVersion(c.rec_version);
  transaction.SetLockWait(c.lock_wait);
  transaction.SetServerAutoCommit(c.auto_commit);
  EXPECT_EQ(transaction.ParameterBlock(), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Table, ParameterBlockTest,
    ::testing::Values(
        BlockCase{true, IsolationLevel::kConcurrency, true, false, false, {3, 8, 2, 7}},
        BlockCase{false, IsolationLevel::kConsistency, true, true, false, {3, 9, 1, 6}},
        BlockCase{true, IsolationLevel::kReadCommitted, true, false, false, {3, 8, 15, 17, 7}},
        BlockCase{false, IsolationLevel::kReadCommitted, false, true, false, {3, 9, 15, 18, 6}},
        BlockCase{false, IsolationLevel::kConcurrency, true, false, true, {3, 9, 2, 7, 16}}));

TEST(TransactionTest, DefaultsAreWriteSnapshotNoWait) {
  DbConnection connection;
  Transaction transaction(connection);
  EXPECT_EQ(transaction.ParameterBlock(), (std::vector<uint8_t>{3, 9, 2, 7}));
}

class TransactionDbTest : public ::testing::Test {
 protected:
  void SetUp() override {
    db.Exec("INSERT INTO AREA (AREA_ID, AREA_NAME) VALUES (1, 'North')");
    db.Configure(connection);
    connection.Connect();
    transaction.SetReadOnly(true);
  }
  int32_t CountAreas() {
    Cursor cursor(connection, transaction);
    cursor.SQL().Add("SELECT COUNT(*) FROM AREA");
    cursor.Open();
    return cursor.Fields()[0].AsInteger();
  }

  TestDatabase db;
  DbConnection connection;
  Transaction transaction{connection};
};

TEST_F(TransactionDbTest, CommitWithNothingStartedDoesNothing) {
  EXPECT_NO_THROW(transaction.Commit());
  EXPECT_FALSE(transaction.InTransaction());
  EXPECT_FALSE(transaction.Started());
}

TEST_F(TransactionDbTest, StartTwiceRaises) {
  transaction.StartTransaction();
  EXPECT_TRUE(transaction.InTransaction());
  try {
    transaction.StartTransaction();
    FAIL() << "no exception";
  } catch (const DbError& e) {
    EXPECT_STREQ(e.what(), "Transaction has already been started");
  }
  transaction.Commit();
  EXPECT_FALSE(transaction.InTransaction());
  transaction.StartTransaction();  // the bracket: commit, then start again
  transaction.Commit();
}

TEST_F(TransactionDbTest, ExplicitStartRefusedWithServerAutoCommit) {
  transaction.SetServerAutoCommit(true);
  try {
    transaction.StartTransaction();
    FAIL() << "no exception";
  } catch (const DbError& e) {
    EXPECT_STREQ(e.what(), "Explicit trans. not allowed with ServerAutoCommit");
  }
  EXPECT_FALSE(transaction.InTransaction());
}

TEST_F(TransactionDbTest, ReadOnlySnapshotSeesOneStableStateUntilCommit) {
  transaction.StartTransaction();
  EXPECT_EQ(CountAreas(), 1);
  db.Exec("INSERT INTO AREA (AREA_ID, AREA_NAME) VALUES (2, 'South')");
  EXPECT_EQ(CountAreas(), 1);
  transaction.Commit();
  transaction.StartTransaction();
  EXPECT_EQ(CountAreas(), 2);
  transaction.Commit();
}

TEST_F(TransactionDbTest, ReadOnlyTransactionRefusesWrites) {
  Cursor cursor(connection, transaction);
  transaction.StartTransaction();
  cursor.SQL().Add("UPDATE AREA SET AREA_NAME = 'X'");
  EXPECT_THROW(cursor.Open(), DbStatusError);
  transaction.Commit();
}

TEST_F(TransactionDbTest, CursorRunsInAnImplicitTransactionThatCommitEnds) {
  EXPECT_EQ(CountAreas(), 1);
  EXPECT_FALSE(transaction.InTransaction());
  EXPECT_TRUE(transaction.Started());
  db.Exec("INSERT INTO AREA (AREA_ID, AREA_NAME) VALUES (2, 'South')");
  // Starting explicitly ends the implicit transaction: a fresh snapshot.
  transaction.StartTransaction();
  EXPECT_TRUE(transaction.InTransaction());
  EXPECT_EQ(CountAreas(), 2);
  transaction.Commit();
  EXPECT_FALSE(transaction.Started());
  EXPECT_EQ(CountAreas(), 2);
  transaction.Commit();
  EXPECT_FALSE(transaction.Started());
}

TEST_F(TransactionDbTest, CommitClosesOpenCursorsWhichStayUsable) {
  Cursor cursor(connection, transaction);
  transaction.StartTransaction();
  cursor.SQL().Add("SELECT AREA_NAME FROM AREA");
  cursor.Open();
  ASSERT_TRUE(cursor.Active());
  transaction.Commit();
  EXPECT_FALSE(cursor.Active());
  cursor.SQL().Clear();  // an open cursor would be closed here first
  cursor.SQL().Add("SELECT AREA_NAME FROM AREA");
  transaction.StartTransaction();
  cursor.Open();
  EXPECT_EQ(cursor.Fields()[0].AsString(), "North");
  transaction.Commit();
}

TEST_F(TransactionDbTest, DisconnectEndsOpenTransactionsAndCursors) {
  Cursor cursor(connection, transaction);
  cursor.SQL().Add("SELECT AREA_NAME FROM AREA");
  cursor.Open();
  connection.Disconnect();
  EXPECT_FALSE(connection.Connected());
  EXPECT_FALSE(transaction.Started());
  EXPECT_FALSE(cursor.Active());
  EXPECT_FALSE(cursor.Prepared());
  connection.Connect();
  cursor.Open();
  EXPECT_EQ(cursor.Fields()[0].AsString(), "North");
}

TEST_F(TransactionDbTest, ComponentsMayBeDestroyedInAnyOrder) {
  auto other = std::make_unique<DbConnection>();
  db.Configure(*other);
  other->Connect();
  auto tr = std::make_unique<Transaction>(*other);
  auto cursor = std::make_unique<Cursor>(*other, *tr);
  cursor->SQL().Add("SELECT AREA_NAME FROM AREA");
  cursor->Open();
  other.reset();  // detaches: ends the transaction and the cursor first
  EXPECT_FALSE(tr->Started());
  EXPECT_FALSE(cursor->Active());
  tr.reset();
  cursor.reset();
}

}  // namespace
}  // namespace qv
