// Hostile request shapes over a real socket to the real engine, with
// keep-alive on (where a framing fault would let a second request hide in
// the first): the exact answer, and whether the connection closes after it.
#include <gtest/gtest.h>

#include <chrono>
#include <optional>
#include <string>

#include "http/http_server.h"
#include "test_support.h"

namespace qv {
namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

// What came back on a connection: the bytes, and whether the server closed
// it within wait_ms (the bytes that came meanwhile are kept).
struct Reply {
  std::string bytes;
  bool closed = false;
};

Reply ReadReply(test::LoopbackClient& client, int wait_ms) {
  Reply reply;
  reply.closed = client.ClosedWithin(milliseconds(wait_ms), &reply.bytes);
  return reply;
}

std::string Ok(const std::string& body) {
  return "HTTP/1.1 200 OK\r\nConnection: keep-alive\r\nContent-Length: " + std::to_string(body.size()) +
         "\r\n\r\n" + body;
}

// The engine's refusal: the status, a small page naming it, and the close.
std::string Refusal(int code, const std::string& reason, const std::string& extra = "") {
  const std::string page = "<HTML><BODY><B>" + std::to_string(code) + " " + reason + "</B></BODY></HTML>\r\n";
  return "HTTP/1.1 " + std::to_string(code) + " " + reason + "\r\nConnection: close\r\nContent-Length: " +
         std::to_string(page.size()) + "\r\n" + extra + "\r\n" + page;
}

// The answer to a method no handler takes: no body, so it closes.
const std::string kNoHandler = "HTTP/1.1 200 OK\r\nConnection: close\r\n\r\n";
const std::string kNext = "GET /next HTTP/1.1\r\n\r\n";

class FramingTest : public ::testing::Test {
 protected:
  void SetUp() override { StartServer(false); }

  // A server answering GET, HEAD and POST, or (every_method) every method.
  void StartServer(bool every_method) {
    HttpServer::Events events;
    events.on_command_get = [this](ConnectionContext*, Request& req, Response& r) {
      ++calls_;
      r.content_text = req.command + " " + req.document + " " + req.form_params;
    };
    if (every_method) events.on_command_other = events.on_command_get;
    server_.reset();
    server_.emplace(std::move(events));
    server_->SetKeepAlive(true);
    server_->SetKeepAliveByDefault(true);
    server_->SetKeepAliveTimeout(10000);  // far beyond every wait below
    port_ = test::StartOnLoopback(*server_);
  }

  // Sends the bytes on a new connection; a connection that is to stay open
  // is given a moment in which it must not close.
  Reply Send(const std::string& bytes, bool closes) {
    test::LoopbackClient client(port_);
    client.Send(bytes);
    return ReadReply(client, closes ? 10000 : 300);
  }

