#include "pool/pool_errors.h"

#include "platform/error_sink.h"

namespace qv {

namespace {

ErrorSink& PoolErrors() {
  static ErrorSink sink;
  return sink;
}

}  // namespace

void SetPoolErrorHandler(PoolErrorHandler handler) {
  PoolErrors().SetHandler(std::move(handler));
}

void ReportPoolError(const std::string& message) { PoolErrors().Report(message); }

}  // namespace qv
