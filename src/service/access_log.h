// The access log: one line per answered request in the combined log format,
// followed by the seconds the answer took, written to standard output, to a
// file (appended, reopened on request for log rotation) or nowhere.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <ctime>
#include <mutex>
#include <string>
#include <string_view>

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

 private:
  void CloseOwned();

  std::mutex lock_;
  std::string target_ = "off";
  std::atomic<int> fd_{-1};
  bool owned_ = false;  // fd_ is a file of the log's own
};

}  // namespace qv
