#include "platform/error_sink.h"

#include <iostream>

#include "platform/log_line.h"

namespace qv {

void ErrorSink::SetHandler(Handler handler) { handler_.Set(std::move(handler)); }

void ErrorSink::Report(const std::string& message) {
  if (!handler_.Call(message))
    std::cerr << FormatLogLine(LogLevel::Error, kProgramName, message) << std::flush;
}

}  // namespace qv
