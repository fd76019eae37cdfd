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
      Transaction transaction(connection);
      ExecuteScript(connection, transaction,
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
  connection.Connect();
  Transaction transaction(connection);
  transaction.SetReadOnly(true);
  transaction.StartTransaction();
  Cursor cursor(connection, transaction);
  cursor.SQL().Add("SELECT AREA_ID, AREA_NAME FROM AREA");
  cursor.SQL().Add("WHERE AREA_ID > :FROM_ID ORDER BY AREA_ID");
  cursor.Params()[0].SetAsInteger(0);
  cursor.Open();
  EXPECT_EQ(cursor.RecordCount(), 2);
  std::string rows;
  while (!cursor.Eof()) {
    rows += cursor.Fields()[0].AsString() + "=" + cursor.Fields()[1].AsString() + ";";
    cursor.Next();
  }
  EXPECT_EQ(rows, "1=North;2=South;");
  cursor.SQL().Clear();  // the prepared statement is released on the server
  cursor.SQL().Add("SELECT AREA_NAME FROM AREA WHERE AREA_ID = 2");
  cursor.Open();
  EXPECT_EQ(cursor.Fields()[0].AsString(), "South");
  transaction.Commit();
  connection.Disconnect();
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
  DbConnection connection;
  connection.SetDatabaseName(name);
  connection.SetUsername("SYSDBA");
  connection.SetPassword(FirebirdServer::Password());
  connection.Connect();
  Transaction transaction(connection);
  Cursor cursor(connection, transaction);
  cursor.SQL().Add("SELECT 1 FROM RDB$DATABASE");
  cursor.Open();
  EXPECT_EQ(cursor.Fields()[0].AsInteger(), 1);
  transaction.Commit();
  own.Kill();
  try {
    transaction.StartTransaction();
    cursor.Open();
    FAIL() << "no error after the server stopped";
  } catch (const DbStatusError& e) {
    EXPECT_TRUE(e.IsConnectionLost()) << e.what();
  }
  try {
    connection.Disconnect();
  } catch (const DbStatusError&) {
  }
  EXPECT_FALSE(connection.Connected());
}

}  // namespace
}  // namespace qv
