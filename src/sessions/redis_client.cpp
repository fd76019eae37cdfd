#include "sessions/redis_client.h"

#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace qv {

namespace {

// Replies nested deeper than this, or longer than this, are refused.
constexpr int kMaxDepth = 8;
constexpr long long kMaxLength = 64 * 1024 * 1024;

std::string Describe(const std::string& host, int port) { return host + ":" + std::to_string(port); }

// A connected, blocking socket with send and receive time-outs, or none
// (errno set).
FileDescriptor ConnectTo(const addrinfo& address, int timeout_ms) {
  FileDescriptor socket(::socket(address.ai_family, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0));
  if (!socket.Valid()) return socket;
  const int fd = socket.Get();
  if (::connect(fd, address.ai_addr, address.ai_addrlen) != 0) {
    if (errno != EINPROGRESS) {
      const int error = errno;
      socket.Reset();
      errno = error;
      return socket;
    }
    pollfd p{fd, POLLOUT, 0};
    int error = 0;
    socklen_t length = sizeof error;
    const int ready = ::poll(&p, 1, timeout_ms);
    if (ready <= 0 || ::getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &length) != 0 || error != 0) {
      const int reported = ready == 0 ? ETIMEDOUT : (error != 0 ? error : errno);
      socket.Reset();
      errno = reported;
      return socket;
    }
  }
  ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
  timeval tv{timeout_ms / 1000, (timeout_ms % 1000) * 1000};
  ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
  ::setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &tv, sizeof tv);
  const int on = 1;
  ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
  return socket;
}

void AppendCommand(std::string& out, const std::vector<std::string>& arguments) {
  out.append("*").append(std::to_string(arguments.size())).append("\r\n");
  for (const std::string& a : arguments)
    out.append("$").append(std::to_string(a.size())).append("\r\n").append(a).append("\r\n");
}

}  // namespace

RedisConnection::RedisConnection(const std::string& host, int port, int timeout_ms) {
  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* found = nullptr;
  const int rc = ::getaddrinfo(host.c_str(), std::to_string(port).c_str(), &hints, &found);
  if (rc != 0)
    throw RedisError("Redis at " + Describe(host, port) + ": " + ::gai_strerror(rc));
  int error = 0;
  for (addrinfo* a = found; a && !fd_.Valid(); a = a->ai_next) {
    fd_ = ConnectTo(*a, timeout_ms);
    if (!fd_.Valid()) error = errno;
  }
  ::freeaddrinfo(found);
  if (!fd_.Valid())
    throw RedisError("Redis at " + Describe(host, port) + ": " + std::strerror(error));
}

std::vector<RedisReply> RedisConnection::Pipeline(
    const std::vector<std::vector<std::string>>& commands) {
  std::string out;
  for (const auto& command : commands) AppendCommand(out, command);
  std::string_view rest = out;
  while (!rest.empty()) {
    const ssize_t n = ::send(fd_.Get(), rest.data(), rest.size(), MSG_NOSIGNAL);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) throw RedisError(std::string("Redis: sending failed: ") + std::strerror(errno));
    rest.remove_prefix(static_cast<size_t>(n));
  }
  std::vector<RedisReply> replies;
  replies.reserve(commands.size());
  for (size_t i = 0; i < commands.size(); ++i) replies.push_back(ReadReply(0));
  return replies;
}

RedisReply RedisConnection::Command(const std::vector<std::string>& arguments) {
  return std::move(Pipeline({arguments}).front());
}

void RedisConnection::Fill() {
  if (position_ > 0) {
    buffer_.erase(0, position_);
    position_ = 0;
  }
  char chunk[16384];
  for (;;) {
    const ssize_t n = ::recv(fd_.Get(), chunk, sizeof chunk, 0);
    if (n > 0) {
      buffer_.append(chunk, static_cast<size_t>(n));
      return;
    }
    if (n < 0 && errno == EINTR) continue;
    if (n == 0) throw RedisError("Redis: the server closed the connection");
    throw RedisError(std::string("Redis: receiving failed: ") +
                      (errno == EAGAIN || errno == EWOULDBLOCK ? "timed out" : std::strerror(errno)));
  }
}

char RedisConnection::ReadByte() {
  if (position_ >= buffer_.size()) Fill();
  return buffer_[position_++];
}

std::string RedisConnection::ReadLine() {
  for (;;) {
    const size_t end = buffer_.find("\r\n", position_);
    if (end != std::string::npos) {
      std::string line = buffer_.substr(position_, end - position_);
      position_ = end + 2;
      return line;
    }
    if (buffer_.size() - position_ > 65536) throw RedisError("Redis: reply line too long");
    Fill();
  }
}

RedisReply RedisConnection::ReadReply(int depth) {
  if (depth > kMaxDepth) throw RedisError("Redis: reply nested too deeply");
  const char type = ReadByte();
  const std::string line = ReadLine();
  RedisReply reply;
  auto number = [&line]() {
    long long value = 0;
    size_t i = 0;
    const bool negative = !line.empty() && line[0] == '-';
    if (negative) i = 1;
    if (i >= line.size() || line.size() - i > 18) throw RedisError("Redis: bad length in reply");
    for (; i < line.size(); ++i) {
      if (line[i] < '0' || line[i] > '9') throw RedisError("Redis: bad number in reply");
      value = value * 10 + (line[i] - '0');
    }
    return negative ? -value : value;
  };
  switch (type) {
    case '+':
      reply.kind = RedisReply::Kind::Status;
      reply.text = line;
      return reply;
    case '-':
      reply.kind = RedisReply::Kind::Error;
      reply.text = line;
      return reply;
    case ':':
      reply.kind = RedisReply::Kind::Integer;
      reply.integer = number();
      return reply;
    case '$': {
      const long long length = number();
      if (length < 0) return reply;  // Nil
      if (length > kMaxLength) throw RedisError("Redis: reply too long");
      while (buffer_.size() - position_ < static_cast<size_t>(length) + 2) Fill();
      reply.kind = RedisReply::Kind::Bulk;
      reply.text = buffer_.substr(position_, static_cast<size_t>(length));
      position_ += static_cast<size_t>(length) + 2;
      return reply;
    }
    case '*': {
      const long long count = number();
      if (count < 0) return reply;  // Nil
      if (count > 1024 * 1024) throw RedisError("Redis: reply too long");
      reply.kind = RedisReply::Kind::Array;
      for (long long i = 0; i < count; ++i) reply.elements.push_back(ReadReply(depth + 1));
      return reply;
    }
    default:
      throw RedisError("Redis: unknown reply type");
  }
}

}  // namespace qv
