#include "web/request_router.h"

#include <array>
#include <memory>
#include <system_error>

#include "db/client_library.h"
#include "db/errors.h"
#include "http/content_stream.h"
#include "pages/page_text.h"
#include "pages/string_stream.h"
#include "platform/exception.h"
#include "web/http_page_request.h"

namespace qv {

namespace {

using TPageOperation = void (IConnection::*)(TStringStream&, TPageRequest&);

// A failure after which the connection it happened on is not lent again:
// the attachment is gone or may be, or a cancel may still reach it.
bool DropsConnection(FailureKind kind) {
  switch (kind) {
    case FailureKind::ConnectionLost:
    case FailureKind::DatabaseDown:
    case FailureKind::LogonRefused:
    case FailureKind::TimedOut:
      return true;
    default:
      return false;
  }
}

// A call that did not end although it was cancelled: the same failure as one
// the cancel ended.
[[noreturn]] void RaiseCancelled() {
  const ISC_STATUS status[] = {isc_arg_gds, kIscCancelled, isc_arg_end};
  RaiseIscError(status);
}

struct TPageRoute {
  std::string_view keyword;
  TPageOperation operation;
};

// The routed pages: those with a rank in the list of page operations.
constexpr size_t kRoutedPages = 0
#define QV_PAGE_OPERATION(name, keyword, rank) +((rank) > 0 ? 1 : 0)
#include "pages/page_operations.inc"
#undef QV_PAGE_OPERATION
    ;

// For a logged-on visitor, after the empty path and "/": the keywords in the
// order of their ranks; the first one found wins.
constexpr std::array<TPageRoute, kRoutedPages> kPageRoutes = [] {
  std::array<TPageRoute, kRoutedPages> routes{};
#define QV_PAGE_OPERATION(name, keyword, rank) \
  if ((rank) > 0) routes[(rank) - 1] = TPageRoute{keyword, &IConnection::name};
#include "pages/page_operations.inc"
#undef QV_PAGE_OPERATION
  return routes;
}();

constexpr bool EveryRankOnce() {
  for (const TPageRoute& route : kPageRoutes) {
    if (route.keyword.empty() || route.operation == nullptr) return false;
  }
  return true;
}
static_assert(EveryRankOnce(), "the ranks of the routed pages run from 1 without a gap");

// The document path read afresh and upper-cased: the log-on check may empty it.
bool PathContains(const TIdHTTPRequestInfo& request, std::string_view keyword) {
  return UpperCaseAscii(request.Document).find(keyword) != std::string::npos;
}

TPageOperation LoggedInPage(const TIdHTTPRequestInfo& request) {
  const std::string path = UpperCaseAscii(request.Document);
  if (path.empty() || path == "/") return &IConnection::MainMenuPage;
  for (const TPageRoute& route : kPageRoutes) {
    if (path.find(route.keyword) != std::string::npos) return route.operation;
  }
  return &IConnection::UnderConstructionPage;
}

// The answer to a log-on attempt refused by the throttle; the database is not asked.
void RefuseLogon(TIdHTTPResponseInfo& response, int retryAfter) {
  response.ResponseNo = 429;
  response.ResponseText = "Too Many Requests";
  response.CustomHeaders.SetValue("Retry-After", std::to_string(retryAfter));
  response.ContentText = "Too many failed log-ons; try again in " + std::to_string(retryAfter) +
                         " seconds.\r\n";
}

}  // namespace

int FailureStatus(FailureKind kind) {
  switch (kind) {
    case FailureKind::ConnectionLost:
    case FailureKind::DatabaseDown:
    case FailureKind::LogonRefused:
    case FailureKind::NoFreeConnection:
    case FailureKind::TimedOut:
      return 503;
    default:
      return 500;
  }
}

TRequestRouter::TRequestRouter(TModuleSource modules, THtDocsFunction htDocs)
    : modules_(std::move(modules)), htDocs_(std::move(htDocs)) {}

TRequestRouter::TRequestRouter(TAcquireFunction acquire, THtDocsFunction htDocs)
    : TRequestRouter(TModuleSource{[acquire = std::move(acquire)](TConnectionRef& connection,
                                                                  TAcquireMode) {
                                     acquire(connection);
                                     return false;
                                   },
                                   [](TConnectionRef& connection) { connection.Reset(); }},
                     std::move(htDocs)) {}

TRequestRouter::TRequestRouter(TFixedConnectionPool& pool, THtDocsFunction htDocs)
    : TRequestRouter(
          TModuleSource{[&pool](TConnectionRef& connection, TAcquireMode mode) {
                          return pool.Acquire(connection, mode);
                        },
                        [&pool](TConnectionRef& connection) { pool.Discard(connection); }},
          std::move(htDocs)) {}

void TRequestRouter::RunPage(TPageOperation page, TConnectionRef& connection, TStringStream& out,
                             TIdHTTPRequestInfo& request) {
  bool fresh = modules_.Acquire(connection, TAcquireMode::amAny);
  for (;;) {
    try {
      CallPage(page, connection, out, request);
      return;
    } catch (const Exception& error) {
      // A dead or cancelled attachment is not given back for others to use.
      // (An abandoned call keeps its module and closes it itself.)
      if (DropsConnection(error.Kind()) && connection) modules_.Discard(connection);
      // Pages are read only and built in memory before anything is sent, so
      // a second run is safe; a connection made just now gets no second one.
      if (error.Kind() != FailureKind::ConnectionLost || fresh) throw;
    }
    out.Clear();
    modules_.Acquire(connection, TAcquireMode::amFreshConnection);
    fresh = true;
  }
}

void TRequestRouter::CallPage(TPageOperation page, TConnectionRef& connection, TStringStream& out,
                              TIdHTTPRequestInfo& request) {
  THttpPageRequest pageRequest(request);
  // The cancel takes a reference of its own when it fires (the call holds the
  // module then), so a module it may still reach is never lent to anyone else.
  const uint64_t watch =
      watchdog_.Watch(QueryTimeout(), [held = connection.Get()](bool abort) {
        return [module = TConnectionRef(held), abort] {
          if (module->DatabaseConnection().CancelOperation(abort)) return;
          throw Exception(
              abort ? "Could not drop the database connection of a page call that runs too long"
                    : "Could not ask the database to cancel a page call past its query time-out");
        };
      });
  try {
    ((*connection).*page)(out, pageRequest);
  } catch (...) {
    // Whatever the call raised after its time-out: the time-out is the failure.
    if (watchdog_.Unwatch(watch)) RaiseCancelled();
    throw;
  }
  // A call that ended just as it was cancelled keeps its page, but its module
  // may yet be reached by the cancel: it is not lent again.
  if (watchdog_.Unwatch(watch)) modules_.Discard(connection);
}

void TRequestRouter::Server1SessionStart(TIdHTTPSession& Sender) {
  // The session is not visible to other requests yet.
  Sender.Content().SetValue(kLoggedInName, kLoggedInFalse);
}

void TRequestRouter::Server1CommandGet(TIdContext*, TIdHTTPRequestInfo& ARequestInfo,
                                       TIdHTTPResponseInfo& AResponseInfo) {
  THttpPageRequest request(ARequestInfo);
  TStringStream out;
  bool image = false;
  TConnectionRef connection;  // given back to the pool however this ends
  const std::string path = ARequestInfo.Document;  // the log-on check may empty it

  try {
    if (PathContains(ARequestInfo, "/LOGOFF")) {
      request.SetSessionValue(kLoggedInName, std::string(kLoggedInFalse));
    }
    if (PathContains(ARequestInfo, "/DOLOGIN")) {
      const std::string& address = ARequestInfo.RemoteIP;
      const std::string name = request.Param("uName");
      // The attempt counts before the database is asked, so simultaneous
      // attempts cannot pass the limit together. A check that fails with an
      // error gives its place back.
      TLogonThrottle::Reservation attempt = throttle_.Reserve(address, name, TLogonThrottle::Clock::now());
      if (!attempt.Granted()) {
        RefuseLogon(AResponseInfo, attempt.RetryAfter());
        return;
      }
      RunPage(&IConnection::DoLogin, connection, out, ARequestInfo);
      // A successful check empties the path.
      if (ARequestInfo.Document.empty())
        attempt.Succeeded();
      else
        attempt.Failed();
    }
    if (PathContains(ARequestInfo, "/IMAGE")) {
      image = true;
    } else if (PathContains(ARequestInfo, "/LOGON")) {
      RunPage(&IConnection::LogOnPage, connection, out, ARequestInfo);
    } else if (!request.HasSession() || request.SessionValue(kLoggedInName) == kLoggedInFalse) {
      RunPage(&IConnection::MainMenuPage, connection, out, ARequestInfo);
    } else {
      RunPage(LoggedInPage(ARequestInfo), connection, out, ARequestInfo);
    }
  } catch (const Exception& error) {
    // The body stays the message alone; the status says what kind of failure it was.
    const int status = FailureStatus(error.Kind());
    out.Clear();
    out.WriteString(error.Message());
    AResponseInfo.SetResponseNo(status);
    if (status == 503) AResponseInfo.CustomHeaders.SetValue("Retry-After", kRetryAfterSeconds);
    // The handler must not raise: the visitor's answer is made already.
    if (onPageFailure_)
      onPageFailure_(PageFailure{ARequestInfo.RemoteIP, path, status, error.Kind(), error.Message()});
  }

  if (image) {
    AResponseInfo.ContentStream = TFileContentStream::OpenRegular(LogoFileName(htDocs_()));
  } else {
    AResponseInfo.ContentText = out.TakeDataString();
  }
}

std::string TRequestRouter::LogoFileName(const std::string& htDocs) {
  std::string fileName = htDocs;
  if (fileName.empty() || fileName.back() != '/') fileName += '/';
  fileName += kLogoFileName;
  return fileName;
}

}  // namespace qv
