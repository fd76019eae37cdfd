#include "pages/page_errors.h"

#include "platform/error_sink.h"

namespace qv {

namespace {

ErrorSink& PageErrors() {
  static ErrorSink sink;
  return sink;
}

}  // namespace

void SetPageErrorHandler(PageErrorHandler handler) { PageErrors().SetHandler(std::move(handler)); }

void ReportPageError(const std::string& message) { PageErrors().Report(message); }

}  // namespace qv
