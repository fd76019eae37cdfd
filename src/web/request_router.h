// The request router: each HTTP request to at most one page of the page table,
// run on a database session borrowed from the pool; the session's log-on flag,
// the logo, and failures sent as their message.
#pragma once

#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <string_view>

#include "http/context.h"
#include "http/failure_status.h"
#include "http/request_info.h"
#include "http/response_info.h"
#include "pages/logon_state.h"
#include "pages/page_context.h"
#include "pages/page_table.h"
#include "pages/string_stream.h"
#include "platform/clock.h"
#include "platform/error_sink.h"
#include "platform/exception.h"
#include "pool/fixed_connection_pool.h"
#include "pool/pool_lease.h"
#include "sessions/session.h"
#include "web/answer_format.h"
#include "web/export_places.h"
#include "web/http_page_request.h"
#include "web/logon_event.h"
#include "web/logon_throttle.h"
#include "web/path_routes.h"
#include "web/query_watchdog.h"

namespace qv {

// The session value that holds the logged-on visitor's user name, as typed
// at the log-on (blanks and control characters around it removed).
inline constexpr std::string_view kUserNameName = "UserName";
// What the pages' bytes are (their head says the same) and what the logo is.
inline constexpr std::string_view kPageContentType = "text/html; charset=ISO-8859-1";
inline constexpr std::string_view kLogoContentType = "image/jpeg";
// The one image of the system, in the document folder.
inline constexpr std::string_view kLogoFileName = "qv_logo_jpg.jpg";
// Seconds a visitor is asked to wait before trying again when the database is
// unavailable.
inline constexpr std::string_view kRetryAfterSeconds = "5";
// How long past the query time-out a cancelled page call may take to end
// before its connection is dropped, which ends it for certain.
inline constexpr std::chrono::milliseconds kCancelGrace{2000};

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

// CSV exports running at once. Each holds one of the pool's five database
// sessions until its client has taken the last row: the rest stay for pages.
inline constexpr int kCsvExportsAtOnce = 2;

class RequestRouter {
 public:
  // Lends a session into the lease (ending it first; see
  // ConnectionPool::Acquire) or raises; true when it was connected for
  // this call.
  using SessionSource = std::function<bool(PoolLease& lease, AcquireMode mode)>;
  // The document folder as set now; called from several threads at once.
  using HtDocsFunction = std::function<std::string()>;
  // Told of every page that ended in an error, on the request's thread;
  // must not raise.
  using PageFailureHandler = std::function<void(const PageFailure& failure)>;
  // Told of every log-on, failed log-on and log-off, on the request's
  // thread; must not raise.
  using LogonEventHandler = std::function<void(const LogonEvent& event)>;

  // Pages from `pages` (which must outlive the router), run on sessions from
  // `sessions` and shown with `clock`; what a page reports without failing
  // goes to `errors` (which must outlive the router). A page that fails because the
  // connection is lost is run once more on a fresh connection when its session
  // was connected before the request; a session whose connection is dead or
  // cancelled is discarded, not given back.
  RequestRouter(SessionSource sessions, HtDocsFunction ht_docs, ErrorSink& errors,
                 std::span<const PageEntry> pages = PageTable(),
                 const Clock& clock = SystemClock::Instance());
  // Sessions from the pool; pages report to the pool's sink.
  RequestRouter(ConnectionPool& pool, HtDocsFunction ht_docs);

