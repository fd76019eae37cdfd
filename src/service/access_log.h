// The access log: one line per answered request in the combined log format,
// followed by the seconds the answer took, written to standard output, to a
// file (appended, reopened on request for log rotation) or nowhere. Lines are
// gathered and written together, at the latest a fifth of a second later.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <ctime>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>

namespace qv {

// One request as the access log records it.
struct TAccessRecord {
  std::string_view RemoteIP;
  std::string_view RequestLine;
  int Status = 0;
  int64_t BodyBytes = 0;
  std::string_view Referer;
  std::string_view UserAgent;
  std::chrono::steady_clock::duration Elapsed{};
};

// The line for a record (with its line break), at the given local time:
// 127.0.0.1 - - [10/Dec/2026:13:55:36 +0000] "GET / HTTP/1.1" 200 1234 "-" "curl/8" 0.002
// Quotes, backslashes and control bytes in the quoted fields are escaped (\", \\, \xHH).
std::string FormatAccessLine(const TAccessRecord& record, std::time_t now);

class TAccessLog {
 public:
  TAccessLog() = default;
  ~TAccessLog();
  TAccessLog(const TAccessLog&) = delete;
  TAccessLog& operator=(const TAccessLog&) = delete;

  // target: "-" standard output, "off" nothing, otherwise a file appended to
  // (created when missing). Raises Exception naming the file when it cannot
  // be opened; the log then stays as it was.
  void Open(const std::string& target);
  // Opens the file again under its name (after rotation). False, and the old
  // file kept, when that fails; error then says why.
  bool Reopen(std::string& error);

  bool Enabled() const { return fd_.load(std::memory_order_relaxed) >= 0; }
  const std::string& Target() const { return target_; }

  void Write(const TAccessRecord& record);
  // Writes the lines gathered so far (at a stop, before the process ends).
  void Flush();

  // Lines gathered before they are written, at most.
  static constexpr size_t kBufferBytes = 32768;
  static constexpr std::chrono::milliseconds kFlushInterval{200};

 private:
  void CloseOwned();
  // With lock_ held.
  void FlushLocked();
  void FlusherLoop();

  std::mutex lock_;
  std::string target_ = "off";
  std::atomic<int> fd_{-1};
  bool owned_ = false;  // fd_ is a file of the log's own
  std::string pending_;  // lines not yet written
  std::condition_variable wake_;
  bool stopping_ = false;
  std::thread flusher_;  // started with the first enabled Open
};

}  // namespace qv
