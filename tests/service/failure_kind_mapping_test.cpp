// Each failure as it is raised carries its kind, and the kind alone decides
// the status a visitor gets and the label the failure is counted under.
#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "db/errors.h"
#include "http/exceptions.h"
#include "http/failure_status.h"
#include "platform/exception.h"
#include "pool/fixed_connection_pool.h"
#include "service/metrics.h"
#include "service/os_error.h"
#include "sessions/session_store.h"
#include "web/request_router.h"

namespace qv {
namespace {

// A client-library failure with one GDS code, as the layer raises it.
DbStatusError ClientFailure(intptr_t code, bool attach) {
  DbStatusError error("ISC ERROR CODE:" + std::to_string(code) + "\r\n", {1, code, 0}, 0, "");
  if (attach) error.SetAttachFailed();
  return error;
}

// The lines of the failure counter that are not 0.
std::string CountedFailures(const std::string& text) {
  std::string counted;
  for (size_t at = text.find("qvweb_database_errors_total{"); at != std::string::npos;
       at = text.find("qvweb_database_errors_total{", at + 1)) {
    const std::string line = text.substr(at, text.find('\n', at) + 1 - at);
    if (line.find("} 0\n") == std::string::npos) counted += line;
  }
  return counted;
}

TEST(FailureKindMappingTest, EachFailureHasItsKindStatusAndLabel) {
  struct Case {
    const char* name;
    std::function<void()> raise;
    FailureKind kind;
    int status;
    const char* label;
  };
  const Case cases[] = {
      {"statement refused", [] { throw ClientFailure(335544569, false); },
       FailureKind::DatabaseRefused, 500, "database"},
      {"attachment lost", [] { throw ClientFailure(335544726, false); },
       FailureKind::ConnectionLost, 503, "connection_lost"},
      {"server unreachable at the attach", [] { throw ClientFailure(335544721, true); },
       FailureKind::ConnectionLost, 503, "connection_lost"},
      {"user and password refused", [] { throw ClientFailure(kIscLogin, true); },
       FailureKind::LogonRefused, 503, "login"},
      {"no such database", [] { throw ClientFailure(335544344, true); },
       FailureKind::DatabaseDown, 503, "database"},
      {"query cancelled at its time-out", [] { throw ClientFailure(kIscCancelled, false); },
       FailureKind::TimedOut, 503, "database"},
      {"no free pooled connection", [] { throw PoolTimeout(); },
       FailureKind::NoFreeConnection, 503, "pool_timeout"},
      {"database layer misused", [] { throw DbError("Cannot change while connected"); },
       FailureKind::Internal, 500, "other"},
      {"column not a number", [] { throw DbConversionError("not a number"); },
       FailureKind::Internal, 500, "other"},
      {"system call failed", [] { throw OsError(13, "Permission denied"); },
       FailureKind::Internal, 500, "other"},
      {"session store down", [] { throw SessionStoreUnavailable("Session store: down"); },
       FailureKind::StoreUnavailable, 503, "other"},
      {"client went away", [] { throw ConnectionClosed(); }, FailureKind::ClientGone, 500,
       "other"},
      {"malformed request", [] { throw BadRequestLine(); },
       FailureKind::BadRequest, 500, "other"},
      {"a page's own failure", [] { throw Exception("Cannot create file"); },
       FailureKind::Internal, 500, "other"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    try {
      c.raise();
      FAIL() << "nothing raised";
    } catch (const Exception& error) {
      EXPECT_EQ(error.Kind(), c.kind);
      EXPECT_EQ(FailureStatus(error.Kind()), c.status);
      EXPECT_EQ(FailureLabel(error.Kind()), c.label);
      // The counter of that label moves, and no other.
      ServerMetrics metrics({"main"});
      metrics.CountFailure(error.Kind());
      EXPECT_EQ(CountedFailures(metrics.Text({})),
                "qvweb_database_errors_total{kind=\"" + std::string(c.label) + "\"} 1\n");
    }
  }
}

}  // namespace
}  // namespace qv