  // A page call running longer is cancelled, and its connection dropped
  // kCancelGrace after that; its visitor is answered 503. Zero: no limit (the
  // default).
  void SetQueryTimeout(std::chrono::milliseconds timeout) { query_timeout_ = timeout.count(); }
  std::chrono::milliseconds QueryTimeout() const {
    return std::chrono::milliseconds(query_timeout_.load());
  }
  // A stop: page calls still running, or starting from now on, have their
  // connections dropped, so their visitors are answered 503 at once.
  // ResumeWaiting undoes it.
  void StopWaiting() { watchdog_.AbortAll(); }
  void ResumeWaiting() { watchdog_.Resume(); }
  // Where a cancel or a drop that failed is told (set before the server
  // serves); standard error until then.
  void SetOnCancelFailure(QueryWatchdog::CancelFailureHandler handler) {
    watchdog_.SetOnCancelFailure(std::move(handler));
  }
  // Set before the server serves.
  void SetOnPageFailure(PageFailureHandler handler) { on_page_failure_ = std::move(handler); }
  void SetOnLogonEvent(LogonEventHandler handler) { on_logon_event_ = std::move(handler); }

  // The server's OnCommandGet. Without a session (sessions switched off) the
  // visitor counts as logged out and the log-on state is not kept. A log-on
  // and a log-off ask the engine for a new session identifier. Every answer
  // says what its body is and that no other site may frame it; one that
  // concerns a logged-on visitor, a log-on or a log-off is kept by no cache.
  // Returns the route the request's path took, for the request metrics.
  PathRoute HandleRequest(ConnectionContext* context, Request& request_info,
                              Response& response_info);
  // The server's OnSessionStart: every new session starts logged out.
  void StartSession(Session& Sender);

  // Failed log-ons allowed per address and per name in a minute (0: no limit).
  void SetLogonFailures(int limit) { throttle_.SetLimit(limit); }
  qv::LogonThrottle& LogonThrottle() { return throttle_; }

  // The routes of the router's page table (the request metrics count by their labels).
  const PathRoutes& Routes() const { return routes_; }

  // The logo's file name: ht_docs, a "/" unless it ends in one, and the logo's name.
  static std::string LogoFileName(const std::string& ht_docs);

 private:
  // Borrows a session into the lease and runs the page on it, once more on a
  // fresh connection when the session turns out to be dead. Returns what the
  // log-on check found (false for other pages).
  // `call`, when given, says the format the page writes and is told how
  // its data answer ended.
  // `run`, when set, is run in place of the page's handler; `session` is
  // the session it ran on, kept alive for what it left open on it.
  struct DataCall {
    PageFormat format = PageFormat::kJson;
    std::function<void(PageContext&)> run;
    std::shared_ptr<DatabaseSession> session;
    PageOutcome outcome = PageOutcome::kShown;
    std::string detail;
  };
  bool ServePage(const PageEntry& page, PoolLease& lease, PageStream& out,
                 Request& request, DataCall* call = nullptr);
  // The page run itself, on this thread, watched for the query time-out.
  bool CallPage(const PageEntry& page, PoolLease& lease, PageStream& out,
                Request& request, DataCall* call);
  // The log-on check, behind the throttle; refused by it, the answer is made.
  enum class LogOnOutcome { kRefused, kLoggedOn, kFailed };
  LogOnOutcome CheckLogOn(HttpPageRequest& request, Request& request_info, Response& response,
                          PoolLease& lease, PageStream& out);
  // Starts the property list's CSV on a borrowed session: the statement and
  // its first chunk here (a failure raised), the rest as the engine reads
  // the answer's stream, which holds the lease until then.
  void StartCsv(const PageEntry& page, PoolLease& lease, Request& request_info,
                Response& response, ExportPlace place);
  void Tell(LogonEvent::Kind kind, std::string name, const Request& request) const;

  SessionSource sessions_;
  HtDocsFunction ht_docs_;
  ErrorSink& errors_;
  PathRoutes routes_;
  const Clock& clock_;
  qv::LogonThrottle throttle_{kDefaultLogonFailures};
  std::atomic<int64_t> query_timeout_{0};
  PageFailureHandler on_page_failure_;
  LogonEventHandler on_logon_event_;
  QueryWatchdog watchdog_{kCancelGrace};
  ExportPlaces csv_exports_{kCsvExportsAtOnce};
};

}  // namespace qv
