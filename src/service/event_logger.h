// Where the service's failures are recorded: the system log under a source
// name, and a copy on standard error for whoever runs the program by hand.
#pragma once

#include <functional>
#include <string>

namespace qv {

class TEventLogger {
 public:
  // Receives the source name and the text of one event.
  using TWriter = std::function<void(const std::string& source, const std::string& text)>;

  // Writes to syslog (identity = source) and standard error.
  explicit TEventLogger(std::string source);
  // Writes through the given writer only (tests, tools).
  TEventLogger(std::string source, TWriter writer);

  const std::string& Source() const { return source_; }
  // Records one error event.
  void LogMessage(const std::string& text) const;
  // Records a warning or a plain notice (start and stop lines) in the system
  // log and on standard error; a logger with a writer of its own records
  // errors only.
  void LogWarning(const std::string& text) const;
  void LogInfo(const std::string& text) const;

  // The default writer: syslog at error priority, plus standard error unless
  // standard error already is the journal's stream (then syslog alone, so the
  // journal does not show every event twice).
  static void WriteToSystemLog(const std::string& source, const std::string& text);
  static void WriteToSystemLog(const std::string& source, const std::string& text, int priority);

 private:
  std::string source_;
  TWriter writer_;
  bool systemLog_ = false;  // the default writer: priorities reach syslog
};

}  // namespace qv
