#include "pool/module_errors.h"

#include "platform/error_sink.h"

namespace qv {

namespace {

ErrorSink& ModuleErrors() {
  static ErrorSink sink;
  return sink;
}

}  // namespace

void SetModuleErrorHandler(ModuleErrorHandler handler) {
  ModuleErrors().SetHandler(std::move(handler));
}

void ReportModuleError(const std::string& message) { ModuleErrors().Report(message); }

}  // namespace qv
