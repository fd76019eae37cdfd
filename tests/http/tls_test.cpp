// TLS: certificates made here with the openssl tool; a real OpenSSL client
// talks to the server's TLS transport over a socket pair.
#include <gtest/gtest.h>
#include <openssl/ssl.h>
#include <openssl/x509.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <future>
#include <memory>
#include <mutex>
#include <optional>
#include <regex>
#include <string>
#include <thread>
#include <vector>

#include "http/exceptions.h"
#include "http/http_server.h"
#include "http/socket_transport.h"
#include "http/tls_context.h"
#include "http/tls_transport.h"
#include "http/trusted_proxies.h"
#include "support/http_client.h"
#include "test_support.h"

namespace qv {
namespace {

namespace fs = std::filesystem;

// A folder with self-signed certificates "one" and "two" (name.crt, name.key).
class TlsFiles {
 public:
  TlsFiles() {
    char pattern[] = "/tmp/qv_tls_XXXXXX";
    if (!::mkdtemp(pattern)) throw std::runtime_error("mkdtemp");
    folder_ = pattern;
    for (const char* name : {"one", "two"}) {
      const std::string command =
          "openssl req -x509 -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes -days 2 "
          "-subj /CN=" + std::string(name) + " -keyout " + Key(name) + " -out " + Certificate(name) +
          " 2>/dev/null";
      if (std::system(command.c_str()) != 0) throw std::runtime_error("openssl req failed");
    }
  }
  ~TlsFiles() { fs::remove_all(folder_); }
  std::string Certificate(const std::string& name) const { return folder_ + "/" + name + ".crt"; }
  std::string Key(const std::string& name) const { return folder_ + "/" + name + ".key"; }
  std::string Path(const std::string& name) const { return folder_ + "/" + name; }

