#include "pages/page_errors.h"

#include <iostream>
#include <mutex>

namespace qv {

namespace {

std::mutex& HandlerLock() {
  static std::mutex lock;
  return lock;
}

TPageErrorHandler& Handler() {
  static TPageErrorHandler handler;
  return handler;
}

}  // namespace

void SetPageErrorHandler(TPageErrorHandler handler) {
  std::lock_guard lock(HandlerLock());
  Handler() = std::move(handler);
}

void ReportPageError(const std::string& message) {
  std::lock_guard lock(HandlerLock());
  if (Handler()) {
    Handler()(message);
  } else {
    std::cerr << message << '\n';
  }
}

}  // namespace qv
