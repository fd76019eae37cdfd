// The client-library error: its status vector and the codes that mean the
// attachment is gone.
#include "db/errors.h"

#include <utility>

namespace qv {
namespace {

bool IsLostConnectionCode(intptr_t code) {
  switch (code) {
    case 335544324:  // invalid database handle
    case 335544528:  // database shutdown
    case 335544648:  // connection lost to pipe server
    case 335544721:  // unable to complete network request
    case 335544722:  // failed to establish a connection
    case 335544726:  // error reading data from the connection
    case 335544727:  // error writing data to the connection
    case 335544741:  // connection lost to database
    case 335544856:  // connection shutdown
      return true;
    default:
      return false;
  }
}

}  // namespace

EIB_ISCError::EIB_ISCError(std::string message, std::vector<intptr_t> status, int32_t sqlCode,
                           std::string sql)
    : EIB_Error(std::move(message)),
      status_(std::move(status)),
      sqlCode_(sqlCode),
      sql_(std::move(sql)) {
  if (status_.size() >= 2 && status_[0] == 1) errCode_ = static_cast<int32_t>(status_[1]);
}

bool EIB_ISCError::IsConnectionLost() const {
  // Walk the vector by argument type and test every GDS code in it.
  for (size_t i = 0; i + 1 < status_.size();) {
    intptr_t type = status_[i];
    if (type == 0) break;
    if (type == 1 && IsLostConnectionCode(status_[i + 1])) return true;
    i += (type == 3) ? 3 : 2;  // a counted string takes two slots
  }
  return false;
}

}  // namespace qv