 private:
  std::string folder_;
};

const TlsFiles& Files() {
  static TlsFiles files;
  return files;
}

// A TLS client on one end of a socket pair, run on its own thread.
struct ClientResult {
  bool connected = false;
  std::string protocol;
  std::string peer_name;
  std::string received;
};

ClientResult RunClient(int fd, int max_version, const std::string& send, size_t expect) {
  ::signal(SIGPIPE, SIG_IGN);  // the client writes with plain write()
  ClientResult result;
  std::unique_ptr<SSL_CTX, decltype(&SSL_CTX_free)> ctx(SSL_CTX_new(TLS_client_method()), SSL_CTX_free);
  SSL_CTX_set_min_proto_version(ctx.get(), TLS1_VERSION);
  SSL_CTX_set_max_proto_version(ctx.get(), max_version);
  SSL_CTX_set_security_level(ctx.get(), 0);  // lets the client offer old versions
  std::unique_ptr<SSL, decltype(&SSL_free)> ssl(SSL_new(ctx.get()), SSL_free);
  SSL_set_fd(ssl.get(), fd);
  if (SSL_connect(ssl.get()) != 1) {
    ::close(fd);
    return result;
  }
  result.connected = true;
  result.protocol = SSL_get_version(ssl.get());
  if (X509* peer = SSL_get1_peer_certificate(ssl.get())) {
    char name[256] = {};
    X509_NAME_get_text_by_NID(X509_get_subject_name(peer), NID_commonName, name, sizeof name);
    result.peer_name = name;
    X509_free(peer);
  }
  SSL_write(ssl.get(), send.data(), static_cast<int>(send.size()));
  char buffer[4096];
  while (result.received.size() < expect) {
    const int n = SSL_read(ssl.get(), buffer, sizeof buffer);
    if (n <= 0) break;
    result.received.append(buffer, static_cast<size_t>(n));
  }
  SSL_shutdown(ssl.get());
  ::close(fd);
  return result;
}

// The server end: reads the request text, answers, closes.
struct Exchange {
  ClientResult client;
  std::string server_received;
  std::string server_error;
};

Exchange Talk(const TlsContext& context, int client_max_version, const std::string& request = "GET / HTTP/1.1\r\n\r\n",
             const std::string& answer = "HTTP/1.1 200 OK\r\nContent-Length: 2\r\n\r\nok") {
  int fds[2];
  if (::socketpair(AF_UNIX, SOCK_STREAM, 0, fds) != 0) throw std::runtime_error("socketpair");
  auto client = std::async(std::launch::async, RunClient, fds[1], client_max_version, request, answer.size());
  Exchange exchange;
  try {
    TlsTransport server(std::make_unique<SocketTransport>(FileDescriptor(fds[0]), 5000), context.Current());
    char buffer[1024];
    while (exchange.server_received.size() < request.size()) {
      const size_t n = server.Receive(buffer, sizeof buffer);
      if (n == 0) break;
      exchange.server_received.append(buffer, n);
    }
    const std::string_view part(answer);
    server.Send(&part, 1);
    server.Close(false);
  } catch (const HttpError& e) {
    exchange.server_error = e.what();
  }
  exchange.client = client.get();
  return exchange;
}

TEST(TlsTest, RequestAndAnswerPassOverTls12And13) {
  const TlsContext context(Files().Certificate("one"), Files().Key("one"));
  for (const auto& [version, name] : {std::pair{TLS1_3_VERSION, "TLSv1.3"}, std::pair{TLS1_2_VERSION, "TLSv1.2"}}) {
    SCOPED_TRACE(name);
    const Exchange exchange = Talk(context, version);
    EXPECT_EQ(exchange.server_error, "");
    EXPECT_TRUE(exchange.client.connected);
    EXPECT_EQ(exchange.client.protocol, name);
    EXPECT_EQ(exchange.client.peer_name, "one");
    EXPECT_EQ(exchange.server_received, "GET / HTTP/1.1\r\n\r\n");
    EXPECT_EQ(exchange.client.received, "HTTP/1.1 200 OK\r\nContent-Length: 2\r\n\r\nok");
  }
}

TEST(TlsTest, LargeAnswerArrivesWhole) {
  const TlsContext context(Files().Certificate("one"), Files().Key("one"));
  const std::string body(300000, 'x');
  const Exchange exchange = Talk(context, TLS1_3_VERSION, "GET / HTTP/1.1\r\n\r\n", body);
  EXPECT_EQ(exchange.client.received.size(), body.size());
  EXPECT_EQ(exchange.client.received, body);
}

TEST(TlsTest, OlderVersionsAreRefused) {
  const TlsContext context(Files().Certificate("one"), Files().Key("one"));
  const Exchange exchange = Talk(context, TLS1_1_VERSION);
  EXPECT_FALSE(exchange.client.connected);
  EXPECT_NE(exchange.server_error, "");
  EXPECT_EQ(exchange.server_received, "");
}

TEST(TlsTest, PlainHttpOnTheTlsSideEndsTheConnection) {
  const TlsContext context(Files().Certificate("one"), Files().Key("one"));
  int fds[2];
  ASSERT_EQ(::socketpair(AF_UNIX, SOCK_STREAM, 0, fds), 0);
  const std::string plain = "GET / HTTP/1.1\r\nHost: x\r\n\r\n";
  ASSERT_EQ(::write(fds[1], plain.data(), plain.size()), static_cast<ssize_t>(plain.size()));
  TlsTransport server(std::make_unique<SocketTransport>(FileDescriptor(fds[0]), 5000), context.Current());
  char buffer[256];
  EXPECT_THROW(server.Receive(buffer, sizeof buffer), HttpError);
  ::close(fds[1]);
}

TEST(TlsTest, BadFilesAreNamed) {
  std::ofstream(Files().Path("garbage.pem")) << "not a certificate\n";
  struct Case {
    std::string certificate, key, named;
  } const cases[] = {
      {Files().Path("absent.crt"), Files().Key("one"), Files().Path("absent.crt")},
      {Files().Path("garbage.pem"), Files().Key("one"), Files().Path("garbage.pem")},
      {Files().Certificate("one"), Files().Path("absent.key"), Files().Path("absent.key")},
      {Files().Certificate("one"), Files().Key("two"), Files().Key("two")},
  };
  for (const Case& c : cases) {
    try {
      TlsContext context(c.certificate, c.key);
      ADD_FAILURE() << "accepted " << c.certificate << " with " << c.key;
    } catch (const TlsSetupError& e) {
      EXPECT_NE(std::string(e.what()).find(c.named), std::string::npos) << e.what();
    }
  }
}

TEST(TlsTest, ReloadTakesNewFilesForNewConnectionsAndKeepsOldOnesOnFailure) {
  const std::string certificate = Files().Path("live.crt"), key = Files().Path("live.key");
  fs::copy_file(Files().Certificate("one"), certificate, fs::copy_options::overwrite_existing);
  fs::copy_file(Files().Key("one"), key, fs::copy_options::overwrite_existing);
  TlsContext context(certificate, key);
  EXPECT_EQ(Talk(context, TLS1_3_VERSION).client.peer_name, "one");

  fs::copy_file(Files().Certificate("two"), certificate, fs::copy_options::overwrite_existing);
  fs::copy_file(Files().Key("two"), key, fs::copy_options::overwrite_existing);
  context.Reload();
  EXPECT_EQ(Talk(context, TLS1_3_VERSION).client.peer_name, "two");

  std::ofstream(certificate, std::ios::trunc) << "broken\n";
  EXPECT_THROW(context.Reload(), TlsSetupError);
  EXPECT_EQ(Talk(context, TLS1_3_VERSION).client.peer_name, "two");
}

// A ClientHello as a real client sends it.
std::string ClientHello() {
  std::unique_ptr<SSL_CTX, decltype(&SSL_CTX_free)> ctx(SSL_CTX_new(TLS_client_method()), SSL_CTX_free);
  std::unique_ptr<SSL, decltype(&SSL_free)> ssl(SSL_new(ctx.get()), SSL_free);
  BIO* in = BIO_new(BIO_s_mem());
  BIO* out = BIO_new(BIO_s_mem());
  SSL_set_bio(ssl.get(), in, out);
  SSL_connect(ssl.get());  // wants to read: the hello is written
  char* data = nullptr;
  const long length = BIO_get_mem_data(out, &data);
  return std::string(data, static_cast<size_t>(std::max(length, 0L)));
}

TEST(TlsTest, AHandshakeWhosePeerHasGoneCostsNoKeyExchange) {
  const TlsContext context(Files().Certificate("one"), Files().Key("one"));
  static int hellos_seen = 0;
  const auto count_hello = [](SSL*, int*, void*) {
    ++hellos_seen;
    return SSL_CLIENT_HELLO_SUCCESS;
  };
  SSL_CTX_set_client_hello_cb(context.Current().get(), count_hello, nullptr);
  const std::string hello = ClientHello();
  for (const bool gone : {false, true}) {
    SCOPED_TRACE(gone ? "the client has gone" : "the client waits");
    hellos_seen = 0;
    int fds[2];
    ASSERT_EQ(::socketpair(AF_UNIX, SOCK_STREAM, 0, fds), 0);
    ASSERT_EQ(::write(fds[1], hello.data(), hello.size()), static_cast<ssize_t>(hello.size()));
    if (gone) ::close(fds[1]);
    TlsTransport server(std::make_unique<SocketTransport>(FileDescriptor(fds[0]), 5000), context.Current());
    char buffer[256];
    // Nothing to read yet while the handshake goes on; closed when the client has gone.
    EXPECT_EQ(server.TryReceive(buffer, sizeof buffer), gone ? 0 : -1);
    EXPECT_EQ(hellos_seen, gone ? 0 : 1);
    if (!gone) ::close(fds[1]);
  }
}

// A TCP connection to the loopback port, for a TLS client that closes it.
int Connect(int port) { return test::LoopbackClient(port).Release(); }

// The events of a server whose handler, unless events name another, answers
// "page <document>".
HttpServer::Events PageEvents(HttpServer::Events events) {
  if (!events.on_command_get) {
    events.on_command_get = [](ConnectionContext*, Request& request, Response& response) {
      response.content_text = "page " + request.document;
    };
  }
  return events;
}

// A running server with a plain and a TLS listener on loopback (certificate
// "one") with those events; configure sets the rest before the start.
struct PlainAndTlsServer {
  explicit PlainAndTlsServer(const std::function<void(HttpServer&)>& configure, HttpServer::Events events = {})
      : server(PageEvents(std::move(events))) {
    server.SetTlsContext(std::make_shared<TlsContext>(Files().Certificate("one"), Files().Key("one")));
    server.AddBinding("127.0.0.1", 0, kIPv4);
    server.AddBinding("127.0.0.1", 0, kIPv4).tls = true;
    configure(server);
    server.SetActive(true);
    plain_port = server.Bindings()[0].port;
    tls_port = server.Bindings()[1].port;
  }
  ~PlainAndTlsServer() { server.SetActive(false); }

