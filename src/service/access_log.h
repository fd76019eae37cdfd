// The access log: one line per answered request in the combined log format,
// followed by the seconds the answer took, written to standard output, to a
// file (appended, reopened on request for log rotation) or nowhere. Lines are
// gathered and written together by a writer thread, at the latest a fifth of
// a second later; a request never waits for the output.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <ctime>
#include <functional>
#include <mutex>
#include <string>
#include <string_view>

#include "service/log_writer.h"

namespace qv {

// One request as the access log records it.
struct AccessRecord {
  std::string_view remote_ip;  // the visitor's (behind a trusted proxy, the one it names)
  std::string_view user;       // the logged-on visitor's user name; empty: none
  std::string_view request_line;
  int status = 0;
  int64_t body_bytes = 0;
  std::string_view referer;
  std::string_view user_agent;
  std::chrono::steady_clock::duration elapsed{};
};

// The line for a record (with its line break), at the given local time:
// 127.0.0.1 - demo [10/Dec/2026:13:55:36 +0000] "GET / HTTP/1.1" 200 1234 "-" "curl/8" 0.002
// Quotes, backslashes and control bytes in the quoted fields are escaped (\", \\, \xHH);
// in the user field, which has no quotes, blanks and every byte but printable
// ASCII are written as \xHH. A password in the request line or the Referer is
// masked (see MaskPasswords).
std::string FormatAccessLine(const AccessRecord& record, std::time_t now);

class AccessLog {
 public:
  AccessLog();
  ~AccessLog() = default;
  AccessLog(const AccessLog&) = delete;
  AccessLog& operator=(const AccessLog&) = delete;

  // target: "-" standard output, "off" nothing, otherwise a file appended to
  // (created when missing). Raises Exception naming the file when it cannot
  // be opened; the log then stays as it was.
  void Open(const std::string& target);
  // Opens the file again under its name (after rotation). False, and the old
  // file kept, when that fails; error then says why.
  bool Reopen(std::string& error);

  bool Enabled() const { return enabled_.load(std::memory_order_relaxed); }
  std::string Target() const;

  // Never waits for the output: a line that finds the buffer full is dropped.
  void Write(const AccessRecord& record);
  // Writes the lines gathered so far (at a stop), for at most limit; what is
  // left then is dropped.
  void Flush(std::chrono::milliseconds limit = kStopFlush);

  // Lines lost (the output blocked, too slow or failing) since the start.
  uint64_t Dropped() const { return writer_.Dropped(); }
  // Told, at most every ten seconds and at a flush, how many lines were lost.
  void SetOnDropped(std::function<void(const std::string& text)> report);

  // Lines gathered before they are written, at most.
  static constexpr size_t kBufferBytes = size_t{1} << 20;
  static constexpr std::chrono::milliseconds kFlushInterval{200};
  static constexpr std::chrono::milliseconds kStopFlush{600};

 private:
  mutable std::mutex lock_;  // target_ and owned_
  std::string target_ = "off";
  bool owned_ = false;  // the target is a file of the log's own
  std::atomic<bool> enabled_{false};
  LogWriter writer_;
};

}  // namespace qv
