// A minimal HTTP/1.0-style client for the service tests: one request per
// connection on loopback, the whole answer read until the server closes.
#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdlib>
#include <optional>
#include <string>

namespace qv::test {

struct HttpAnswer {
  std::string raw;  // every byte received
  int status = 0;   // 0 when no status line came
  std::string headers;
  std::string body;
  bool complete = false;  // a status line, and a body of exactly Content-Length bytes

  std::string Header(const std::string& name) const {
    const std::string key = "\r\n" + name + ": ";
    const size_t at = ("\r\n" + headers).find(key);
    if (at == std::string::npos) return {};
    const size_t start = at + key.size() - 2;
    const size_t end = headers.find("\r\n", start);
    return headers.substr(start, end == std::string::npos ? std::string::npos : end - start);
  }
};

inline HttpAnswer ParseAnswer(std::string raw) {
  HttpAnswer answer;
  answer.raw = std::move(raw);
  const size_t end = answer.raw.find("\r\n\r\n");
  if (answer.raw.rfind("HTTP/1.1 ", 0) != 0 || end == std::string::npos) return answer;
  answer.status = std::atoi(answer.raw.c_str() + 9);
  answer.headers = answer.raw.substr(0, end);
  answer.body = answer.raw.substr(end + 4);
  const std::string length = answer.Header("Content-Length");
  answer.complete = !length.empty() && std::stoul(length) == answer.body.size();
  return answer;
}

// Connects to 127.0.0.1:port; -1 when the connection is refused.
inline int ConnectLoopback(int port) {
  const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(static_cast<uint16_t>(port));
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
    close(fd);
    return -1;
  }
  return fd;
}

// Sends the request text and reads until the server closes (at most timeoutMs
// of silence); nothing when the connection is refused.
inline std::optional<HttpAnswer> Exchange(int port, const std::string& request,
                                          int timeoutMs = 20000) {
  const int fd = ConnectLoopback(port);
  if (fd < 0) return std::nullopt;
  size_t sent = 0;
  while (sent < request.size()) {
    const ssize_t n = send(fd, request.data() + sent, request.size() - sent, MSG_NOSIGNAL);
    if (n <= 0) break;
    sent += static_cast<size_t>(n);
  }
  std::string raw;
  char buffer[16384];
  for (;;) {
    pollfd p{fd, POLLIN, 0};
    if (poll(&p, 1, timeoutMs) <= 0) break;
    const ssize_t n = recv(fd, buffer, sizeof buffer, 0);
    if (n <= 0) break;
    raw.append(buffer, static_cast<size_t>(n));
  }
  close(fd);
  return ParseAnswer(std::move(raw));
}

inline std::string GetRequest(const std::string& path, const std::string& cookie = "") {
  std::string text = "GET " + path + " HTTP/1.1\r\nHost: 127.0.0.1\r\n";
  if (!cookie.empty()) text += "Cookie: " + cookie + "\r\n";
  return text + "\r\n";
}

inline std::string PostFormRequest(const std::string& path, const std::string& form,
                                   const std::string& cookie = "") {
  std::string text = "POST " + path + " HTTP/1.1\r\nHost: 127.0.0.1\r\n";
  if (!cookie.empty()) text += "Cookie: " + cookie + "\r\n";
  text += "Content-Type: application/x-www-form-urlencoded\r\n";
  text += "Content-Length: " + std::to_string(form.size()) + "\r\n\r\n";
  return text + form;
}

// The "name=value" of the answer's Set-Cookie header, for the next request.
inline std::string SessionCookie(const HttpAnswer& answer) {
  const std::string set = answer.Header("Set-Cookie");
  return set.substr(0, set.find(';'));
}

// A port that was free a moment ago.
inline int FreePort() {
  const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
  socklen_t length = sizeof address;
  getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
  close(fd);
  return ntohs(address.sin_port);
}

}  // namespace qv::test
