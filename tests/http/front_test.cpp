// Tests of the front: what one request and one client may take (time, head
// size, cookies, connections per address, descriptors), keep-alive, answers
// held back for slow readers, and the stop with a drain limit.
#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <mutex>
#include <sstream>
#include <string>
#include <vector>

#include "http/http_server.h"
#include "http/exceptions.h"
#include "http/request_reader.h"
#include "http/trusted_proxies.h"
#include "test_support.h"

namespace qv {
namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

void Echo(ConnectionContext*, Request& req, Response& r) { r.content_text = req.document; }

TEST(FrontTest, ATricklingClientIsCutAtTheRequestTimeout) {
  HttpServer::Events events;
  std::atomic<int> calls{0};
  events.on_command_get = [&](ConnectionContext*, Request&, Response&) { ++calls; };
  HttpServer server(std::move(events));
  server.SetReadTimeout(2000);     // every byte comes well within it
  server.SetRequestTimeout(600);
  const int port = test::StartOnLoopback(server);
  test::LoopbackClient client(port);
  const auto start = Clock::now();
  const std::string request = "GET /slow HTTP/1.1\r\nHost: h\r\nX-Filler: " + std::string(200, 'f');
  bool closed = false;
  std::string answer;
  for (char c : request) {
    client.Send(std::string(1, c));
    if (client.ClosedWithin(milliseconds(50), &answer)) {
      closed = true;
      break;
    }
  }
  const auto elapsed = Clock::now() - start;
  EXPECT_TRUE(closed);
  EXPECT_EQ(answer, "");
  EXPECT_GE(elapsed, milliseconds(600));
  EXPECT_EQ(calls.load(), 0);
}

TEST(FrontTest, ConnectionsPerAddressAreCapped) {
  HttpServer::Events events;
  events.on_command_get = Echo;
  HttpServer server(std::move(events));
  server.SetMaxConnectionsPerAddress(2);
  const int port = test::StartOnLoopback(server);
  test::ExpectAThirdConnectionClosedUnanswered(server, port, [&] {
    // Another address is not affected.
    EXPECT_EQ(test::Exchange(port, "GET /other HTTP/1.1\r\n\r\n", {.source_ip = "127.0.0.2"}).body, "/other");
  });
}

TEST(FrontTest, ATrustedProxyIsNotCappedPerAddress) {
  HttpServer::Events events;
  events.on_command_get = Echo;
  HttpServer server(std::move(events));
  server.SetMaxConnectionsPerAddress(1);
  server.SetTrustedProxies(TrustedProxies::Parse("127.0.0.3"));
  const int port = test::StartOnLoopback(server);
  test::LoopbackClient held(port, "127.0.0.1", "127.0.0.3");
  ASSERT_TRUE(test::WaitFor([&] { return server.ContextCount() == 1; }));
  EXPECT_EQ(test::Exchange(port, "GET /proxied HTTP/1.1\r\n\r\n", {.source_ip = "127.0.0.3"}).body, "/proxied");
}

// A request whose head (request line, header lines, line ends) is exactly size bytes.
std::string HeadOfSize(size_t size) {
  std::string head = "GET /head HTTP/1.1\r\n";
  const size_t tail = 2;  // the empty line
  while (head.size() + tail < size) {
    const size_t room = size - head.size() - tail;
    // "X: " + value + CRLF, each line well under the line limit, never a line
    // shorter than its name.
    size_t line = std::min<size_t>(room, 8000);
    if (room - line != 0 && room - line < 6) line -= 6;
    head += "X: " + std::string(line - 5, 'v') + "\r\n";
  }
  head += "\r\n";
  return head;
}

TEST(FrontTest, TheRequestHeadIsCappedAt64KiB) {
  HttpServer::Events events;
  events.on_command_get = Echo;
  HttpServer server(std::move(events));
  const int port = test::StartOnLoopback(server);
  const std::string too_large = "<HTML><BODY><B>431 Request Header Fields Too Large</B></BODY></HTML>\r\n";
  for (const size_t size : {kMaxRequestHead, kMaxRequestHead + 1}) {
    const std::string head = HeadOfSize(size);
    ASSERT_EQ(head.size(), size);
    const bool accepted = size <= kMaxRequestHead;
    // Through the front, and read from memory alone.
    EXPECT_EQ(test::Exchange(port, head).body, accepted ? "/head" : too_large) << size;
    test::MemoryTransport memory(head);
    ConnectionContext context(memory, "10.0.0.1", 1);
    try {
      server.ServeConnection(context);
    } catch (const HttpError&) {
    }
    EXPECT_EQ(test::BodyOf(memory.output), accepted ? "/head" : too_large) << size;
  }
}

TEST(FrontTest, ACookieBombKeepsAtMost128CookiesAndSkipsEmptyPieces) {
  HttpServer::Events events;
  std::atomic<size_t> seen{0};
  std::string first, session_id;
  events.on_command_get = [&](ConnectionContext*, Request& req, Response& r) {
    seen = req.cookies.Count();
    first = req.cookies.Count() > 0 ? req.cookies[0].cookie_name : "";
    r.content_text = req.session ? req.session->SessionID() : "";
  };
  HttpServer server(std::move(events));
  server.SetSessionState(true);
  server.SetAutoStartSession(true);
  server.SetSessionTimeOut(600000);
  const int port = test::StartOnLoopback(server);
  session_id = test::Exchange(port, "GET / HTTP/1.1\r\n\r\n").body;
  ASSERT_EQ(session_id.size(), 15u);

  // Cookie header lines of up to 15,000 bytes each, about 60 KiB in all.
  auto lines = [](const std::string& piece, const std::string& last = "") {
    std::string out;
    for (int i = 0; i < 4; ++i) {
      std::string value;
      while (value.size() + piece.size() < 15000) value += piece;
      if (i == 3) value += last;
      out += "Cookie: " + value + "\r\n";
    }
    return out;
  };
  struct Case {
    std::string cookies;
    size_t count;
    std::string first;
  } const cases[] = {
      {lines(";"), 0, ""},
      {lines("; ;", "IDHTTPSESSIONID=" + session_id), 1, "IDHTTPSESSIONID"},
      {lines("a=1; ;"), 128, "a"},
  };
  for (const Case& c : cases) {
    const std::string answer = test::Exchange(port, "GET / HTTP/1.1\r\n" + c.cookies + "\r\n").raw;
    EXPECT_EQ(seen.load(), c.count);
    EXPECT_EQ(first, c.first);
    if (c.count == 1) {
      EXPECT_EQ(test::BodyOf(answer), session_id);
    }
  }
}

// Runs the server in a child process whose open-files limit is low, fills
// it up with idle connections, and checks that it accepts again once they
// are gone, without spinning meanwhile and with one report of the shortage,
// even when it eases in part and comes back before it is over.
// CPU time a process ("self" or a pid) has used, in clock ticks.
long CpuTicks(const std::string& process = "self") {
  std::ifstream stat("/proc/" + process + "/stat");
  std::string text((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
  std::istringstream fields(text.substr(text.rfind(')') + 2));
  std::string skip;
  long utime = 0, stime = 0;
  for (int i = 0; i < 11; ++i) fields >> skip;
  fields >> utime >> stime;
  return utime + stime;
}

TEST(FrontTest, AcceptingRecoversAfterTheDescriptorLimit) {
  int to_parent[2], to_child[2];
  ASSERT_EQ(::pipe(to_parent), 0);
  ASSERT_EQ(::pipe(to_child), 0);
  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    const rlimit low{48, 48};
    ::setrlimit(RLIMIT_NOFILE, &low);
    std::atomic<int> reports{0};
    {
      HttpServer::Events events;
      events.on_command_get = Echo;
      events.on_listen_exception = [&](const std::exception&) { ++reports; };
      HttpServer server(std::move(events));
      server.SetListenQueue(128);
      const int port = test::StartOnLoopback(server);
      [[maybe_unused]] ssize_t n = ::write(to_parent[1], &port, sizeof port);
      char go;
      n = ::read(to_child[0], &go, 1);
      const int count = reports.load();
      n = ::write(to_parent[1], &count, sizeof count);
      server.SetActive(false);
    }
    ::_exit(0);
  }
  int port = 0;
  ASSERT_EQ(::read(to_parent[0], &port, sizeof port), static_cast<ssize_t>(sizeof port));

  std::vector<std::unique_ptr<test::LoopbackClient>> idle;
  for (int i = 0; i < 60; ++i) idle.push_back(std::make_unique<test::LoopbackClient>(port));
  // Past the limit, a request waits in the backlog.
  test::LoopbackClient waiting(port);
  waiting.Send("GET /waited HTTP/1.1\r\n\r\n");
  auto cpu = [&] { return CpuTicks(std::to_string(child)); };
  const long before = cpu();
  std::string answer;
  EXPECT_FALSE(waiting.ClosedWithin(milliseconds(1000), &answer));
  EXPECT_EQ(answer, "");
  // No busy loop while descriptors are short: well under half a second of CPU.
  EXPECT_LT(cpu() - before, ::sysconf(_SC_CLK_TCK) / 2);
  // A few end while more wait than they make room for: the server takes
  // those it can and runs short again, which is still the same shortage.
  for (int i = 0; i < 5; ++i) idle[i].reset();
  EXPECT_FALSE(waiting.ClosedWithin(milliseconds(800), &answer));
  EXPECT_EQ(answer, "");

  idle.clear();
  EXPECT_TRUE(waiting.ClosedWithin(milliseconds(10000), &answer));
  EXPECT_EQ(test::BodyOf(answer), "/waited");
  EXPECT_EQ(test::Exchange(port, "GET /again HTTP/1.1\r\n\r\n").body, "/again");

  ASSERT_EQ(::write(to_child[1], "x", 1), 1);
  int reports = -1;
  ASSERT_EQ(::read(to_parent[0], &reports, sizeof reports), static_cast<ssize_t>(sizeof reports));
  EXPECT_EQ(reports, 1);
  int status = 0;
  ::waitpid(child, &status, 0);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  for (int fd : {to_parent[0], to_parent[1], to_child[0], to_child[1]}) ::close(fd);
}

// Virtual memory the process holds now, in bytes.
size_t AddressSpace() {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line))
    if (line.rfind("VmSize:", 0) == 0) return std::stoul(line.substr(7)) * 1024;
  return 0;
}

