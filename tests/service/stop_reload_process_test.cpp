// The built server as a process on SIGTERM and SIGHUP: a stop ends at once
// when the connections it has carry no request and cuts a half-sent request
// at StopTimeout; a reload keeps the listening socket, the connections and
// the sessions, tells the service manager, applies a changed database and
// reports what needs a restart.
#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <future>
#include <memory>
#include <string>
#include <thread>
#include <vector>

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
using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

double Seconds(Clock::duration d) { return std::chrono::duration<double>(d).count(); }

class StopReloadProcessTest : public test::ServerProcessTest {
 protected:
  void SetUp() override {
    ASSERT_NO_FATAL_FAILURE(SetUpServer("qv_stop_reload"));
    database_ = std::make_unique<TestDatabase>();
    database_->ExecScript(test::kOnePropertyData);
  }

  std::string Settings(const std::string& extra_app, const std::string& database_path,
                       const std::string& extra = "") const {
    return "[APP]\nPort=" + std::to_string(port_) + "\nHtDocs=" + folder_ +
           "/htdocs\nReadTimeout=30\n" + extra_app + "[DB]\nDBName=" + database_path +
           "\nUser=" + TestDatabase::User() + "\n[LOG]\nAccessLog=off\n" + extra;
  }

  void Start(const std::string& settings) {
    server_->WriteIni(settings);
    StartServer();
  }

  // Sends SIGHUP and waits for its end as the service manager sees it.
  void Reload() {
    server_->Signal(SIGHUP);
    std::optional<std::string> begun = notify_.Receive(30000);
    ASSERT_TRUE(begun) << server_->Log();
    EXPECT_EQ(begun->rfind("RELOADING=1\nSTATUS=Reloading\nMONOTONIC_USEC=", 0), 0u) << *begun;
    EXPECT_EQ(notify_.Receive(30000), "READY=1\nSTATUS=Running") << server_->Log();
  }

  std::unique_ptr<TestDatabase> database_;
};

