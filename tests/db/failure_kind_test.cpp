// What a failed call means for its attachment, decided from the GDS codes of
// the status vector; and the failures as they really come: a cancelled
// statement, a server that was killed and started again, a hung server.
#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <thread>

#include "db/command.h"
#include "db/errors.h"
#include "db/ib.h"
#include "support/firebird_server.h"
#include "test_database.h"

namespace qv {
namespace {

using namespace std::chrono_literals;

// A statement that takes seconds: a count over a threefold cross join.
constexpr const char* kSlowCount =
    "SELECT COUNT(*) FROM RDB$FIELDS A CROSS JOIN RDB$FIELDS B CROSS JOIN RDB$FIELDS C";

TEST(FailureKindTest, DecidedFromEveryGdsCodeOfTheVector) {
  struct Case {
    const char* name;
    std::vector<intptr_t> status;
    FailureKind kind;         // of a failing call on an attachment
    FailureKind attach_kind;   // of a failing attach
  };
  const auto lost = FailureKind::ConnectionLost;
  const Case cases[] = {
      {"network error first", {1, 335544721, 0}, lost, lost},
      {"write error after a leading code", {1, 335544721, 1, 335544727, 2, 0, 0}, lost, lost},
      {"read error behind a string argument", {1, 335544569, 2, 0, 1, 335544726, 0}, lost, lost},
      {"connection lost to database", {1, 335544741, 0}, lost, lost},
      {"database shutdown", {1, 335544528, 0}, lost, lost},
      {"attachment shut down", {1, 335544856, 0}, lost, lost},
      {"invalid database handle", {1, 335544324, 0}, lost, lost},
      {"cancelled", {1, 335544794, 0}, FailureKind::TimedOut, FailureKind::DatabaseDown},
      {"dynamic SQL error", {1, 335544569, 1, 335544436, 4, -104, 0}, FailureKind::DatabaseRefused,
       FailureKind::DatabaseDown},
      // A number equal to a lost-connection code, but as an integer argument.
      {"code as a number argument", {1, 335544569, 4, 335544727, 0}, FailureKind::DatabaseRefused,
       FailureKind::DatabaseDown},
      {"I/O error opening the file", {1, 335544344, 0}, FailureKind::DatabaseRefused,
       FailureKind::DatabaseDown},
      {"authentication", {1, 335544472, 0}, FailureKind::DatabaseRefused, FailureKind::LogonRefused},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    DbStatusError error("ISC ERROR CODE:", c.status, 0, "");
    EXPECT_EQ(error.Kind(), c.kind);
    error.SetAttachFailed();
    EXPECT_EQ(error.Kind(), c.attach_kind);
  }
}

TEST(FailureKindTest, CancelEndsARunningStatementWithTheCancelledKind) {
  TestDatabase database;
  DatabaseSession session;
  database.Configure(session.Connection());
  session.Attach();
  auto canceller = std::async(std::launch::async, [&session] {
    std::this_thread::sleep_for(300ms);
    return session.Connection().CancelOperation();
  });
  const auto start = std::chrono::steady_clock::now();
  try {
    const auto count = session.QueryRows(kSlowCount);
    FAIL() << "the statement ended before the cancel: " << count.Text(0);
  } catch (const DbStatusError& error) {
    EXPECT_EQ(error.Kind(), FailureKind::TimedOut) << error.what();
  }
  EXPECT_TRUE(canceller.get());
  EXPECT_LT(std::chrono::steady_clock::now() - start, 3s);
  // The attachment itself is still usable.
  session.Rollback();
  EXPECT_EQ(session.QueryRows("SELECT 1 FROM RDB$DATABASE").Integer(0), 1);
}

class ServerFaultsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string error;
    ASSERT_TRUE(server_.Start(error)) << error;
    name_ = server_.DatabaseName("faults.fdb");
    CreateDatabase(name_, "SYSDBA", FirebirdServer::Password());
  }
  void Configure(DbConnection& connection, int connect_timeout = 0) {
    connection.SetDatabaseName(name_);
    connection.SetUsername("SYSDBA");
    connection.SetPassword(FirebirdServer::Password());
    connection.SetConnectTimeout(connect_timeout);
  }
  static int SelectOne(DbConnection& connection) {
    Transaction transaction(connection, TransactionMode{.read_only = true});
    PreparedStatement statement(connection, "SELECT 1 FROM RDB$DATABASE");
    statement.Prepare(transaction);
    statement.Execute(transaction);
    const int value = RowCursor(statement, {connection.Handle(), transaction.Handle()}).Integer(0);
    transaction.Commit();
    return value;
  }

  FirebirdServer server_;
  std::string name_;
};

TEST_F(ServerFaultsTest, KilledServerGivesLostConnectionAndARestartTakesNewAttachments) {
  DbConnection old;
  Configure(old);
  old.Connect();
  EXPECT_EQ(SelectOne(old), 1);
  std::string error;
  ASSERT_TRUE(server_.Restart(error)) << error;  // kill -9, then start again
  try {
    SelectOne(old);
    FAIL() << "the old attachment still works";
  } catch (const DbStatusError& e) {
    EXPECT_EQ(e.Kind(), FailureKind::ConnectionLost) << e.what();
  }
  try {
    old.Disconnect();
  } catch (const DbStatusError&) {
  }
  DbConnection fresh;
  Configure(fresh);
  fresh.Connect();
  EXPECT_EQ(SelectOne(fresh), 1);
}

TEST_F(ServerFaultsTest, AttachToAStoppedServerEndsAtTheConnectTimeOut) {
  server_.Pause();
  DbConnection connection;
  Configure(connection, 2);
  const auto start = std::chrono::steady_clock::now();
  try {
    connection.Connect();
    FAIL() << "attached to a stopped server";
  } catch (const DbStatusError& e) {
    EXPECT_EQ(e.Kind(), FailureKind::ConnectionLost) << e.what();
  }
  const auto elapsed = std::chrono::steady_clock::now() - start;
  server_.Resume();
  EXPECT_GE(elapsed, 1500ms);
  EXPECT_LT(elapsed, 5s);
  EXPECT_FALSE(connection.Connected());
}

TEST_F(ServerFaultsTest, AbortEndsACallWaitingOnAStoppedServer) {
  DbConnection connection;
  Configure(connection);
  connection.Connect();
  EXPECT_EQ(SelectOne(connection), 1);
  server_.Pause();
  auto call = std::async(std::launch::async, [&connection] {
    try {
      SelectOne(connection);
      return std::string("ended without error");
    } catch (const DbStatusError& e) {
      return std::string(e.what());
    }
  });
  EXPECT_EQ(call.wait_for(500ms), std::future_status::timeout);
  const auto start = std::chrono::steady_clock::now();
  connection.CancelOperation(true);
  ASSERT_EQ(call.wait_for(3s), std::future_status::ready) << "the abort did not end the call";
  const std::string outcome = call.get();
  EXPECT_LT(std::chrono::steady_clock::now() - start, 3s);
  server_.Resume();
  EXPECT_NE(outcome, "ended without error");
  std::printf("%s\n", outcome.c_str());
  try {
    connection.Disconnect();
  } catch (const DbStatusError&) {
  }
}

}  // namespace
}  // namespace qv
