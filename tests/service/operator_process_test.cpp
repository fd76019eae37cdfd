// The built server as an operator meets it: the command line's exit codes and
// texts, -t on good and broken settings, settings that stop the start, the
// start line, and the access log's lines field by field.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <regex>
#include <sstream>

#include "http_client.h"
#include "notify_socket.h"
#include "server_process.h"
#include "support/test_database.h"

namespace qv {
namespace {

namespace fs = std::filesystem;

constexpr const char* kData =
    "INSERT INTO AGENCY (AGENCY_ID, AGENCY_NAME) VALUES (1, 'Harbor Housing Agency');"
    "INSERT INTO DB_USERS (DB_USER_ID, DB_USER_NAME, DB_USER_PASSWORD, FULL_NAME)"
    " VALUES (1, 'demo', 'demo', 'Demo User')";

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  std::string line;
  while (std::getline(in, line)) lines.push_back(line);
  return lines;
}

class OperatorTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    database_ = new TestDatabase();
    database_->ExecScript(kData);
  }
  static void TearDownTestSuite() {
    delete database_;
    database_ = nullptr;
  }

  void SetUp() override {
    char pattern[] = "/tmp/qv_operator_XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    folder_ = pattern;
    fs::create_directories(folder_ + "/htdocs");
    fs::copy_file(std::string(QV_SOURCE_DIR) + "/assets/qv_logo_jpg.jpg",
                  folder_ + "/htdocs/qv_logo_jpg.jpg");
    port_ = test::FreePort();
    server_ = std::make_unique<test::ServerProcess>(QV_WEB_BINARY, folder_);
  }

  void TearDown() override {
    server_.reset();
    fs::remove_all(folder_);
  }

  // Settings that work; extra lines go first, so that a key they give wins.
  std::string GoodSettings(const std::string& extra = "") const {
    return extra + "[APP]\nPort=" + std::to_string(port_) + "\nHtDocs=" + folder_ +
           "/htdocs\nReadTimeout=10\n[DB]\nDBName=" + database_->Path() +
           "\nUser=" + TestDatabase::User() + "\n";
  }

  test::ProgramResult Run(const std::vector<std::string>& args) const {
    return test::RunProgram(server_->Binary(), args, folder_);
  }

  // Starts the server on the settings and waits until it runs.
  void StartServer(const std::vector<std::string>& args = {}) {
    ASSERT_TRUE(notify_.Bound());
    ASSERT_TRUE(server_->Start(notify_.Path(), args));
    for (;;) {
      std::optional<std::string> report = notify_.Receive(30000);
      ASSERT_TRUE(report) << server_->Log();
      if (*report == "READY=1\nSTATUS=Running") return;
    }
  }

  static TestDatabase* database_;
  std::string folder_;
  int port_ = 0;
  test::NotifySocket notify_;
  std::unique_ptr<test::ServerProcess> server_;
};

TestDatabase* OperatorTest::database_ = nullptr;

struct CommandLineCase {
  const char* name;
  std::vector<std::string> args;
  int status;
  const char* outStart;  // what standard output begins with
  const char* errStart;  // what standard error begins with
};

class CommandLineTest : public OperatorTest,
                        public ::testing::WithParamInterface<CommandLineCase> {};

// Nothing of these starts a server: the settings ask for a start at once, on
// a port that must stay free.
TEST_P(CommandLineTest, ExitsWithItsStatusAndTextAndStartsNothing) {
  server_->WriteIni(GoodSettings("[APP]\nStart=1\n"));
  const CommandLineCase& c = GetParam();
  const test::ProgramResult result = Run(c.args);
  EXPECT_EQ(result.status, c.status) << result.out << result.err;
  EXPECT_EQ(result.out.rfind(c.outStart, 0), 0u) << result.out;
  EXPECT_EQ(result.err.rfind(c.errStart, 0), 0u) << result.err;
  if (std::string(c.errStart).empty()) {
    EXPECT_EQ(result.err, "");
  }
  if (std::string(c.outStart).empty()) {
    EXPECT_EQ(result.out, "");
  }
  EXPECT_LT(test::ConnectLoopback(port_), 0);
}

