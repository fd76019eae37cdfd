#include "http/response_writer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <optional>
#include <regex>
#include <thread>

#include "http/exceptions.h"
#include "test_support.h"

namespace qv {
namespace {

// A stream that reports being freed.
class TrackedStream final : public ContentStream {
 public:
  TrackedStream(std::string data, std::atomic<int>& freed) : inner_(std::move(data)), freed_(freed) {}
  ~TrackedStream() override { ++freed_; }
  int64_t Size() const override { return inner_.Size(); }
  int64_t Position() const override { return inner_.Position(); }
  void SetPosition(int64_t p) override { inner_.SetPosition(p); }
  size_t Read(char* b, size_t n) override { return inner_.Read(b, n); }

 private:
  MemoryContentStream inner_;
  std::atomic<int>& freed_;
};

// One server per test; the handler is the test's.
class ResponseWritingTest : public ::testing::Test {
 protected:
  // configure: settings of the server before it starts.
  void Start(HttpServer::CommandEvent handler, bool sessions = false,
             const std::function<void(HttpServer&)>& configure = {}) {
    HttpServer::Events events;
    events.on_command_get = std::move(handler);
    server_.emplace(std::move(events));
    if (configure) configure(*server_);
    if (sessions) {
      server_->SetSessionState(true);
      server_->SetAutoStartSession(true);
      server_->SetSessionTimeOut(600000);
    }
    port_ = test::StartOnLoopback(*server_);
  }
  std::string Get(const std::string& request = "GET / HTTP/1.1\r\nHost: h\r\n\r\n") {
    return test::Exchange(port_, request).raw;
  }