// Runs in a process of its own (no thread stacks kept from earlier tests to
// reuse): the server's first worker cannot be started while the address space
// is held where it is. Returns 0, or the number of the step that went wrong.
int ThreadShortageScenario() {
  std::mutex lock;
  std::vector<std::string> reports;
  HttpServer::Events events;
  events.on_command_get = Echo;
  events.on_listen_exception = [&](const std::exception& e) {
    std::lock_guard guard(lock);
    reports.emplace_back(e.what());
  };
  HttpServer server(std::move(events));
  const int port = test::StartOnLoopback(server);
  const rlimit tight{AddressSpace() + (4u << 20), RLIM_INFINITY};
  if (::setrlimit(RLIMIT_AS, &tight) != 0) return 1;
  int step = 0;
  {
    test::LoopbackClient waiting(port);
    waiting.Send("GET /waited HTTP/1.1\r\n\r\n");
    const long before = CpuTicks();
    std::string answer;
    // Not answered, not dropped, and no busy loop: well under half a second of CPU.
    if (waiting.ClosedWithin(milliseconds(1000), &answer) || !answer.empty()) step = 2;
    else if (CpuTicks() - before >= ::sysconf(_SC_CLK_TCK) / 2) step = 3;
    const rlimit loose{RLIM_INFINITY, RLIM_INFINITY};
    ::setrlimit(RLIMIT_AS, &loose);
    // Threads can be started again: the waiting request is answered.
    if (step == 0 && (!waiting.ClosedWithin(milliseconds(10000), &answer) || test::BodyOf(answer) != "/waited")) step = 4;
  }
  if (step == 0 && test::Exchange(port, "GET /again HTTP/1.1\r\n\r\n").body != "/again") step = 5;
  server.SetActive(false);
  if (step != 0) return step;
  // Reported once.
  if (reports.size() != 1 || reports[0].find("Could not start a thread") == std::string::npos) {
    for (const auto& report : reports) std::fprintf(stderr, "report: %s\n", report.c_str());
    return 6;
  }
  return 0;
}