  std::atomic<int> calls_{0};
  std::optional<HttpServer> server_;
  int port_ = 0;
};

TEST_F(FramingTest, HostileShapesTable) {
  const std::string method(8000, 'M');
  const std::string form = "Content-Type: application/x-www-form-urlencoded\r\n";
  const std::string chunked = "POST /a HTTP/1.1\r\nTransfer-Encoding: chunked\r\n\r\n";
  std::string one_byte_chunks;  // 14,000 of them: 70,000 bytes of framing for 14,000 of body
  for (int i = 0; i < 14000; ++i) one_byte_chunks += "1\r\nx\r\n";
  std::string many_header_lines = "GET /a HTTP/1.1\r\n";
  for (int i = 0; i < 1025; ++i) many_header_lines += "X: " + std::to_string(i) + "\r\n";
  struct Case {
    const char* name;
    std::string sent;
    std::string answer;
    bool closes;
  } const cases[] = {
      {"two different lengths",
       "POST /a HTTP/1.1\r\nContent-Length: 3\r\nContent-Length: 30\r\n\r\nabc" + kNext,
       Refusal(400, "Bad Request"), true},
      {"two lengths in one header", "POST /a HTTP/1.1\r\nContent-Length: 3, 30\r\n\r\nabc" + kNext,
       Refusal(400, "Bad Request"), true},
      {"length and chunks",
       "POST /a HTTP/1.1\r\nContent-Length: 5\r\nTransfer-Encoding: chunked\r\n\r\n0\r\n\r\n" + kNext,
       Refusal(400, "Bad Request"), true},
      {"a coding other than chunked", "POST /a HTTP/1.1\r\nTransfer-Encoding: gzip\r\n\r\nabc",
       Refusal(400, "Bad Request"), true},
      {"chunks in HTTP/1.0", "POST /a HTTP/1.0\r\nTransfer-Encoding: chunked\r\n\r\n0\r\n\r\n",
       Refusal(400, "Bad Request"), true},
      {"blank before a colon", "POST /a HTTP/1.1\r\nContent-Length : 3\r\n\r\nabc",
       Refusal(400, "Bad Request"), true},
      {"carriage return inside a header", "GET /a HTTP/1.1\r\nX: a\rContent-Length: 3\r\n\r\nabc",
       Refusal(400, "Bad Request"), true},
      {"chunks that break their grammar",
       "POST /a HTTP/1.1\r\nTransfer-Encoding: chunked\r\n\r\n3\r\nabcd\r\n0\r\n\r\n",
       Refusal(400, "Bad Request"), true},
      {"chunks over the body limit", "POST /a HTTP/1.1\r\nTransfer-Encoding: chunked\r\n\r\n100001\r\nabc",
       Refusal(413, "Request Entity To Long"), true},
      {"a length that is not a number", "POST /a HTTP/1.1\r\nContent-Length: 3x\r\n\r\nabc" + kNext,
       Refusal(400, "Bad Request"), true},
      {"an empty length", "POST /a HTTP/1.1\r\nContent-Length:\r\n\r\nabc" + kNext, Refusal(400, "Bad Request"), true},
      {"a negative length", "GET /a HTTP/1.1\r\nContent-Length: -3\r\n\r\n" + kNext, Refusal(400, "Bad Request"), true},
      {"a request line over the limit", "GET /" + std::string(20000, 'a') + " HTTP/1.1\r\n\r\n" + kNext,
       Refusal(414, "Request-URI Too Long. 256 Chars max"), true},
      {"a header line over the limit", "GET /a HTTP/1.1\r\nX: " + std::string(20000, 'x') + "\r\n\r\n" + kNext,
       Refusal(431, "Request Header Fields Too Large"), true},
      {"too many header lines", many_header_lines + "\r\n" + kNext, Refusal(431, "Request Header Fields Too Large"),
       true},
      {"a chunk line over its limit", chunked + "1;" + std::string(16000, 'e') + "\r\nx\r\n0\r\n\r\n" + kNext,
       Refusal(400, "Bad Request"), true},
      {"chunk framing over its limit", chunked + one_byte_chunks + "0\r\n\r\n" + kNext,
       Refusal(413, "Request Entity To Long"), true},
      {"trailers over their limit", chunked + "0\r\nT: " + std::string(9000, 't') + "\r\n\r\n" + kNext,
       Refusal(431, "Request Header Fields Too Large"), true},
      {"two hosts", "GET /a HTTP/1.1\r\nHost: a\r\nHost: b\r\n\r\n" + kNext, Refusal(400, "Bad Request"), true},
      {"two hosts, one empty", "GET /a HTTP/1.1\r\nHost: a\r\nHOST:\r\n\r\n" + kNext, Refusal(400, "Bad Request"),
       true},
      {"no version", "GET /\r\n\r\n" + kNext, Refusal(400, "Bad Request"), true},
      {"major version 2", "PRI * HTTP/2.0\r\n\r\nSM\r\n\r\n", Refusal(505, "HTTP version not supported"), true},
      {"major version 0", "GET / HTTP/0.9\r\n\r\n", Refusal(505, "HTTP version not supported"), true},
      {"an absurd method", method + " / HTTP/1.1\r\n\r\n",
       Refusal(501, "Not Implemented", "Allow: GET, HEAD, POST\r\n"), true},
      {"a method that is not a word", "GET(x) / HTTP/1.1\r\n\r\n", Refusal(400, "Bad Request"), true},
      {"DELETE", "DELETE /a HTTP/1.1\r\n\r\n" + kNext, kNoHandler, true},
      {"OPTIONS", "OPTIONS * HTTP/1.1\r\n\r\n" + kNext, kNoHandler, true},
      {"PUT with a body", "PUT /a HTTP/1.1\r\nContent-Length: 3\r\n\r\nabc" + kNext, kNoHandler, true},
      // Well framed: answered, and the next request on the same connection too.
      {"chunked form", "POST /c HTTP/1.1\r\nTransfer-Encoding: chunked\r\n" + form +
                           "\r\n3\r\nx=1\r\n4;ext=1\r\n&y=2\r\n0\r\nTrailer: t\r\n\r\n" + kNext,
       Ok("POST /c x=1&y=2") + Ok("GET /next "), false},
      {"equal lengths", "POST /e HTTP/1.1\r\nContent-Length: 3\r\nContent-Length: 3\r\n\r\nabc" + kNext,
       Ok("POST /e abc") + Ok("GET /next "), false},
      // Neither a length nor chunks: no body; answered at once, and what
      // follows is the next request.
      {"a POST without a body", "POST /p HTTP/1.1\r\n" + form + "\r\n" + kNext,
       Ok("POST /p ") + Ok("GET /next "), false},
      // Schemes other than Basic: headers the server does not use.
      {"a bearer token", "GET /b HTTP/1.1\r\nAuthorization: Bearer eyJhbGciOi.x.y\r\n\r\n" + kNext,
       Ok("GET /b ") + Ok("GET /next "), false},
      {"a single-sign-on ticket", "GET /n HTTP/1.1\r\nAuthorization: Negotiate YIIGhgYGKwYBBQUCoIIGejCCBnag\r\n\r\n" + kNext,
       Ok("GET /n ") + Ok("GET /next "), false},
  };
  for (const Case& c : cases) {
    const int before = calls_.load();
    const Reply reply = Send(c.sent, c.closes);
    EXPECT_EQ(reply.bytes, c.answer) << c.name;
    EXPECT_EQ(reply.closed, c.closes) << c.name;
    // Nothing hidden in a refused request ever runs.
    if (c.answer.find(" 200 ") == std::string::npos) {
      EXPECT_EQ(calls_.load(), before) << c.name;
    }
  }
}

// A chunked body is invited like any other, and decoded.
TEST_F(FramingTest, AChunkedBodyAfterAnInvitation) {
  test::LoopbackClient client(port_);
  client.Send("POST /c HTTP/1.1\r\nExpect: 100-continue\r\nTransfer-Encoding: chunked\r\n\r\n");
  EXPECT_EQ(client.ReadUntil("\r\n\r\n"), "HTTP/1.1 100 Continue\r\n\r\n");
  client.Send("5\r\nhello\r\n0\r\n\r\n");
  const Reply reply = ReadReply(client, 300);
  EXPECT_EQ(reply.bytes, Ok("POST /c hello"));
  EXPECT_FALSE(reply.closed);
}

// After a method no handler takes, a keep-alive client gets its answer at
// once and the connection closes, so its next request goes out at once on a
// new one; with a handler that answers, the next request follows on the same.
TEST_F(FramingTest, AKeepAliveClientAfterOtherMethodsWaitsForNothing) {
  for (const char* method : {"DELETE /x", "OPTIONS *"}) {
    const auto start = Clock::now();
    test::LoopbackClient client(port_);
    client.Send(std::string(method) + " HTTP/1.1\r\n\r\n");
    const Reply reply = ReadReply(client, 10000);
    EXPECT_EQ(reply.bytes, kNoHandler) << method;
    EXPECT_TRUE(reply.closed) << method;
    EXPECT_EQ(test::Exchange(port_, "GET /next HTTP/1.1\r\nConnection: close\r\n\r\n").body, "GET /next ");
    EXPECT_LT(Clock::now() - start, milliseconds(2000)) << method;
  }

  StartServer(true);
  const int port = port_;
  test::LoopbackClient client(port);
  client.Send("DELETE /x HTTP/1.1\r\n\r\nOPTIONS * HTTP/1.1\r\n\r\n" + kNext);
  const Reply reply = ReadReply(client, 300);
  EXPECT_EQ(reply.bytes, Ok("DELETE /x ") + Ok("OPTIONS * ") + Ok("GET /next "));
  EXPECT_FALSE(reply.closed);
}

}  // namespace
}  // namespace qv
