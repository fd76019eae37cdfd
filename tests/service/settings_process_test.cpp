// Settings files as the built server meets them: every bad value is refused
// the same way by -t and by a start (one line naming the file, section, key
// and reason; exit 1, never an abort); what the start only warns about fails
// -t; a missing file; -t beside a running server; and --print-config, whose
// text the program reads back to the same settings.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>

#include "process_data.h"
#include "process_fixture.h"
#include "support/http_client.h"
#include "support/notify_socket.h"
#include "support/ports.h"
#include "support/server_process.h"
#include "support/test_database.h"
#include "support/test_files.h"

namespace qv {
namespace {

namespace fs = std::filesystem;
using test::Lines;

bool EndsWith(const std::string& text, const std::string& end) {
  return text.size() >= end.size() && text.compare(text.size() - end.size(), end.size(), end) == 0;
}

// Every "@" in text replaced by folder.
std::string Expand(const std::string& text, const std::string& folder) {
  std::string out;
  for (char c : text) {
    if (c == '@')
      out += folder;
    else
      out += c;
  }
  return out;
}

// A reason in the tables: the text after "<settings file>: ", "@" standing
// for the test's folder; a trailing "*" lets the line go on with anything.
struct Reason {
  std::string text;
  bool prefix = false;
};

Reason ReadReason(const std::string& text, const std::string& folder) {
  Reason reason{Expand(text, folder)};
  if (!reason.text.empty() && reason.text.back() == '*') {
    reason.text.pop_back();
    reason.prefix = true;
  }
  return reason;
}

class SettingsFileTest : public test::ServerProcessTest {
 protected:
  void SetUp() override { ASSERT_NO_FATAL_FAILURE(SetUpServer("qv_settings_process")); }

  std::string Ini() const { return server_->IniPath(); }

  // Settings a server runs with; extra lines go first, and a key they give
  // is left out of the rest (a key given twice is a finding of its own). A
  // start does not attach to the database.
  std::string Settings(const std::string& extra, const std::string& database) const {
    return test::MergedSettings(extra, {{"APP", "Port=" + std::to_string(port_)},
                                        {"APP", "Address=127.0.0.1"},
                                        {"APP", "HtDocs=" + folder_ + "/htdocs"},
                                        {"DB", "DBName=" + database},
                                        {"DB", std::string("User=") + TestDatabase::User()},
                                        {"LOG", "AccessLog=off"}});
  }

  test::ProgramResult Run(const std::vector<std::string>& args) const {
    return test::RunProgram(server_->Binary(), args, folder_);
  }

  // The line of -t's output that gives the reason, without its "error: ";
  // a failure of the test when there is none.
  std::string CheckLine(const test::ProgramResult& check, const Reason& reason) const {
    const std::string wanted = "error: " + Ini() + ": " + reason.text;
    for (const std::string& line : Lines(check.out)) {
      if (reason.prefix ? line.rfind(wanted, 0) == 0 : line == wanted) return line.substr(7);
    }
    ADD_FAILURE() << "no line " << wanted << " in\n" << check.out;
    return "";
  }

  // Whether the start's log has a line that ends with the message.
  static bool LogHas(const std::string& log, const std::string& message) {
    for (const std::string& line : Lines(log)) {
      if (EndsWith(line, message)) return true;
    }
    return false;
  }

