// Helpers of the HTTP engine tests: a server on a loopback port, a raw
// client that sends bytes and collects everything the server answers, and
// checks shared by several tests.
#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <functional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <thread>

#include "http/http_server.h"

namespace qv::test {

// A connected client socket; closed with the object.
class RawClient {
 public:
  // Connects to host:port, from source_ip when given.
  explicit RawClient(int port, const char* host = "127.0.0.1", const char* source_ip = nullptr) {
    const bool v6 = std::string_view(host).find(':') != std::string_view::npos;
    fd_ = ::socket(v6 ? AF_INET6 : AF_INET, SOCK_STREAM, 0);
    if (fd_ < 0) throw std::runtime_error("socket");
    // A safety net so that a broken server cannot hang the test run.
    timeval tv{20, 0};
    ::setsockopt(fd_, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
    ::setsockopt(fd_, SOL_SOCKET, SO_SNDTIMEO, &tv, sizeof tv);
    if (source_ip) {
      sockaddr_in src{};
      src.sin_family = AF_INET;
      ::inet_pton(AF_INET, source_ip, &src.sin_addr);
      if (::bind(fd_, reinterpret_cast<sockaddr*>(&src), sizeof src) != 0)
        throw std::runtime_error("bind source");
    }
    int rc;
    if (v6) {
      sockaddr_in6 a{};
      a.sin6_family = AF_INET6;
      a.sin6_port = htons(static_cast<uint16_t>(port));
      ::inet_pton(AF_INET6, host, &a.sin6_addr);
      rc = ::connect(fd_, reinterpret_cast<sockaddr*>(&a), sizeof a);
    } else {
      sockaddr_in a{};
      a.sin_family = AF_INET;
      a.sin_port = htons(static_cast<uint16_t>(port));
      ::inet_pton(AF_INET, host, &a.sin_addr);
      rc = ::connect(fd_, reinterpret_cast<sockaddr*>(&a), sizeof a);
    }
    if (rc != 0) throw std::runtime_error("connect");
  }
  ~RawClient() {
    if (fd_ >= 0) ::close(fd_);
  }
  RawClient(const RawClient&) = delete;
  RawClient& operator=(const RawClient&) = delete;

  void Send(std::string_view bytes) {
    while (!bytes.empty()) {
      const ssize_t n = ::send(fd_, bytes.data(), bytes.size(), MSG_NOSIGNAL);
      if (n <= 0) return;  // the server may close early; what it answered is still read
      bytes.remove_prefix(static_cast<size_t>(n));
    }
  }
  void HalfClose() { ::shutdown(fd_, SHUT_WR); }

  // Everything up to the server's close (or a reset).
  std::string ReadAll() {
    std::string out;
    char buf[65536];
    for (;;) {
      const ssize_t n = ::recv(fd_, buf, sizeof buf, 0);
      if (n <= 0) break;
      out.append(buf, static_cast<size_t>(n));
    }
    return out;
  }
  // Reads until text appears in the input (or the server closes).
  std::string ReadUntil(std::string_view text) {
    std::string out;
    char c;
    while (out.find(text) == std::string::npos && ::recv(fd_, &c, 1, 0) == 1) out.push_back(c);
    return out;
  }
  int fd() const { return fd_; }

 private:
  int fd_ = -1;
};

// A transport over fixed input, handed out in pieces of a given size, that
// collects everything written.
class MemoryTransport final : public TIdTransport {
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

// Sends bytes on a new connection and returns the whole answer.
inline std::string Exchange(int port, std::string_view request, bool half_close = false,
                            const char* source_ip = nullptr) {
  RawClient client(port, "127.0.0.1", source_ip);
  client.Send(request);
  if (half_close) client.HalfClose();
  return client.ReadAll();
}

// Starts a server on 127.0.0.1 at a port the system picks.
inline int StartOnLoopback(TIdHTTPServer& server) {
  server.AddBinding("127.0.0.1", 0, Id_IPv4);
  server.SetActive(true);
  return server.Bindings()[0].Port;
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

// The header block of an answer, without the blank line, and the body.
inline std::string HeadOf(const std::string& answer) {
  const size_t end = answer.find("\r\n\r\n");
  return end == std::string::npos ? answer : answer.substr(0, end + 2);
}
inline std::string BodyOf(const std::string& answer) {
  const size_t end = answer.find("\r\n\r\n");
  return end == std::string::npos ? std::string() : answer.substr(end + 4);
}

// For a server that takes two connections at most from 127.0.0.1 and whose
// handler answers with the document: with two idle connections held, a third
// is closed without an answer (while_full then runs, the two still held);
// once they are gone, a new request is answered again.
inline void ExpectAThirdConnectionClosedUnanswered(TIdHTTPServer& server, int port,
                                                   const std::function<void()>& while_full = {}) {
  {
    RawClient idle1(port), idle2(port);
    ASSERT_TRUE(WaitFor([&] { return server.ContextCount() == 2; }));
    RawClient extra(port);
    extra.Send("GET /x HTTP/1.1\r\n\r\n");
    EXPECT_EQ(extra.ReadAll(), "");
    if (while_full) while_full();
  }
  ASSERT_TRUE(WaitFor([&] { return server.ContextCount() == 0; }));
  EXPECT_EQ(BodyOf(Exchange(port, "GET /later HTTP/1.1\r\n\r\n")), "/later");
}

}  // namespace qv::test