  std::optional<HttpServer> server_;
  int port_ = 0;
};

TEST_F(ResponseWritingTest, TextBodyOnAFirstRequestCarriesTheSessionCookie) {
  const std::string page(1234, 'p');
  Start([&](ConnectionContext*, Request&, Response& r) { r.content_text = page; }, true);
  const std::string answer = Get();
  const std::regex head(
      "HTTP/1\\.1 200 OK\r\n"
      "Connection: close\r\n"
      "Content-Length: 1234\r\n"
      "Set-Cookie: IDHTTPSESSIONID=[A-Za-z0-9]{15}; path=/; HttpOnly; SameSite=Lax\r\n"
      "\r\n");
  EXPECT_TRUE(std::regex_match(test::HeadOf(answer) + "\r\n", head)) << answer.substr(0, 200);
  EXPECT_EQ(test::BodyOf(answer), page);
}

TEST_F(ResponseWritingTest, ExactAnswersTable) {
  struct Case {
    std::string name;
    std::function<void(Response&)> fill;
    std::string request;
    std::string answer;
  };
  const std::string get = "GET / HTTP/1.1\r\n\r\n";
  const Case cases[] = {
      {"text", [](auto& r) { r.content_text = "hello"; }, get,
       "HTTP/1.1 200 OK\r\nConnection: close\r\nContent-Length: 5\r\n\r\nhello"},
      {"neither", [](auto&) {}, get, "HTTP/1.1 200 OK\r\nConnection: close\r\n\r\n"},
      {"not found",
       [](auto& r) {
         r.SetResponseNo(404);
         r.content_text = "none";
       },
       get, "HTTP/1.1 404 Not Found\r\nConnection: close\r\nContent-Length: 4\r\n\r\nnone"},
      {"unknown code", [](auto& r) { r.SetResponseNo(299); }, get,
       "HTTP/1.1 299 Unknown Response Code\r\nConnection: close\r\n\r\n"},
      {"error", [](auto&) { throw std::runtime_error("boom"); }, get,
       "HTTP/1.1 500 Internal Server Error\r\nConnection: close\r\nContent-Length: 4\r\n\r\nboom"},
      {"engine error class", [](auto&) { throw Exception("Connection pool timeout"); }, get,
       "HTTP/1.1 500 Internal Server Error\r\nConnection: close\r\nContent-Length: 23\r\n\r\n"
       "Connection pool timeout"},
      {"error drops a set length",
       [](auto& r) {
         r.content_length = 100;
         throw std::runtime_error("x");
       },
       get, "HTTP/1.1 500 Internal Server Error\r\nConnection: close\r\nContent-Length: 1\r\n\r\nx"},
      {"handler length kept",
       [](auto& r) {
         r.content_text = "abc";
         r.content_length = 3;
       },
       get, "HTTP/1.1 200 OK\r\nConnection: close\r\nContent-Length: 3\r\n\r\nabc"},
      {"content type and other fields in order",
       [](auto& r) {
         r.server = "S/1";
         r.location = "/there";
         r.content_type = "text/html";
         r.cache_control = "no-cache";
         r.pragma = "no-cache";
         r.content_language = "en";
         r.date = EncodeGmt(1994, 11, 6, 8, 49, 37);
         r.custom_headers.Add("X-Extra: 1");
         r.content_text = "b";
       },
       get,
       "HTTP/1.1 200 OK\r\nConnection: close\r\nContent-Language: en\r\nContent-Type: text/html\r\n"
       "Content-Length: 1\r\nCache-control: no-cache\r\nDate: Sun, 06 Nov 1994 08:49:37 GMT\r\n"
       "Pragma: no-cache\r\nX-Extra: 1\r\nServer: S/1\r\nLocation: /there\r\n\r\nb"},
      {"custom line naming a field keeps its place",
       [](auto& r) {
         r.custom_headers.Add("Location: early");
         r.location = "late";
       },
       get, "HTTP/1.1 200 OK\r\nConnection: close\r\nLocation: late\r\n\r\n"},
      {"cookie text",
       [](auto& r) {
         auto& c = r.cookies.Add("n", "v");
         c.path = "/p";
         c.domain = "d.example";
         c.secure = true;
         c.comment = "c";
         c.version = "1";
         r.cookies.Add("plain", "1");
       },
       get,
       "HTTP/1.1 200 OK\r\nConnection: close\r\n"
       "Set-Cookie: n=v; path=/p; domain=d.example; secure; comment=c; version=1\r\n"
       "Set-Cookie: plain=1\r\n\r\n"},
      {"head has no body", [](auto& r) { r.content_text = "hello"; }, "HEAD / HTTP/1.1\r\n\r\n",
       "HTTP/1.1 200 OK\r\nConnection: close\r\nContent-Length: 5\r\n\r\n"},
      {"status line ignores the request version", [](auto& r) { r.content_text = "a"; },
       "GET / HTTP/1.0\r\n\r\n", "HTTP/1.1 200 OK\r\nConnection: close\r\nContent-Length: 1\r\n\r\na"},
  };
  const Case* current = nullptr;
  Start([&](ConnectionContext*, Request&, Response& r) { current->fill(r); });
  for (const Case& c : cases) {
    current = &c;
    EXPECT_EQ(Get(c.request), c.answer) << c.name;
  }
}

TEST_F(ResponseWritingTest, ExpiringCookieGetsAGmtDate) {
  Start([](ConnectionContext*, Request&, Response& r) {
    r.cookies.Add("n", "v").max_age = 60;
  });
  const std::regex cookie("Set-Cookie: n=v; expires=[A-Z][a-z]{2}, \\d{2}-[A-Z][a-z]{2}-\\d{4} "
                          "\\d{2}:\\d{2}:\\d{2} GMT\r\n");
  EXPECT_TRUE(std::regex_search(Get(), cookie));
}

TEST_F(ResponseWritingTest, StreamBodyIsSentWholeAndFreed) {
  std::string file_bytes;
  for (int i = 0; i < 200000; ++i) file_bytes.push_back(static_cast<char>(i * 7));
  char path[] = "/tmp/qv_http_streamXXXXXX";
  const int fd = ::mkstemp(path);
  ASSERT_GE(fd, 0);
  ASSERT_EQ(::write(fd, file_bytes.data(), file_bytes.size()), static_cast<ssize_t>(file_bytes.size()));
  ::close(fd);

  char empty_path[] = "/tmp/qv_http_emptyXXXXXX";
  ::close(::mkstemp(empty_path));

  std::atomic<int> freed{0};
  bool both = false;
  Start([&](ConnectionContext*, Request& req, Response& r) {
    if (req.document == "/file") {
      r.content_stream = std::make_unique<FileContentStream>(path);
    } else if (req.document == "/empty") {
      r.content_stream = std::make_unique<FileContentStream>(empty_path);
    } else {
      r.content_stream = std::make_unique<TrackedStream>("stream-bytes", freed);
      if (both) r.content_text = "text wins";
    }
  });
  std::string answer = Get("GET /file HTTP/1.1\r\n\r\n");
  EXPECT_EQ(test::HeadOf(answer),
            "HTTP/1.1 200 OK\r\nConnection: close\r\nContent-Length: 200000\r\n");
  EXPECT_TRUE(test::BodyOf(answer) == file_bytes);
  EXPECT_EQ(Get("HEAD /file HTTP/1.1\r\n\r\n"),
            "HTTP/1.1 200 OK\r\nConnection: close\r\nContent-Length: 200000\r\n\r\n");
  EXPECT_EQ(Get("GET /empty HTTP/1.1\r\n\r\n"),
            "HTTP/1.1 200 OK\r\nConnection: close\r\nContent-Length: 0\r\n\r\n");

  answer = Get();
  EXPECT_EQ(answer, "HTTP/1.1 200 OK\r\nConnection: close\r\nContent-Length: 12\r\n\r\nstream-bytes");
  EXPECT_EQ(freed.load(), 1);

  both = true;
  answer = Get();
  EXPECT_EQ(answer, "HTTP/1.1 200 OK\r\nConnection: close\r\nContent-Length: 9\r\n\r\ntext wins");
  EXPECT_EQ(freed.load(), 2);
  ::unlink(path);
  ::unlink(empty_path);
}

// A body of no known size, made as it is read; counts what it has made.
class MadeStream final : public ContentStream {
 public:
  MadeStream(int64_t total, std::atomic<int64_t>& made) : total_(total), made_(made) {}
  int64_t Size() const override { return -1; }
  int64_t Position() const override { return position_; }
  void SetPosition(int64_t) override {}
  size_t Read(char* buffer, size_t count) override {
    const size_t n = static_cast<size_t>(std::min<int64_t>(static_cast<int64_t>(count), total_ - position_));
    for (size_t i = 0; i < n; ++i) buffer[i] = static_cast<char>('a' + (position_ + i) % 26);
    position_ += static_cast<int64_t>(n);
    made_ = position_;
    return n;
  }

