// The tests' HTTP client over plain blocking sockets.
#include "http_client.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <cstdlib>
#include <cstring>
#include <stdexcept>
#include <utility>

namespace qv::test {
namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

// A connected socket, or -1 with the reason in error.
int Connect(int port, const char* host, const char* source_ip, std::string& error) {
  const bool v6 = std::strchr(host, ':') != nullptr;
  const int fd = ::socket(v6 ? AF_INET6 : AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) {
    error = std::string("socket: ") + std::strerror(errno);
    return -1;
  }
  const timeval limit{kSilenceLimit.count() / 1000, 0};
  ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
  ::setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &limit, sizeof limit);
  if (source_ip) {
    sockaddr_in source{};
    source.sin_family = AF_INET;
    ::inet_pton(AF_INET, source_ip, &source.sin_addr);
    if (::bind(fd, reinterpret_cast<sockaddr*>(&source), sizeof source) != 0) {
      error = std::string("bind to ") + source_ip + ": " + std::strerror(errno);
      ::close(fd);
      return -1;
    }
  }
  int rc;
  if (v6) {
    sockaddr_in6 address{};
    address.sin6_family = AF_INET6;
    address.sin6_port = htons(static_cast<uint16_t>(port));
    ::inet_pton(AF_INET6, host, &address.sin6_addr);
    rc = ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
  } else {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<uint16_t>(port));
    ::inet_pton(AF_INET, host, &address.sin_addr);
    rc = ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
  }
  if (rc != 0) {
    error = "connect to " + std::string(host) + " port " + std::to_string(port) + ": " +
            std::strerror(errno);
    ::close(fd);
    return -1;
  }
  return fd;
}

// Sends the request and reads the answer to the server's close.
HttpAnswer Talk(LoopbackClient& client, std::string_view request, const ExchangeOptions& options) {
  client.Send(request);
  if (options.half_close) client.HalfClose();
  return ParseAnswer(client.ReadAll(options.silence));
}

}  // namespace

std::string HttpAnswer::Header(std::string_view name) const {
  const std::string key = "\r\n" + std::string(name) + ": ";
  const std::string text = "\r\n" + headers;
  const size_t at = text.find(key);
  if (at == std::string::npos) return {};
  const size_t start = at + key.size();
  const size_t end = text.find("\r\n", start);
  return text.substr(start, end == std::string::npos ? std::string::npos : end - start);
}

HttpAnswer ParseAnswer(std::string raw) {
  HttpAnswer answer;
  answer.raw = std::move(raw);
  const std::string& text = answer.raw;
  const size_t head_end = text.find("\r\n\r\n");
  if (head_end == std::string::npos) return answer;
  const size_t line_end = text.find("\r\n");
  answer.status_line = text.substr(0, line_end);
  answer.headers = text.substr(line_end + 2, head_end - line_end);
  answer.body = text.substr(head_end + 4);
  if (text.rfind("HTTP/1.1 ", 0) == 0) answer.status = std::atoi(text.c_str() + 9);
  const std::string length = answer.Header("Content-Length");
  size_t declared = 0;
  const auto [end, error] = std::from_chars(length.data(), length.data() + length.size(), declared);
  answer.complete = answer.status != 0 && !length.empty() && error == std::errc() &&
                    end == length.data() + length.size() && declared == answer.body.size();
  return answer;
}

std::string HeadOf(std::string_view answer) {
  const size_t end = answer.find("\r\n\r\n");
  return std::string(end == std::string_view::npos ? answer : answer.substr(0, end + 2));
}

std::string BodyOf(std::string_view answer) {
  const size_t end = answer.find("\r\n\r\n");
  return end == std::string_view::npos ? std::string() : std::string(answer.substr(end + 4));
}

LoopbackClient::LoopbackClient(int port, const char* host, const char* source_ip) {
  std::string error;
  fd_ = Connect(port, host, source_ip, error);
  if (fd_ < 0) throw std::runtime_error(error);
}

std::optional<LoopbackClient> LoopbackClient::TryConnect(int port, const char* host,
                                                         const char* source_ip) {
  std::string error;
  const int fd = Connect(port, host, source_ip, error);
  if (fd < 0) return std::nullopt;
  return LoopbackClient(Connected{}, fd);
}

LoopbackClient::~LoopbackClient() {
  if (fd_ >= 0) ::close(fd_);
}

LoopbackClient::LoopbackClient(LoopbackClient&& other) noexcept
    : fd_(std::exchange(other.fd_, -1)) {}

