// The request router: each HTTP request to at most one page on a pooled module,
// the session's log-on flag, the logo, and failures sent as their message.
#pragma once

#include <functional>
#include <string>
#include <string_view>

#include "http/context.h"
#include "http/request_info.h"
#include "http/response_info.h"
#include "http/session.h"
#include "pool/connection.h"
#include "pool/fixed_connection_pool.h"
#include "web/logon_throttle.h"

namespace qv {

// The session value that holds the log-on state, and its two texts.
inline constexpr std::string_view kLoggedInName = "LoggedIn";
inline constexpr std::string_view kLoggedInTrue = "True";
inline constexpr std::string_view kLoggedInFalse = "False";
// The one image of the system, in the document folder.
inline constexpr std::string_view kLogoFileName = "qv_logo_jpg.jpg";

// Failed log-ons allowed per address and per name in a minute, unless set.
inline constexpr int kDefaultLogonFailures = 5;

class TRequestRouter {
 public:
  // Lends a module into the reference (emptying it first) or raises.
  using TAcquireFunction = std::function<void(TConnectionRef& connection)>;
  // The document folder as set now; called from several threads at once.
  using THtDocsFunction = std::function<std::string()>;

  TRequestRouter(TAcquireFunction acquire, THtDocsFunction htDocs);
  TRequestRouter(TFixedConnectionPool& pool, THtDocsFunction htDocs);

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
  TAcquireFunction acquire_;
  THtDocsFunction htDocs_;
  TLogonThrottle throttle_{kDefaultLogonFailures};
};

}  // namespace qv