INSTANTIATE_TEST_SUITE_P(
    Table, CommandLineTest,
    ::testing::Values(
        CommandLineCase{"Help", {"--help"}, 0, "Usage: qvweb ", ""},
        CommandLineCase{"HelpShort", {"-h"}, 0, "Usage: qvweb ", ""},
        CommandLineCase{"Version", {"--version"}, 0, "qvweb 1.0.0\nFirebird client LI-V", ""},
        CommandLineCase{"UnknownSwitch", {"--verbose"}, 2, "",
                        "qvweb: unknown argument \"--verbose\"\nUsage: qvweb "},
        CommandLineCase{"UnknownWord", {"-start"}, 2, "", "qvweb: unknown argument"},
        CommandLineCase{"StrayArgument", {"qvweb.ini"}, 2, "", "qvweb: unknown argument"},
        CommandLineCase{"ConfigWithoutFile", {"-c"}, 2, "",
                        "qvweb: option -c needs a file name\nUsage: qvweb "},
        CommandLineCase{"UnknownBeatsHelp", {"--help", "-x"}, 2, "", "qvweb: unknown argument"}),
    [](const ::testing::TestParamInfo<CommandLineCase>& info) {
      return std::string(info.param.name);
    });

TEST_F(OperatorTest, CheckPassesOnGoodSettingsWithAnotherFileName) {
  std::ofstream(folder_ + "/other.ini") << GoodSettings();
  const test::ProgramResult result = Run({"-t", "-c", "other.ini"});
  EXPECT_EQ(result.status, 0) << result.out << result.err;
  EXPECT_EQ(Lines(result.out),
            (std::vector<std::string>{"ok: logo " + folder_ + "/htdocs/qv_logo_jpg.jpg",
                                      "ok: database " + database_->Path(), "check passed"}));
  EXPECT_EQ(result.err, "");
}

TEST_F(OperatorTest, CheckNamesEveryFaultOfBrokenSettings) {
  server_->WriteIni("[APP]\nPort=70000\nHtDocs=" + folder_ + "/nowhere\nColour=blue\n[DB]\nDBName=" +
                    folder_ + "/missing.gdb\nUser=" + TestDatabase::User() + "\n");
  const test::ProgramResult result = Run({"--check"});
  EXPECT_EQ(result.status, 1) << result.out << result.err;
  const std::string ini = folder_ + "/qvweb.ini";
  const std::vector<std::string> lines = Lines(result.out);
  ASSERT_EQ(lines.size(), 5u) << result.out;
  EXPECT_EQ(lines[0], "error: " + ini + ": [APP] Port: 70000 is not a port number (0 to 65535)");
  EXPECT_EQ(lines[1], "warning: " + ini + ": [APP] Colour: unknown setting, ignored");
  EXPECT_EQ(lines[2], "error: " + ini + ": [APP] HtDocs: folder " + folder_ + "/nowhere not found");
  EXPECT_EQ(lines[3].rfind("error: " + ini + ": [DB] DBName: database " + folder_ +
                               "/missing.gdb: ISC ERROR CODE:335544344; I/O error",
                           0),
            0u)
      << lines[3];
  EXPECT_EQ(lines[4], "check failed");
}

struct BadSettingCase {
  const char* name;
  std::string lines;    // appended to good settings
  std::string message;  // after "qvWebService: <ini>: "
};

class BadSettingTest : public OperatorTest, public ::testing::WithParamInterface<BadSettingCase> {};

TEST_P(BadSettingTest, StopsTheStartNamingFileSectionAndKey) {
  server_->WriteIni(GoodSettings(GetParam().lines));
  ASSERT_TRUE(server_->Start(notify_.Path()));
  EXPECT_EQ(server_->WaitExit(), 1);
  EXPECT_EQ(server_->Log(), "qvWebService: " + folder_ + "/qvweb.ini: " + GetParam().message + "\n");
  EXPECT_LT(test::ConnectLoopback(port_), 0);
}

INSTANTIATE_TEST_SUITE_P(
    Table, BadSettingTest,
    ::testing::Values(
        BadSettingCase{"PortTooHigh", "[APP]\nPort=70000\n",
                       "[APP] Port: 70000 is not a port number (0 to 65535)"},
        BadSettingCase{"PortNegative", "[app]\nport=-1\n",
                       "[app] port: -1 is not a port number (0 to 65535)"},
        BadSettingCase{"PortNotANumber", "[APP]\nPort=eighty\n",
                       "[APP] Port: \"eighty\" is not a number"},
        BadSettingCase{"LoginTimeoutNotANumber", "[APP]\nLoginTimeout=10m\n",
                       "[APP] LoginTimeout: \"10m\" is not a number"},
        BadSettingCase{"StartNotANumber", "[APP]\nStart=true\n",
                       "[APP] Start: \"true\" is not a number"},
        BadSettingCase{"AdminPortTooHigh", "[ADMIN]\nPort=65536\n",
                       "[ADMIN] Port: 65536 is not a port number (0 to 65535)"},
        BadSettingCase{"AddressNotAnAddress", "[APP]\nAddress=127.0.0.1, localhost\n",
                       "[APP] Address: \"localhost\" is not an IPv4 or IPv6 address"}),
    [](const ::testing::TestParamInfo<BadSettingCase>& info) {
      return std::string(info.param.name);
    });

