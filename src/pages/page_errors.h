// Where a page reports a failure that does not end it (a side file it could
// not write). The service directs these to its error log.
#pragma once

#include <functional>
#include <string>

namespace qv {

using PageErrorHandler = std::function<void(const std::string& message)>;

// Replaces the handler (an empty one restores the default, which writes the
// message to standard error). Set it before pages run.
void SetPageErrorHandler(PageErrorHandler handler);
void ReportPageError(const std::string& message);

}  // namespace qv
