// The status a request that failed is answered with, from the kind of its
// failure alone: the one table from failure to status.
#pragma once

#include "platform/exception.h"

namespace qv {

// 503 when what the answer needs is unavailable for a while (the database,
// a pooled connection in time, a query past its time-out, the session
// store); 500 for any other failure. A ClientGone failure is never answered:
// its connection just ends.
int FailureStatus(FailureKind kind);

}  // namespace qv
