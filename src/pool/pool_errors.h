// Where the pool reports a failure it does not let pass: a setting a new
// session cannot take, or a failure while a session closes. The service
// directs these to its log.
#pragma once

#include <functional>
#include <string>

namespace qv {

using PoolErrorHandler = std::function<void(const std::string& message)>;

// Replaces the handler (an empty one restores the default, which writes the
// message to standard error). Set it before the first pool is used.
void SetPoolErrorHandler(PoolErrorHandler handler);
void ReportPoolError(const std::string& message);

}  // namespace qv
