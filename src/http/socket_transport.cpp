#include "http/socket_transport.h"

#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/sendfile.h>
#include <sys/socket.h>
#include <sys/uio.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
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
  throw SocketError(error, std::string("Socket error: ") + std::strerror(error));
}

enum class FileStep { Done, WouldBlock, Cannot };

}  // namespace

SocketTransport::~SocketTransport() { Close(false); }

bool SocketTransport::Wait(short events) {
  pollfd p{fd_, events, 0};
  for (;;) {
    int timeout = timeout_ms_ > 0 ? timeout_ms_ : -1;
    if (deadline_ != Clock::time_point::max()) {
      const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline_ - Clock::now()).count();
      if (left <= 0) return false;
      if (timeout < 0 || left < timeout) timeout = static_cast<int>(left);
    }
    const int r = ::poll(&p, 1, timeout);
    if (r > 0) return true;
    if (r == 0) return false;
    if (errno != EINTR) ThrowSocketError(errno);
  }
}

size_t SocketTransport::Receive(char* buffer, size_t count) {
  // The peer may wait for what is held back before it sends more.
  if (!pending_.empty()) FlushWaiting();
  for (;;) {
    const ptrdiff_t n = TryReceive(buffer, count);
    if (n >= 0) return static_cast<size_t>(n);
    if (!Wait(POLLIN)) throw ReadTimedOut();
  }
}

ptrdiff_t SocketTransport::TryReceive(char* buffer, size_t count) {
  for (;;) {
    const ssize_t n = ::recv(fd_, buffer, count, MSG_DONTWAIT);
    if (n >= 0) return n;
    const int error = errno;
    if (error == EINTR) continue;
    if (error == EAGAIN || error == EWOULDBLOCK) return -1;
    if (error == ECONNRESET || error == ENOTCONN || error == EPIPE) return 0;
    ThrowSocketError(error);
  }
}

size_t SocketTransport::SendNow(const std::string_view* parts, size_t count, int flags) {
  iovec iov[kMaxParts];
  size_t n = 0;
  for (size_t i = 0; i < count; ++i)
    if (!parts[i].empty()) iov[n++] = iovec{const_cast<char*>(parts[i].data()), parts[i].size()};
  size_t first = 0, total = 0;
  while (first < n) {
    msghdr msg{};
    msg.msg_iov = iov + first;
    msg.msg_iovlen = n - first;
    ssize_t sent = ::sendmsg(fd_, &msg, MSG_NOSIGNAL | MSG_DONTWAIT | flags);
    if (sent < 0) {
      const int error = errno;
      if (error == EINTR) continue;
      if (error == EAGAIN || error == EWOULDBLOCK) break;
      ThrowSocketError(error);
    }
    total += static_cast<size_t>(sent);
    while (first < n && static_cast<size_t>(sent) >= iov[first].iov_len) {
      sent -= static_cast<ssize_t>(iov[first].iov_len);
      ++first;
    }
    if (first < n) {
      iov[first].iov_base = static_cast<char*>(iov[first].iov_base) + sent;
      iov[first].iov_len -= static_cast<size_t>(sent);
    }
  }
  return total;
}

void SocketTransport::HoldBytes(const std::string_view* parts, size_t count, size_t skip) {
  std::string rest;
  for (size_t i = 0; i < count; ++i) {
    std::string_view part = parts[i];
    const size_t dropped = std::min(skip, part.size());
    part.remove_prefix(dropped);
    skip -= dropped;
    rest.append(part);
  }
  if (rest.empty()) return;
  if (!pending_.empty() && !pending_.back().file.Valid())
    pending_.back().bytes.append(rest);
  else
    pending_.push_back(Held{std::move(rest), FileDescriptor(), 0, -1});
}

void SocketTransport::HoldFile(int file, long long offset, long long end) {
  FileDescriptor copy(::fcntl(file, F_DUPFD_CLOEXEC, 0));
  if (!copy.Valid()) ThrowSocketError(errno);
  pending_.push_back(Held{std::string(), std::move(copy), offset, end});
}

void SocketTransport::Send(const std::string_view* parts, size_t count) {
  if (count > kMaxParts) {
    for (size_t i = 0; i < count; i += kMaxParts) Send(parts + i, std::min<size_t>(kMaxParts, count - i));
    return;
  }
  if (!pending_.empty()) {
    if (hold_back_) return HoldBytes(parts, count, 0);
    FlushWaiting();
  }
  size_t total = 0;
  for (size_t i = 0; i < count; ++i) total += parts[i].size();
  const size_t sent = SendNow(parts, count, 0);
  if (sent == total) return;
  HoldBytes(parts, count, sent);
  // Without holding back, the rest goes out here as the peer takes it.
  if (!hold_back_) FlushWaiting();
}

