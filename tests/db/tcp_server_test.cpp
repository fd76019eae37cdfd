// The layer against a real Firebird server over TCP on loopback.
#include <gtest/gtest.h>

#include "db/command.h"
#include "db/errors.h"
#include "db/ib.h"
#include "support/firebird_server.h"

namespace qv {
namespace {

class TcpServerTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    server_ = new FirebirdServer();
    if (!server_->Start(error_)) return;
    try {
      CreateDatabase(server_->DatabaseName("tcp.fdb"), "SYSDBA", FirebirdServer::Password());
      DbConnection connection;
      Configure(connection, FirebirdServer::Password());
      connection.Connect();
      ExecuteScript(connection,
                    "CREATE TABLE AREA (AREA_ID INTEGER NOT NULL PRIMARY KEY, AREA_NAME VARCHAR(40));"
                    "INSERT INTO AREA VALUES (1, 'North');"
                    "INSERT INTO AREA VALUES (2, 'South  ');");
    } catch (const std::exception& e) {
      error_ = e.what();
    }
  }
  static void TearDownTestSuite() {
    delete server_;
    server_ = nullptr;
  }
  void SetUp() override { ASSERT_TRUE(error_.empty()) << error_; }

  static void Configure(DbConnection& connection, const std::string& password) {
    connection.SetDatabaseName(server_->DatabaseName("tcp.fdb"));
    connection.SetUsername("SYSDBA");
    connection.SetPassword(password);
  }

  static FirebirdServer* server_;
  static std::string error_;
};
FirebirdServer* TcpServerTest::server_ = nullptr;
std::string TcpServerTest::error_;

TEST_F(TcpServerTest, AttachesOverTcpAndReadsRows) {
  DbConnection connection;
  Configure(connection, FirebirdServer::Password());
  EXPECT_EQ(connection.Protocol(), DbProtocol::kTcpIp);
  EXPECT_EQ(connection.Param("SERVER"), "127.0.0.1/" + std::to_string(server_->Port()));
  DatabaseSession session;
  Configure(session.Connection(), FirebirdServer::Password());
  session.Attach();
  const ParamValue from[] = {0};
  std::string rows;
  for (auto cursor = session.QueryRows("SELECT AREA_ID, AREA_NAME FROM AREA\n"
                                       "WHERE AREA_ID > :FROM_ID ORDER BY AREA_ID",
                                       from);
       !cursor.AtEnd(); cursor.Next()) {
    rows += std::string(cursor.Text(0)) + "=" + std::string(cursor.Text(1)) + ";";
  }
  EXPECT_EQ(rows, "1=North;2=South;");
  EXPECT_EQ(session.QueryRows("SELECT AREA_NAME FROM AREA WHERE AREA_ID = 2").Text(0), "South");
  session.Commit();
  session.Detach();
}

TEST_F(TcpServerTest, WrongPasswordGivesTheAuthenticationCode) {
  DbConnection connection;
  Configure(connection, "not-the-password");
  try {
    connection.Connect();
    FAIL() << "attached with a wrong password";
  } catch (const DbStatusError& e) {
    EXPECT_EQ(e.ErrCode(), kIscLogin);
    std::string message = e.what();
    EXPECT_EQ(message.rfind("ISC ERROR CODE:335544472\r\n\r\nISC ERROR MESSAGE:\r\n", 0), 0u)
        << message;
    EXPECT_FALSE(e.IsConnectionLost());
  }
  EXPECT_FALSE(connection.Connected());
}

TEST_F(TcpServerTest, ServerShutdownSurfacesAsLostConnection) {
  // A server of its own, stopped under an open attachment.
  FirebirdServer own;
  std::string error;
  ASSERT_TRUE(own.Start(error)) << error;
  std::string name = own.DatabaseName("lost.fdb");
  CreateDatabase(name, "SYSDBA", FirebirdServer::Password());
  DatabaseSession session;
  session.Connection().SetDatabaseName(name);
  session.Connection().SetUsername("SYSDBA");
  session.Connection().SetPassword(FirebirdServer::Password());
  session.Attach();
  EXPECT_EQ(session.QueryRows("SELECT 1 FROM RDB$DATABASE").Integer(0), 1);
  own.Kill();
  // A commit that fails is told, never swallowed; the transaction stays to be
  // rolled back.
  try {
    session.Commit();
    FAIL() << "a commit on a lost connection raised nothing";
  } catch (const DbStatusError& e) {
    EXPECT_EQ(e.Kind(), FailureKind::ConnectionLost) << e.what();
  }
  EXPECT_TRUE(session.InTransaction());
  try {
    session.QueryRows("SELECT 1 FROM RDB$DATABASE");
    FAIL() << "no error after the server stopped";
  } catch (const DbStatusError& e) {
    EXPECT_TRUE(e.IsConnectionLost()) << e.what();
  }
  try {
    session.Detach();
  } catch (const DbStatusError&) {
    // The client may or may not report the attachment's end as a failure.
  }
  EXPECT_FALSE(session.Attached());
  EXPECT_FALSE(session.InTransaction());
}

}  // namespace
}  // namespace qv
