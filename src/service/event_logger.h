// Where the service's failures are recorded: the program's log (standard
// error and the system log, under the logger's name), or a writer of the
// caller's own.
#pragma once

#include <functional>
#include <string>

namespace qv {

class ProgramLog;

class EventLogger {
 public:
  // Receives the source name and the text of one event.
  using Writer = std::function<void(const std::string& source, const std::string& text)>;

  // Writes to the process's program log under source.
  explicit EventLogger(std::string source);
  // Writes to the given program log (tests); it must outlive the logger.
  EventLogger(std::string source, ProgramLog& log);
  // Writes through the given writer only (tests, tools).
  EventLogger(std::string source, Writer writer);

  const std::string& Source() const { return source_; }
  // Records one error event.
  void LogMessage(const std::string& text) const;
  // Records a warning or a plain notice (start and stop lines); a logger
  // with a writer of its own records errors only.
  void LogWarning(const std::string& text) const;
  void LogInfo(const std::string& text) const;

 private:
  std::string source_;
  Writer writer_;
  ProgramLog* log_ = nullptr;  // the program log, when no writer is given
};

}  // namespace qv