void SocketTransport::Push() {
  // Sends what MSG_MORE held back.
  const int on = 1;
  ::setsockopt(fd_, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
}

static FileStep SendFileFrom(int socket, int file, long long& offset, long long end) {
  const long long start = offset;
  for (;;) {
    if (end >= 0 && offset >= end) return FileStep::Done;
    off_t position = static_cast<off_t>(offset);
    const size_t chunk =
        end >= 0 ? static_cast<size_t>(std::min<long long>(end - offset, kSendFileChunk)) : kSendFileChunk;
    const ssize_t n = ::sendfile(socket, file, &position, chunk);
    if (n > 0) {
      offset = position;
      continue;
    }
    if (n == 0) return FileStep::Done;
    const int error = errno;
    if (error == EINTR) continue;
    if (error == EAGAIN || error == EWOULDBLOCK) return FileStep::WouldBlock;
    if ((error == EINVAL || error == ENOSYS) && offset == start) return FileStep::Cannot;
    ThrowSocketError(error);
  }
}

// The rest of a file that cannot be sent directly, read through memory.
static std::string ReadRest(int file, long long offset, long long end) {
  std::string out;
  char buffer[16384];
  for (;;) {
    size_t want = sizeof buffer;
    if (end >= 0) {
      if (offset >= end) return out;
      want = static_cast<size_t>(std::min<long long>(end - offset, static_cast<long long>(want)));
    }
    const ssize_t r = ::pread(file, buffer, want, static_cast<off_t>(offset));
    if (r < 0 && errno == EINTR) continue;
    if (r <= 0) return out;
    offset += r;
    out.append(buffer, static_cast<size_t>(r));
  }
}

bool SocketTransport::SendFile(std::string_view header, int fd, long long offset, long long length) {
  const long long end = length >= 0 ? offset + length : -1;
  if (!pending_.empty()) {
    if (hold_back_) {
      HoldBytes(&header, 1, 0);
      HoldFile(fd, offset, end);
      return true;
    }
    FlushWaiting();
  }
  // Held back briefly so that the header leaves with the first file bytes.
  size_t sent = SendNow(&header, 1, MSG_MORE);
  while (sent < header.size()) {
    if (hold_back_) {
      HoldBytes(&header, 1, sent);
      HoldFile(fd, offset, end);
      return true;
    }
    if (!Wait(POLLOUT)) throw ReadTimedOut();
    const std::string_view rest = header.substr(sent);
    sent += SendNow(&rest, 1, MSG_MORE);
  }
  long long position = offset;
  for (;;) {
    switch (SendFileFrom(fd_, fd, position, end)) {
      case FileStep::Done:
        if (position == offset) Push();
        return true;
      case FileStep::WouldBlock:
        if (hold_back_) {
          HoldFile(fd, position, end);
          return true;
        }
        if (!Wait(POLLOUT)) throw ReadTimedOut();
        break;
      case FileStep::Cannot: {
        // A file the system cannot send directly: copy it through memory.
        const std::string rest = ReadRest(fd, position, end);
        const std::string_view part(rest);
        if (!rest.empty()) Send(&part, 1);
        Push();
        return true;
      }
    }
  }
}

bool SocketTransport::FlushAvailable() {
  while (!pending_.empty()) {
    Held& held = pending_.front();
    if (!held.file.Valid()) {
      const std::string_view part(held.bytes);
      const size_t sent = SendNow(&part, 1, 0);
      if (sent < held.bytes.size()) {
        held.bytes.erase(0, sent);
        return false;
      }
    } else {
      const FileStep step = SendFileFrom(fd_, held.file.Get(), held.offset, held.end);
      if (step == FileStep::WouldBlock) return false;
      if (step == FileStep::Cannot) {
        std::string rest = ReadRest(held.file.Get(), held.offset, held.end);
        held.file.Reset();
        held.bytes = std::move(rest);
        continue;
      }
    }
    pending_.pop_front();
  }
  return true;
}

void SocketTransport::FlushWaiting() {
  while (!FlushAvailable())
    if (!Wait(POLLOUT)) throw ReadTimedOut();
}

bool SocketTransport::InputPending() {
  int available = 0;
  return ::ioctl(fd_, FIONREAD, &available) == 0 && available > 0;
}

void SocketTransport::ShutdownSend() {
  std::lock_guard lock(close_lock_);
  if (!closed_) ::shutdown(fd_, SHUT_WR);
}

void SocketTransport::Close(bool lingering) {
  {
    std::lock_guard lock(close_lock_);
    if (closed_) return;
    if (lingering) ::shutdown(fd_, SHUT_WR);
  }
  if (lingering) {
    // Read and drop what the peer still sends, so that closing with unread
    // input does not reset the connection before the answer is read.
    const auto deadline = Clock::now() + std::chrono::milliseconds(kLingerMs);
    char sink[4096];
    size_t drained = 0;
    while (drained < kLingerBytes) {
      const auto left =
          std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
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
  socket_.Reset();
}

void SocketTransport::Abort() {
  std::lock_guard lock(close_lock_);
  aborted_ = true;
  if (!closed_) ::shutdown(fd_, SHUT_RDWR);
}

}  // namespace qv