LoopbackClient& LoopbackClient::operator=(LoopbackClient&& other) noexcept {
  if (this != &other) {
    if (fd_ >= 0) ::close(fd_);
    fd_ = std::exchange(other.fd_, -1);
  }
  return *this;
}

bool LoopbackClient::Send(std::string_view bytes) {
  while (!bytes.empty()) {
    const ssize_t n = ::send(fd_, bytes.data(), bytes.size(), MSG_NOSIGNAL);
    if (n <= 0) return false;
    bytes.remove_prefix(static_cast<size_t>(n));
  }
  return true;
}

void LoopbackClient::HalfClose() { ::shutdown(fd_, SHUT_WR); }

std::string LoopbackClient::ReadAll(milliseconds silence) {
  std::string out;
  char buffer[65536];
  for (;;) {
    pollfd p{fd_, POLLIN, 0};
    if (::poll(&p, 1, static_cast<int>(silence.count())) <= 0) break;
    const ssize_t n = ::recv(fd_, buffer, sizeof buffer, 0);
    if (n <= 0) break;
    out.append(buffer, static_cast<size_t>(n));
  }
  return out;
}

std::string LoopbackClient::ReadUntil(std::string_view text) {
  std::string out;
  char c;
  while (out.find(text) == std::string::npos && ::recv(fd_, &c, 1, 0) == 1) out.push_back(c);
  return out;
}

std::string LoopbackClient::ReadExactly(size_t count) {
  std::string out(count, '\0');
  size_t got = 0;
  while (got < count) {
    const ssize_t n = ::recv(fd_, out.data() + got, count - got, 0);
    if (n <= 0) break;
    got += static_cast<size_t>(n);
  }
  out.resize(got);
  return out;
}

HttpAnswer LoopbackClient::ReadAnswer() {
  std::string raw = ReadUntil("\r\n\r\n");
  const std::string length = ParseAnswer(raw).Header("Content-Length");
  size_t count = 0;
  if (std::from_chars(length.data(), length.data() + length.size(), count).ec == std::errc())
    raw += ReadExactly(count);
  return ParseAnswer(std::move(raw));
}

bool LoopbackClient::ClosedWithin(milliseconds limit, std::string* received) {
  const auto until = Clock::now() + limit;
  char buffer[4096];
  for (;;) {
    const auto left = std::chrono::duration_cast<milliseconds>(until - Clock::now()).count();
    if (left <= 0) return false;
    pollfd p{fd_, POLLIN, 0};
    if (::poll(&p, 1, static_cast<int>(left)) <= 0) return false;
    const ssize_t n = ::recv(fd_, buffer, sizeof buffer, MSG_DONTWAIT);
    if (n == 0 || (n < 0 && errno == ECONNRESET)) return true;
    if (n > 0 && received) received->append(buffer, static_cast<size_t>(n));
  }
}

int LoopbackClient::Release() { return std::exchange(fd_, -1); }

HttpAnswer Exchange(int port, std::string_view request, const ExchangeOptions& options) {
  LoopbackClient client(port, "127.0.0.1", options.source_ip);
  return Talk(client, request, options);
}

std::optional<HttpAnswer> TryExchange(int port, std::string_view request,
                                      const ExchangeOptions& options) {
  std::optional<LoopbackClient> client =
      LoopbackClient::TryConnect(port, "127.0.0.1", options.source_ip);
  if (!client) return std::nullopt;
  return Talk(*client, request, options);
}

std::string GetRequest(const std::string& path, const std::string& cookie) {
  std::string text = "GET " + path + " HTTP/1.1\r\nHost: 127.0.0.1\r\n";
  if (!cookie.empty()) text += "Cookie: " + cookie + "\r\n";
  return text + "\r\n";
}

std::string PostFormRequest(const std::string& path, const std::string& form,
                            const std::string& cookie) {
  std::string text = "POST " + path + " HTTP/1.1\r\nHost: 127.0.0.1\r\n";
  if (!cookie.empty()) text += "Cookie: " + cookie + "\r\n";
  text += "Content-Type: application/x-www-form-urlencoded\r\n";
  text += "Content-Length: " + std::to_string(form.size()) + "\r\n\r\n";
  return text + form;
}

std::string SessionCookie(const HttpAnswer& answer) {
  const std::string set = answer.Header("Set-Cookie");
  return set.substr(0, set.find(';'));
}

}  // namespace qv::test
