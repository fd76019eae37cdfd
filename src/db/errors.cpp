// The client-library error: its status vector and the codes that mean the
// attachment is gone.
#include "db/errors.h"

#include <utility>

namespace qv {

bool IsLostConnectionCode(intptr_t code) {
  switch (code) {
    case 335544324:  // invalid database handle
    case 335544375:  // unavailable database
    case 335544421:  // connection rejected by remote interface
    case 335544506:  // database shutdown in progress
    case 335544528:  // database shutdown
    case 335544648:  // connection lost to pipe server
    case 335544704:  // failed to locate host machine
    case 335544719:  // error initializing the network software
    case 335544721:  // unable to complete network request
    case 335544722:  // failed to establish a connection
    case 335544723:  // error while listening for an incoming connection
    case 335544724:  // failed to establish a secondary connection for event processing
    case 335544725:  // error while listening for an incoming event connection request
    case 335544726:  // error reading data from the connection
    case 335544727:  // error writing data to the connection
    case 335544741:  // connection lost to database
    case 335544856:  // connection shutdown
    case 335544971:  // network server shut down
    case 335544975:  // timeout while waiting for a secondary connection for event processing
      return true;
    default:
      return false;
  }
}

DbStatusError::DbStatusError(std::string message, std::vector<intptr_t> status, int32_t sql_code,
                           std::string sql)
    : DbError(std::move(message), FailureKind::DatabaseRefused),
      status_(std::move(status)),
      sql_code_(sql_code),
      sql_(std::move(sql)) {
  if (status_.size() >= 2 && status_[0] == 1) err_code_ = static_cast<int32_t>(status_[1]);
  DecideKind();
}

void DbStatusError::SetAttachFailed() {
  attach_failed_ = true;
  DecideKind();
}

bool DbStatusError::IsConnectionLost() const {
  // Walk the vector by argument type and test every GDS code in it.
  for (size_t i = 0; i + 1 < status_.size();) {
    intptr_t type = status_[i];
    if (type == 0) break;
    if (type == 1 && IsLostConnectionCode(status_[i + 1])) return true;
    i += (type == 3) ? 3 : 2;  // a counted string takes two slots
  }
  return false;
}

bool DbStatusError::IsCancelled() const { return HasCode(kIscCancelled); }

bool DbStatusError::HasCode(intptr_t code) const {
  for (size_t i = 0; i + 1 < status_.size();) {
    intptr_t type = status_[i];
    if (type == 0) break;
    if (type == 1 && status_[i + 1] == code) return true;
    i += (type == 3) ? 3 : 2;
  }
  return false;
}

void DbStatusError::DecideKind() {
  if (IsConnectionLost()) {
    SetKind(FailureKind::ConnectionLost);
  } else if (attach_failed_) {
    SetKind(HasCode(kIscLogin) ? FailureKind::LogonRefused : FailureKind::DatabaseDown);
  } else if (IsCancelled()) {
    SetKind(FailureKind::TimedOut);
  } else {
    SetKind(FailureKind::DatabaseRefused);
  }
}

}  // namespace qv
