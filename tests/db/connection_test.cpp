#include "db/connection.h"

#include <gtest/gtest.h>

#include <functional>

#include "db/client_library.h"
#include "db/errors.h"
#include "support/test_database.h"

namespace qv {
namespace {

struct NameCase {
  std::string value;
  DbProtocol protocol;
  std::string server;
  std::string path;
  std::string rebuilt;
};
void PrintTo(const NameCase& c, std::ostream* out) { *out << c.value; }

class DatabaseNameTest : public ::testing::TestWithParam<NameCase> {};

TEST_P(DatabaseNameTest, SplitsIntoServerPathAndProtocol) {
  const NameCase& c = GetParam();
  DbConnection connection;
  connection.SetDatabaseName(c.value);
  EXPECT_EQ(connection.Protocol(), c.protocol);
  EXPECT_EQ(connection.Param("SERVER"), c.server);
  EXPECT_EQ(connection.Param("PATH"), c.path);
  EXPECT_EQ(connection.DatabaseName(), c.rebuilt);
  EXPECT_EQ(connection.ConnectString(), c.rebuilt);
  EXPECT_EQ(connection.Params().IndexOfName("SERVER") >= 0, !c.server.empty());
}

INSTANTIATE_TEST_SUITE_P(
    Table, DatabaseNameTest,
    ::testing::Values(
        NameCase{"c:\\quorvale\\qvmain.gdb", DbProtocol::kLocal, "", "c:\\quorvale\\qvmain.gdb",
                 "c:\\quorvale\\qvmain.gdb"},
        NameCase{"dbhost:/data/qvmain.fdb", DbProtocol::kTcpIp, "dbhost", "/data/qvmain.fdb",
                 "dbhost:/data/qvmain.fdb"},
        NameCase{"dbhost:c:\\data\\qvmain.gdb", DbProtocol::kTcpIp, "dbhost",
                 "c:\\data\\qvmain.gdb", "dbhost:c:\\data\\qvmain.gdb"},
        NameCase{"c:\\a:b.gdb", DbProtocol::kTcpIp, "c", "\\a:b.gdb", "c:\\a:b.gdb"},
        NameCase{"\\\\filer\\share\\qv.gdb", DbProtocol::kNetBeui, "filer", "share\\qv.gdb",
                 "\\\\filer\\share\\qv.gdb"},
        NameCase{"filer@vol1:qv.gdb", DbProtocol::kSpx, "filer", "vol1:qv.gdb",
                 "filer@vol1:qv.gdb"},
        NameCase{"/var/lib/quorvale/qvmain.gdb", DbProtocol::kLocal, "",
                 "/var/lib/quorvale/qvmain.gdb", "/var/lib/quorvale/qvmain.gdb"},
        NameCase{"/srv/qvdata", DbProtocol::kLocal, "", "/srv/qvdata", "/srv/qvdata"},
        NameCase{"127.0.0.1/3051:/tmp/x.fdb", DbProtocol::kTcpIp, "127.0.0.1/3051",
                 "/tmp/x.fdb", "127.0.0.1/3051:/tmp/x.fdb"}));

TEST(ConnectionTest, ServerThenLocalPathDropsTheServerLine) {
  DbConnection connection;
  connection.SetDatabaseName("dbhost:/data/a.fdb");
  connection.SetDatabaseName("/data/b.fdb");
  EXPECT_EQ(connection.Params().IndexOfName("SERVER"), -1);
  EXPECT_EQ(connection.DatabaseName(), "/data/b.fdb");
}

TEST(ConnectionTest, NameWithoutPathCharactersIsAnAliasAndKeepsThePath) {
  DbConnection connection;
  connection.SetParam("PATH", "/data/qv.fdb");
  connection.SetDatabaseName("");  // no alias yet: nothing changes
  EXPECT_EQ(connection.DatabaseName(), "/data/qv.fdb");
  connection.SetDatabaseName("Main_1");
  EXPECT_EQ(connection.DatabaseName(), "Main_1");
  EXPECT_EQ(connection.Param("PATH"), "/data/qv.fdb");
  EXPECT_EQ(connection.ConnectString(), "/data/qv.fdb");
  try {
    connection.SetDatabaseName("1main");
    FAIL() << "no exception";
  } catch (const DbError& e) {
    EXPECT_STREQ(e.what(), "Invalid DatabaseName");
  }
  EXPECT_EQ(connection.DatabaseName(), "Main_1");
}

TEST(ConnectionTest, PasswordIsKeptOutsideParams) {
  DbConnection connection;
  connection.SetParam("PASSWORD", "old");
  EXPECT_EQ(connection.Param("PASSWORD"), "old");
  connection.SetPassword("secret");
  EXPECT_EQ(connection.Params().IndexOfName("PASSWORD"), -1);
  EXPECT_EQ(connection.Password(), "secret");
  connection.SetUsername("SYSDBA");
  EXPECT_EQ(connection.Param("USER NAME"), "SYSDBA");
  connection.SetUsername("");
  EXPECT_EQ(connection.Params().IndexOfName("USER NAME"), -1);
}

TEST(ConnectionTest, EverySetterRefusesWhileConnected) {
  TestDatabase db;
  DbConnection connection;
  db.Configure(connection);
  connection.SetPassword("ignored-by-embedded");
  connection.Connect();
  ASSERT_TRUE(connection.Connected());
  const std::vector<std::function<void()>> changes = {
      [&] { connection.SetDatabaseName("/tmp/other.fdb"); },
      [&] { connection.SetDatabaseName("Alias"); },
      [&] { connection.SetUsername("someone"); },
      [&] { connection.SetPassword("x"); },
      [&] { connection.SetParam("PATH", "/tmp/other.fdb"); },
  };
  for (const auto& change : changes) {
    try {
      change();
      ADD_FAILURE() << "no exception";
    } catch (const DbError& e) {
      EXPECT_STREQ(e.what(), "Cannot change while connected");
    }
  }
  EXPECT_EQ(connection.DatabaseName(), db.Path());
  connection.Connect();  // already attached: nothing
  connection.Disconnect();
  EXPECT_FALSE(connection.Connected());
  connection.Disconnect();  // already detached: nothing
  connection.SetUsername("someone");  // allowed again
}

// Every attach names a new attachment, so what was prepared on the one
// before is known as gone.
TEST(ConnectionTest, EveryAttachIsANewAttachment) {
  TestDatabase db;
  DbConnection connection;
  db.Configure(connection);
  connection.Connect();
  const uint64_t first = connection.Attachment();
  connection.Connect();  // attached: nothing
  EXPECT_EQ(connection.Attachment(), first);
  connection.Disconnect();
  connection.Connect();
  EXPECT_NE(connection.Attachment(), first);
}

TEST(ConnectionTest, FailedAttachRaisesTheClientMessageAndStaysDetached) {
  DbConnection connection;
  connection.SetDatabaseName("/nonexistent/folder/none.fdb");
  connection.SetUsername("SYSDBA");
  try {
    connection.Connect();
    FAIL() << "no exception";
  } catch (const DbStatusError& e) {
    std::string message = e.what();
    EXPECT_EQ(message.rfind("ISC ERROR CODE:" + std::to_string(e.ErrCode()) +
                                "\r\n\r\nISC ERROR MESSAGE:\r\n",
                            0),
              0u)
        << message;
    EXPECT_NE(message.find("/nonexistent/folder/none.fdb"), std::string::npos) << message;
    EXPECT_EQ(message.substr(message.size() - 2), "\r\n");
    EXPECT_FALSE(e.IsConnectionLost());
  }
  EXPECT_FALSE(connection.Connected());
}

// The message lines come from the client's interpretation of the status
// vector, trimmed, a line equal to the one before it left out.
TEST(ConnectionTest, ErrorMessageTrimsLinesAndDropsRepeats) {
  const char* padded = "  same  ";
  const char* same = "same";
  const char* other = "other";
  const ISC_STATUS status[] = {
      isc_arg_gds, isc_random, isc_arg_string, reinterpret_cast<ISC_STATUS>(padded),
      isc_arg_gds, isc_random, isc_arg_string, reinterpret_cast<ISC_STATUS>(same),
      isc_arg_gds, isc_random, isc_arg_string, reinterpret_cast<ISC_STATUS>(other),
      isc_arg_gds, isc_random, isc_arg_string, reinterpret_cast<ISC_STATUS>(same),
      isc_arg_end};
  const DbStatusError error = MakeIscError(status, "SELECT 1");
  EXPECT_EQ(std::string(error.what()),
            "ISC ERROR CODE:335544382\r\n"
            "\r\n"
            "ISC ERROR MESSAGE:\r\n"
            "same\r\n"
            "other\r\n"
            "same\r\n");
  EXPECT_EQ(error.ErrCode(), 335544382);
  EXPECT_EQ(error.Sql(), "SELECT 1");
}

TEST(ConnectionTest, MissingEntryPointMessageNamesIt) {
  try {
    MissingEntryPoint("isc_no_such_call");
    FAIL() << "no exception";
  } catch (const DbError& e) {
    EXPECT_STREQ(e.what(), "Unable to locate DLL import isc_no_such_call");
  }
}

}  // namespace
}  // namespace qv
