#include "http/failure_status.h"

namespace qv {

int FailureStatus(FailureKind kind) {
  switch (kind) {
    case FailureKind::ConnectionLost:
    case FailureKind::DatabaseDown:
    case FailureKind::LogonRefused:
    case FailureKind::NoFreeConnection:
    case FailureKind::TimedOut:
    case FailureKind::StoreUnavailable:
      return 503;
    case FailureKind::Internal:
    case FailureKind::BadRequest:
    case FailureKind::BadSetting:
    case FailureKind::ClientGone:
    case FailureKind::DatabaseRefused:
      break;
  }
  return 500;
}

}  // namespace qv
