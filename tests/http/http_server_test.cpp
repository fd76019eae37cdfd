#include "http/http_server.h"

#include <gtest/gtest.h>

#include <atomic>
#include <condition_variable>
#include <mutex>

#include "http/exceptions.h"
#include "support/ports.h"
#include "test_support.h"

namespace qv {
namespace {

void Answer(ConnectionContext*, Request& req, Response& r) { r.content_text = req.document; }

TEST(HttpServerTest, DefaultsOfTheProperties) {
  HttpServer server;
  EXPECT_FALSE(server.Active());
  EXPECT_TRUE(server.Bindings().empty());
  EXPECT_EQ(server.DefaultPort(), 80);
  EXPECT_EQ(server.ListenQueue(), 15);
  EXPECT_EQ(server.MaxConnections(), 0);
  EXPECT_FALSE(server.SessionState());
  EXPECT_FALSE(server.AutoStartSession());
  EXPECT_EQ(server.SessionTimeOut(), 0);
  EXPECT_FALSE(server.KeepAlive());
  EXPECT_EQ(server.ServerSoftware(), "");
  EXPECT_TRUE(server.ParseParams());
  EXPECT_EQ(server.MaximumHeaderLineCount(), 1024);
  EXPECT_EQ(server.ReadTimeout(), 0);
}

TEST(HttpServerTest, EmptyBindingsListenOnEveryAddressOfBothFamilies) {
  HttpServer::Events events;
  events.on_command_get = Answer;
  HttpServer server(std::move(events));
  const int port = test::FreePort();
  server.SetDefaultPort(port);
  server.SetActive(true);
  ASSERT_TRUE(server.Active());
  ASSERT_GE(server.Bindings().size(), 1u);
  EXPECT_EQ(server.Bindings()[0].ip, "");
  EXPECT_EQ(server.Bindings()[0].ip_version, kIPv4);
  EXPECT_EQ(server.Bindings()[0].port, port);
  EXPECT_EQ(test::Exchange(port, "GET /v4 HTTP/1.1\r\n\r\n").raw.substr(0, 15), "HTTP/1.1 200 OK");
  if (server.Bindings().size() == 2) {
    EXPECT_EQ(server.Bindings()[1].ip_version, kIPv6);
    EXPECT_EQ(server.Bindings()[1].port, port);
    test::LoopbackClient client(port, "::1");
    client.Send("GET /v6 HTTP/1.1\r\n\r\n");
    EXPECT_EQ(test::BodyOf(client.ReadAll()), "/v6");
  }
}

TEST(HttpServerTest, BindingsOfTheFirstActivationAreKept) {
  HttpServer::Events events;
  events.on_command_get = Answer;
  HttpServer server(std::move(events));
  const int first = test::FreePort();
  server.SetDefaultPort(first);
  server.SetActive(true);
  server.SetActive(true);  // no change
  server.SetActive(false);
  server.SetActive(false);
  server.SetDefaultPort(test::FreePort());
  server.SetActive(true);
  EXPECT_EQ(server.Bindings()[0].port, first);
  EXPECT_EQ(test::Exchange(first, "GET /again HTTP/1.1\r\n\r\n").body, "/again");
}

TEST(HttpServerTest, TakenPortFailsActivationAndLeavesNothingBound) {
  // Taken on every IPv4 address.
  const test::HeldPort taken(test::HeldPort::Use::kListening, "0.0.0.0");
  const int free_port = test::FreePort();

  HttpServer server;
  server.AddBinding("127.0.0.1", free_port);
  server.AddBinding("", taken.Port());
  try {
    server.SetActive(true);
    FAIL() << "activation succeeded";
  } catch (const Exception& e) {
    EXPECT_EQ(std::string(e.what()), "Could not bind socket. Address and port are already in use: 0.0.0.0:" +
                                         std::to_string(taken.Port()) + ".");
  }
  EXPECT_FALSE(server.Active());
  // The first binding was given up again.
  EXPECT_NO_THROW(test::HeldPort again(test::HeldPort::Use::kListening, "0.0.0.0", free_port));
}

TEST(HttpServerTest, ManyConnectionsAreServedAtTheSameTime) {
  constexpr int kClients = 100;
  HttpServer::Events events;
  std::mutex mutex;
  std::condition_variable all_in;
  int inside = 0;
  events.on_command_get = [&](ConnectionContext*, Request& req, Response& r) {
    std::unique_lock lock(mutex);
    ++inside;
    all_in.notify_all();
    // Every handler waits until all of them run at once.
    all_in.wait_for(lock, std::chrono::seconds(30), [&] { return inside >= kClients; });
    r.content_text = req.document;
  };
  HttpServer server(std::move(events));
  server.SetListenQueue(kClients);  // no connect attempt waits for a SYN retry
  const int port = test::StartOnLoopback(server);
  std::vector<std::string> answers(kClients);
  std::vector<std::thread> clients;
  for (int i = 0; i < kClients; ++i)
    clients.emplace_back([&, i] {
      answers[i] = test::Exchange(port, "GET /c" + std::to_string(i) + " HTTP/1.1\r\n\r\n").raw;
    });
  for (auto& c : clients) c.join();
  EXPECT_EQ(inside, kClients);
  for (int i = 0; i < kClients; ++i) EXPECT_EQ(test::BodyOf(answers[i]), "/c" + std::to_string(i));
}

TEST(HttpServerTest, MaxConnectionsClosesExtraConnectionsAtOnce) {
  HttpServer::Events events;
  events.on_command_get = Answer;
  HttpServer server(std::move(events));
  server.SetMaxConnections(2);
  test::ExpectAThirdConnectionClosedUnanswered(server, test::StartOnLoopback(server));
}

TEST(HttpServerTest, ReadTimeoutDisconnectsSilentAndStalledClients) {
  HttpServer::Events events;
  std::atomic<int> calls{0};
  events.on_command_get = [&](ConnectionContext*, Request&, Response&) { ++calls; };
  HttpServer server(std::move(events));
  server.SetReadTimeout(200);
  const int port = test::StartOnLoopback(server);
  for (const char* sent : {"", "GET / HTTP/1.1\r\nHost: half", "POST / HTTP/1.1\r\nContent-Length: 9\r\n\r\nabc"}) {
    test::LoopbackClient client(port);
    client.Send(sent);
    EXPECT_EQ(client.ReadAll(), "") << sent;
  }
  EXPECT_EQ(calls.load(), 0);
}

TEST(HttpServerTest, WithoutReadTimeoutAnIdleClientWaitsUntilDeactivation) {
  HttpServer::Events events;
  events.on_command_get = Answer;
  HttpServer server(std::move(events));
  const int port = test::StartOnLoopback(server);
  test::LoopbackClient idle(port);
  ASSERT_TRUE(test::WaitFor([&] { return server.ContextCount() == 1; }));
  server.SetActive(false);
  EXPECT_EQ(idle.ReadAll(), "");
  EXPECT_EQ(server.ContextCount(), 0u);
}

TEST(HttpServerTest, DeactivationWaitsForRunningRequestsWhoseSessionStaysValid) {
  HttpServer::Events events;
  std::atomic<int> ended{0};
  std::atomic<bool> entered{false}, release{false};
  std::string seen_in_handler;
  events.on_session_start = [](Session& s) { s.Content().SetValue("LoggedIn", "False"); };
  events.on_session_end = [&](Session&) { ++ended; };
  events.on_command_get = [&](ConnectionContext*, Request& req, Response& r) {
    entered = true;
    test::WaitFor([&] { return release.load(); });
    // The server has ended the session meanwhile; this request still holds it.
    req.session->SetContentValue("LoggedIn", "True");
    seen_in_handler = req.session->ContentValue("LoggedIn");
    r.content_text = "late";
  };
  HttpServer server(std::move(events));
  server.SetSessionState(true);
  server.SetAutoStartSession(true);
  server.SetSessionTimeOut(600000);
  const int port = test::StartOnLoopback(server);
  test::LoopbackClient idle(port);
  test::LoopbackClient busy(port);
  busy.Send("GET / HTTP/1.1\r\n\r\n");
  ASSERT_TRUE(test::WaitFor([&] { return entered.load(); }));

  std::atomic<bool> stopped{false};
  std::thread stopper([&] {
    server.SetActive(false);
    stopped = true;
  });
  ASSERT_TRUE(test::WaitFor([&] { return ended.load() == 1; }));
  EXPECT_FALSE(stopped.load());
  release = true;
  stopper.join();
  EXPECT_EQ(seen_in_handler, "True");
  EXPECT_EQ(ended.load(), 1);
  EXPECT_EQ(idle.ReadAll(), "");
  // The running request's connection was closed under it: no answer.
  EXPECT_EQ(busy.ReadAll(), "");
  EXPECT_EQ(server.ContextCount(), 0u);
}

TEST(HttpServerTest, MalformedConnectionsDoNotDisturbOthers) {
  HttpServer::Events events;
  events.on_command_get = Answer;
  HttpServer server(std::move(events));
  server.SetListenQueue(64);
  const int port = test::StartOnLoopback(server);
  std::vector<std::thread> threads;
  std::atomic<int> good{0};
  for (int i = 0; i < 40; ++i)
    threads.emplace_back([&, i] {
      if (i % 2 == 0) {
        test::Exchange(port, i % 4 == 0 ? "GARBAGE\r\n" : std::string(20000, 'z'));
      } else if (test::Exchange(port, "GET /ok HTTP/1.1\r\n\r\n").body == "/ok") {
        ++good;
      }
    });
  for (auto& t : threads) t.join();
  EXPECT_EQ(good.load(), 20);
}

TEST(HttpServerTest, RequestsSplitAtEveryOffsetGiveTheSameAnswer) {
  HttpServer::Events events;
  events.on_command_get = [](ConnectionContext*, Request& req, Response& r) {
    r.content_text = req.document + "|" + req.params.Text() + "|" + req.form_params + "|" + req.host;
  };
  HttpServer server(std::move(events));
  server.SetSessionState(true);  // inactive server: no session is started, none found
  const std::string requests[] = {
      "GET /mem?a=1&b=%41 HTTP/1.1\r\nHost: h\r\n folded\r\n\r\n",
      "POST /form HTTP/1.1\r\nContent-Type: application/x-www-form-urlencoded\r\n"
      "Content-Length: 7\r\n\r\nx=1&y=2",
      "POST /chunked HTTP/1.1\nContent-Type: application/x-www-form-urlencoded\nTransfer-Encoding: chunked\n\n"
      "3;x=y\r\nk=v\r\n4\r\n&w=1\r\n0\r\nT: 1\r\n\r\n",
  };
  for (const std::string& request : requests) {
    test::MemoryTransport whole(request);
    ConnectionContext whole_context(whole, "10.0.0.1", 1234);
    server.ServeConnection(whole_context);
    ASSERT_NE(whole.output.find("200 OK"), std::string::npos) << request;
    for (size_t piece = 1; piece <= 9; ++piece) {
      test::MemoryTransport split(request, piece);
      ConnectionContext context(split, "10.0.0.1", 1234);
      server.ServeConnection(context);
      EXPECT_EQ(split.output, whole.output) << request << " in pieces of " << piece;
    }
  }
}

TEST(HttpServerTest, DeferredAcceptStillServesEveryClient) {
  HttpServer::Events events;
  events.on_command_get = Answer;
  HttpServer server(std::move(events));
  server.SetDeferAccept(true);
  const int port = test::StartOnLoopback(server);
  EXPECT_EQ(test::Exchange(port, "GET /deferred HTTP/1.1\r\n\r\n").body, "/deferred");
  ASSERT_TRUE(test::WaitFor([&] { return server.ContextCount() == 0; }));
  // A client that stays silent is taken on after a while, and closed at the stop.
  test::LoopbackClient silent(port);
  ASSERT_TRUE(test::WaitFor([&] { return server.ContextCount() == 1; }));
  server.SetActive(false);
  EXPECT_EQ(silent.ReadAll(), "");
}

}  // namespace
}  // namespace qv
