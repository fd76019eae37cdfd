#include "service/access_log.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "platform/exception.h"
#include "service/password_mask.h"

namespace qv {

namespace {

constexpr char kHex[] = "0123456789abcdef";

// text, "-" when empty: a quote or backslash escaped by a backslash (in a
// field without quotes written as \xHH, like a blank), a byte outside
// printable ASCII as \xHH.
void AppendEscaped(std::string& out, std::string_view text, bool quoted) {
  if (text.empty()) out += '-';
  for (char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (quoted && (c == '"' || c == '\\')) {
      out += '\\';
      out += c;
    } else if (byte < 0x20 || byte >= 0x7F || (!quoted && (c == ' ' || c == '"' || c == '\\'))) {
      out += "\\x";
      out += kHex[byte >> 4];
      out += kHex[byte & 15];
    } else {
      out += c;
    }
  }
}

void AppendQuoted(std::string& out, std::string_view text) {
  out += '"';
  AppendEscaped(out, text, true);
  out += '"';
}

// "[10/Dec/2026:13:55:36 +0000]" in local time, made once per second per thread.
const std::string& TimeField(std::time_t now) {
  thread_local std::time_t cached_second = -1;
  thread_local std::string cached;
  if (now != cached_second) {
    std::tm local{};
    localtime_r(&now, &local);
    char text[64];
    const size_t n = std::strftime(text, sizeof text, "[%d/%b/%Y:%H:%M:%S %z]", &local);
    cached.assign(text, n);
    cached_second = now;
  }
  return cached;
}

}  // namespace

std::string FormatAccessLine(const AccessRecord& record, std::time_t now) {
  std::string line;
  line.reserve(160 + record.request_line.size() + record.user_agent.size() + record.referer.size());
  line.append(record.remote_ip.empty() ? std::string_view("-") : record.remote_ip);
  line += " - ";
  AppendEscaped(line, record.user, false);
  line += ' ';
  line += TimeField(now);
  line += ' ';
  AppendQuoted(line, MaskPasswords(record.request_line));
  line += ' ';
  line += std::to_string(record.status);
  line += ' ';
  if (record.body_bytes > 0)
    line += std::to_string(record.body_bytes);
  else
    line += '-';
  line += ' ';
  AppendQuoted(line, MaskPasswords(record.referer));
  line += ' ';
  AppendQuoted(line, record.user_agent);
  // Seconds with three decimals, rounded to the nearest millisecond.
  const int64_t ms =
      (std::chrono::duration_cast<std::chrono::microseconds>(record.elapsed).count() + 500) / 1000;
  char seconds[32];
  const int n = std::snprintf(seconds, sizeof seconds, " %lld.%03lld\n",
                              static_cast<long long>(ms / 1000), static_cast<long long>(ms % 1000));
  line.append(seconds, static_cast<size_t>(n));
  return line;
}

namespace {

LogWriter::Options AccessLogOptions() {
  LogWriter::Options options;
  options.capacity_bytes = AccessLog::kBufferBytes;
  options.wake_bytes = 32768;
  options.interval = AccessLog::kFlushInterval;
  return options;
}

int OpenLogFile(const std::string& path) {
  return ::open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0640);
}

}  // namespace

AccessLog::AccessLog() : writer_(AccessLogOptions()) {}

std::string AccessLog::Target() const {
  std::lock_guard guard(lock_);
  return target_;
}

void AccessLog::Open(const std::string& target) {
  std::shared_ptr<LogSink> sink;
  bool owned = false;
  if (target == "-") {
    sink = std::make_shared<DescriptorSink>(STDOUT_FILENO, false);
  } else if (target != "off") {
    const int fd = OpenLogFile(target);
    if (fd < 0) {
      throw Exception("Cannot open the access log " + target + ": " + std::strerror(errno));
    }
    sink = std::make_shared<DescriptorSink>(fd, true);
    owned = true;
  }
  std::lock_guard guard(lock_);
  enabled_ = sink != nullptr;
  writer_.SetSink(std::move(sink));
  target_ = target;
  owned_ = owned;
}

bool AccessLog::Reopen(std::string& error) {
  std::lock_guard guard(lock_);
  if (!owned_) return true;
  const int fd = OpenLogFile(target_);
  if (fd < 0) {
    error = "Cannot reopen the access log " + target_ + ": " + std::strerror(errno);
    return false;
  }
  // Lines gathered so far still go to the old file; the old file closes
  // once they are written.
  writer_.SetSink(std::make_shared<DescriptorSink>(fd, true));
  return true;
}

void AccessLog::Write(const AccessRecord& record) {
  if (!Enabled()) return;
  writer_.Append(FormatAccessLine(record, std::time(nullptr)));
}

void AccessLog::Flush(std::chrono::milliseconds limit) { writer_.Flush(limit); }

void AccessLog::SetOnDropped(std::function<void(const std::string& text)> report) {
  if (!report) {
    writer_.SetDropReport(nullptr);
    return;
  }
  writer_.SetDropReport([this, report = std::move(report)](uint64_t lines,
                                                           const std::string& reason) {
    report("Access log " + (Target() == "-" ? std::string("(standard output)") : Target()) +
           ": " + std::to_string(lines) + " line" + (lines == 1 ? "" : "s") + " dropped: " +
           reason);
  });
}

}  // namespace qv