TEST(FrontTest, AThreadThatCannotBeStartedPausesAcceptingAndServingResumes) {
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
  GTEST_SKIP() << "sanitizers reserve address space of their own";
#endif
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(std::_Exit(ThreadShortageScenario()), ::testing::ExitedWithCode(0), "");
}

std::string Answer(const std::string& document, bool keep) {
  return std::string("HTTP/1.1 200 OK\r\nConnection: ") + (keep ? "keep-alive" : "close") +
         "\r\nContent-Length: " + std::to_string(document.size()) + "\r\n\r\n" + document;
}

TEST(FrontTest, KeepAliveTable) {
  struct Case {
    const char* name;
    std::string sent;
    std::string with_keep_alive;  // answers with KeepAlive and KeepAliveByDefault
    std::string without;          // answers with KeepAlive off, as always
  } const cases[] = {
      {"http11 pipelined",
       "GET /a HTTP/1.1\r\n\r\nGET /b HTTP/1.1\r\nHost: h\r\n\r\nGET /c HTTP/1.1\r\n\r\n",
       Answer("/a", true) + Answer("/b", true) + Answer("/c", true), Answer("/a", false)},
      {"http11 close", "GET /a HTTP/1.1\r\nConnection: close\r\n\r\nGET /b HTTP/1.1\r\n\r\n",
       Answer("/a", false), Answer("/a", false)},
      {"http11 close among options", "GET /a HTTP/1.1\r\nConnection: TE, Close\r\n\r\nGET /b HTTP/1.1\r\n\r\n",
       Answer("/a", false), Answer("/a", false)},
      {"http10", "GET /a HTTP/1.0\r\n\r\nGET /b HTTP/1.0\r\n\r\n", Answer("/a", false), Answer("/a", false)},
      {"http10 keep-alive",
       "GET /a HTTP/1.0\r\nConnection: keep-alive\r\n\r\nGET /b HTTP/1.0\r\n\r\n",
       Answer("/a", true) + Answer("/b", false), Answer("/a", false)},
      {"post bodies in a row",
       "POST /p HTTP/1.1\r\nContent-Length: 3\r\n\r\nabcGET /q HTTP/1.1\r\nConnection: close\r\n\r\n",
       Answer("/p", true) + Answer("/q", false), Answer("/p", false)},
  };
  for (const bool keep_alive : {true, false}) {
    HttpServer::Events events;
    events.on_command_get = Echo;
    HttpServer server(std::move(events));
    server.SetKeepAlive(keep_alive);
    server.SetKeepAliveByDefault(keep_alive);
    server.SetKeepAliveTimeout(300);
    const int port = test::StartOnLoopback(server);
    for (const Case& c : cases) {
      const auto start = Clock::now();
      EXPECT_EQ(test::Exchange(port, c.sent).raw, keep_alive ? c.with_keep_alive : c.without)
          << c.name << (keep_alive ? " (keep-alive)" : "");
      // A connection left open after its answers is closed when idle too long.
      const std::string& expected = keep_alive ? c.with_keep_alive : c.without;
      if (expected.substr(expected.rfind("Connection: ") + 12, 5) == "keep-") {
        EXPECT_GE(Clock::now() - start, milliseconds(300)) << c.name;
      }
    }
  }
}

