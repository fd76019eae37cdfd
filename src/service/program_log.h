// The program's own log: its notices, warnings and failures, one line each,
// on standard error as "<time> <level> qvweb: text" and in the system log
// (facility daemon). Writing never waits for either output: each has a
// writer of its own, a line one of them cannot take is dropped and counted,
// and the other output says how many.
#pragma once

#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <string>
#include <string_view>

#include "platform/log_line.h"
#include "service/log_writer.h"

namespace qv {

class ProgramLog {
 public:
  struct Outputs {
    int error_fd = STDERR_FILENO;  // -1: no standard error copy
    std::string syslog_path = "/dev/log";  // empty: no system log
  };

  explicit ProgramLog(const Outputs& outputs, LogWriter::Options options = WriterOptions());
  // Writes what waits, for about half a second at most.
  ~ProgramLog();
  ProgramLog(const ProgramLog&) = delete;
  ProgramLog& operator=(const ProgramLog&) = delete;

  // One line under name; line breaks in text become blanks.
  void Write(LogLevel level, std::string_view name, std::string_view text);
  // Writes what waits, at most for limit (at exit).
  bool Flush(std::chrono::milliseconds limit);
  // Lines either output lost.
  uint64_t Dropped() const;

  // The process's log, made on first use and never destroyed, since request
  // threads may still write while the process ends. Standard error is left
  // out when it is the journal's stream (the journal has each line from the
  // system log already). What waits is written at exit, for about half a
  // second at most; a program leaving through _Exit calls FlushAtExit itself.
  static ProgramLog& Instance();
  static void FlushAtExit();

  // Every line goes out at once; a few hundred lines may wait.
  static LogWriter::Options WriterOptions();

 private:
  LogWriter error_output_;
  LogWriter system_log_;
  bool to_error_;
  bool to_system_log_;
};

}  // namespace qv
