#include "service/event_logger.h"

#include "service/program_log.h"

namespace qv {

EventLogger::EventLogger(std::string source)
    : EventLogger(std::move(source), ProgramLog::Instance()) {}

EventLogger::EventLogger(std::string source, ProgramLog& log)
    : source_(std::move(source)), log_(&log) {}

EventLogger::EventLogger(std::string source, Writer writer)
    : source_(std::move(source)), writer_(std::move(writer)) {}

void EventLogger::LogMessage(const std::string& text) const {
  if (log_)
    log_->Write(LogLevel::Error, source_, text);
  else if (writer_)
    writer_(source_, text);
}

void EventLogger::LogWarning(const std::string& text) const {
  if (log_) log_->Write(LogLevel::Warning, source_, text);
}

void EventLogger::LogInfo(const std::string& text) const {
  if (log_) log_->Write(LogLevel::Info, source_, text);
}

}  // namespace qv
