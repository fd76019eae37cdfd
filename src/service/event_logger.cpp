#include "service/event_logger.h"

#include <sys/stat.h>
#include <syslog.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <mutex>

namespace qv {

namespace {

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

std::mutex& WriteLock() {
  static std::mutex lock;
  return lock;
}

}  // namespace

TEventLogger::TEventLogger(std::string source)
    : TEventLogger(std::move(source), [](const std::string& source, const std::string& text) {
        WriteToSystemLog(source, text);
      }) {
  systemLog_ = true;
}

TEventLogger::TEventLogger(std::string source, TWriter writer)
    : source_(std::move(source)), writer_(std::move(writer)) {}

void TEventLogger::LogMessage(const std::string& text) const {
  if (writer_) writer_(source_, text);
}

void TEventLogger::LogWarning(const std::string& text) const {
  if (systemLog_) WriteToSystemLog(source_, text, LOG_WARNING);
}

void TEventLogger::LogInfo(const std::string& text) const {
  if (systemLog_) WriteToSystemLog(source_, text, LOG_INFO);
}

void TEventLogger::WriteToSystemLog(const std::string& source, const std::string& text) {
  WriteToSystemLog(source, text, LOG_ERR);
}

void TEventLogger::WriteToSystemLog(const std::string& source, const std::string& text,
                                    int priority) {
  std::lock_guard<std::mutex> guard(WriteLock());
  // openlog keeps the pointer it is given, so the identity must outlive the call.
  static std::string identity;
  identity = source;
  openlog(identity.c_str(), LOG_PID | LOG_NDELAY, LOG_DAEMON);
  syslog(priority, "%s", text.c_str());
  closelog();
  static const bool toJournal = StandardErrorIsJournal();
  if (!toJournal) {
    std::fprintf(stderr, "%s: %s\n", source.c_str(), text.c_str());
    std::fflush(stderr);
  }
}

}  // namespace qv
