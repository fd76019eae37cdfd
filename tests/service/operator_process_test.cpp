// The built server as an operator meets it: the command line's exit codes and
// texts, -t on good and broken settings, the start line, the access log's
// lines field by field, and the admin port's health and metrics. (Settings
// files that stop the start: settings_process_test.cpp.)
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <memory>
#include <map>
#include <regex>
#include <thread>
#include <sstream>

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
using test::ReadFile;

constexpr const char* kData =
    "INSERT INTO AGENCY (AGENCY_ID, AGENCY_NAME) VALUES (1, 'Harbor Housing Agency');"
    "INSERT INTO DB_USERS (DB_USER_ID, DB_USER_NAME, DB_USER_PASSWORD, FULL_NAME)"
    " VALUES (1, 'demo', 'demo', 'Demo User')";


class OperatorTest : public test::ServerProcessTest {
 protected:
  static void SetUpTestSuite() {
    database_ = new TestDatabase();
    database_->ExecScript(kData);
  }
  static void TearDownTestSuite() {
    delete database_;
    database_ = nullptr;
  }

  void SetUp() override { ASSERT_NO_FATAL_FAILURE(SetUpServer("qv_operator")); }

  // Settings that work; extra lines go first, so that a key they give wins.
  // Working settings; a key that extra gives is taken from extra.
  std::string GoodSettings(const std::string& extra = "") const {
    return test::MergedSettings(extra, {{"APP", "Port=" + std::to_string(port_)},
                                        {"APP", "HtDocs=" + folder_ + "/htdocs"},
                                        {"APP", "ReadTimeout=10"},
                                        {"DB", "DBName=" + database_->Path()},
                                        {"DB", std::string("User=") + TestDatabase::User()}});
  }

  test::ProgramResult Run(const std::vector<std::string>& args) const {
    return test::RunProgram(server_->Binary(), args, folder_);
  }

  static TestDatabase* database_;
};

TestDatabase* OperatorTest::database_ = nullptr;

struct CommandLineCase {
  const char* name;
  std::vector<std::string> args;
  int status;
  const char* out_start;  // what standard output begins with
  const char* err_start;  // what standard error begins with
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
  EXPECT_EQ(result.out.rfind(c.out_start, 0), 0u) << result.out;
  EXPECT_EQ(result.err.rfind(c.err_start, 0), 0u) << result.err;
  if (std::string(c.err_start).empty()) {
    EXPECT_EQ(result.err, "");
  }
  if (std::string(c.out_start).empty()) {
    EXPECT_EQ(result.out, "");
  }
  EXPECT_FALSE(test::LoopbackClient::TryConnect(port_));
}

