#include "pool/module_errors.h"

#include "platform/error_sink.h"

namespace qv {

namespace {

TErrorSink& ModuleErrors() {
  static TErrorSink sink;
  return sink;
}

}  // namespace

void SetModuleErrorHandler(TModuleErrorHandler handler) {
  ModuleErrors().SetHandler(std::move(handler));
}

void ReportModuleError(const std::string& message) { ModuleErrors().Report(message); }

}  // namespace qv
