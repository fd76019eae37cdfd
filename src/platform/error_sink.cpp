#include "platform/error_sink.h"

#include <iostream>

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
    std::cerr << message << '\n';
  }
}

}  // namespace qv
