#include "pages/page_errors.h"

#include "platform/error_sink.h"

namespace qv {

namespace {

TErrorSink& PageErrors() {
  static TErrorSink sink;
  return sink;
}

}  // namespace

void SetPageErrorHandler(TPageErrorHandler handler) { PageErrors().SetHandler(std::move(handler)); }

void ReportPageError(const std::string& message) { PageErrors().Report(message); }

}  // namespace qv
