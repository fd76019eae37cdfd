#include "service/log_sinks.h"

#include <fcntl.h>
#include <limits.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <syslog.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>

namespace qv {

namespace {

constexpr int kWaitStepMs = 100;
constexpr std::chrono::seconds kSyslogRetry{10};

// Waits in steps until fd can take bytes; false when keep_waiting gives up.
// A poll failure or an error state counts as room: the write then tells.
bool AwaitWritable(int fd, const LogSink::KeepWaiting& keep_waiting) {
  for (;;) {
    pollfd entry{fd, POLLOUT, 0};
    const int ready = ::poll(&entry, 1, kWaitStepMs);
    if (ready > 0 || (ready < 0 && errno != EINTR)) return true;
    if (!keep_waiting()) return false;
  }
}

}  // namespace

DescriptorSink::DescriptorSink(int fd, bool owned) : owned_(owned ? fd : -1), fd_(fd) {
  struct stat st {};
  if (::fstat(fd_, &st) != 0) return;
  if (S_ISSOCK(st.st_mode)) {
    kind_ = Kind::Socket;
  } else if (S_ISFIFO(st.st_mode) || S_ISCHR(st.st_mode)) {
    // The same pipe or terminal, opened again: the non-blocking flag then
    // belongs to this description alone.
    const std::string path = "/proc/self/fd/" + std::to_string(fd_);
    const int own = ::open(path.c_str(), O_WRONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (own >= 0) {
      owned_.Reset(own);
      fd_ = own;
      kind_ = Kind::NonBlocking;
    } else {
      kind_ = Kind::Polled;
    }
  }
}

bool DescriptorSink::AwaitRoom(const KeepWaiting& keep_waiting) const {
  return AwaitWritable(fd_, keep_waiting);
}

size_t DescriptorSink::WriteBytes(std::string_view bytes, const KeepWaiting& keep_waiting,
                                  int& error) {
  size_t done = 0;
  while (done < bytes.size()) {
    // A blocking pipe takes PIPE_BUF bytes without waiting once poll found room.
    if (kind_ == Kind::Polled && !AwaitRoom(keep_waiting)) break;
    size_t size = bytes.size() - done;
    if (kind_ == Kind::Polled) size = std::min<size_t>(size, PIPE_BUF);
    const char* data = bytes.data() + done;
    const ssize_t n = kind_ == Kind::Socket ? ::send(fd_, data, size, MSG_DONTWAIT | MSG_NOSIGNAL)
                                            : ::write(fd_, data, size);
    if (n > 0) {
      done += static_cast<size_t>(n);
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
      if (!AwaitRoom(keep_waiting)) break;
      continue;
    }
    error = n < 0 ? errno : EIO;
    break;
  }
  return done;
}

size_t DescriptorSink::Write(std::string_view text, const KeepWaiting& keep_waiting, int& error) {
  if (text.empty()) return 0;
  if (mid_line_) {
    if (WriteBytes("\n", keep_waiting, error) != 1) return 0;
    mid_line_ = false;
  }
  const size_t done = WriteBytes(text, keep_waiting, error);
  if (done > 0) mid_line_ = text[done - 1] != '\n';
  return done;
}

SyslogSink::SyslogSink(std::string socket_path) : path_(std::move(socket_path)) {}

bool SyslogSink::Connect() {
  if (socket_.Valid()) return true;
  const auto now = std::chrono::steady_clock::now();
  if (attempted_ && now - last_attempt_ < kSyslogRetry) return false;
  attempted_ = true;
  last_attempt_ = now;
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  if (path_.size() >= sizeof address.sun_path) return false;
  std::memcpy(address.sun_path, path_.c_str(), path_.size() + 1);
  FileDescriptor socket(::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0));
  if (!socket.Valid()) return false;
  if (::connect(socket.Get(), reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0)
    return false;
  socket_ = std::move(socket);
  return true;
}

size_t SyslogSink::Write(std::string_view text, const KeepWaiting& keep_waiting, int& error) {
  size_t done = 0;
  bool reconnected = false;
  while (done < text.size()) {
    size_t end = text.find('\n', done);
    end = end == std::string_view::npos ? text.size() : end + 1;
    if (!Connect()) {
      done = end;  // no system log here: nothing to lose
      continue;
    }
    const std::string_view message = text.substr(done, end - done - (text[end - 1] == '\n'));
    const ssize_t n =
        ::send(socket_.Get(), message.data(), message.size(), MSG_DONTWAIT | MSG_NOSIGNAL);
    if (n >= 0) {
      done = end;
      reconnected = false;
      continue;
    }
    if (errno == EINTR) continue;
    if (errno == EAGAIN || errno == EWOULDBLOCK || errno == ENOBUFS) {
      if (!AwaitWritable(socket_.Get(), keep_waiting)) break;
      continue;
    }
    if ((errno == ECONNREFUSED || errno == ENOTCONN || errno == ECONNRESET) && !reconnected) {
      // The system log was restarted: its socket is a new one.
      socket_.Reset();
      attempted_ = false;
      reconnected = true;
      continue;
    }
    error = errno;
    break;
  }
  return done;
}

std::string SyslogRecord(LogLevel level, std::string_view name, std::string_view text,
                         std::chrono::system_clock::time_point time, pid_t pid) {
  static constexpr const char* kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                            "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
  int priority = LOG_ERR;
  if (level == LogLevel::Warning) priority = LOG_WARNING;
  if (level == LogLevel::Info) priority = LOG_INFO;
  const std::time_t seconds = std::chrono::system_clock::to_time_t(time);
  std::tm local{};
  localtime_r(&seconds, &local);
  char head[64];
  const int n = std::snprintf(head, sizeof head, "<%d>%s %2d %02d:%02d:%02d ", LOG_DAEMON | priority,
                              kMonths[local.tm_mon % 12], local.tm_mday, local.tm_hour,
                              local.tm_min, local.tm_sec);
  std::string record(head, n > 0 ? static_cast<size_t>(n) : 0);
  record += name;
  record += '[';
  record += std::to_string(pid);
  record += "]: ";
  record += SingleLine(text);
  record += '\n';
  return record;
}

}  // namespace qv