TEST_F(StopReloadProcessTest, StopEndsAtOnceOverConnectionsWithNoRequestAndCutsAHalfSentOneAtItsLimit) {
  struct Case {
    const char* name;
    std::string sent;       // on the connection held open, before the stop
    bool answered;          // the connection got its answer before that
    int stop_timeout;        // seconds
    double at_least, below;  // the seconds the stop takes
  } const cases[] = {
      {"nothing sent", "", false, 10, 0.0, 2.0},
      {"kept open after an answer", test::GetRequest("/IMAGE"), true, 10, 0.0, 2.0},
      {"half a request", "GET /IMAGE HTTP/1.1\r\nHost: h", false, 2, 1.9, 4.0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Start(Settings("KeepAlive=1\nStopTimeout=" + std::to_string(c.stop_timeout) + "\n",
                   database_->Path()));
    test::LoopbackClient client(port_);
    ASSERT_TRUE(c.sent.empty() || client.Send(c.sent));
    if (c.answered) {
      // The whole answer, the connection staying open after it.
      const test::HttpAnswer answer = client.ReadAnswer();
      ASSERT_TRUE(answer.complete) << answer.raw;
      EXPECT_EQ(answer.status, 200);
    }
    std::this_thread::sleep_for(100ms);
    const auto stop_at = Clock::now();
    server_->Signal(SIGTERM);
    EXPECT_EQ(server_->WaitExit(10s), 0) << server_->Log();
    const double took = Seconds(Clock::now() - stop_at);
    EXPECT_GE(took, c.at_least);
    EXPECT_LT(took, c.below);
    // Closed without a byte more.
    std::string more;
    EXPECT_TRUE(client.ClosedWithin(1s, &more));
    EXPECT_EQ(more, "");
    server_ = std::make_unique<test::ServerProcess>(QV_WEB_BINARY, folder_);
  }
}

TEST_F(StopReloadProcessTest, ReloadKeepsTheListeningSocketItsConnectionsAndTheSessions) {
  Start(Settings("", database_->Path()));
  const std::string cookie = LogOn();
  // Opened before the reload: one with nothing sent yet, one with half a request.
  test::LoopbackClient silent(port_), half(port_);
  ASSERT_TRUE(half.Send("GET /IMAGE HTTP/1.1\r\n"));
  // Connections made all through the reload are all answered.
  std::atomic<bool> done{false};
  auto during = std::async(std::launch::async, [&] {
    int answered = 0, failed = 0;
    while (!done) {
      const auto answer = test::TryExchange(port_, test::GetRequest("/IMAGE"), {.silence = 5s});
      if (answer && answer->status == 200 && answer->complete)
        ++answered;
      else
        ++failed;
    }
    return std::make_pair(answered, failed);
  });
  std::this_thread::sleep_for(100ms);
  for (int i = 0; i < 3; ++i) Reload();
  std::this_thread::sleep_for(100ms);
  done = true;
  const auto [answered, failed] = during.get();
  EXPECT_GT(answered, 0);
  EXPECT_EQ(failed, 0);

  ASSERT_TRUE(silent.Send(test::GetRequest("/IMAGE")));
  ASSERT_TRUE(half.Send("Host: h\r\n\r\n"));
  for (test::LoopbackClient* client : {&silent, &half}) {
    std::string raw;
    ASSERT_TRUE(client->ClosedWithin(10s, &raw));
    const test::HttpAnswer answer = test::ParseAnswer(raw);
    EXPECT_EQ(answer.status, 200);
    EXPECT_TRUE(answer.complete);
  }
  // Still logged on.
  const auto list = test::TryExchange(port_, test::GetRequest("/list", cookie));
  ASSERT_TRUE(list);
  EXPECT_NE(list->body.find("Alder Court"), std::string::npos) << list->body;
  EXPECT_EQ(list->Header("Set-Cookie"), "");
  server_->Signal(SIGTERM);
  EXPECT_EQ(server_->WaitExit(), 0);
  EXPECT_NE(server_->Log().find("Settings reloaded; qvweb "), std::string::npos) << server_->Log();
}

TEST_F(StopReloadProcessTest, ReloadAppliesAChangedDatabaseAndReportsWhatNeedsARestart) {
  TestDatabase other;
  other.ExecScript(
      "INSERT INTO AGENCY (AGENCY_ID, AGENCY_NAME) VALUES (1, 'Harbor Housing Agency');"
      "INSERT INTO AREA (AREA_ID, AREA_NAME) VALUES (1, 'North');"
      "INSERT INTO DB_USERS (DB_USER_ID, DB_USER_NAME, DB_USER_PASSWORD, FULL_NAME)"
      " VALUES (1, 'demo', 'demo', 'Demo User');"
      "INSERT INTO PROP_ADDRESS (PROP_ADDRESS_ID, PROPERTY_ID, PROP_ADDRESS1, PROP_CITY)"
      " VALUES (1, 1, '7 Cedar Rd', 'Harbor City');"
      "INSERT INTO PROPERTY (PROPERTY_ID, PROPERTY_NAME, PRIMARY_PROP_ADDRESS_ID, AREA_ID)"
      " VALUES (1, 'Cedar Yard', 1, 1)");
  Start(Settings("", database_->Path()));
  const std::string cookie = LogOn();
  auto before = test::TryExchange(port_, test::GetRequest("/list", cookie));
  ASSERT_TRUE(before);
  EXPECT_NE(before->body.find("Alder Court"), std::string::npos);

  // Another database, and sessions kept elsewhere (which needs a restart).
  server_->WriteIni(Settings("", other.Path(), "[SESSIONS]\nStore=redis://127.0.0.1:1/0\n"));
  Reload();
  auto after = test::TryExchange(port_, test::GetRequest("/list", cookie));
  ASSERT_TRUE(after);
  EXPECT_NE(after->body.find("Cedar Yard"), std::string::npos) << after->body;
  EXPECT_EQ(after->body.find("Alder Court"), std::string::npos);
  server_->Signal(SIGTERM);
  EXPECT_EQ(server_->WaitExit(), 0);
  const std::string log = server_->Log();
  EXPECT_NE(log.find("info qvweb: Database settings changed: open connections close as their "
                     "requests end; new ones attach to " + other.Path() + "\n"),
            std::string::npos)
      << log;
  EXPECT_NE(log.find("warning qvweb: [SESSIONS] Store: redis://127.0.0.1:1/0 needs a restart; "
                     "sessions stay in memory\n"),
            std::string::npos)
      << log;
  EXPECT_NE(log.find("Settings reloaded but for what needs a restart; qvweb "), std::string::npos) << log;
  EXPECT_NE(log.find("; database " + other.Path() + ";"), std::string::npos) << log;
}

}  // namespace
}  // namespace qv