  static void ExpectNoAbort(const test::ProgramResult& result) {
    EXPECT_NE(result.status, 134);
    EXPECT_EQ(result.out.find("terminate called"), std::string::npos) << result.out;
    EXPECT_EQ(result.err.find("terminate called"), std::string::npos) << result.err;
  }

};

struct RefusedCase {
  const char* name;
  std::string lines;  // put before working settings; "@" stands for the test's folder
  std::string reason;
};

class RefusedSettingsTest : public SettingsFileTest,
                            public ::testing::WithParamInterface<RefusedCase> {};

TEST_P(RefusedSettingsTest, CheckAndStartRefuseWithTheSameLine) {
  const RefusedCase& c = GetParam();
  server_->WriteIni(Settings(Expand(c.lines, folder_), folder_ + "/unused.fdb"));
  const Reason reason = ReadReason(c.reason, folder_);

  const test::ProgramResult check = Run({"-t"});
  ExpectNoAbort(check);
  EXPECT_EQ(check.status, 1) << check.out << check.err;
  const std::string line = CheckLine(check, reason);
  EXPECT_EQ(Lines(check.out).back(), "check failed");

  ASSERT_TRUE(server_->Start(notify_.Path()));
  EXPECT_EQ(server_->WaitExit(), 1);
  const std::string log = server_->Log();
  EXPECT_EQ(log.find("terminate called"), std::string::npos) << log;
  EXPECT_TRUE(!line.empty() && LogHas(log, line)) << "-t: " << line << "\nstart:\n" << log;
  EXPECT_FALSE(test::LoopbackClient::TryConnect(port_));
}

INSTANTIATE_TEST_SUITE_P(
    Table, RefusedSettingsTest,
    ::testing::Values(
        RefusedCase{"PortTooHigh", "[APP]\nPort=70000", "[APP] Port: 70000 is out of range (0 to 65535)"},
        RefusedCase{"PortNegative", "[app]\nport=-1", "[app] port: -1 is out of range (0 to 65535)"},
        RefusedCase{"PortNotANumber", "[APP]\nPort=eighty", "[APP] Port: \"eighty\" is not a whole number"},
        RefusedCase{"PortHexTooHigh", "[APP]\nPort=0x10000", "[APP] Port: 0x10000 is out of range (0 to 65535)"},
        RefusedCase{"AddressNotAnAddress", "[APP]\nAddress=127.0.0.1, localhost",
                    "[APP] Address: \"localhost\" is not an IPv4 or IPv6 address"},
        RefusedCase{"HtDocsFolderMissing", "[APP]\nHtDocs=@/nowhere", "[APP] HtDocs: folder @/nowhere not found"},
        RefusedCase{"HtDocsIsAFile", "[APP]\nHtDocs=@/htdocs/qv_logo_jpg.jpg",
                    "[APP] HtDocs: \"@/htdocs/qv_logo_jpg.jpg\" is not a folder"},
        RefusedCase{"LoginTimeoutNotANumber", "[APP]\nLoginTimeout=10m",
                    "[APP] LoginTimeout: \"10m\" is not a whole number"},
        RefusedCase{"LoginTimeoutNegative", "[APP]\nLoginTimeout=-1",
                    "[APP] LoginTimeout: -1 is out of range (0 or more)"},
        RefusedCase{"ReadTimeoutNotANumber", "[APP]\nReadTimeout=soon",
                    "[APP] ReadTimeout: \"soon\" is not a whole number"},
        RefusedCase{"ReadTimeoutNegative", "[APP]\nReadTimeout=-5", "[APP] ReadTimeout: -5 is out of range (0 or more)"},
        RefusedCase{"StartNotANumber", "[APP]\nStart=true", "[APP] Start: \"true\" is not a whole number"},
        RefusedCase{"LogonFailuresNotANumber", "[APP]\nLogonFailures=many",
                    "[APP] LogonFailures: \"many\" is not a whole number"},
        RefusedCase{"LogonFailuresNegative", "[APP]\nLogonFailures=-1",
                    "[APP] LogonFailures: -1 is out of range (0 or more)"},
        RefusedCase{"LogonFailuresTooLarge", "[APP]\nLogonFailures=99999999999",
                    "[APP] LogonFailures: 99999999999 is out of range (0 or more)"},
        RefusedCase{"TrustedProxiesHostName", "[APP]\nTrustedProxies=proxy.example",
                    "[APP] TrustedProxies: \"proxy.example\" is not an address or range (addresses "
                    "and CIDR ranges, not host names)"},
        RefusedCase{"TrustedProxiesBadPrefix", "[APP]\nTrustedProxies=10.0.0.0/40",
                    "[APP] TrustedProxies: \"10.0.0.0/40\" has no valid prefix length*"},
        RefusedCase{"WorkersZero", "[APP]\nWorkers=0", "[APP] Workers: 0 is out of range (1 to 4096)"},
        RefusedCase{"WorkersNotANumber", "[APP]\nWorkers=many", "[APP] Workers: \"many\" is not a whole number"},
        RefusedCase{"MaxConnectionsPerAddressNegative", "[APP]\nMaxConnectionsPerAddress=-5",
                    "[APP] MaxConnectionsPerAddress: -5 is out of range (0 to 1000000)"},
        RefusedCase{"RequestTimeoutTooLong", "[APP]\nRequestTimeout=86401",
                    "[APP] RequestTimeout: 86401 is out of range (0 to 86400)"},
        RefusedCase{"MaxSessionsNotWhole", "[APP]\nMaxSessions=1e6",
                    "[APP] MaxSessions: \"1e6\" is not a whole number"},
        RefusedCase{"ListenQueueZero", "[APP]\nListenQueue=0", "[APP] ListenQueue: 0 is out of range (1 to 65535)"},
        RefusedCase{"KeepAliveTwo", "[APP]\nKeepAlive=2", "[APP] KeepAlive: 2 is out of range (0 to 1)"},
        RefusedCase{"KeepAliveWord", "[APP]\nKeepAlive=yes", "[APP] KeepAlive: \"yes\" is not a whole number"},
        RefusedCase{"KeepAliveTimeoutZero", "[APP]\nKeepAliveTimeout=0",
                    "[APP] KeepAliveTimeout: 0 is out of range (1 to 3600)"},
        RefusedCase{"StopTimeoutTooLong", "[APP]\nStopTimeout=3601",
                    "[APP] StopTimeout: 3601 is out of range (0 to 3600)"},
        RefusedCase{"StoreUnknownKind", "[SESSIONS]\nStore=memcached://x",
                    "[SESSIONS] Store: expected memory or redis://host:port/N, not \"memcached://x\""},
        RefusedCase{"StoreHostUnresolvable", "[SESSIONS]\nStore=redis://no-such-host.invalid",
                    "[SESSIONS] Store: host \"no-such-host.invalid\" cannot be resolved: *"},
        RefusedCase{"StorePortTooHigh", "[SESSIONS]\nStore=redis://127.0.0.1:99999/0",
                    "[SESSIONS] Store: \"99999\" is not a port"},
        RefusedCase{"TlsPortTooHigh", "[TLS]\nPort=65536", "[TLS] Port: 65536 is out of range (0 to 65535)"},
        RefusedCase{"RedirectHttpWithoutTls", "[TLS]\nRedirectHttp=1", "[TLS] RedirectHttp: set, but [TLS] Port is not"},
        RefusedCase{"RedirectHttpTwo", "[TLS]\nRedirectHttp=2", "[TLS] RedirectHttp: 2 is out of range (0 to 1)"},
        RefusedCase{"TlsCertificateMissing", "[TLS]\nPort=1\nCertificate=@/none.pem\nKey=@/htdocs/qv_logo_jpg.jpg",
                    "[TLS] Certificate: file @/none.pem not found"},
        RefusedCase{"TlsKeyNotSet", "[TLS]\nPort=1\nCertificate=@/htdocs/qv_logo_jpg.jpg",
                    "[TLS] Key: not set, but [TLS] Port is"},
        RefusedCase{"TlsCertificateNotPem",
                    "[TLS]\nPort=1\nCertificate=@/htdocs/qv_logo_jpg.jpg\nKey=@/htdocs/qv_logo_jpg.jpg",
                    "[TLS] Certificate: TLS certificate @/htdocs/qv_logo_jpg.jpg: *"},
        RefusedCase{"DatabaseHostUnresolvable", "[DB]\nDBName=no-such-host.invalid:/srv/qv.fdb",
                    "[DB] DBName: host \"no-such-host.invalid\" cannot be resolved: *"},
        RefusedCase{"ConnectTimeoutNegative", "[DB]\nConnectTimeout=-1",
                    "[DB] ConnectTimeout: -1 is out of range (0 to 86400)"},
        RefusedCase{"QueryTimeoutNegative", "[DB]\nQueryTimeout=-1",
                    "[DB] QueryTimeout: -1 is out of range (0 to 86400)"},
        RefusedCase{"QueryTimeoutNotANumber", "[DB]\nQueryTimeout=soon",
                    "[DB] QueryTimeout: \"soon\" is not a whole number"},
        RefusedCase{"AccessLogFolderMissing", "[LOG]\nAccessLog=@/nowhere/access.log",
                    "[LOG] AccessLog: folder @/nowhere not found"},
        RefusedCase{"AccessLogIsAFolder", "[LOG]\nAccessLog=@/htdocs",
                    "[LOG] AccessLog: \"@/htdocs\" is a folder, not a file"},
        RefusedCase{"AdminPortTooHigh", "[ADMIN]\nPort=65536", "[ADMIN] Port: 65536 is out of range (0 to 65535)"},
        RefusedCase{"AdminPortIsTheServersPort", "[APP]\nPort=18071\n[ADMIN]\nPort=18071\nAddress=127.0.0.1",
                    "[ADMIN] Port: 18071 is also [APP] Port"},
        RefusedCase{"AdminAddressNotAnAddress", "[ADMIN]\nAddress=::1x",
                    "[ADMIN] Address: \"::1x\" is not an IPv4 or IPv6 address"},
        RefusedCase{"AddressGivenTwice", "[APP]\nAddress=127.0.0.1,127.0.0.1",
                    "[APP] Address: 127.0.0.1 and 127.0.0.1 overlap on port *"},
        RefusedCase{"AddressAnyBesideLoopback", "[APP]\nAddress=0.0.0.0, 127.0.0.1",
                    "[APP] Address: 0.0.0.0 and 127.0.0.1 overlap on port *"},
        RefusedCase{"AdminOnTheAnyAddressOfThePort", "[APP]\nPort=18071\nAddress=0.0.0.0\n[ADMIN]\nPort=18071",
                    "[ADMIN] Port: 18071 is also [APP] Port"},
        RefusedCase{"HeadingWithoutBracket", "[DB\nConnectTimeout=5", "line 1: \"[DB\" has no closing \"]\""},
        RefusedCase{"NulInAValue", std::string("[DB]\nPass=se") + '\0' + "cret", "[DB] Pass: holds a NUL byte"},
        RefusedCase{"BinaryFile", std::string("\x7f" "ELF") + '\0' + "\x02\x01x\n\x89PNG\r\n",
                    "line 1: \"\\x7fELF\\x00\\x02\\x01x\" holds a NUL byte: not a settings file"}),
    [](const ::testing::TestParamInfo<RefusedCase>& info) { return std::string(info.param.name); });

// Settings files checked against a real database, so that -t passes but for
// what a case puts in.
class SettingsWithDatabaseTest : public SettingsFileTest {
 protected:
  static void SetUpTestSuite() {
    database_ = new TestDatabase();
    database_->ExecScript(test::kOnePropertyData);
  }
  static void TearDownTestSuite() {
    delete database_;
    database_ = nullptr;
  }
  std::string Settings(const std::string& extra = "") const {
    return SettingsFileTest::Settings(extra, database_->Path());
  }
  static TestDatabase* database_;
};

TestDatabase* SettingsWithDatabaseTest::database_ = nullptr;

struct WarnedCase {
  const char* name;
  std::string lines;
  std::string reason;
};

class WarnedSettingsTest : public SettingsWithDatabaseTest,
                           public ::testing::WithParamInterface<WarnedCase> {};

// The start goes on with a warning; -t, asked by an operator, fails on it.
TEST_P(WarnedSettingsTest, StartWarnsAndCheckFailsWithTheSameLine) {
  const WarnedCase& c = GetParam();
  server_->WriteIni(Settings(Expand(c.lines, folder_)));
  const test::ProgramResult check = Run({"-t"});
  ExpectNoAbort(check);
  EXPECT_EQ(check.status, 1) << check.out << check.err;
  const std::string line = CheckLine(check, ReadReason(c.reason, folder_));
  const std::vector<std::string> lines = Lines(check.out);
  EXPECT_EQ(std::count_if(lines.begin(), lines.end(),
                          [](const std::string& l) { return l.rfind("error: ", 0) == 0; }),
            1)
      << check.out;

  ASSERT_TRUE(server_->Start(notify_.Path()));
  ASSERT_TRUE(notify_.AwaitRunning()) << server_->Log();
  server_->Signal(SIGTERM);
  EXPECT_EQ(server_->WaitExit(), 0);
  EXPECT_TRUE(!line.empty() && LogHas(server_->Log(), line)) << "-t: " << line << "\nstart:\n"
                                                             << server_->Log();
}

INSTANTIATE_TEST_SUITE_P(
    Table, WarnedSettingsTest,
    ::testing::Values(
        WarnedCase{"SectionNameMistyped", "[APPP]\nPort=8080\nWorkers=0",
                   "[APPP]: unknown section, its settings are ignored"},
        WarnedCase{"KeyUnknown", "[APP]\nColour=blue", "[APP] Colour: unknown setting, ignored"},
        WarnedCase{"KeyBeforeAnySection", "Port=8080", "Port: setting before any [section], ignored"},
        WarnedCase{"LineWithoutEquals", "[APP]\nPort: 8080", "line 2: \"Port: 8080\" is not key=value, ignored"},
        WarnedCase{"LogoMissing", "[APP]\nHtDocs=@",
                   "[APP] HtDocs: logo @/qv_logo_jpg.jpg not found"},
        WarnedCase{"KeyGivenTwice", "[APP]\nWorkers=4\nWorkers=8",
                   "[APP] Workers: given more than once (lines 2 and 3); the last value is taken"},
        WarnedCase{"SectionGivenTwice", "[APP]\nWorkers=4\n[DB]\nConnectTimeout=5\n[app]\nworkers=8",
                   "[app] workers: given more than once (lines 2 and 6); the last value is taken"}),
    [](const ::testing::TestParamInfo<WarnedCase>& info) { return std::string(info.param.name); });

// As root, -t names what the service's account cannot read; the environment
// may name another account (nobody: the test's folder is root's alone), or
// none.
TEST_F(SettingsFileTest, RootsCheckSpeaksForTheAccountTheEnvironmentNames) {
  if (geteuid() != 0) GTEST_SKIP() << "needs root";
  server_->WriteIni(Settings("", folder_ + "/absent.fdb"));
  const test::ProgramResult nobody =
      test::RunProgram(server_->Binary(), {"-t", "--settings-only"}, folder_, {"QV_CHECK_ACCOUNT=nobody"});
  EXPECT_EQ(nobody.status, 1);
  EXPECT_NE(nobody.out.find("error: " + Ini() + ": the account nobody cannot read the settings file"),
            std::string::npos)
      << nobody.out;
  const test::ProgramResult none = Run({"-t", "--settings-only"});
  EXPECT_EQ(none.status, 0) << none.out;
  EXPECT_EQ(none.out.find("the account"), std::string::npos) << none.out;
}

TEST_F(SettingsFileTest, AFileNamedWithCThatIsMissingIsRefusedByCheckAndStart) {
  const std::string missing = folder_ + "/absent.ini";
  const test::ProgramResult check = Run({"-t", "-c", "absent.ini"});
  EXPECT_EQ(check.status, 1);
  EXPECT_EQ(Lines(check.out).front(), "error: " + missing + ": settings file not found");
  const test::ProgramResult print = Run({"--print-config", "-c", "absent.ini"});
  EXPECT_EQ(print.status, 1);
  EXPECT_EQ(print.out, "");
  EXPECT_EQ(print.err, "error: " + missing + ": settings file not found\n");
  ASSERT_TRUE(server_->Start(notify_.Path(), {"-c", "absent.ini"}));
  EXPECT_EQ(server_->WaitExit(), 1);
  EXPECT_TRUE(LogHas(server_->Log(), missing + ": settings file not found")) << server_->Log();
}

// Without -c the defaults are taken and said so; -t fails on it. (A start
// would serve on port 80, so it is not made here.)
TEST_F(SettingsFileTest, NoSettingsFileBesideTheProgramNamesTheDefaultsTaken) {
  const std::string warning =
      Ini() + ": settings file not found; running on the defaults: port 80 on every address, "
              "HtDocs not set, database /var/lib/quorvale/qvmain.gdb, access log on standard "
              "output (qvweb --print-config shows every value)";
  const test::ProgramResult check = Run({"-t"});
  EXPECT_EQ(check.status, 1);
  EXPECT_EQ(Lines(check.out).front(), "error: " + warning);
  const test::ProgramResult print = Run({"--print-config"});
  EXPECT_EQ(print.status, 0);
  EXPECT_EQ(print.err, "warning: " + warning + "\n");
  EXPECT_NE(print.out.find("\n[APP]\nPort=80\nAddress=\nHtDocs=\n"), std::string::npos) << print.out;
}

// A settings file that cannot be read (here a folder): one line, and
// nothing more is checked.
TEST_F(SettingsFileTest, AnUnreadableFileEndsTheCheckAndStopsTheStart) {
  fs::create_directories(folder_ + "/folder.ini");
  const std::string line = folder_ + "/folder.ini: settings file cannot be read: Is a directory";
  const test::ProgramResult check = Run({"-t", "-c", "folder.ini"});
  EXPECT_EQ(check.status, 1);
  EXPECT_EQ(Lines(check.out), (std::vector<std::string>{"error: " + line, "check failed"}));
  ASSERT_TRUE(server_->Start(notify_.Path(), {"-c", "folder.ini"}));
  EXPECT_EQ(server_->WaitExit(), 1);
  EXPECT_TRUE(LogHas(server_->Log(), line)) << server_->Log();
}

// A byte-order mark before the first heading (as some editors write it) is
// no part of it: the check passes and the server listens where it says.
TEST_F(SettingsWithDatabaseTest, AByteOrderMarkIsAcceptedByCheckAndStart) {
  server_->WriteIni("\xEF\xBB\xBF" + Settings());
  const test::ProgramResult check = Run({"-t"});
  EXPECT_EQ(check.status, 0) << check.out;
  ASSERT_TRUE(server_->Start(notify_.Path()));
  ASSERT_TRUE(notify_.AwaitRunning()) << server_->Log();
  EXPECT_TRUE(test::LoopbackClient::TryConnect(port_));
  server_->Signal(SIGTERM);
  EXPECT_EQ(server_->WaitExit(), 0);
}

// Of a key given twice the last value is the one in effect.
TEST_F(SettingsWithDatabaseTest, TheLastOfAKeyGivenTwiceIsTaken) {
  server_->WriteIni("[APP]\nWorkers=4\n" + Settings("[APP]\nWorkers=8"));
  const test::ProgramResult print = Run({"--print-config"});
  EXPECT_EQ(print.status, 0);
  const std::vector<std::string> lines = Lines(print.out);
  EXPECT_NE(std::find(lines.begin(), lines.end(), "Workers=8"), lines.end()) << print.out;
}

TEST_F(SettingsWithDatabaseTest, CheckBesideARunningServerChecksTheSettingsAndPasses) {
  server_->WriteIni(Settings());
  ASSERT_TRUE(server_->Start(notify_.Path()));
  ASSERT_TRUE(notify_.AwaitRunning()) << server_->Log();
  // A page attaches the server to its embedded database.
  auto page = test::TryExchange(port_, test::GetRequest("/"));
  ASSERT_TRUE(page && page->status == 200) << (page ? page->body : "no answer") << "\n" << server_->Log();

  const test::ProgramResult check = Run({"-t"});
  EXPECT_EQ(check.status, 0) << check.out;
  EXPECT_EQ(Lines(check.out),
            (std::vector<std::string>{
                "ok: logo " + folder_ + "/htdocs/qv_logo_jpg.jpg",
                "note: database " + database_->Path() +
                    " is open in another process (a running server?), so it was not attached; "
                    "the settings alone were checked",
                "check passed"}));
  // The server goes on serving from it.
  auto again = test::TryExchange(port_, test::GetRequest("/"));
  ASSERT_TRUE(again);
  EXPECT_EQ(again->status, 200);
  EXPECT_NE(again->body.find("Harbor Housing Agency"), std::string::npos);
  server_->Signal(SIGTERM);
  EXPECT_EQ(server_->WaitExit(), 0);
}

TEST_F(SettingsWithDatabaseTest, PrintedSettingsReadBackToTheSameAndPassTheCheck) {
  server_->WriteIni("[app]\n port = 0x1F90 \nADDRESS=[::1], 127.0.0.1\nstart=0x10\nHtDocs=" + folder_ +
                    "/htdocs\nLoginTimeout=$14\n[Sessions]\nStore=redis://localhost\n[DB]\nDBName=" +
                    database_->Path() + "\nUser=" + TestDatabase::User() +
                    "\nPass=secret\nQueryTimeout=0\n[LOG]\nAccessLog=off\n");
  const test::ProgramResult first = Run({"--print-config"});
  ASSERT_EQ(first.status, 0) << first.err;
  EXPECT_EQ(first.err, "");
  const std::vector<std::string> lines = Lines(first.out);
  for (const char* line :
       {"Port=8080", "Address=::1, 127.0.0.1", "Start=1", "LoginTimeout=20", "Workers=32",
        "Store=redis://localhost:6379/0", "Pass=********", "QueryTimeout=0", "ConnectTimeout=10",
        "AccessLog=off", "Address=127.0.0.1"}) {
    EXPECT_NE(std::find(lines.begin(), lines.end(), line), lines.end()) << line << "\n" << first.out;
  }
  EXPECT_EQ(first.out.find("secret"), std::string::npos);

  std::ofstream(folder_ + "/printed.ini") << first.out;
  const test::ProgramResult second = Run({"--print-config", "-c", "printed.ini"});
  EXPECT_EQ(second.status, 0) << second.err;
  EXPECT_EQ(second.err, "");
  EXPECT_EQ(second.out, first.out);
  // Embedded attachments take no password, so even the hidden one passes.
  const test::ProgramResult check = Run({"-t", "-c", "printed.ini"});
  EXPECT_EQ(check.status, 0) << check.out;
  EXPECT_EQ(Lines(check.out).back(), "check passed");
}

}  // namespace
}  // namespace qv