  HttpServer server;
  int plain_port = 0;
  int tls_port = 0;
};

// The server with one worker and sessions.
class TlsServerTest : public ::testing::Test {
 protected:
  std::string TlsGet(const std::string& path) {
    return RunClient(Connect(tls_.tls_port), TLS1_3_VERSION, "GET " + path + " HTTP/1.1\r\nHost: x\r\n\r\n",
                     SIZE_MAX).received;
  }

  PlainAndTlsServer tls_{[](HttpServer& server) {
    server.SetWorkers(1);
    server.SetReadTimeout(10000);
    server.SetSessionState(true);
    server.SetAutoStartSession(true);
    server.SetSessionTimeOut(60000);
  }};
};

TEST_F(TlsServerTest, SamePageOverTlsWithASecureCookie) {
  const std::string answer = TlsGet("/list");
  EXPECT_EQ(answer.rfind("HTTP/1.1 200 OK\r\n", 0), 0u) << answer;
  EXPECT_NE(answer.find("\r\n\r\npage /list"), std::string::npos) << answer;
  const std::regex secure("\r\nSet-Cookie: IDHTTPSESSIONID=[A-Za-z0-9]{15}; path=/; secure; HttpOnly; SameSite=Lax\r\n");
  EXPECT_TRUE(std::regex_search(answer, secure)) << answer;

  // The plain listener's cookie stays as it was.
  const std::string plain = test::Exchange(tls_.plain_port, "GET /list HTTP/1.1\r\nHost: x\r\n\r\n").raw;
  EXPECT_NE(plain.find("; path=/; HttpOnly; SameSite=Lax\r\n"), std::string::npos) << plain;
  EXPECT_EQ(plain.find("secure"), std::string::npos) << plain;
  EXPECT_EQ(plain.substr(plain.find("\r\n\r\n")), answer.substr(answer.find("\r\n\r\n")));
}

TEST_F(TlsServerTest, SlowHandshakesDoNotHoldTheWorker) {
  // Clients that connect and send half a handshake, or nothing, stay with the
  // front; the one worker still serves a whole TLS request meanwhile.
  std::vector<test::LoopbackClient> stalled;
  for (int i = 0; i < 3; ++i) stalled.emplace_back(tls_.tls_port);
  const char partial[] = {0x16, 0x03, 0x01, 0x02, 0x00, 0x01};  // a ClientHello's first bytes
  ASSERT_TRUE(stalled[0].Send(std::string_view(partial, sizeof partial)));
  const auto started = std::chrono::steady_clock::now();
  const std::string answer = TlsGet("/x");
  EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(5));
  EXPECT_NE(answer.find("page /x"), std::string::npos) << answer;
}

TEST_F(TlsServerTest, PlainHttpSentToTheTlsPortIsDropped) {
  test::LoopbackClient client(tls_.tls_port);
  client.Send("GET / HTTP/1.1\r\nHost: x\r\n\r\n");
  EXPECT_EQ(client.ReadAll(), "");
  EXPECT_NE(TlsGet("/after").find("page /after"), std::string::npos);
}

// Holds every TLS handshake that reaches the server's ClientHello step until
// released: handshake work that is stuck, wherever it runs.
class HandshakeGate {
 public:
  explicit HandshakeGate(SSL_CTX* context) : context_(context) {
    SSL_CTX_set_client_hello_cb(context_, &HandshakeGate::Hold, this);
  }
  ~HandshakeGate() {
    Release();
    SSL_CTX_set_client_hello_cb(context_, nullptr, nullptr);
  }
  // True once a handshake is held.
  bool WaitHeld() {
    std::unique_lock lock(lock_);
    return changed_.wait_for(lock, std::chrono::seconds(20), [&] { return held_ > 0; });
  }
  void Release() {
    std::lock_guard lock(lock_);
    open_ = true;
    changed_.notify_all();
  }

