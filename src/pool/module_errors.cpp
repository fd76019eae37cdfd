#include "pool/module_errors.h"

#include <iostream>
#include <mutex>

namespace qv {

namespace {

std::mutex& HandlerLock() {
  static std::mutex lock;
  return lock;
}

TModuleErrorHandler& Handler() {
  static TModuleErrorHandler handler;
  return handler;
}

}  // namespace

void SetModuleErrorHandler(TModuleErrorHandler handler) {
  std::lock_guard lock(HandlerLock());
  Handler() = std::move(handler);
}

void ReportModuleError(const std::string& message) {
  std::lock_guard lock(HandlerLock());
  if (Handler()) {
    Handler()(message);
  } else {
    std::cerr << message << '\n';
  }
}

}  // namespace qv