INSTANTIATE_TEST_SUITE_P(
    Table, CommandLineTest,
    ::testing::Values(
        CommandLineCase{"Help", {"--help"}, 0, "Usage: qvweb ", ""},
        CommandLineCase{"HelpShort", {"-h"}, 0, "Usage: qvweb ", ""},
        CommandLineCase{"Version", {"--version"}, 0, "qvweb 1.0.0\nFirebird client LI-V", ""},
        CommandLineCase{"PrintConfig", {"--print-config"}, 0,
                        "; Effective settings: every key, defaults filled in, the password "
                        "hidden.\n\n[APP]\nPort=",
                        ""},
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
  // In the order of the file.
  EXPECT_EQ(lines[0], "error: " + ini + ": [APP] Port: 70000 is out of range (0 to 65535)");
  EXPECT_EQ(lines[1], "error: " + ini + ": [APP] HtDocs: folder " + folder_ + "/nowhere not found");
  EXPECT_EQ(lines[2], "error: " + ini + ": [APP] Colour: unknown setting, ignored");
  EXPECT_EQ(lines[3].rfind("error: " + ini + ": [DB] DBName: database " + folder_ +
                               "/missing.gdb: ISC ERROR CODE:335544344; I/O error",
                           0),
            0u)
      << lines[3];
  EXPECT_EQ(lines[4], "check failed");
}

TEST_F(OperatorTest, StartLineAndWarningsGoToTheErrorLog) {
  fs::remove(folder_ + "/htdocs/qv_logo_jpg.jpg");
  server_->WriteIni(GoodSettings("[APP]\nAddress=127.0.0.1\nColour=blue\n[LOG]\nAccessLog=off\n"));
  StartServer();
  server_->Signal(SIGTERM);
  EXPECT_EQ(server_->WaitExit(), 0);
  const std::string ini = folder_ + "/qvweb.ini";
  EXPECT_EQ(Lines(server_->Log()),
            (std::vector<std::string>{
                "warning qvweb: " + ini + ": [APP] Colour: unknown setting, ignored",
                "warning qvweb: " + ini + ": [APP] HtDocs: logo " + folder_ +
                    "/htdocs/qv_logo_jpg.jpg not found",
                "info qvweb: qvweb 1.0.0 listening on 127.0.0.1:" + std::to_string(port_) +
                    "; database " + database_->Path() + "; HtDocs " + folder_ +
                    "/htdocs; settings " + ini,
                "info qvweb: qvweb 1.0.0 stopped"}));
}

TEST_F(OperatorTest, AccessLogHasOneCombinedLinePerAnswerWithItsTime) {
  const std::string log_path = folder_ + "/access.log";
  server_->WriteIni(GoodSettings("[LOG]\nAccessLog=" + log_path + "\n"));
  StartServer();
  const std::string logo = ReadFile(folder_ + "/htdocs/qv_logo_jpg.jpg");
  auto image = test::TryExchange(
      port_, "GET /image/qv_logo_jpg.jpg?x=\"1\" HTTP/1.1\r\nHost: h\r\nReferer: http://h/LIST\r\n"
             "User-Agent: Probe/1.0 \"quoted\"\r\n\r\n");
  ASSERT_TRUE(image && image->complete);
  auto head = test::TryExchange(port_, "HEAD / HTTP/1.0\r\n\r\n");
  ASSERT_TRUE(head && head->status == 200);
  auto too_large = test::TryExchange(port_, "POST /LIST HTTP/1.1\r\nContent-Length: 99999999\r\n\r\n");
  ASSERT_TRUE(too_large && too_large->status == 413);
  // Heads over their limits are answered and logged too; a request line too
  // long to keep is logged as none.
  auto long_target = test::TryExchange(port_, "GET /" + std::string(20000, 'a') + " HTTP/1.1\r\n\r\n");
  ASSERT_TRUE(long_target && long_target->status == 414);
  auto long_header = test::TryExchange(port_, "GET /LIST HTTP/1.1\r\nX: " + std::string(20000, 'x') + "\r\n\r\n");
  ASSERT_TRUE(long_header && long_header->status == 431);
  server_->Signal(SIGTERM);
  ASSERT_EQ(server_->WaitExit(), 0);

  const std::vector<std::string> lines = Lines(ReadFile(log_path));
  ASSERT_EQ(lines.size(), 5u) << ReadFile(log_path);
  const std::regex combined(
      R"re(^(\S+) - - \[(\d\d/[A-Z][a-z][a-z]/\d{4}:\d\d:\d\d:\d\d [+-]\d{4})\] "((?:[^"\\]|\\.)*)" (\d{3}) (\d+|-) "((?:[^"\\]|\\.)*)" "((?:[^"\\]|\\.)*)" (\d+\.\d{3})$)re");
  struct Expected {
    std::string request, status, bytes, referer, agent;
  };
  const Expected expected[] = {
      {R"(GET /image/qv_logo_jpg.jpg?x=\"1\" HTTP/1.1)", "200", std::to_string(logo.size()),
       "http://h/LIST", R"(Probe/1.0 \"quoted\")"},
      {"HEAD / HTTP/1.0", "200", "-", "-", "-"},
      {"POST /LIST HTTP/1.1", "413", std::to_string(too_large->body.size()), "-", "-"},
      {"-", "414", std::to_string(long_target->body.size()), "-", "-"},
      {"GET /LIST HTTP/1.1", "431", std::to_string(long_header->body.size()), "-", "-"},
  };
  for (size_t i = 0; i < 5; ++i) {
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

// Log-ons by GET and by POST, right and wrong, with the password in the
// query, the form and a Referer: no output of the server holds it. The
// access log names the logged-on visitor; the error log has one line for
// each log-on, failed log-on and log-off, with the name and never the password.
TEST_F(OperatorTest, NoOutputHoldsAPasswordAndTheLogsSayWhoLoggedOn) {
  const std::string log_path = folder_ + "/access.log";
  const int admin_port = test::FreePort();
  server_->WriteIni(GoodSettings("[LOG]\nAccessLog=" + log_path + "\n[ADMIN]\nPort=" +
                                 std::to_string(admin_port) + "\n"));
  StartServer();
  const std::string wrong = "Wr0ngPassw0rd";
  auto get = [&](const std::string& target, const std::string& cookie, const std::string& extra = "") {
    auto answer = test::TryExchange(port_, "GET " + target + " HTTP/1.1\r\nHost: h\r\n" +
                                               (cookie.empty() ? "" : "Cookie: " + cookie + "\r\n") + extra + "\r\n");
    EXPECT_TRUE(answer && answer->complete);
    return answer ? *answer : test::HttpAnswer{};
  };
  const test::HttpAnswer by_get = get("/DOLOGIN?uName=demo&uPass=demo&B1=Submit", "");
  const std::string session = test::SessionCookie(by_get);
  EXPECT_NE(by_get.body.find("href=\"/LOGOFF\""), std::string::npos);
  // The next page's Referer is the log-on's address, password and all.
  get("/list", session, "Referer: http://h/DOLOGIN?uName=demo&uPass=demo\r\n");
  get("/LOGOFF", session);
  get("/DOLOGIN?uName=demo&UPASS=" + wrong, "");
  auto by_post = test::TryExchange(port_, test::PostFormRequest("/DOLOGIN", "uName=demo&uPass=" + wrong));
  ASSERT_TRUE(by_post && by_post->complete);
  auto posted = test::TryExchange(port_, test::PostFormRequest("/DOLOGIN", "uName=demo&uPass=demo"));
  ASSERT_TRUE(posted && posted->complete);
  const auto metrics = test::TryExchange(admin_port, "GET /metrics HTTP/1.1\r\n\r\n");
  ASSERT_TRUE(metrics && metrics->status == 200);
  server_->Signal(SIGTERM);
  ASSERT_EQ(server_->WaitExit(), 0);

  std::string everything = metrics->raw;
  for (const auto& entry : fs::recursive_directory_iterator(folder_))
    if (entry.is_regular_file() && entry.path().filename() != "qvweb") everything += ReadFile(entry.path().string());
  EXPECT_EQ(everything.find(wrong), std::string::npos);
  EXPECT_EQ(everything.find("uPass=demo"), std::string::npos);
  EXPECT_EQ(everything.find("UPASS=" + wrong), std::string::npos);

  const std::vector<std::string> lines = Lines(ReadFile(log_path));
  ASSERT_EQ(lines.size(), 6u) << ReadFile(log_path);
  const std::string users[] = {"demo", "demo", "-", "-", "-", "demo"};
  for (size_t i = 0; i < lines.size(); ++i)
    EXPECT_EQ(lines[i].rfind("127.0.0.1 - " + users[i] + " [", 0), 0u) << lines[i];
  EXPECT_NE(lines[0].find("\"GET /DOLOGIN?uName=demo&uPass=***&B1=Submit HTTP/1.1\""), std::string::npos) << lines[0];
  EXPECT_NE(lines[1].find("\"http://h/DOLOGIN?uName=demo&uPass=***\""), std::string::npos) << lines[1];
  std::vector<std::string> logons;
  for (const std::string& line : Lines(server_->Log()))
    if (line.find(": user \"demo\" from 127.0.0.1") != std::string::npos) logons.push_back(line);
  EXPECT_EQ(logons, (std::vector<std::string>{"info qvweb: Log-on: user \"demo\" from 127.0.0.1",
                                              "info qvweb: Log-off: user \"demo\" from 127.0.0.1",
                                              "info qvweb: Log-on failed: user \"demo\" from 127.0.0.1",
                                              "info qvweb: Log-on failed: user \"demo\" from 127.0.0.1",
                                              "info qvweb: Log-on: user \"demo\" from 127.0.0.1"}));
}

// The list's CSV, sent without a length, is counted and logged as every
// answer: under its page with the csv format, with the bytes it sent.
TEST_F(OperatorTest, TheCsvAnswerIsCountedAndLoggedWithTheBytesItSent) {
  const std::string log_path = folder_ + "/access.log";
  const int admin_port = test::FreePort();
  server_->WriteIni(GoodSettings("[LOG]\nAccessLog=" + log_path + "\n[ADMIN]\nPort=" +
                                 std::to_string(admin_port) + "\n"));
  StartServer();
  auto logon = test::TryExchange(port_, test::GetRequest("/DOLOGIN?uName=demo&uPass=demo&B1=Submit"));
  ASSERT_TRUE(logon);
  const std::string session = test::SessionCookie(*logon);
  auto csv = test::TryExchange(port_, "GET /list HTTP/1.1\r\nHost: h\r\nCookie: " + session +
                                          "\r\nAccept: text/csv\r\n\r\n");
  ASSERT_TRUE(csv);
  EXPECT_EQ(csv->status, 200);
  EXPECT_EQ(csv->body.rfind("id,name,address1,address2,city,state,zipcode,units\r\n", 0), 0u);
  const auto metrics = test::TryExchange(admin_port, "GET /metrics HTTP/1.1\r\n\r\n");
  ASSERT_TRUE(metrics && metrics->status == 200);
  EXPECT_NE(metrics->body.find("qvweb_requests_total{page=\"list\",format=\"csv\",status=\"200\"} 1\n"),
            std::string::npos)
      << metrics->body;
  server_->Signal(SIGTERM);
  ASSERT_EQ(server_->WaitExit(), 0);
  const std::vector<std::string> lines = Lines(ReadFile(log_path));
  ASSERT_EQ(lines.size(), 2u) << ReadFile(log_path);
  EXPECT_NE(lines[1].find("\"GET /list HTTP/1.1\" 200 " + std::to_string(csv->body.size()) + " "),
            std::string::npos)
      << lines[1];
}

// Behind a trusted proxy the access log writes the visitor's address, the
// one sessions and the throttle use, not the proxy's.
TEST_F(OperatorTest, AccessLogWritesTheVisitorBehindATrustedProxy) {
  const std::string log_path = folder_ + "/access.log";
  server_->WriteIni(GoodSettings("[APP]\nTrustedProxies=127.0.0.1\n[LOG]\nAccessLog=" + log_path + "\n"));
  StartServer();
  ASSERT_TRUE(test::TryExchange(port_, "GET /IMAGE HTTP/1.1\r\nX-Forwarded-For: 203.0.113.7\r\n\r\n"));
  ASSERT_TRUE(test::TryExchange(port_, "GET /IMAGE HTTP/1.1\r\nX-Forwarded-For: 2001:db8::5, 127.0.0.1\r\n\r\n"));
  server_->Signal(SIGTERM);
  ASSERT_EQ(server_->WaitExit(), 0);
  const std::vector<std::string> lines = Lines(ReadFile(log_path));
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[0].rfind("203.0.113.7 - - [", 0), 0u) << lines[0];
  EXPECT_EQ(lines[1].rfind("2001:db8::5 - - [", 0), 0u) << lines[1];
}

TEST_F(OperatorTest, Sigusr1ReopensTheAccessLogAfterRotation) {
  const std::string log_path = folder_ + "/access.log";
  server_->WriteIni(GoodSettings("[LOG]\nAccessLog=" + log_path + "\n"));
  StartServer();
  ASSERT_TRUE(test::TryExchange(port_, test::GetRequest("/IMAGE")));
  fs::rename(log_path, log_path + ".1");
  server_->Signal(SIGUSR1);
  // The reopen happens on the service thread; wait for the new file.
  for (int i = 0; i < 500 && !fs::exists(log_path); ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  ASSERT_TRUE(test::TryExchange(port_, test::GetRequest("/IMAGE?second")));
  server_->Signal(SIGTERM);
  ASSERT_EQ(server_->WaitExit(), 0);
  const std::vector<std::string> rotated = Lines(ReadFile(log_path + ".1"));
  const std::vector<std::string> current = Lines(ReadFile(log_path));
  ASSERT_EQ(rotated.size(), 1u);
  ASSERT_EQ(current.size(), 1u);
  EXPECT_NE(rotated[0].find("\"GET /IMAGE HTTP/1.1\""), std::string::npos) << rotated[0];
  EXPECT_NE(current[0].find("\"GET /IMAGE?second HTTP/1.1\""), std::string::npos) << current[0];
}

TEST_F(OperatorTest, SighupMovesTheServerToAChangedPort) {
  server_->WriteIni(GoodSettings("[LOG]\nAccessLog=off\n"));
  StartServer();
  const int new_port = test::FreePort();
  server_->WriteIni(GoodSettings("[APP]\nPort=" + std::to_string(new_port) + "\n[LOG]\nAccessLog=off\n"));
  server_->Signal(SIGHUP);
  std::optional<test::HttpAnswer> answer;
  for (int i = 0; i < 500 && !answer; ++i) {
    answer = test::TryExchange(new_port, test::GetRequest("/IMAGE"));
    if (!answer) std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  ASSERT_TRUE(answer) << server_->Log();
  EXPECT_EQ(answer->status, 200);
  EXPECT_FALSE(test::LoopbackClient::TryConnect(port_));

  // Settings with an error keep the server as it runs.
  server_->WriteIni(GoodSettings("[APP]\nPort=99999\n"));
  server_->Signal(SIGHUP);
  for (int i = 0; i < 500 && server_->Log().find("Settings not reloaded") == std::string::npos; ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  auto still = test::TryExchange(new_port, test::GetRequest("/IMAGE"));
  ASSERT_TRUE(still);
  EXPECT_EQ(still->status, 200);
  server_->Signal(SIGTERM);
  EXPECT_EQ(server_->WaitExit(), 0);
  const std::string log = server_->Log();
  EXPECT_NE(log.find("Settings reloaded; qvweb 1.0.0 listening on 0.0.0.0:" +
                     std::to_string(new_port)),
            std::string::npos)
      << log;
  EXPECT_NE(log.find("error qvweb: " + folder_ + "/qvweb.ini: [APP] Port: 99999 is out of range "
                     "(0 to 65535)\nerror qvweb: Settings not reloaded"),
            std::string::npos)
      << log;
}

TEST_F(OperatorTest, SighupLetsARequestInFlightFinish) {
  server_->WriteIni(GoodSettings("[LOG]\nAccessLog=off\n"));
  StartServer();
  // A request whose headers are not complete yet is in flight at the signal.
  test::LoopbackClient client(port_);
  ASSERT_TRUE(client.Send("GET /IMAGE HTTP/1.1\r\n"));
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  server_->Signal(SIGHUP);
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  ASSERT_TRUE(client.Send("Host: h\r\n\r\n"));
  const test::HttpAnswer answer = test::ParseAnswer(client.ReadAll());
  EXPECT_EQ(answer.status, 200);
  EXPECT_TRUE(answer.complete);
  server_->Signal(SIGTERM);
  EXPECT_EQ(server_->WaitExit(), 0);
}

// The admin port's answers, read as an operator's tools would.
class AdminPortTest : public OperatorTest {
 protected:
  // extra: settings lines whose keys win over the working ones.
  void StartWithAdmin(const std::string& database, const std::string& extra = "") {
    admin_port_ = test::FreePort();
    const std::string db = database.empty() ? "" : "[DB]\nDBName=" + database + "\n";
    server_->WriteIni(GoodSettings(db + extra + "[ADMIN]\nPort=" + std::to_string(admin_port_) +
                                   "\n[LOG]\nAccessLog=off\n"));
    StartServer();
  }
  std::optional<test::HttpAnswer> Admin(const std::string& request) {
    return test::TryExchange(admin_port_, request);
  }
  int admin_port_ = 0;
};

TEST_F(AdminPortTest, HealthIsOkWithTheDatabaseUp) {
  StartWithAdmin("");
  auto health = Admin(test::GetRequest("/health"));
  ASSERT_TRUE(health && health->complete);
  EXPECT_EQ(health->status, 200);
  EXPECT_EQ(health->body, "ok");
}

TEST_F(AdminPortTest, HealthSaysWhyWithAWrongDatabasePath) {
  StartWithAdmin(folder_ + "/missing.gdb");
  auto health = Admin(test::GetRequest("/health"));
  ASSERT_TRUE(health && health->complete);
  EXPECT_EQ(health->status, 503);
  EXPECT_EQ(health->body.rfind("ISC ERROR CODE:335544344; I/O error during \"open\" operation", 0),
            0u)
      << health->body;
  EXPECT_EQ(health->body.find('\n'), std::string::npos);
}

TEST_F(AdminPortTest, AnswersNothingButHealthAndMetrics) {
  StartWithAdmin("");
  struct Case {
    std::string request;
    int status;
  };
  const Case cases[] = {
      {test::GetRequest("/"), 404},
      {test::GetRequest("/LIST"), 404},
      {test::GetRequest("/IMAGE"), 404},
      {test::GetRequest("/healthz"), 404},
      {test::PostFormRequest("/health", "a=1"), 404},
      {"DELETE /metrics HTTP/1.1\r\n\r\n", 404},
      {test::GetRequest("/metrics"), 200},
  };
  for (const Case& c : cases) {
    auto answer = Admin(c.request);
    ASSERT_TRUE(answer) << c.request;
    EXPECT_EQ(answer->status, c.status) << c.request;
    EXPECT_EQ(answer->Header("Set-Cookie"), "") << c.request;
  }
}

// One sample of the text format.
struct Sample {
  std::string name;
  std::map<std::string, std::string> labels;
  double value = 0;
};

// Parses the text format strictly: every sample's family declared by a TYPE
// line before it, label values quoted, values numbers.
std::vector<Sample> ParseMetrics(const std::string& text, std::string& error) {
  std::vector<Sample> samples;
  std::map<std::string, std::string> types;
  const std::regex type_line(R"(^# TYPE ([a-zA-Z_:][a-zA-Z0-9_:]*) (counter|gauge|histogram)$)");
  const std::regex help_line(R"(^# HELP ([a-zA-Z_:][a-zA-Z0-9_:]*) .+$)");
  const std::regex sample_line(
      R"re(^([a-zA-Z_:][a-zA-Z0-9_:]*)(\{([a-zA-Z_][a-zA-Z0-9_]*="[^"\\]*"(,[a-zA-Z_][a-zA-Z0-9_]*="[^"\\]*")*)\})? ([-+]?[0-9.eE+-]+|\+Inf)$)re");
  const std::regex label(R"re(([a-zA-Z_][a-zA-Z0-9_]*)="([^"]*)")re");
  for (const std::string& line : Lines(text)) {
    std::smatch m;
    if (std::regex_match(line, m, type_line)) {
      types[m[1]] = m[2];
    } else if (std::regex_match(line, help_line)) {
    } else if (std::regex_match(line, m, sample_line)) {
      Sample sample;
      sample.name = m[1];
      std::string family = sample.name;
      for (const char* suffix : {"_bucket", "_sum", "_count"}) {
        const std::string s = suffix;
        if (!types.count(family) && family.size() > s.size() &&
            family.compare(family.size() - s.size(), s.size(), s) == 0)
          family = family.substr(0, family.size() - s.size());
      }
      if (!types.count(family)) {
        error = "no TYPE before " + line;
        return {};
      }
      const std::string labels = m[3];
      for (auto it = std::sregex_iterator(labels.begin(), labels.end(), label);
           it != std::sregex_iterator(); ++it)
        sample.labels[(*it)[1]] = (*it)[2];
      sample.value = std::stod(m[5]);
      samples.push_back(sample);
    } else {
      error = "not the text format: " + line;
      return {};
    }
  }
  return samples;
}

double Value(const std::vector<Sample>& samples, const std::string& name,
             const std::map<std::string, std::string>& labels = {}) {
  for (const Sample& sample : samples) {
    if (sample.name == name && sample.labels == labels) return sample.value;
  }
  return 0;
}

bool Has(const std::vector<Sample>& samples, const std::string& name,
         const std::map<std::string, std::string>& labels = {}) {
  return std::any_of(samples.begin(), samples.end(), [&](const Sample& sample) {
    return sample.name == name && sample.labels == labels;
  });
}

TEST_F(AdminPortTest, MetricsAreTheTextFormatAndMoveWithRequests) {
  StartWithAdmin("");
  auto before = Admin(test::GetRequest("/metrics"));
  ASSERT_TRUE(before && before->status == 200);
  EXPECT_EQ(before->Header("Content-Type"), "text/plain; version=0.0.4; charset=utf-8");
  std::string error;
  const std::vector<Sample> first = ParseMetrics(before->body, error);
  ASSERT_EQ(error, "") << before->body;
  EXPECT_EQ(Value(first, "qvweb_build_info", {{"version", "1.0.0"}}), 1);
  EXPECT_GT(Value(first, "process_resident_memory_bytes"), 0);
  EXPECT_GT(Value(first, "process_open_fds"), 0);

  for (int i = 0; i < 3; ++i) ASSERT_TRUE(test::TryExchange(port_, test::GetRequest("/")));
  ASSERT_TRUE(test::TryExchange(port_, test::GetRequest("/nothing/here")));
  ASSERT_TRUE(test::TryExchange(port_, "POST /LIST HTTP/1.1\r\nContent-Length: 99999999\r\n\r\n"));

  auto after = Admin(test::GetRequest("/metrics"));
  ASSERT_TRUE(after && after->status == 200);
  const std::vector<Sample> second = ParseMetrics(after->body, error);
  ASSERT_EQ(error, "") << after->body;
  auto moved = [&](const std::string& name, const std::map<std::string, std::string>& labels) {
    return Value(second, name, labels) - Value(first, name, labels);
  };
  EXPECT_EQ(moved("qvweb_requests_total", {{"page", "main"}, {"status", "200"}}), 3);
  EXPECT_EQ(moved("qvweb_requests_total", {{"page", "other"}, {"status", "200"}}), 1);
  EXPECT_EQ(moved("qvweb_requests_total", {{"page", "list"}, {"status", "413"}}), 1);
  EXPECT_EQ(moved("qvweb_request_duration_seconds_count", {{"page", "main"}}), 3);
  EXPECT_EQ(moved("qvweb_request_duration_seconds_bucket", {{"page", "main"}, {"le", "+Inf"}}), 3);
  EXPECT_EQ(Value(second, "qvweb_sessions"), 4);  // one per request that reached the router
  EXPECT_EQ(Value(second, "qvweb_pool_modules", {{"state", "free"}}), 1);
  EXPECT_EQ(Value(second, "qvweb_pool_modules", {{"state", "busy"}}), 0);
  EXPECT_EQ(Value(second, "qvweb_pool_modules", {{"state", "unconnected"}}), 4);
  EXPECT_EQ(Value(second, "qvweb_database_errors_total", {{"kind", "other"}}), 0);
}

// A request is counted under the label of the path it asked for, the
// router's reading of it: a log-on, whether it succeeds or not, counts as
// "dologin", a path with an encoded letter as the page it decodes to, and a
// request the router never saw by its request line.
TEST_F(AdminPortTest, MetricsCountARequestUnderThePathItAskedFor) {
  StartWithAdmin("");
  std::string error;
  const std::vector<Sample> first = ParseMetrics(Admin(test::GetRequest("/metrics"))->body, error);
  ASSERT_EQ(error, "");
  const struct {
    std::string request;
    int status;
  } requests[] = {
      {test::PostFormRequest("/DOLOGIN", "uName=demo&uPass=demo"), 200},
      {test::PostFormRequest("/dologin/list", "uName=demo&uPass=wrong"), 200},
      {test::GetRequest("/%4Cist"), 200},
      // Refused before its target is decoded: counted by its request line.
      {"POST /%4Cist HTTP/1.1\r\nContent-Length: 99999999\r\n\r\n", 413},
  };
  for (const auto& r : requests) {
    const test::HttpAnswer answer = test::Exchange(port_, r.request);
    EXPECT_EQ(answer.status, r.status) << r.request;
  }
  const std::vector<Sample> second = ParseMetrics(Admin(test::GetRequest("/metrics"))->body, error);
  ASSERT_EQ(error, "");
  auto moved = [&](const std::string& page, const std::string& status) {
    return Value(second, "qvweb_requests_total", {{"page", page}, {"status", status}}) -
           Value(first, "qvweb_requests_total", {{"page", page}, {"status", status}});
  };
  EXPECT_EQ(moved("dologin", "200"), 2);
  EXPECT_EQ(moved("main", "200"), 0);
  EXPECT_EQ(moved("list", "200"), 1);
  EXPECT_EQ(moved("other", "413"), 1);
}

TEST_F(AdminPortTest, MetricsCountDatabaseErrorsByKind) {
  StartWithAdmin(folder_ + "/missing.gdb");
  for (int i = 0; i < 2; ++i) {
    auto page = test::TryExchange(port_, test::GetRequest("/"));
    ASSERT_TRUE(page);
    EXPECT_EQ(page->body.rfind("ISC ERROR CODE:335544344", 0), 0u);
  }
  auto metrics = Admin(test::GetRequest("/metrics"));
  ASSERT_TRUE(metrics);
  std::string error;
  const std::vector<Sample> samples = ParseMetrics(metrics->body, error);
  ASSERT_EQ(error, "");
  EXPECT_EQ(Value(samples, "qvweb_database_errors_total", {{"kind", "database"}}), 2);
  EXPECT_EQ(Value(samples, "qvweb_pool_modules", {{"state", "unconnected"}}), 5);
}

// The admin port's metrics, read until they parse (the admin port is down
// for a moment while settings are reloaded).
std::vector<Sample> ReadMetrics(int admin_port) {
  for (int i = 0; i < 500; ++i) {
    auto answer = test::TryExchange(admin_port, test::GetRequest("/metrics"));
    std::string error;
    if (answer && answer->status == 200) {
      std::vector<Sample> samples = ParseMetrics(answer->body, error);
      EXPECT_EQ(error, "");
      return samples;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  ADD_FAILURE() << "no metrics";
  return {};
}

TEST_F(AdminPortTest, EverySeriesToAlertOnIsThereFromTheStart) {
  StartWithAdmin("");
  const std::vector<Sample> samples = ReadMetrics(admin_port_);
  const std::pair<std::string, std::map<std::string, std::string>> zeros[] = {
      {"qvweb_reloads_total", {{"result", "success"}}},
      {"qvweb_reloads_total", {{"result", "failure"}}},
      {"qvweb_logon_refused_total", {}},
      {"qvweb_logon_throttle_forgotten_total", {}},
      {"qvweb_logon_throttle_entries", {}},
      {"qvweb_session_store_errors_total", {}},
      {"qvweb_response_body_bytes_total", {}},
      {"qvweb_workers_busy", {}},
      {"qvweb_pool_waits_total", {}},
      {"qvweb_pool_timeouts_total", {}},
      {"qvweb_database_errors_total", {{"kind", "connection_lost"}}},
      {"qvweb_request_memory_bytes", {}},
      {"qvweb_request_memory_refused_total", {}},
  };
  for (const auto& [name, labels] : zeros) {
    EXPECT_TRUE(Has(samples, name, labels)) << name;
    EXPECT_EQ(Value(samples, name, labels), 0) << name;
  }
  EXPECT_EQ(Value(samples, "qvweb_workers_max"), 32);
  EXPECT_EQ(Value(samples, "qvweb_request_memory_limit_bytes"), 64 << 20);
  EXPECT_TRUE(Has(samples, "qvweb_worker_threads"));
  const double now = static_cast<double>(std::time(nullptr));
  const double started = Value(samples, "process_start_time_seconds");
  EXPECT_GT(started, now - 600);
  EXPECT_LE(started, now + 1);
  EXPECT_TRUE(Has(samples, "process_cpu_seconds_total"));
  EXPECT_GE(Value(samples, "process_cpu_seconds_total"), 0);
  EXPECT_GT(Value(samples, "process_open_fds"), 0);
  EXPECT_GE(Value(samples, "process_max_fds"), Value(samples, "process_open_fds"));
}

TEST_F(AdminPortTest, CountersMoveWithBodiesThrottledLogOnsAndReloads) {
  StartWithAdmin("");
  // Bytes: the bodies of every answer below, summed as the client got them.
  double bodies = 0;
  auto logo = test::TryExchange(port_, test::GetRequest("/IMAGE"));
  ASSERT_TRUE(logo && logo->complete);
  bodies += static_cast<double>(logo->body.size());
  // Five wrong passwords are answered; the sixth attempt is refused.
  std::vector<int> statuses;
  for (int i = 0; i < 6; ++i) {
    auto answer = test::TryExchange(port_, test::PostFormRequest("/DOLOGIN", "uName=demo&uPass=wrong"));
    ASSERT_TRUE(answer && answer->complete);
    statuses.push_back(answer->status);
    bodies += static_cast<double>(answer->body.size());
  }
  EXPECT_EQ(statuses, (std::vector<int>{200, 200, 200, 200, 200, 429}));

  // A reload of unchanged settings is taken; one with an error is refused.
  server_->Signal(SIGHUP);
  for (int i = 0; i < 500 && server_->Log().find("Settings reloaded") == std::string::npos; ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  const std::string good = ReadFile(server_->IniPath());
  server_->WriteIni("[APP]\nWorkers=0\n" + good);
  server_->Signal(SIGHUP);
  auto await_refusals = [&](size_t count) {
    for (int i = 0; i < 500; ++i) {
      const std::string log = server_->Log();
      size_t found = 0;
      for (size_t at = log.find("Settings not reloaded"); at != std::string::npos;
           at = log.find("Settings not reloaded", at + 1))
        ++found;
      if (found >= count) return;
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
  };
  await_refusals(1);
  // Nor does a file gone since the start fall back to the defaults.
  fs::remove(server_->IniPath());
  server_->Signal(SIGHUP);
  await_refusals(2);
  auto still = test::TryExchange(port_, test::GetRequest("/IMAGE"));
  ASSERT_TRUE(still && still->status == 200) << server_->Log();
  bodies += static_cast<double>(still->body.size());

  const std::vector<Sample> samples = ReadMetrics(admin_port_);
  EXPECT_EQ(Value(samples, "qvweb_response_body_bytes_total"), bodies);
  EXPECT_EQ(Value(samples, "qvweb_logon_refused_total"), 1);
  EXPECT_EQ(Value(samples, "qvweb_reloads_total", {{"result", "success"}}), 1) << server_->Log();
  EXPECT_EQ(Value(samples, "qvweb_reloads_total", {{"result", "failure"}}), 2) << server_->Log();
  EXPECT_EQ(Value(samples, "qvweb_workers_busy"), 0);
}

TEST_F(AdminPortTest, EveryFailedCallToTheSessionStoreIsCounted) {
  // Nothing listens on the store's port: every request with a session
  // cookie finds it unreachable.
  StartWithAdmin("", "[SESSIONS]\nStore=redis://127.0.0.1:" + std::to_string(test::FreePort()) + "\n");
  for (int i = 0; i < 3; ++i) {
    auto answer = test::TryExchange(port_, test::GetRequest("/", "IDHTTPSESSIONID=abcdefghijklmno"));
    ASSERT_TRUE(answer);
    EXPECT_EQ(answer->status, 503);
  }
  const std::vector<Sample> samples = ReadMetrics(admin_port_);
  EXPECT_EQ(Value(samples, "qvweb_session_store_errors_total"), 3);
}

}  // namespace
}  // namespace qv