TEST(FrontTest, IdleAndSlowConnectionsHoldNoThread) {
  HttpServer::Events events;
  events.on_command_get = Echo;
  HttpServer server(std::move(events));
  server.SetListenQueue(256);
  server.SetWorkers(2);
  const int port = test::StartOnLoopback(server);
  std::vector<std::unique_ptr<test::LoopbackClient>> slow;
  for (int i = 0; i < 200; ++i) {
    slow.push_back(std::make_unique<test::LoopbackClient>(port));
    slow.back()->Send("GET /slow HTTP/1.1\r\n");  // the head never ends
  }
  ASSERT_TRUE(test::WaitFor([&] { return server.ContextCount() == 200; }));
  EXPECT_EQ(server.WorkerThreads(), 0u);
  for (int i = 0; i < 20; ++i)
    EXPECT_EQ(test::Exchange(port, "GET /fast" + std::to_string(i) + " HTTP/1.1\r\n\r\n").body,
              "/fast" + std::to_string(i));
  EXPECT_LE(server.WorkerThreads(), 2u);
}

TEST(FrontTest, AClientThatExpectsToContinueHoldsNoWorkerWhileItsBodyComes) {
  HttpServer::Events events;
  events.on_command_get = [](ConnectionContext*, Request& req, Response& r) {
    r.content_text = req.document + "|" + req.form_params;
  };
  HttpServer server(std::move(events));
  server.SetWorkers(1);
  const int port = test::StartOnLoopback(server);
  const std::string head = "POST /form HTTP/1.1\r\nExpect: 100-continue\r\nContent-Length: 3\r\n\r\n";

  // Told to go on, the client holds its body back: the one worker serves others meanwhile.
  test::LoopbackClient waiting(port);
  waiting.Send(head);
  EXPECT_EQ(waiting.ReadUntil("\r\n\r\n"), "HTTP/1.1 100 Continue\r\n\r\n");
  EXPECT_EQ(test::Exchange(port, "GET /other HTTP/1.1\r\n\r\n").body, "/other|");
  waiting.Send("k=v");
  const std::string answer = waiting.ReadAll();
  EXPECT_EQ(answer.substr(0, 17), "HTTP/1.1 200 OK\r\n") << answer;
  EXPECT_EQ(test::BodyOf(answer), "/form|k=v");

  // The body sent with the head at once: still exactly one interim answer, first.
  test::LoopbackClient eager(port);
  eager.Send(head + "a=b");
  const std::string both = eager.ReadAll();
  EXPECT_EQ(both.substr(0, 42), "HTTP/1.1 100 Continue\r\n\r\nHTTP/1.1 200 OK\r\n") << both;
  EXPECT_EQ(both.find("100 Continue", 10), std::string::npos);
  EXPECT_EQ(test::BodyOf(both.substr(25)), "/form|a=b");
}

