// A log's way out. Callers append whole lines to a bounded buffer and never
// wait for the output; one writer thread of the log's own takes the buffer
// under a short lock and writes it outside every lock. Lines that find the
// buffer full (the output is blocked or too slow) or that the output refuses
// (a full disk, an I/O error, a closed pipe) are dropped and counted; how many
// is told to a report function, from the writer thread, at most once per
// report interval.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "service/log_sinks.h"

namespace qv {

class LogWriter {
 public:
  using Now = std::function<std::chrono::steady_clock::time_point()>;
  // Lines dropped since the last report, and why the last of them was.
  using DropReport = std::function<void(uint64_t lines, const std::string& reason)>;

  struct Options {
    size_t capacity_bytes = size_t{1} << 20;  // bytes waiting to be written, at most
    size_t wake_bytes = 32768;  // the writer starts at once past this many (0: at every line)
    std::chrono::milliseconds interval{200};  // and otherwise at the latest after this
    std::chrono::milliseconds report_interval{10000};
    Now now = &std::chrono::steady_clock::now;  // the clock of the report interval
  };

  LogWriter();
  explicit LogWriter(Options options);
  // Writes what waits, for at most a second; a writer still stuck on its
  // output then is left to end with the process.
  ~LogWriter();
  LogWriter(const LogWriter&) = delete;
  LogWriter& operator=(const LogWriter&) = delete;

  // Where the lines appended from now on go; lines appended before still go
  // where they were meant to. Null: they are let go (the log is off).
  void SetSink(std::shared_ptr<LogSink> sink);
  void SetDropReport(DropReport report);

  // Appends text made of whole lines, each with its line break. False when it
  // was dropped because the buffer is full.
  bool Append(std::string_view lines);

  // Writes everything appended so far, waiting at most limit; what is still
  // unwritten then is dropped and counted. Lines dropped and not yet
  // reported are reported now, whatever the interval. True when every line
  // was settled in time: written, or refused by a failing output.
  bool Flush(std::chrono::milliseconds limit);

  // Lines dropped since the writer was made.
  uint64_t Dropped() const;

  // The reason given for lines dropped at a full buffer.
  static constexpr const char* kBlockedReason = "the output is blocked or too slow";

 private:
  class State;
  std::shared_ptr<State> state_;
};

}  // namespace qv
