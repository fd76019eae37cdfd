#include "service/access_log.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "platform/exception.h"

namespace qv {

namespace {

constexpr char kHex[] = "0123456789abcdef";

// A quoted field: "-" when empty.
void AppendQuoted(std::string& out, std::string_view text) {
  out += '"';
  if (text.empty()) out += '-';
  for (char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (c == '"' || c == '\\') {
      out += '\\';
      out += c;
    } else if (byte < 0x20 || byte >= 0x7F) {
      out += "\\x";
      out += kHex[byte >> 4];
      out += kHex[byte & 15];
    } else {
      out += c;
    }
  }
  out += '"';
}

// "[10/Dec/2026:13:55:36 +0000]" in local time, made once per second per thread.
const std::string& TimeField(std::time_t now) {
  thread_local std::time_t cachedSecond = -1;
  thread_local std::string cached;
  if (now != cachedSecond) {
    std::tm local{};
    localtime_r(&now, &local);
    char text[64];
    const size_t n = std::strftime(text, sizeof text, "[%d/%b/%Y:%H:%M:%S %z]", &local);
    cached.assign(text, n);
    cachedSecond = now;
  }
  return cached;
}

void WriteAll(int fd, const std::string& text) {
  size_t done = 0;
  while (done < text.size()) {
    const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return;  // a full disk or a closed pipe loses the line, not the answer
    done += static_cast<size_t>(n);
  }
}

}  // namespace

std::string FormatAccessLine(const TAccessRecord& record, std::time_t now) {
  std::string line;
  line.reserve(160 + record.RequestLine.size() + record.UserAgent.size() + record.Referer.size());
  line.append(record.RemoteIP.empty() ? std::string_view("-") : record.RemoteIP);
  line += " - - ";
  line += TimeField(now);
  line += ' ';
  AppendQuoted(line, record.RequestLine);
  line += ' ';
  line += std::to_string(record.Status);
  line += ' ';
  if (record.BodyBytes > 0)
    line += std::to_string(record.BodyBytes);
  else
    line += '-';
  line += ' ';
  AppendQuoted(line, record.Referer);
  line += ' ';
  AppendQuoted(line, record.UserAgent);
  // Seconds with three decimals, rounded to the nearest millisecond.
  const int64_t ms =
      (std::chrono::duration_cast<std::chrono::microseconds>(record.Elapsed).count() + 500) / 1000;
  char seconds[32];
  const int n = std::snprintf(seconds, sizeof seconds, " %lld.%03lld\n",
                              static_cast<long long>(ms / 1000), static_cast<long long>(ms % 1000));
  line.append(seconds, static_cast<size_t>(n));
  return line;
}

TAccessLog::~TAccessLog() {
  {
    std::lock_guard guard(lock_);
    stopping_ = true;
  }
  wake_.notify_all();
  if (flusher_.joinable()) flusher_.join();
  std::lock_guard guard(lock_);
  FlushLocked();
  CloseOwned();
}

void TAccessLog::FlushLocked() {
  const int fd = fd_.load();
  if (fd >= 0 && !pending_.empty()) WriteAll(fd, pending_);
  pending_.clear();
}

void TAccessLog::Flush() {
  std::lock_guard guard(lock_);
  FlushLocked();
}

void TAccessLog::FlusherLoop() {
  std::unique_lock guard(lock_);
  while (!stopping_) {
    wake_.wait_for(guard, kFlushInterval);
    FlushLocked();
  }
}

void TAccessLog::CloseOwned() {
  if (owned_ && fd_ >= 0) ::close(fd_.load());
  fd_ = -1;
  owned_ = false;
}

void TAccessLog::Open(const std::string& target) {
  int fd = -1;
  bool owned = false;
  if (target == "-") {
    fd = STDOUT_FILENO;
  } else if (target != "off") {
    fd = ::open(target.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0640);
    if (fd < 0) {
      throw Exception("Cannot open the access log " + target + ": " + std::strerror(errno));
    }
    owned = true;
  }
  std::lock_guard guard(lock_);
  FlushLocked();
  CloseOwned();
  target_ = target;
  fd_ = fd;
  owned_ = owned;
  if (fd >= 0 && !flusher_.joinable()) flusher_ = std::thread([this] { FlusherLoop(); });
}

bool TAccessLog::Reopen(std::string& error) {
  std::lock_guard guard(lock_);
  if (!owned_) return true;
  const int fd = ::open(target_.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0640);
  if (fd < 0) {
    error = "Cannot reopen the access log " + target_ + ": " + std::strerror(errno);
    return false;
  }
  FlushLocked();
  ::close(fd_.load());
  fd_ = fd;
  return true;
}

void TAccessLog::Write(const TAccessRecord& record) {
  if (!Enabled()) return;
  const std::string line = FormatAccessLine(record, std::time(nullptr));
  std::lock_guard guard(lock_);
  pending_ += line;
  if (pending_.size() >= kBufferBytes) FlushLocked();
}

}  // namespace qv
