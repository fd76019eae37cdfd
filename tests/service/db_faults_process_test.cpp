// The built server as a process against a private Firebird server on loopback
// that is killed and started again, or stopped (SIGSTOP) under the requests:
// recovery without failures, the limits on every wait, and a stop that answers
// every accepted request and exits within its limit.
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
#include "support/firebird_server.h"
#include "support/http_client.h"
#include "support/notify_socket.h"
#include "support/ports.h"
#include "support/server_process.h"
#include "support/test_database.h"
#include "support/test_files.h"

namespace qv {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

double Seconds(Clock::duration d) { return std::chrono::duration<double>(d).count(); }

class DbFaultsProcessTest : public test::ServerProcessTest {
 protected:
  void SetUp() override {
    std::string error;
    ASSERT_TRUE(firebird_.Start(error)) << error;
    ASSERT_NO_FATAL_FAILURE(SetUpServer("qv_dbfaults"));
    {
      // Made with the embedded engine, then handed to the server.
      TestDatabase database;
      database.ExecScript(test::kOnePropertyData);
      fs::copy_file(database.Path(), firebird_.Folder() + "/qv.fdb");
    }
  }

  void TearDown() override {
    firebird_.Resume();
    ServerProcessTest::TearDown();
  }

  void StartServer(const std::string& extra_app, const std::string& extra_db) {
    server_->WriteIni("[APP]\nPort=" + std::to_string(port_) + "\nReadTimeout=30\n" + extra_app +
                      "[DB]\nDBName=" + firebird_.DatabaseName("qv.fdb") +
                      "\nUser=SYSDBA\nPass=" + FirebirdServer::Password() + "\n" + extra_db);
    ASSERT_NO_FATAL_FAILURE(ServerProcessTest::StartServer());
    cookie_ = LogOn();
  }

  test::HttpAnswer List() {
    auto answer = test::TryExchange(port_, test::GetRequest("/list", cookie_), {.silence = 30s});
    return answer ? *answer : test::HttpAnswer{};
  }

  // Five modules connected at once: requests sent while the server is stopped
  // all wait for their attach, then all connect when it runs on.
  void ConnectFiveModules() {
    firebird_.Pause();
    std::vector<std::future<test::HttpAnswer>> answers;
    for (int i = 0; i < 5; ++i) answers.push_back(std::async(std::launch::async, [this] { return List(); }));
    std::this_thread::sleep_for(500ms);
    firebird_.Resume();
    for (auto& answer : answers) ASSERT_EQ(answer.get().status, 200);
  }

