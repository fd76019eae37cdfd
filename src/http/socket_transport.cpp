#include "http/socket_transport.h"

#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <sys/sendfile.h>
#include <sys/uio.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <string>

#include "http/exceptions.h"

namespace qv {

namespace {

constexpr int kLingerMs = 2000;
constexpr size_t kLingerBytes = 1 << 20;
constexpr int kMaxParts = 16;
constexpr size_t kSendFileChunk = 1 << 20;

[[noreturn]] void ThrowSocketError(int error) {
  throw ESocketError(error, std::string("Socket error: ") + std::strerror(error));
}

}  // namespace

bool TIdSocketTransport::Wait(short events, int timeout_ms) {
  pollfd p{fd_, events, 0};
  for (;;) {
    const int r = ::poll(&p, 1, timeout_ms > 0 ? timeout_ms : -1);
    if (r > 0) return true;
    if (r == 0) return false;
    if (errno != EINTR) ThrowSocketError(errno);
  }
}

size_t TIdSocketTransport::Receive(char* buffer, size_t count) {
  for (;;) {
    const ssize_t n = ::recv(fd_, buffer, count, MSG_DONTWAIT);
    if (n >= 0) return static_cast<size_t>(n);
    const int error = errno;
    if (error == EINTR) continue;
    if (error == EAGAIN || error == EWOULDBLOCK) {
      if (!Wait(POLLIN, timeout_ms_)) throw EReadTimeout();
      continue;
    }
    if (error == ECONNRESET || error == ENOTCONN || error == EPIPE) return 0;
    ThrowSocketError(error);
  }
}

void TIdSocketTransport::Send(const std::string_view* parts, size_t count) {
  if (count > kMaxParts) {
    for (size_t i = 0; i < count; i += kMaxParts) Send(parts + i, std::min<size_t>(kMaxParts, count - i));
    return;
  }
  iovec iov[kMaxParts];
  size_t n = 0;
  for (size_t i = 0; i < count; ++i)
    if (!parts[i].empty()) iov[n++] = iovec{const_cast<char*>(parts[i].data()), parts[i].size()};
  size_t first = 0;
  while (first < n) {
    msghdr msg{};
    msg.msg_iov = iov + first;
    msg.msg_iovlen = n - first;
    ssize_t sent = ::sendmsg(fd_, &msg, MSG_NOSIGNAL | MSG_DONTWAIT);
    if (sent < 0) {
      const int error = errno;
      if (error == EINTR) continue;
      if (error == EAGAIN || error == EWOULDBLOCK) {
        if (!Wait(POLLOUT, timeout_ms_)) throw EReadTimeout();
        continue;
      }
      ThrowSocketError(error);
    }
    while (first < n && static_cast<size_t>(sent) >= iov[first].iov_len) {
      sent -= static_cast<ssize_t>(iov[first].iov_len);
      ++first;
    }
    if (first < n) {
      iov[first].iov_base = static_cast<char*>(iov[first].iov_base) + sent;
      iov[first].iov_len -= static_cast<size_t>(sent);
    }
  }
}

void TIdSocketTransport::Push() {
  // Sends what MSG_MORE held back.
  const int on = 1;
  ::setsockopt(fd_, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
}

bool TIdSocketTransport::SendFile(std::string_view header, int fd, long long offset) {
  if (!header.empty()) {
    // Held back briefly so that the header leaves with the first file bytes.
    for (;;) {
      const ssize_t n = ::send(fd_, header.data(), header.size(), MSG_NOSIGNAL | MSG_DONTWAIT | MSG_MORE);
      if (n >= 0) {
        header.remove_prefix(static_cast<size_t>(n));
        if (header.empty()) break;
        continue;
      }
      if (errno == EINTR) continue;
      if (errno == EAGAIN || errno == EWOULDBLOCK) {
        if (!Wait(POLLOUT, timeout_ms_)) throw EReadTimeout();
        continue;
      }
      ThrowSocketError(errno);
    }
  }
  off_t position = static_cast<off_t>(offset);
  for (;;) {
    const ssize_t n = ::sendfile(fd_, fd, &position, kSendFileChunk);
    if (n > 0) continue;
    if (n == 0) {  // end of the file
      if (position == static_cast<off_t>(offset)) Push();
      return true;
    }
    const int error = errno;
    if (error == EINTR) continue;
    if (error == EAGAIN || error == EWOULDBLOCK) {
      if (!Wait(POLLOUT, timeout_ms_)) throw EReadTimeout();
      continue;
    }
    if ((error == EINVAL || error == ENOSYS) && position == static_cast<off_t>(offset)) {
      // A file the system cannot send directly: copy it through memory.
      char buffer[16384];
      for (;;) {
        const ssize_t r = ::pread(fd, buffer, sizeof buffer, position);
        if (r < 0 && errno == EINTR) continue;
        if (r <= 0) {
          Push();
          return true;
        }
        position += r;
        const std::string_view part(buffer, static_cast<size_t>(r));
        Send(&part, 1);
      }
    }
    ThrowSocketError(error);
  }
}

bool TIdSocketTransport::InputPending() {
  int available = 0;
  return ::ioctl(fd_, FIONREAD, &available) == 0 && available > 0;
}

void TIdSocketTransport::Close(bool lingering) {
  {
    std::lock_guard lock(close_lock_);
    if (closed_) return;
    if (lingering) ::shutdown(fd_, SHUT_WR);
  }
  if (lingering) {
    // Read and drop what the peer still sends, so that closing with unread
    // input does not reset the connection before the answer is read.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kLingerMs);
    char sink[4096];
    size_t drained = 0;
    while (drained < kLingerBytes) {
      const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                            deadline - std::chrono::steady_clock::now())
                            .count();
      pollfd p{fd_, POLLIN, 0};
      if (left <= 0 || ::poll(&p, 1, static_cast<int>(left)) <= 0) break;
      const ssize_t n = ::recv(fd_, sink, sizeof sink, MSG_DONTWAIT);
      if (n <= 0 && !(n < 0 && (errno == EINTR || errno == EAGAIN))) break;
      if (n > 0) drained += static_cast<size_t>(n);
    }
  }
  std::lock_guard lock(close_lock_);
  if (closed_) return;
  closed_ = true;
  ::close(fd_);
}

void TIdSocketTransport::Abort() {
  std::lock_guard lock(close_lock_);
  if (!closed_) ::shutdown(fd_, SHUT_RDWR);
}

}  // namespace qv
