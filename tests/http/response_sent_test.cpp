// The engine's OnResponseSent hook: called once for every answered request,
// the engine's own refusals and failures included, with the status, the body
// bytes sent and the time taken; never for input that gets no answer.
#include <gtest/gtest.h>

#include <mutex>
#include <optional>
#include <vector>

#include "http/http_server.h"
#include "test_support.h"

namespace qv {
namespace {

struct Sent {
  std::string request_line;
  int status = 0;
  int64_t body_bytes = -1;
  std::chrono::steady_clock::duration elapsed{};
};

class ResponseSentTest : public ::testing::Test {
 protected:
  void SetUp() override {
    HttpServer::Events events;
    events.on_command_get = [](ConnectionContext*, Request& request,
                              Response& response) {
      if (request.document == "/fail") throw std::runtime_error("broken page");
      response.content_text = request.document;
    };
    events.on_response_sent = [this](ConnectionContext& context, const Request& request,
                                    const Response& response, int64_t body_bytes,
                                    std::chrono::steady_clock::duration elapsed) {
      EXPECT_EQ(context.PeerIP(), "127.0.0.1");
      std::lock_guard guard(lock_);
      sent_.push_back({request.request_line, response.response_no, body_bytes, elapsed});
    };
    server_.emplace(std::move(events));
    port_ = test::StartOnLoopback(*server_);
  }

  std::vector<Sent> WaitForCalls(size_t count) {
    EXPECT_TRUE(test::WaitFor([&] {
      std::lock_guard guard(lock_);
      return sent_.size() >= count;
    }));
    std::lock_guard guard(lock_);
    return sent_;
  }

  std::optional<HttpServer> server_;
  int port_ = 0;
  std::mutex lock_;
  std::vector<Sent> sent_;
};

TEST_F(ResponseSentTest, OnceForEveryAnswerWithStatusAndBodyBytes) {
  struct Case {
    std::string request;
    std::string request_line;
    int status;
  };
  const Case cases[] = {
      {"GET /abc HTTP/1.1\r\n\r\n", "GET /abc HTTP/1.1", 200},
      {"HEAD /abc HTTP/1.1\r\n\r\n", "HEAD /abc HTTP/1.1", 200},
      {"GET /fail HTTP/1.1\r\n\r\n", "GET /fail HTTP/1.1", 500},
      {"POST /big HTTP/1.1\r\nContent-Length: 99999999\r\n\r\n", "POST /big HTTP/1.1", 413},
  };
  std::vector<std::string> bodies;
  for (const Case& c : cases) bodies.push_back(test::Exchange(port_, c.request).body);
  // Input without an answer is not reported.
  test::Exchange(port_, "garbage\r\n\r\n");

  const std::vector<Sent> sent = WaitForCalls(std::size(cases));
  server_->SetActive(false);
  ASSERT_EQ(sent.size(), std::size(cases));
  for (size_t i = 0; i < std::size(cases); ++i) {
    SCOPED_TRACE(cases[i].request_line);
    EXPECT_EQ(sent[i].request_line, cases[i].request_line);
    EXPECT_EQ(sent[i].status, cases[i].status);
    EXPECT_EQ(sent[i].body_bytes, static_cast<int64_t>(bodies[i].size()));
    EXPECT_GE(sent[i].elapsed.count(), 0);
  }
  EXPECT_EQ(bodies[0], "/abc");
  EXPECT_EQ(bodies[1], "");
}

}  // namespace
}  // namespace qv
