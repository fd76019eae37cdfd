// Tests of a stop and a restart of a running server on real sockets: a stop
// closes what has no request at once and cuts a half-sent request at its
// limit; a restart keeps the listening socket, its connections and the
// sessions, opens a new port before the old one closes, and changes nothing
// when a new address cannot be bound.
#include "http/http_server.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <future>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "http/exceptions.h"
#include "support/ports.h"
#include "test_support.h"

namespace qv {
namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

class StopRestartTest : public ::testing::Test {
 protected:
  void SetUp() override {
    HttpServer::Events events;
    // A test may hold the front's thread in it.
    events.on_connect = [this](ConnectionContext& context) {
      if (on_connect_) on_connect_(context);
    };
    events.on_command_get = [this](ConnectionContext*, Request& req, Response& r) {
      if (req.document == "/hold") {
        held_ = true;
        test::WaitFor([&] { return release_.load(); });
      }
      r.content_text = req.document + (req.session ? "|" + req.session->SessionID() : "");
    };
    server_.emplace(std::move(events));
    server_->SetKeepAlive(true);
    server_->SetKeepAliveByDefault(true);
    server_->SetKeepAliveTimeout(20000);
    server_->SetStopTimeout(10000);
    server_->SetSessionState(true);
    server_->SetAutoStartSession(true);
    server_->SetSessionTimeOut(600000);
    port_ = test::StartOnLoopback(*server_);
  }

  // The body of one answer read on a kept connection: up to the marker "|"
  // that every body has, and the session identifier after it.
  static std::string ReadBody(test::LoopbackClient& client, const std::string& document) {
    const std::string head = client.ReadUntil("\r\n\r\n" + document + "|");
    const std::string id = client.ReadExactly(kSessionIdLength);
    return id.size() == kSessionIdLength ? document + "|" + id : head;
  }