 private:
  int64_t total_;
  int64_t position_ = 0;
  std::atomic<int64_t>& made_;
};

// A client that reads nothing for a while holds up a body made as it is
// read: the server makes little more than the socket buffers take, not the
// whole body into memory; all of it arrives once the client reads.
TEST_F(ResponseWritingTest, ABodyMadeAsItIsReadGoesNoFasterThanItsClient) {
  constexpr int64_t kTotal = 64 << 20;
  std::atomic<int64_t> made{0};
  Start([&](ConnectionContext*, Request&, Response& r) {
    r.content_stream = std::make_unique<MadeStream>(kTotal, made);
  });
  test::LoopbackClient client(port_);
  ASSERT_TRUE(client.Send("GET / HTTP/1.1\r\nHost: h\r\n\r\n"));
  std::this_thread::sleep_for(std::chrono::milliseconds(800));
  EXPECT_LT(made.load(), kTotal / 4) << "made ahead of a client that reads nothing";
  const test::HttpAnswer answer = test::ParseAnswer(client.ReadAll());
  EXPECT_EQ(answer.Header("Content-Length"), "");
  EXPECT_EQ(answer.Header("Connection"), "close");
  ASSERT_EQ(static_cast<int64_t>(answer.body.size()), kTotal);
  EXPECT_EQ(answer.body.substr(kTotal - 3), std::string({static_cast<char>('a' + (kTotal - 3) % 26),
                                                         static_cast<char>('a' + (kTotal - 2) % 26),
                                                         static_cast<char>('a' + (kTotal - 1) % 26)}));
}

TEST_F(ResponseWritingTest, MissingFileFailsTheRequestWithItsMessage) {
  Start([](ConnectionContext*, Request&, Response& r) {
    r.content_stream = std::make_unique<FileContentStream>("/nonexistent/logo.jpg");
  });
  const std::string answer = Get();
  EXPECT_EQ(answer.substr(0, 36), "HTTP/1.1 500 Internal Server Error\r\n");
  EXPECT_NE(test::BodyOf(answer).find("/nonexistent/logo.jpg"), std::string::npos);
}

TEST_F(ResponseWritingTest, OtherMethodsGetTheDefaultAnswerWithTheNewSessionCookie) {
  Start([](ConnectionContext*, Request&, Response& r) { r.content_text = "page"; }, true);
  const std::string answer = Get("DELETE /x HTTP/1.1\r\n\r\n");
  const std::regex expected(
      "HTTP/1\\.1 200 OK\r\nConnection: close\r\n"
      "Set-Cookie: IDHTTPSESSIONID=[A-Za-z0-9]{15}; path=/; HttpOnly; SameSite=Lax\r\n\r\n");
  EXPECT_TRUE(std::regex_match(answer, expected)) << answer;
}

TEST_F(ResponseWritingTest, OneRequestPerConnectionWithoutKeepAlive) {
  std::atomic<int> calls{0};
  Start([&](ConnectionContext*, Request&, Response& r) {
    ++calls;
    r.content_text = "one";
  });
  const std::string answer =
      Get("GET /1 HTTP/1.1\r\nConnection: Keep-alive\r\n\r\nGET /2 HTTP/1.1\r\n\r\n");
  EXPECT_EQ(answer, "HTTP/1.1 200 OK\r\nConnection: close\r\nContent-Length: 3\r\n\r\none");
  EXPECT_EQ(calls.load(), 1);
}

TEST_F(ResponseWritingTest, KeepAliveServesSeveralRequestsUntilOneCloses) {
  Start([](ConnectionContext*, Request& req, Response& r) {
    if (req.document == "/missing")
      r.SetResponseNo(404);
    else
      r.content_text = req.document;
  }, false, [](HttpServer& s) { s.SetKeepAlive(true); });
  const std::string answer = Get(
      "GET /a HTTP/1.1\r\nConnection: keep-ALIVE\r\n\r\n"
      "GET /b HTTP/1.1\r\nConnection: Keep-alive\r\n\r\n"
      "GET /missing HTTP/1.1\r\nConnection: Keep-alive\r\n\r\n"
      "GET /never HTTP/1.1\r\n\r\n");
  EXPECT_EQ(answer,
            "HTTP/1.1 200 OK\r\nConnection: keep-alive\r\nContent-Length: 2\r\n\r\n/a"
            "HTTP/1.1 200 OK\r\nConnection: keep-alive\r\nContent-Length: 2\r\n\r\n/b"
            "HTTP/1.1 404 Not Found\r\nConnection: close\r\n\r\n");
  // Without the request asking for it, the first answer closes.
  EXPECT_EQ(Get("GET /a HTTP/1.1\r\n\r\nGET /b HTTP/1.1\r\n\r\n"),
            "HTTP/1.1 200 OK\r\nConnection: close\r\nContent-Length: 2\r\n\r\n/a");
}

TEST_F(ResponseWritingTest, ServerSoftwareIsTrimmed) {
  Start([](ConnectionContext*, Request&, Response&) {}, false,
        [](HttpServer& s) { s.SetServerSoftware("  Quorvale/1 "); });
  EXPECT_EQ(Get(), "HTTP/1.1 200 OK\r\nConnection: close\r\nServer: Quorvale/1\r\n\r\n");
}

TEST_F(ResponseWritingTest, OversizedBodiesAreRefusedWith413) {
  std::atomic<int> calls{0};
  Start([&](ConnectionContext*, Request&, Response&) { ++calls; });
  const std::string refused =
      "HTTP/1.1 413 Request Entity To Long\r\nConnection: close\r\nContent-Length: 61\r\n\r\n"
      "<HTML><BODY><B>413 Request Entity To Long</B></BODY></HTML>\r\n";
  // Declared too large: refused before the body is read.
  EXPECT_EQ(Get("POST / HTTP/1.1\r\nContent-Length: 1048577\r\n\r\nabc"), refused);
  EXPECT_EQ(Get("POST / HTTP/1.1\r\nExpect: 100-continue\r\nContent-Length: 2000000\r\n\r\n"), refused);
  // A length beyond 32 bits is far too large, not absent.
  EXPECT_EQ(Get("GET / HTTP/1.1\r\nContent-Length: 99999999999\r\n\r\n"), refused);
  // Chunks growing past the limit.
  {
    test::LoopbackClient client(port_);
    std::thread sender([&] {
      const std::string chunk = "10000\r\n" + std::string(0x10000, 'x') + "\r\n";
      std::string chunks = "POST / HTTP/1.1\r\nTransfer-Encoding: chunked\r\n\r\n";
      for (int i = 0; i < 17; ++i) chunks += chunk;
      client.Send(chunks + "0\r\n\r\n");
      client.HalfClose();
    });
    const std::string answer = client.ReadAll();
    sender.join();
    EXPECT_EQ(answer, refused);
  }
  EXPECT_EQ(calls.load(), 0);
  // Exactly the limit is accepted.
  test::LoopbackClient client(port_);
  client.Send("POST / HTTP/1.1\r\nContent-Length: 1048576\r\n\r\n" + std::string(1 << 20, 'y'));
  EXPECT_EQ(client.ReadAll(), "HTTP/1.1 200 OK\r\nConnection: close\r\n\r\n");
  EXPECT_EQ(calls.load(), 1);
}

// The head is made from the response value alone: no connection is needed
// to see what would be sent.
TEST(ResponseHeadTest, TheLengthAndTheCloseFollowFromTheBody) {
  struct Case {
    const char* name;
    std::function<void(Response&)> fill;
    const char* head;
  };
  const Case cases[] = {
      {"text body gives its length", [](Response& r) {
         r.SetCloseConnection(false);
         r.content_text = "abc";
       },
       "HTTP/1.1 200 OK\r\nConnection: keep-alive\r\nContent-Length: 3\r\n\r\n"},
      {"no body and no length closes", [](Response& r) { r.SetCloseConnection(false); },
       "HTTP/1.1 200 OK\r\nConnection: close\r\n\r\n"},
      {"a length set for an empty body stays open", [](Response& r) {
         r.SetCloseConnection(false);
         r.content_length = 0;
       },
       "HTTP/1.1 200 OK\r\nConnection: keep-alive\r\nContent-Length: 0\r\n\r\n"},
      {"404 closes, cookie after the fields", [](Response& r) {
         r.SetCloseConnection(false);
         r.SetResponseNo(404);
         r.content_type = "text/plain";
         r.cookies.Add("n", "v").path = "/";
         r.content_text = "gone";
       },
       "HTTP/1.1 404 Not Found\r\nConnection: close\r\nContent-Type: text/plain\r\n"
       "Content-Length: 4\r\nSet-Cookie: n=v; path=/\r\n\r\n"},
  };
  for (const Case& c : cases) {
    Response response;
    c.fill(response);
    EXPECT_EQ(ResponseHead(response), c.head) << c.name;
  }
}

}  // namespace
}  // namespace qv
