#include "service/event_logger.h"

#include "service/program_log.h"

namespace qv {

TEventLogger::TEventLogger(std::string source)
    : TEventLogger(std::move(source), ProgramLog::Instance()) {}

TEventLogger::TEventLogger(std::string source, ProgramLog& log)
    : source_(std::move(source)), log_(&log) {}

TEventLogger::TEventLogger(std::string source, TWriter writer)
    : source_(std::move(source)), writer_(std::move(writer)) {}

void TEventLogger::LogMessage(const std::string& text) const {
  if (log_)
    log_->Write(LogLevel::Error, source_, text);
  else if (writer_)
    writer_(source_, text);
}

void TEventLogger::LogWarning(const std::string& text) const {
  if (log_) log_->Write(LogLevel::Warning, source_, text);
}

void TEventLogger::LogInfo(const std::string& text) const {
  if (log_) log_->Write(LogLevel::Info, source_, text);
}

}  // namespace qv