TEST(FrontTest, AnAnswerTheClientDoesNotReadFreesItsWorker) {
  HttpServer::Events events;
  events.on_command_get = [](ConnectionContext*, Request& req, Response& r) {
    r.content_text = req.document == "/big" ? std::string(16 << 20, 'b') : req.document;
  };
  HttpServer server(std::move(events));
  server.SetWorkers(1);
  const int port = test::StartOnLoopback(server);
  test::LoopbackClient reader(port);
  reader.Send("GET /big HTTP/1.1\r\n\r\n");
  // The only worker is not held by the client that does not read.
  EXPECT_EQ(test::Exchange(port, "GET /small HTTP/1.1\r\n\r\n").body, "/small");
  const std::string big = reader.ReadAll();
  EXPECT_EQ(test::BodyOf(big), std::string(16 << 20, 'b'));
}

TEST(FrontTest, AStopWithADrainLimitAnswersRunningRequestsAndLeavesStuckOnesBehind) {
  HttpServer::Events events;
  std::atomic<bool> release{false}, stuck_in{false}, stuck_out{false}, slow_in{false};
  events.on_command_get = [&](ConnectionContext*, Request& req, Response& r) {
    if (req.document == "/stuck") {
      stuck_in = true;
      test::WaitFor([&] { return release.load(); });
      stuck_out = true;
    } else {
      slow_in = true;
      std::this_thread::sleep_for(milliseconds(300));
    }
    r.content_text = req.document;
  };
  HttpServer server(std::move(events));
  server.SetStopTimeout(1000);
  const int port = test::StartOnLoopback(server);
  test::LoopbackClient stuck(port), slow(port);
  stuck.Send("GET /stuck HTTP/1.1\r\n\r\n");
  slow.Send("GET /slow HTTP/1.1\r\n\r\n");
  ASSERT_TRUE(test::WaitFor([&] { return stuck_in.load() && slow_in.load(); }));
  const auto start = Clock::now();
  server.SetActive(false);
  const auto took = Clock::now() - start;
  EXPECT_LT(took, milliseconds(1000 + 2000));
  EXPECT_GE(took, milliseconds(1000));
  EXPECT_EQ(test::BodyOf(slow.ReadAll()), "/slow");
  EXPECT_EQ(stuck.ReadAll(), "");
  // The listening socket was closed.
  EXPECT_THROW(test::LoopbackClient{port}, std::runtime_error);
  release = true;
  ASSERT_TRUE(test::WaitFor([&] { return stuck_out.load(); }));
  // The server outlives the stuck request's last use of it.
  ASSERT_TRUE(test::WaitFor([&] { return server.ContextCount() == 0; }));
}