 private:
  static int Hold(SSL*, int*, void* arg) {
    auto* gate = static_cast<HandshakeGate*>(arg);
    std::unique_lock lock(gate->lock_);
    ++gate->held_;
    gate->changed_.notify_all();
    gate->changed_.wait(lock, [&] { return gate->open_; });
    return SSL_CLIENT_HELLO_SUCCESS;
  }

  SSL_CTX* context_;
  std::mutex lock_;
  std::condition_variable changed_;
  int held_ = 0;
  bool open_ = false;
};

std::string PlainGet(int port, const std::string& path) {
  return test::Exchange(port, "GET " + path + " HTTP/1.1\r\nHost: x\r\n\r\n").raw;
}

TEST_F(TlsServerTest, PlainRequestsAreAnsweredWhileHandshakeWorkIsHeld) {
  HandshakeGate gate(tls_.server.TlsContext()->Current().get());
  std::vector<std::future<ClientResult>> clients;
  for (int i = 0; i < 3; ++i) {
    clients.push_back(std::async(std::launch::async, RunClient, Connect(tls_.tls_port), TLS1_3_VERSION,
                                 "GET /tls" + std::to_string(i) + " HTTP/1.1\r\nHost: x\r\n\r\n", SIZE_MAX));
  }
  ASSERT_TRUE(gate.WaitHeld());
  // The handshakes are stuck in their work; the plain port answers all the same.
  EXPECT_NE(PlainGet(tls_.plain_port, "/plain").find("page /plain"), std::string::npos);
  for (auto& client : clients)
    EXPECT_EQ(client.wait_for(std::chrono::seconds(0)), std::future_status::timeout) << "a handshake ended early";
  gate.Release();
  for (int i = 0; i < 3; ++i)
    EXPECT_NE(clients[i].get().received.find("page /tls" + std::to_string(i)), std::string::npos);
}

TEST_F(TlsServerTest, AHandshakeBegunBeforeARestartRunsOffTheFrontAfterIt) {
  const int fd = Connect(tls_.tls_port);
  ASSERT_TRUE(test::WaitFor([&] { return tls_.server.ContextCount() == 1; }));
  tls_.server.Restart(10000);
  HandshakeGate gate(tls_.server.TlsContext()->Current().get());
  auto client = std::async(std::launch::async, RunClient, fd, TLS1_3_VERSION,
                           "GET /moved HTTP/1.1\r\nHost: x\r\n\r\n", SIZE_MAX);
  ASSERT_TRUE(gate.WaitHeld());
  // Its handshake is stuck in its work; the plain port answers all the same.
  EXPECT_NE(PlainGet(tls_.plain_port, "/plain").find("page /plain"), std::string::npos);
  gate.Release();
  EXPECT_NE(client.get().received.find("page /moved"), std::string::npos);
}

// The server with time limits chosen by the test; idle connections are not
// cut for a minute.
struct LimitedTlsServer : PlainAndTlsServer {
  explicit LimitedTlsServer(int handshake_timeout_ms, int max_handshakes = 16, const char* trusted = "")
      : PlainAndTlsServer([&](HttpServer& server) {
          server.SetReadTimeout(60000);
          server.SetRequestTimeout(60000);
          server.SetHandshakeTimeout(handshake_timeout_ms);
          server.SetMaxHandshakesPerAddress(max_handshakes);
          server.SetTrustedProxies(TrustedProxies::Parse(trusted));
        }) {}
};

TEST(TlsHandshakeLimitTest, SilentOrSlowHandshakesAreCutAtTheDeadline) {
  // A minute of read time-out: only the handshake's deadline cuts these
  // within the client's 20 s.
  LimitedTlsServer tls(300);
  const std::string hello = ClientHello();
  ASSERT_GT(hello.size(), 100u);
  struct Case {
    const char* name;
    size_t at_once;  // bytes of the ClientHello sent at once
    bool trickle;    // then the rest a byte at a time
  } const cases[] = {
      {"sends nothing", 0, false},
      {"sends half a ClientHello", 50, false},
      {"sends its ClientHello and never finishes", hello.size(), false},
      {"trickles its ClientHello a byte at a time", 0, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    test::LoopbackClient client(tls.tls_port);
    ASSERT_TRUE(client.Send(std::string_view(hello).substr(0, c.at_once)));
    if (!c.trickle) {
      EXPECT_TRUE(client.ClosedWithin(test::kSilenceLimit));
    } else {
      size_t sent = 0;
      bool cut = false;
      for (; sent < hello.size() && !cut; ++sent) {
        if (!client.Send(std::string_view(hello).substr(sent, 1))) break;
        pollfd p{client.fd(), POLLIN, 0};
        cut = ::poll(&p, 1, 20) > 0 && client.ClosedWithin(test::kSilenceLimit);
      }
      // Closed before the whole ClientHello was there.
      EXPECT_LT(sent, hello.size());
    }
  }
  // The server goes on serving TLS.
  EXPECT_NE(RunClient(Connect(tls.tls_port), TLS1_3_VERSION, "GET /after HTTP/1.1\r\nHost: x\r\n\r\n", SIZE_MAX)
                .received.find("page /after"),
            std::string::npos);
}

TEST(TlsHandshakeLimitTest, HandshakesUnderwayKeepTheirDeadlineAndTheirPlaceThroughARestart) {
  // From an address allowed two: one silent, one with half its ClientHello.
  LimitedTlsServer tls(3000, 2);
  const std::string hello = ClientHello();
  test::LoopbackClient parked[] = {test::LoopbackClient(tls.tls_port), test::LoopbackClient(tls.tls_port)};
  ASSERT_TRUE(parked[1].Send(std::string_view(hello).substr(0, 50)));
  ASSERT_TRUE(test::WaitFor([&] { return tls.server.ContextCount() == 2; }));
  tls.server.Restart(10000);
  // Still counted: a third does not begin.
  EXPECT_FALSE(RunClient(Connect(tls.tls_port), TLS1_3_VERSION, "GET /third HTTP/1.1\r\nHost: x\r\n\r\n", SIZE_MAX)
                   .connected);
  // Cut at the deadline they had, well within the client's 20 s and the
  // minute of read time-out.
  for (test::LoopbackClient& client : parked) EXPECT_TRUE(client.ClosedWithin(test::kSilenceLimit));
}

TEST(TlsHandshakeLimitTest, HandshakesInProgressAreCappedPerAddress) {
  struct Case {
    const char* name;
    const char* trusted;
    bool admitted;  // a third handshake from the address
  } const cases[] = {
      {"capped", "", false},
      {"a trusted proxy is not capped", "127.0.0.1", true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    LimitedTlsServer tls(60000, 2, c.trusted);
    // Two handshakes parked, not a byte sent.
    std::optional<test::LoopbackClient> parked(std::in_place, tls.tls_port);
    const test::LoopbackClient also_parked(tls.tls_port);
    // The plain port answers; a third handshake from the same address does not begin.
    EXPECT_NE(PlainGet(tls.plain_port, "/plain").find("page /plain"), std::string::npos);
    const ClientResult third =
        RunClient(Connect(tls.tls_port), TLS1_3_VERSION, "GET /third HTTP/1.1\r\nHost: x\r\n\r\n", SIZE_MAX);
    EXPECT_EQ(third.connected, c.admitted);
    EXPECT_EQ(third.received.find("page /third") != std::string::npos, c.admitted);
    // A parked one gone, its place is free again (once the server has seen it go).
    parked.reset();
    bool served = false;
    for (int attempt = 0; attempt < 200 && !served; ++attempt) {
      served = RunClient(Connect(tls.tls_port), TLS1_3_VERSION, "GET /later HTTP/1.1\r\nHost: x\r\n\r\n", SIZE_MAX)
                   .received.find("page /later") != std::string::npos;
      if (!served) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    EXPECT_TRUE(served);
  }
}

// Sessions begun or logged on over TLS, and plain-port visitors sent to HTTPS.
class TlsSessionTest : public ::testing::Test {
 protected:
  static void Configure(HttpServer& server) {
    server.SetSessionState(true);
    server.SetAutoStartSession(true);
    server.SetSessionTimeOut(60000);
  }
  static HttpServer::Events Events() {
    HttpServer::Events events;
    events.on_session_start = [](Session& session) { session.Content().SetValue("LoggedIn", "False"); };
    // "/login" logs on as the router does; every answer names the session.
    events.on_command_get = [](ConnectionContext*, Request& request, Response& response) {
      if (request.document == "/login") {
        request.session->SetContentValue("LoggedIn", "True");
        response.renew_session = true;
      }
      response.content_text = request.session->SessionID() + "|" + request.session->ContentValue("LoggedIn");
    };
    return events;
  }
  static std::string RequestText(const std::string& target, const std::string& cookie) {
    return "GET " + target + " HTTP/1.1\r\nHost: x\r\n" +
           (cookie.empty() ? "" : "Cookie: IDHTTPSESSIONID=" + cookie + "\r\n") + "\r\n";
  }
  std::string TlsGet(const std::string& target, const std::string& cookie = "") {
    return RunClient(Connect(tls_.tls_port), TLS1_3_VERSION, RequestText(target, cookie), SIZE_MAX).received;
  }
  std::string PlainGet(const std::string& target, const std::string& cookie = "") {
    return test::Exchange(tls_.plain_port, RequestText(target, cookie)).raw;
  }
  static std::string CookieOf(const std::string& answer) {
    std::smatch m;
    static const std::regex cookie("\r\nSet-Cookie: IDHTTPSESSIONID=([A-Za-z0-9]{15});");
    return std::regex_search(answer, m, cookie) ? m[1].str() : "";
  }

  PlainAndTlsServer tls_{Configure, Events()};
};

TEST_F(TlsSessionTest, ASessionLoggedOnOverTlsIsNotUsableOnThePlainPort) {
  const std::string plain = CookieOf(PlainGet("/"));
  ASSERT_FALSE(plain.empty());
  const std::string logged_on_answer = TlsGet("/login", plain);
  const std::string logged_on = CookieOf(logged_on_answer);
  ASSERT_FALSE(logged_on.empty());
  EXPECT_NE(logged_on, plain);
  EXPECT_NE(logged_on_answer.find("; path=/; secure; HttpOnly; SameSite=Lax\r\n"), std::string::npos);
  std::string answer = TlsGet("/", logged_on);
  EXPECT_EQ(CookieOf(answer), "");
  EXPECT_EQ(test::BodyOf(answer), logged_on + "|True");
  // On the plain port the identifier names nothing: a new visitor, logged out.
  answer = PlainGet("/", logged_on);
  const std::string other = CookieOf(answer);
  EXPECT_NE(other, "");
  EXPECT_NE(other, logged_on);
  EXPECT_EQ(test::BodyOf(answer), other + "|False");
  // The one it was logged on from ended with the log-on.
  EXPECT_NE(CookieOf(TlsGet("/", plain)), "");
}

class TlsRedirectTest : public TlsSessionTest {
 protected:
  TlsRedirectTest() {
    tls_.server.SetTlsPort(8443);
    tls_.server.SetRedirectToTls(true);
    tls_.server.SetTrustedProxies(TrustedProxies::Parse("127.0.0.2"));
    tls_.server.Restart(1000);
  }
};

TEST_F(TlsRedirectTest, PlainVisitorsAreSentToHttpsAndHttpsAnswersCarryHsts) {
  const std::string moved = "HTTP/1.1 301 Moved Permanently\r\n";
  struct Case {
    const char* name;
    std::string request;
    std::string status_line, location;
  } const cases[] = {
      {"name and port", "GET /LIST?page=2&AreaName= HTTP/1.1\r\nHost: qv.example.org:8080\r\n\r\n", moved,
       "https://qv.example.org:8443/LIST?page=2&AreaName="},
      {"IPv6 address", "HEAD / HTTP/1.1\r\nHost: [::1]:80\r\n\r\n", moved, "https://[::1]:8443/"},
      {"POST", "POST /DOLOGIN HTTP/1.1\r\nHost: h\r\nContent-Length: 3\r\n\r\nx=1", moved,
       "https://h:8443/DOLOGIN"},
      {"no host", "GET / HTTP/1.0\r\n\r\n", "HTTP/1.1 400 Bad Request\r\n", ""},
      {"a host that is no name", "GET / HTTP/1.1\r\nHost: evil.example/x\r\n\r\n", "HTTP/1.1 400 Bad Request\r\n", ""},
      {"an absolute target", "GET http://h/x HTTP/1.1\r\nHost: h\r\n\r\n", "HTTP/1.1 400 Bad Request\r\n", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const test::HttpAnswer answer = test::Exchange(tls_.plain_port, c.request);
    EXPECT_EQ(answer.raw.rfind(c.status_line, 0), 0u) << answer.raw;
    EXPECT_EQ(answer.Header("Location"), c.location);
    EXPECT_EQ(answer.Header("Set-Cookie"), "") << "no session for a visitor sent away";
    EXPECT_EQ(answer.Header("Strict-Transport-Security"), "");
  }
  // Over TLS the pages are served, and browsers are told to stay there.
  const test::HttpAnswer tls = test::ParseAnswer(TlsGet("/"));
  EXPECT_EQ(tls.status, 200);
  EXPECT_EQ(tls.Header("Strict-Transport-Security"), "max-age=31536000");
  // A trusted proxy speaks plain HTTP whatever its visitor spoke: served.
  const test::HttpAnswer proxied =
      test::Exchange(tls_.plain_port, "GET / HTTP/1.1\r\nHost: h\r\n\r\n", {.source_ip = "127.0.0.2"});
  EXPECT_EQ(proxied.status, 200);
  EXPECT_EQ(proxied.Header("Location"), "");
  // Switched off by a restart, the plain port serves again.
  tls_.server.SetRedirectToTls(false);
  tls_.server.Restart(1000);
  EXPECT_EQ(test::ParseAnswer(PlainGet("/")).status, 200);
  EXPECT_EQ(test::ParseAnswer(TlsGet("/")).Header("Strict-Transport-Security"), "");
}

TEST(TlsServerSetupTest, TlsListenerWithoutCertificateRefusesToStart) {
  HttpServer server;
  server.AddBinding("127.0.0.1", 0, kIPv4).tls = true;
  EXPECT_THROW(server.SetActive(true), TlsSetupError);
  EXPECT_FALSE(server.Active());
}

}  // namespace
}  // namespace qv
