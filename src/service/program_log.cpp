#include "service/program_log.h"

#include <sys/stat.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <memory>

namespace qv {

namespace {

constexpr std::chrono::milliseconds kExitFlush{400};

// True when the service manager connected standard error to the journal; it
// names that stream as "device:inode" in JOURNAL_STREAM.
bool StandardErrorIsJournal() {
  const char* stream = std::getenv("JOURNAL_STREAM");
  if (!stream) return false;
  unsigned long long device = 0, inode = 0;
  if (std::sscanf(stream, "%llu:%llu", &device, &inode) != 2) return false;
  struct stat st {};
  if (fstat(STDERR_FILENO, &st) != 0) return false;
  return st.st_dev == device && st.st_ino == inode;
}

std::string DroppedText(const char* output, uint64_t lines, const std::string& reason) {
  return std::to_string(lines) + " log line" + (lines == 1 ? "" : "s") + " not written to " +
         output + ": " + reason;
}

}  // namespace

LogWriter::Options ProgramLog::WriterOptions() {
  LogWriter::Options options;
  options.capacity_bytes = 262144;
  options.wake_bytes = 0;
  return options;
}

ProgramLog::ProgramLog(const Outputs& outputs, LogWriter::Options options)
    : error_output_(options),
      system_log_(options),
      to_error_(outputs.error_fd >= 0),
      to_system_log_(!outputs.syslog_path.empty()) {
  if (to_error_) error_output_.SetSink(std::make_shared<DescriptorSink>(outputs.error_fd, false));
  if (to_system_log_) system_log_.SetSink(std::make_shared<SyslogSink>(outputs.syslog_path));
  // Each output tells the other what it lost.
  error_output_.SetDropReport([this](uint64_t lines, const std::string& reason) {
    if (to_system_log_)
      system_log_.Append(SyslogRecord(LogLevel::Warning, kProgramName,
                                     DroppedText("standard error", lines, reason),
                                     std::chrono::system_clock::now(), getpid()));
  });
  system_log_.SetDropReport([this](uint64_t lines, const std::string& reason) {
    if (to_error_)
      error_output_.Append(
          FormatLogLine(LogLevel::Warning, kProgramName, DroppedText("the system log", lines, reason)));
  });
}

void ProgramLog::Write(LogLevel level, std::string_view name, std::string_view text) {
  const auto now = std::chrono::system_clock::now();
  if (to_system_log_) system_log_.Append(SyslogRecord(level, name, text, now, getpid()));
  if (to_error_) error_output_.Append(FormatLogLine(level, name, text, now));
}

ProgramLog::~ProgramLog() {
  Flush(kExitFlush);
  // Neither output may tell the other anything once either is going.
  error_output_.SetDropReport(nullptr);
  system_log_.SetDropReport(nullptr);
}

bool ProgramLog::Flush(std::chrono::milliseconds limit) {
  // Both writers work at once. The line counting what standard error lost
  // is only made once standard error's flush gives up, so the system log is
  // flushed once more after it, with a quarter of the time kept for that
  // alone: a standard error that used up its share (giving up a write in
  // progress may take a little longer) cannot take it away.
  const auto now = [] { return std::chrono::steady_clock::now(); };
  const auto reserve = limit / 4;
  const auto deadline = now() + limit;
  auto until = [&](std::chrono::steady_clock::time_point end) {
    return std::max(std::chrono::milliseconds(0),
                    std::chrono::duration_cast<std::chrono::milliseconds>(end - now()));
  };
  bool all = system_log_.Flush(until(deadline - reserve));
  all = error_output_.Flush(until(deadline - reserve)) && all;
  return system_log_.Flush(std::max(until(deadline), reserve)) && all;
}

uint64_t ProgramLog::Dropped() const { return error_output_.Dropped() + system_log_.Dropped(); }

ProgramLog& ProgramLog::Instance() {
  static ProgramLog* const log = [] {
    Outputs outputs;
    if (StandardErrorIsJournal()) outputs.error_fd = -1;
    auto* made = new ProgramLog(outputs);
    std::atexit(&ProgramLog::FlushAtExit);
    return made;
  }();
  return *log;
}

void ProgramLog::FlushAtExit() { Instance().Flush(kExitFlush); }

}  // namespace qv