TEST(FrontTest, AFullSessionListEndsTheLeastRecentlyUsedSessionNotLoggedOnFirst) {
  SessionList list;
  list.max_sessions = 3;
  list.on_session_expendable = [](const Session& s) { return s.ContentValue("On") != "1"; };
  std::vector<std::string> ended;
  list.on_session_end = [&](Session& s) { ended.push_back(s.SessionID()); };
  const auto a = list.CreateUniqueSession("10.0.0.1");
  const auto b = list.CreateUniqueSession("10.0.0.1");
  const auto c = list.CreateUniqueSession("10.0.0.1");
  a->SetContentValue("On", "1");  // logged on: kept although least recently used
  list.CreateUniqueSession("10.0.0.1");
  EXPECT_EQ(list.Count(), 3u);
  EXPECT_EQ(ended, std::vector<std::string>{b->SessionID()});
  // Used again, c is no longer the least recently used expendable one.
  list.GetSession(c->SessionID(), "");
  const auto e = list.CreateUniqueSession("10.0.0.1");
  ASSERT_EQ(ended.size(), 2u);
  EXPECT_NE(ended[1], c->SessionID());
  EXPECT_NE(ended[1], a->SessionID());
  EXPECT_NE(list.GetSession(a->SessionID(), ""), nullptr);
  EXPECT_NE(list.GetSession(e->SessionID(), ""), nullptr);
  list.Clear();
}

}  // namespace
}  // namespace qv

namespace qv {
namespace {

TEST(FrontTest, OnResponseSentIsToldOnceForEveryAnswer) {
  HttpServer::Events events;
  std::mutex lock;
  std::vector<std::string> told;
  events.on_command_get = [](ConnectionContext*, Request& req, Response& r) {
    if (req.document == "/fail") throw Exception("boom");
    r.content_text = req.document;
  };
  events.on_response_sent = [&](ConnectionContext&, const Request& req, const Response& r,
                              int64_t body, std::chrono::steady_clock::duration elapsed) {
    std::lock_guard guard(lock);
    told.push_back(req.document + " " + std::to_string(r.response_no) + " " + std::to_string(body) +
                   (elapsed.count() >= 0 ? "" : " negative"));
  };
  HttpServer server(std::move(events));
  const int port = test::StartOnLoopback(server);
  test::Exchange(port, "GET /page HTTP/1.1\r\n\r\n");
  test::Exchange(port, "GET /fail HTTP/1.1\r\n\r\n");
  test::Exchange(port, "HEAD /head HTTP/1.1\r\n\r\n");
  test::Exchange(port, "POST /big HTTP/1.1\r\nContent-Length: 2000000\r\n\r\n");
  test::Exchange(port, "GARBAGE\r\n");
  server.SetActive(false);
  // The refused request is told before its target is decoded.
  EXPECT_EQ(told, (std::vector<std::string>{"/page 200 5", "/fail 500 4", "/head 200 0", " 413 61"}));
}

}  // namespace
}  // namespace qv
