#include "platform/error_sink.h"

#include <iostream>

#include "platform/log_line.h"

namespace qv {

void TErrorSink::SetHandler(Handler handler) {
  std::lock_guard lock(lock_);
  handler_ = std::move(handler);
}

void TErrorSink::Report(const std::string& message) {
  std::lock_guard lock(lock_);
  if (handler_) {
    handler_(message);
  } else {
    std::cerr << FormatLogLine(LogLevel::Error, kProgramName, message) << std::flush;
  }
}

}  // namespace qv
