// Helpers of the HTTP engine tests: a server on a loopback port, a transport
// over fixed input, and checks shared by several tests. Requests go through
// the shared test client (support/http_client.h).
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <thread>

#include "http/http_server.h"
#include "support/http_client.h"

namespace qv::test {

// A transport over fixed input, handed out in pieces of a given size, that
// collects everything written.
class MemoryTransport final : public Transport {
 public:
  explicit MemoryTransport(std::string input, size_t piece = SIZE_MAX)
      : input_(std::move(input)), piece_(piece) {}
  size_t Receive(char* buffer, size_t count) override {
    const size_t n = std::min({count, piece_, input_.size() - pos_});
    input_.copy(buffer, n, pos_);
    pos_ += n;
    return n;
  }
  void Send(const std::string_view* parts, size_t count) override {
    for (size_t i = 0; i < count; ++i) output.append(parts[i]);
  }
  void Close(bool) override {}
  std::string output;

 private:
  std::string input_;
  size_t piece_;
  size_t pos_ = 0;
};

// Starts a server on 127.0.0.1 at a port the system picks.
inline int StartOnLoopback(HttpServer& server) {
  server.AddBinding("127.0.0.1", 0, kIPv4);
  server.SetActive(true);
  return server.Bindings()[0].port;
}

// Waits until condition holds; false only if it never does (a safety net
// against a hanging run, far beyond any normal wait).
template <typename Condition>
bool WaitFor(Condition condition) {
  const auto give_up = std::chrono::steady_clock::now() + std::chrono::seconds(30);
  while (!condition()) {
    if (std::chrono::steady_clock::now() > give_up) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return true;
}

// For a server that takes two connections at most from 127.0.0.1 and whose
// handler answers with the document: with two idle connections held, a third
// is closed without an answer (while_full then runs, the two still held);
// once they are gone, a new request is answered again.
inline void ExpectAThirdConnectionClosedUnanswered(HttpServer& server, int port,
                                                   const std::function<void()>& while_full = {}) {
  {
    LoopbackClient idle1(port), idle2(port);
    ASSERT_TRUE(WaitFor([&] { return server.ContextCount() == 2; }));
    LoopbackClient extra(port);
    extra.Send("GET /x HTTP/1.1\r\n\r\n");
    EXPECT_EQ(extra.ReadAll(), "");
    if (while_full) while_full();
  }
  ASSERT_TRUE(WaitFor([&] { return server.ContextCount() == 0; }));
  EXPECT_EQ(Exchange(port, "GET /later HTTP/1.1\r\n\r\n").body, "/later");
}

}  // namespace qv::test