  FirebirdServer firebird_;
  std::string cookie_;
};

TEST_F(DbFaultsProcessTest, RestartedServerIsUsedByTheNextRequestWithoutFailures) {
  StartServer("", "");
  ConnectFiveModules();
  firebird_.Kill();
  // While the server is gone: 503 with Retry-After and the message as body.
  const test::HttpAnswer down = List();
  EXPECT_EQ(down.status, 503);
  EXPECT_EQ(down.Header("Retry-After"), "5");
  EXPECT_EQ(down.body.rfind("ISC ERROR CODE:", 0), 0u) << down.body;
  std::string error;
  ASSERT_TRUE(firebird_.Restart(error)) << error;
  // Every module of the pool was attached before; each is found dead and the
  // page runs again on a fresh connection.
  std::vector<std::future<test::HttpAnswer>> answers;
  for (int round = 0; round < 3; ++round) {
    answers.clear();
    for (int i = 0; i < 5; ++i) answers.push_back(std::async(std::launch::async, [this] { return List(); }));
    for (auto& answer : answers) {
      const test::HttpAnswer a = answer.get();
      EXPECT_EQ(a.status, 200) << a.body;
      EXPECT_NE(a.body.find("Alder Court"), std::string::npos);
    }
  }
  // The failures were logged, each with address, path, status and message.
  EXPECT_NE(server_->Log().find("error qvweb: 127.0.0.1 /list 503 ISC ERROR CODE:"),
            std::string::npos)
      << server_->Log();
  server_->Signal(SIGTERM);
  EXPECT_EQ(server_->WaitExit(), 0);
}

TEST_F(DbFaultsProcessTest, HungServerVisitorsAreAnsweredAtTheQueryTimeOut) {
  StartServer("", "QueryTimeout=2\nConnectTimeout=30\n");
  ConnectFiveModules();
  firebird_.Pause();
  // The cancel cannot reach a stopped server; the connection is dropped
  // after the grace, and each visitor is answered 503 well within
  // QueryTimeout + 5 s.
  std::vector<std::future<std::pair<test::HttpAnswer, Clock::duration>>> hung;
  for (int i = 0; i < 5; ++i) {
    hung.push_back(std::async(std::launch::async, [this] {
      const auto start = Clock::now();
      test::HttpAnswer answer = List();
      return std::make_pair(answer, Clock::now() - start);
    }));
  }
  for (auto& h : hung) {
    const auto [answer, elapsed] = h.get();
    EXPECT_EQ(answer.status, 503) << answer.raw;
    EXPECT_EQ(answer.Header("Retry-After"), "5");
    EXPECT_EQ(answer.body.rfind("ISC ERROR CODE:335544794", 0), 0u) << answer.body;
    EXPECT_GE(Seconds(elapsed), 2.0);
    EXPECT_LT(Seconds(elapsed), 2.0 + 5.0);
  }
  firebird_.Resume();
  // The dropped modules were closed: the next visitor gets a fresh one.
  EXPECT_EQ(List().status, 200);
  server_->Signal(SIGTERM);
  EXPECT_EQ(server_->WaitExit(), 0);
}

TEST_F(DbFaultsProcessTest, HungServerOthersWaitThePoolTimeAndTheStopEndsInTime) {
  StartServer("StopTimeout=3\n", "QueryTimeout=0\nConnectTimeout=30\n");
  ConnectFiveModules();
  firebird_.Pause();
  // Five visitors hang in their pages (no query time-out) and hold every module.
  std::vector<std::future<test::HttpAnswer>> hung;
  for (int i = 0; i < 5; ++i) hung.push_back(std::async(std::launch::async, [this] { return List(); }));
  std::this_thread::sleep_for(300ms);
  // A sixth waits the pool's 10 s.
  const auto start = Clock::now();
  const test::HttpAnswer waited = List();
  const double waited_for = Seconds(Clock::now() - start);
  EXPECT_EQ(waited.status, 503);
  EXPECT_EQ(waited.Header("Retry-After"), "5");
  EXPECT_EQ(waited.body, "Connection pool timeout. Cannot obtain a connection");
  EXPECT_GE(waited_for, 9.5);
  EXPECT_LT(waited_for, 12.0);

  // A stop with the database still hung: a visitor waiting for a module and
  // the five in their pages are answered 503 before the drain limit, and the
  // process exits 0 within StopTimeout + 2 s.
  // Its request is sent before the stop: connected and sent here, so that a
  // busy machine cannot delay it past the signal.
  test::LoopbackClient waiting_client(port_);
  ASSERT_TRUE(waiting_client.Send(test::GetRequest("/list", cookie_)));
  auto waiting = std::async(std::launch::async, [&waiting_client] {
    return test::ParseAnswer(waiting_client.ReadAll(30s));
  });
  std::this_thread::sleep_for(300ms);
  const auto stop_at = Clock::now();
  server_->Signal(SIGTERM);
  const std::optional<int> status = server_->WaitExit(10s);
  EXPECT_LT(Seconds(Clock::now() - stop_at), 3.0 + 2.0);
  EXPECT_EQ(status, 0) << server_->Log();
  const test::HttpAnswer waiting_answer = waiting.get();
  EXPECT_EQ(waiting_answer.status, 503) << waiting_answer.raw << "\n" << server_->Log();
  for (auto& h : hung) {
    const test::HttpAnswer answer = h.get();
    EXPECT_EQ(answer.status, 503) << answer.raw;
    EXPECT_TRUE(answer.complete);
  }
}

TEST_F(DbFaultsProcessTest, SigtermAnswersEveryAcceptedRequestOnASlowPage) {
  StartServer("StopTimeout=10\n", "");
  // The page is slow because the server does not answer for a while.
  firebird_.Pause();
  constexpr int kClients = 50;
  std::vector<test::LoopbackClient> connections;
  for (int i = 0; i < kClients; ++i) connections.emplace_back(port_);
  // Every connection is established (accepted, or queued for accepting).
  std::vector<std::future<test::HttpAnswer>> answers;
  for (test::LoopbackClient& connection : connections) {
    answers.push_back(std::async(std::launch::async, [this, client = std::move(connection)]() mutable {
      client.Send(test::GetRequest("/list", cookie_));
      return test::ParseAnswer(client.ReadAll(30s));
    }));
  }
  std::this_thread::sleep_for(500ms);  // the requests are in
  const auto stop_at = Clock::now();
  server_->Signal(SIGTERM);
  std::this_thread::sleep_for(500ms);
  // New visitors are refused at once.
  EXPECT_FALSE(test::LoopbackClient::TryConnect(port_));
  firebird_.Resume();
  int pages = 0, unavailable = 0;
  for (auto& answer : answers) {
    const test::HttpAnswer a = answer.get();
    EXPECT_TRUE(a.complete) << "an accepted request was dropped: " << a.raw;
    if (a.status == 200) ++pages;
    if (a.status == 503) ++unavailable;
  }
  // The pool lends on through the stop: every accepted request gets its page,
  // also those that waited for a module.
  EXPECT_EQ(pages, kClients);
  EXPECT_EQ(unavailable, 0);
  EXPECT_EQ(server_->WaitExit(15s), 0) << server_->Log();
  EXPECT_LT(Seconds(Clock::now() - stop_at), 10.0 + 2.0);
  RecordProperty("pages", pages);
  RecordProperty("unavailable", unavailable);
}

}  // namespace
}  // namespace qv
