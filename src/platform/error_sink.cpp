#include "platform/error_sink.h"

#include <iostream>

#include "platform/log_line.h"

namespace qv {

void TErrorSink::SetHandler(Handler handler) { handler_.Set(std::move(handler)); }

void TErrorSink::Report(const std::string& message) {
  if (!handler_.Call(message))
    std::cerr << FormatLogLine(LogLevel::Error, kProgramName, message) << std::flush;
}

}  // namespace qv
