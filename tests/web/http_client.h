// A minimal HTTP/1.1 client for end-to-end tests: one request per connection,
// the answer read until the server closes, split into status, headers and body.
#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <stdexcept>
#include <string>
#include <string_view>

namespace qv::webtest {

struct HttpAnswer {
  std::string statusLine;
  std::string headers;  // every header line, each ending in CR LF
  std::string body;

  // The value of the first header line of that name (exact case), or empty.
  std::string Header(std::string_view name) const {
    const std::string key = "\r\n" + std::string(name) + ": ";
    const std::string text = "\r\n" + headers;
    const size_t at = text.find(key);
    if (at == std::string::npos) return {};
    const size_t start = at + key.size();
    return text.substr(start, text.find("\r\n", start) - start);
  }
};

// Sends raw request bytes to 127.0.0.1:port and reads the whole answer.
inline HttpAnswer Exchange(int port, const std::string& request) {
  const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  if (fd < 0) throw std::runtime_error("socket");
  timeval limit{20, 0};  // a broken server must not hang the run
  ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(static_cast<uint16_t>(port));
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
    ::close(fd);
    throw std::runtime_error("connect");
  }
  for (size_t sent = 0; sent < request.size();) {
    const ssize_t n = ::send(fd, request.data() + sent, request.size() - sent, MSG_NOSIGNAL);
    if (n <= 0) break;
    sent += static_cast<size_t>(n);
  }
  std::string raw;
  char buffer[8192];
  for (ssize_t n; (n = ::recv(fd, buffer, sizeof buffer, 0)) > 0;) {
    raw.append(buffer, static_cast<size_t>(n));
  }
  ::close(fd);

  HttpAnswer answer;
  const size_t lineEnd = raw.find("\r\n");
  const size_t headEnd = raw.find("\r\n\r\n");
  if (lineEnd == std::string::npos || headEnd == std::string::npos) {
    throw std::runtime_error("no complete answer: " + raw);
  }
  answer.statusLine = raw.substr(0, lineEnd);
  answer.headers = raw.substr(lineEnd + 2, headEnd + 2 - (lineEnd + 2));
  answer.body = raw.substr(headEnd + 4);
  return answer;
}

}  // namespace qv::webtest
