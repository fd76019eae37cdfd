// The request router: each HTTP request to at most one page on a pooled module,
// the session's log-on flag, the logo, and failures sent as their message.
#pragma once

#include <atomic>
#include <chrono>
#include <functional>
#include <string>
#include <string_view>

#include "http/context.h"
#include "http/request_info.h"
#include "http/response_info.h"
#include "http/session.h"
#include "platform/exception.h"
#include "pool/connection.h"
#include "pool/fixed_connection_pool.h"
#include "web/logon_throttle.h"
#include "web/query_watchdog.h"

namespace qv {

// The session value that holds the log-on state, and its two texts.
inline constexpr std::string_view kLoggedInName = "LoggedIn";
inline constexpr std::string_view kLoggedInTrue = "True";
inline constexpr std::string_view kLoggedInFalse = "False";
// The one image of the system, in the document folder.
inline constexpr std::string_view kLogoFileName = "qv_logo_jpg.jpg";
// Seconds a visitor is asked to wait before trying again when the database is
// unavailable.
inline constexpr std::string_view kRetryAfterSeconds = "5";
// How long past the query time-out a cancelled page call may take to end
// before its connection is dropped, which ends it for certain.
inline constexpr std::chrono::milliseconds kCancelGrace{2000};

// The status a failed page is answered with: 503 when the database is
// unavailable (no attachment, a lost connection, no free module in time, a
// query time-out), 500 for any other failure.
int FailureStatus(FailureKind kind);

// A page that ended in an error, as its failure handler is told of it.
struct PageFailure {
  std::string remote_ip;
  std::string path;  // the document path as the visitor sent it
  int status = 0;    // the status the visitor was answered with
  FailureKind kind = FailureKind::Internal;
  std::string message;  // the answer's body
};

// Failed log-ons allowed per address and per name in a minute, unless set.
inline constexpr int kDefaultLogonFailures = 5;

class TRequestRouter {
 public:
  // Lends a module into the reference (emptying it first) or raises.
  using TAcquireFunction = std::function<void(TConnectionRef& connection)>;
  // The document folder as set now; called from several threads at once.
  using THtDocsFunction = std::function<std::string()>;
  // Told of every page that ended in an error, on the request's thread;
  // must not raise.
  using TPageFailureHandler = std::function<void(const PageFailure& failure)>;

  // Where modules come from and where dead ones go.
  struct TModuleSource {
    // Lends a module (see TFixedConnectionPool::Acquire); true when it was
    // connected for this call.
    std::function<bool(TConnectionRef& connection, TAcquireMode mode)> Acquire;
    // Closes the borrowed module instead of giving it back free.
    std::function<void(TConnectionRef& connection)> Discard;
  };

  // A page that fails because the connection is lost is run once more on a
  // fresh connection when its module was connected before the request.
  TRequestRouter(TModuleSource modules, THtDocsFunction htDocs);
  // Modules from acquire, all counted as connected before; dead ones are dropped.
  TRequestRouter(TAcquireFunction acquire, THtDocsFunction htDocs);
  TRequestRouter(TFixedConnectionPool& pool, THtDocsFunction htDocs);

  // A page call running longer is cancelled, and its connection dropped
  // kCancelGrace after that; its visitor is answered 503. Zero: no limit (the
  // default).
  void SetQueryTimeout(std::chrono::milliseconds timeout) { queryTimeout_ = timeout.count(); }
  std::chrono::milliseconds QueryTimeout() const {
    return std::chrono::milliseconds(queryTimeout_.load());
  }
  // A stop: page calls still running, or starting from now on, have their
  // connections dropped, so their visitors are answered 503 at once.
  // ResumeWaiting undoes it.
  void StopWaiting() { watchdog_.AbortAll(); }
  void ResumeWaiting() { watchdog_.Resume(); }
  // Where a cancel or a drop that failed is told (set before the server
  // serves); standard error until then.
  void SetOnCancelFailure(TQueryWatchdog::CancelFailureHandler handler) {
    watchdog_.SetOnCancelFailure(std::move(handler));
  }
  // Set before the server serves.
  void SetOnPageFailure(TPageFailureHandler handler) { onPageFailure_ = std::move(handler); }

  // The server's OnCommandGet. Without a session (sessions switched off) the
  // visitor counts as logged out and the log-on state is not kept.
  void Server1CommandGet(TIdContext* AContext, TIdHTTPRequestInfo& ARequestInfo,
                         TIdHTTPResponseInfo& AResponseInfo);
  // The server's OnSessionStart: every new session starts logged out.
  void Server1SessionStart(TIdHTTPSession& Sender);

  // Failed log-ons allowed per address and per name in a minute (0: no limit).
  void SetLogonFailures(int limit) { throttle_.SetLimit(limit); }
  TLogonThrottle& LogonThrottle() { return throttle_; }

  // The logo's file name: htDocs, a "/" unless it ends in one, and the logo's name.
  static std::string LogoFileName(const std::string& htDocs);

 private:
  using TPageOperation = void (IConnection::*)(TStringStream&, TPageRequest&);

  // Acquires a module into connection and runs one page operation on it, once
  // more on a fresh connection when the module turns out to be dead.
  void RunPage(TPageOperation page, TConnectionRef& connection, TStringStream& out,
               TIdHTTPRequestInfo& request);
  // The page call itself, on this thread, watched for the query time-out.
  void CallPage(TPageOperation page, TConnectionRef& connection, TStringStream& out,
                TIdHTTPRequestInfo& request);

  TModuleSource modules_;
  THtDocsFunction htDocs_;
  TLogonThrottle throttle_{kDefaultLogonFailures};
  std::atomic<int64_t> queryTimeout_{0};
  TPageFailureHandler onPageFailure_;
  TQueryWatchdog watchdog_{kCancelGrace};
};

}  // namespace qv
