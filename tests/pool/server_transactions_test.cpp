// Pooled sessions against a private Firebird server that another application
// writes to: each page reads what was committed before it, and a session free
// in the pool holds no transaction open on the server.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "db/command.h"
#include "db/ib.h"
#include "firebird_server.h"
#include "pages/page_context.h"
#include "pages/page_frame.h"
#include "pages/page_request.h"
#include "pages/page_table.h"
#include "pages/string_stream.h"
#include "pool_fixture.h"

namespace qv::pooltest {
namespace {

class ServerTransactionsTest : public PoolTest {
 protected:
  static void SetUpTestSuite() {
    server_ = new FirebirdServer();
    server_->Start(error_);
  }
  static void TearDownTestSuite() {
    delete server_;
    server_ = nullptr;
  }

  void SetUp() override {
    ASSERT_TRUE(error_.empty()) << error_;
    database_.ExecScript(
        "INSERT INTO AGENCY (AGENCY_ID, AGENCY_NAME) VALUES (1, 'Harbor Housing');"
        "INSERT INTO AREA (AREA_ID, AREA_NAME) VALUES (1, 'North');"
        "INSERT INTO PROPERTY (PROPERTY_ID, PROPERTY_NAME, AREA_ID) VALUES (7, 'Elm Court', 1);");
    // The server opens a copy of the test database in its own folder.
    const std::string file = "pages" + std::to_string(++files_) + ".fdb";
    std::filesystem::copy_file(database_.Path(), server_->Folder() + "/" + file);
    database_name_ = server_->DatabaseName(file);
    server_ini_ = folder_.Write("server.ini", "[DB]\nDBName=" + database_name_ +
                                                 "\nUser=SYSDBA\nPass=" +
                                                 FirebirdServer::Password() + "\n");
  }

  std::unique_ptr<ConnectionPool> ServerPool(int32_t size) {
    PoolOptions options;
    options.pool_size = size;
    options.acquire_timeout_ms = 1000;
    options.factory = [this] { return NewDatabaseSession(server_ini_, errors_); };
    options.local_clock = &clock_;
    return std::make_unique<ConnectionPool>(std::move(options), errors_);
  }

  // An attachment of another application to the same database.
  void Attach(DbConnection& connection) const {
    connection.SetDatabaseName(database_name_);
    connection.SetUsername("SYSDBA");
    connection.SetPassword(FirebirdServer::Password());
    connection.Connect();
  }

  // The page of that name run on the lease's session, as the router runs it.
  std::string Run(PoolLease& lease, std::string_view page, const std::string& document,
                  const std::string& logged_in = "True") {
    SimplePageRequest request;
    request.document = document;
    request.session.emplace("LoggedIn", logged_in);
    request.Add("PROPID", "7");
    PageStream out;
    PageContext context{request, out, lease.Session(), clock_, PageNamed(page), errors_};
    RunPage(context);
    return out.TakeDataString();
  }

  static FirebirdServer* server_;
  static std::string error_;
  static int files_;
  std::string database_name_;
  std::string server_ini_;
};
FirebirdServer* ServerTransactionsTest::server_ = nullptr;
std::string ServerTransactionsTest::error_;
int ServerTransactionsTest::files_ = 0;

TEST_F(ServerTransactionsTest, TheNextMainMenuShowsANameAnotherApplicationCommitted) {
  auto pool = ServerPool(1);  // every page runs on the same session
  {
    PoolLease lease;
    pool->Acquire(lease);
    EXPECT_NE(Run(lease, "MainMenuPage", "/", "False").find(">Harbor Housing</TH>"),
              std::string::npos);
  }
  {
    DbConnection writer;
    Attach(writer);
    Transaction transaction(writer);
    ExecuteImmediate(transaction, "UPDATE AGENCY SET AGENCY_NAME = 'Bayside Homes'");
    transaction.Commit();
  }
  for (int round = 0; round < 2; ++round) {
    PoolLease lease;
    pool->Acquire(lease);
    const std::string menu = Run(lease, "MainMenuPage", "/", "False");
    EXPECT_NE(menu.find(">Bayside Homes</TH>"), std::string::npos) << round;
  }
}

// The idle sessions keep their read-only read-committed transactions open
// between pages; the server counts neither as active, so the oldest active
// transaction is this monitor's own.
TEST_F(ServerTransactionsTest, IdleSessionsHoldNoSnapshotAndTheOldestActiveMovesOn) {
  auto pool = ServerPool(2);
  const struct {
    const char* page;
    const char* document;
  } mix[] = {
      {"MainMenuPage", "/"},         {"PropertyListPage", "/list"},
      {"PropertyInfoPage", "/Propinfo"}, {"HttpInfoPage", "/ipinfo"},
      {"PeoplePage", "/People"},     {"UnderConstructionPage", "/x"},
      {"LogOnPage", "/LOGON"},       {"ViolationsPage", "/Violations"},
      {"MainMenuPage", "/"},
  };
  {
    // Two sessions lent at once, so both attach and both run pages.
    PoolLease first;
    PoolLease second;
    pool->Acquire(first);
    pool->Acquire(second);
    for (const auto& step : mix) {
      EXPECT_NE(Run(first, step.page, step.document).find("Harbor Housing"), std::string::npos);
      EXPECT_NE(Run(second, step.page, step.document).find("Harbor Housing"), std::string::npos);
    }
  }

  // A read-only snapshot of its own, which the server counts as active.
  DbConnection monitor;
  Attach(monitor);
  Transaction transaction(monitor, TransactionMode{.read_only = true});
  const auto first_row = [&](const char* sql) {
    PreparedStatement statement(monitor, sql);
    statement.Prepare(transaction);
    statement.Execute(transaction);
    RowCursor row(statement, {monitor.Handle(), transaction.Handle()});
    return std::string(row.Text(0)) + "|" + (row.ColumnCount() > 1 ? std::string(row.Text(1)) : "");
  };
  // The sessions stay attached.
  EXPECT_EQ(first_row("SELECT COUNT(*) FROM MON$ATTACHMENTS\n"
                      "WHERE MON$ATTACHMENT_ID <> CURRENT_CONNECTION AND MON$SYSTEM_FLAG = 0"),
            "2|");
  // None holds a snapshot.
  EXPECT_EQ(first_row("SELECT COUNT(*) FROM MON$TRANSACTIONS\n"
                      "WHERE MON$ATTACHMENT_ID <> CURRENT_CONNECTION\n"
                      "AND (MON$ISOLATION_MODE NOT IN (2, 3) OR MON$READ_ONLY = 0)"),
            "0|");
  // Nothing older than this monitoring transaction is still active.
  const std::string oldest = first_row("SELECT MON$OLDEST_ACTIVE, CURRENT_TRANSACTION FROM MON$DATABASE");
  EXPECT_EQ(oldest.substr(0, oldest.find('|')), oldest.substr(oldest.find('|') + 1));
  transaction.Commit();
}

}  // namespace
}  // namespace qv::pooltest