  // Set while no connection is being taken in; declared before the server,
  // which stops first.
  std::function<void(ConnectionContext&)> on_connect_;
  std::optional<HttpServer> server_;
  int port_ = 0;
  std::atomic<bool> held_{false}, release_{false};
};

TEST_F(StopRestartTest, AStopClosesConnectionsWithNoRequestBegunAtOnce) {
  test::LoopbackClient silent(port_), idle(port_);
  idle.Send("GET /a HTTP/1.1\r\n\r\n");
  ReadBody(idle, "/a");
  ASSERT_TRUE(test::WaitFor([&] { return server_->ContextCount() == 2; }));
  const auto start = Clock::now();
  server_->SetActive(false);
  EXPECT_LT(Clock::now() - start, milliseconds(1000));
  EXPECT_TRUE(silent.ClosedWithin(milliseconds(1000)));
  EXPECT_TRUE(idle.ClosedWithin(milliseconds(1000)));
}

TEST_F(StopRestartTest, AStopCutsAHalfSentRequestAtItsLimitAndAnswersARunningOne) {
  server_->SetStopTimeout(600);
  test::LoopbackClient half(port_), running(port_);
  half.Send("GET /half HTTP/1.1\r\nHost: h");
  running.Send("GET /hold HTTP/1.1\r\n\r\n");
  ASSERT_TRUE(test::WaitFor([&] { return held_.load(); }));
  auto releaser = std::async(std::launch::async, [&] {
    std::this_thread::sleep_for(milliseconds(200));
    release_ = true;
  });
  const auto start = Clock::now();
  server_->SetActive(false);
  const auto took = Clock::now() - start;
  EXPECT_GE(took, milliseconds(600));
  EXPECT_LT(took, milliseconds(600 + 1500));
  std::string answer;
  EXPECT_TRUE(half.ClosedWithin(milliseconds(1000), &answer));
  EXPECT_EQ(answer, "");
  answer.clear();
  EXPECT_TRUE(running.ClosedWithin(milliseconds(1000), &answer));
  EXPECT_NE(answer.find("Connection: close\r\n"), std::string::npos) << answer;
  EXPECT_EQ(test::BodyOf(answer).substr(0, 6), "/hold|");
}

TEST_F(StopRestartTest, ARestartKeepsTheListeningSocketItsConnectionsAndTheSessions) {
  // Before: an idle kept connection with its session, one that sent nothing
  // yet, one with half a request, and one whose request runs.
  test::LoopbackClient idle(port_), silent(port_), half(port_), running(port_);
  idle.Send("GET /a HTTP/1.1\r\n\r\n");
  const std::string first = ReadBody(idle, "/a");
  const std::string session = first.substr(3);
  ASSERT_EQ(session.size(), kSessionIdLength);
  half.Send("GET /half HTTP/1.1\r\n");
  running.Send("GET /hold HTTP/1.1\r\n\r\n");
  ASSERT_TRUE(test::WaitFor([&] { return held_.load(); }));

  // Answers after the restart close their connections: the new setting is in force.
  server_->SetKeepAlive(false);
  auto restart = std::async(std::launch::async, [&] { server_->Restart(10000); });
  // While the old front waits for the running request, new connections are served.
  ASSERT_EQ(restart.wait_for(milliseconds(300)), std::future_status::timeout);
  const std::string during = test::Exchange(port_, "GET /during HTTP/1.1\r\n\r\n").raw;
  EXPECT_EQ(test::BodyOf(during).substr(0, 8), "/during|");
  release_ = true;
  restart.get();
  EXPECT_EQ(server_->Bindings()[0].port, port_);

  const std::string cookie = "Cookie: IDHTTPSESSIONID=" + session + "\r\n";
  idle.Send("GET /b HTTP/1.1\r\n" + cookie + "\r\n");
  EXPECT_EQ(ReadBody(idle, "/b"), "/b|" + session);
  silent.Send("GET /c HTTP/1.1\r\n\r\n");
  EXPECT_EQ(test::BodyOf(silent.ReadAll()).substr(0, 3), "/c|");
  half.Send("\r\n");
  const std::string rest = half.ReadAll();
  EXPECT_EQ(test::BodyOf(rest).substr(0, 6), "/half|");
  EXPECT_NE(rest.find("Connection: close\r\n"), std::string::npos) << rest;
  // The request that ran through the restart was answered by the old front
  // under the old settings; its connection then moved on too.
  EXPECT_EQ(ReadBody(running, "/hold").substr(0, 6), "/hold|");
  running.Send("GET /d HTTP/1.1\r\n" + cookie + "\r\n");
  EXPECT_EQ(test::BodyOf(running.ReadAll()), "/d|" + session);
}

TEST_F(StopRestartTest, ARestartRightAfterAnotherKeepsTheConnectionsTheFirstOneHandedOver) {
  // The request runs through the first restart, so its connection moves to
  // the new front only when it is answered; that front's thread is held in
  // its connect hook meanwhile, and the second restart begins before it
  // could take the connection in.
  test::LoopbackClient running(port_);
  running.Send("GET /hold HTTP/1.1\r\n\r\n");
  ASSERT_TRUE(test::WaitFor([&] { return held_.load(); }));
  std::atomic<bool> hold_connect{true}, connect_held{false}, release_connect{false};
  on_connect_ = [&](ConnectionContext&) {
    if (!hold_connect.exchange(false)) return;
    connect_held = true;
    test::WaitFor([&] { return release_connect.load(); });
  };
  auto first = std::async(std::launch::async, [&] { server_->Restart(10000); });
  // Only the new front listens once the old one has begun its stop.
  ASSERT_EQ(first.wait_for(milliseconds(300)), std::future_status::timeout);
  test::LoopbackClient busy(port_);
  ASSERT_TRUE(test::WaitFor([&] { return connect_held.load(); }));
  release_ = true;
  first.get();
  EXPECT_EQ(ReadBody(running, "/hold").substr(0, 6), "/hold|");

  auto second = std::async(std::launch::async, [&] { server_->Restart(10000); });
  std::this_thread::sleep_for(milliseconds(300));
  release_connect = true;
  second.get();
  running.Send("GET /after HTTP/1.1\r\nConnection: close\r\n\r\n");
  EXPECT_EQ(test::BodyOf(running.ReadAll()).substr(0, 7), "/after|");
  busy.Send("GET /busy HTTP/1.1\r\nConnection: close\r\n\r\n");
  EXPECT_EQ(test::BodyOf(busy.ReadAll()).substr(0, 6), "/busy|");
}

TEST_F(StopRestartTest, ARestartOntoANewPortListensThereBeforeTheOldPortCloses) {
  test::HeldPort next;  // bound, nothing listens
  const int port = next.Port();
  next.Release();
  test::LoopbackClient idle(port_);
  idle.Send("GET /a HTTP/1.1\r\n\r\n");
  ReadBody(idle, "/a");
  server_->Bindings().clear();
  server_->AddBinding("127.0.0.1", port, kIPv4);
  server_->Restart(10000);
  EXPECT_EQ(test::Exchange(port, "GET /new HTTP/1.1\r\nConnection: close\r\n\r\n").body.substr(0, 5),
            "/new|");
  EXPECT_FALSE(test::LoopbackClient::TryConnect(port_));
  // A connection of a listener that went has nowhere to move: closed.
  EXPECT_TRUE(idle.ClosedWithin(milliseconds(1000)));
}

TEST_F(StopRestartTest, ARestartThatCannotBindChangesNothing) {
  struct Case {
    const char* name;
    std::string ip;
    bool taken_elsewhere;   // the port is held by another socket
    const char* says;       // what the error says
  } const cases[] = {
      {"port taken by another", "127.0.0.1", true, "already in use"},
      {"any-address beside the running loopback one", "0.0.0.0", false, "a restart of the server"},
  };
  for (const Case& c : cases) {
    test::HeldPort held;
    server_->Bindings().clear();
    server_->AddBinding("127.0.0.1", port_, kIPv4);
    server_->AddBinding(c.ip, c.taken_elsewhere ? held.Port() : port_, kIPv4);
    try {
      server_->Restart(10000);
      ADD_FAILURE() << c.name << ": no error";
    } catch (const BindError& e) {
      EXPECT_NE(std::string(e.what()).find(c.says), std::string::npos) << c.name << ": " << e.what();
    }
    EXPECT_EQ(test::Exchange(port_, "GET /still HTTP/1.1\r\nConnection: close\r\n\r\n").body.substr(0, 7),
              "/still|")
        << c.name;
  }
}

}  // namespace
}  // namespace qv