TEST_F(OperatorTest, StartLineAndWarningsGoToTheErrorLog) {
  fs::remove(folder_ + "/htdocs/qv_logo_jpg.jpg");
  server_->WriteIni(GoodSettings("[APP]\nAddress=127.0.0.1\nColour=blue\n[LOG]\nAccessLog=off\n"));
  StartServer();
  server_->Signal(SIGTERM);
  EXPECT_EQ(server_->WaitExit(), 0);
  const std::string ini = folder_ + "/qvweb.ini";
  EXPECT_EQ(Lines(server_->Log()),
            (std::vector<std::string>{
                "qvWebService: " + ini + ": [APP] Colour: unknown setting, ignored",
                "qvWebService: " + ini + ": [APP] HtDocs: logo " + folder_ +
                    "/htdocs/qv_logo_jpg.jpg not found",
                "qvWebService: qvweb 1.0.0 listening on 127.0.0.1:" + std::to_string(port_) +
                    "; database " + database_->Path() + "; HtDocs " + folder_ +
                    "/htdocs; settings " + ini,
                "qvWebService: qvweb 1.0.0 stopped"}));
}

TEST_F(OperatorTest, AccessLogHasOneCombinedLinePerAnswerWithItsTime) {
  const std::string logPath = folder_ + "/access.log";
  server_->WriteIni(GoodSettings("[LOG]\nAccessLog=" + logPath + "\n"));
  StartServer();
  const std::string logo = ReadFile(folder_ + "/htdocs/qv_logo_jpg.jpg");
  auto image = test::Exchange(
      port_, "GET /image/qv_logo_jpg.jpg?x=\"1\" HTTP/1.1\r\nHost: h\r\nReferer: http://h/LIST\r\n"
             "User-Agent: Probe/1.0 \"quoted\"\r\n\r\n");
  ASSERT_TRUE(image && image->complete);
  auto head = test::Exchange(port_, "HEAD / HTTP/1.0\r\n\r\n");
  ASSERT_TRUE(head && head->status == 200);
  auto tooLarge = test::Exchange(port_, "POST /LIST HTTP/1.1\r\nContent-Length: 99999999\r\n\r\n");
  ASSERT_TRUE(tooLarge && tooLarge->status == 413);
  server_->Signal(SIGTERM);
  ASSERT_EQ(server_->WaitExit(), 0);

  const std::vector<std::string> lines = Lines(ReadFile(logPath));
  ASSERT_EQ(lines.size(), 3u) << ReadFile(logPath);
  const std::regex combined(
      R"re(^(\S+) - - \[(\d\d/[A-Z][a-z][a-z]/\d{4}:\d\d:\d\d:\d\d [+-]\d{4})\] "((?:[^"\\]|\\.)*)" (\d{3}) (\d+|-) "((?:[^"\\]|\\.)*)" "((?:[^"\\]|\\.)*)" (\d+\.\d{3})$)re");
  struct Expected {
    std::string request, status, bytes, referer, agent;
  };
  const Expected expected[] = {
      {R"(GET /image/qv_logo_jpg.jpg?x=\"1\" HTTP/1.1)", "200", std::to_string(logo.size()),
       "http://h/LIST", R"(Probe/1.0 \"quoted\")"},
      {"HEAD / HTTP/1.0", "200", "-", "-", "-"},
      {"POST /LIST HTTP/1.1", "413", std::to_string(tooLarge->body.size()), "-", "-"},
  };
  for (size_t i = 0; i < 3; ++i) {
    std::smatch m;
    ASSERT_TRUE(std::regex_match(lines[i], m, combined)) << lines[i];
    EXPECT_EQ(m[1], "127.0.0.1");
    EXPECT_EQ(m[3], expected[i].request);
    EXPECT_EQ(m[4], expected[i].status);
    EXPECT_EQ(m[5], expected[i].bytes);
    EXPECT_EQ(m[6], expected[i].referer);
    EXPECT_EQ(m[7], expected[i].agent);
    EXPECT_LT(std::stod(m[8]), 10.0);
  }
}

}  // namespace
}  // namespace qv
