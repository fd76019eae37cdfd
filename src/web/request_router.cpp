#include "web/request_router.h"

#include <array>
#include <filesystem>
#include <memory>
#include <system_error>

#include "http/content_stream.h"
#include "pages/page_text.h"
#include "pages/string_stream.h"
#include "platform/exception.h"
#include "web/http_page_request.h"

namespace qv {

namespace {

using TPageOperation = void (IConnection::*)(TStringStream&, TPageRequest&);

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

TRequestRouter::TRequestRouter(TAcquireFunction acquire, THtDocsFunction htDocs)
    : acquire_(std::move(acquire)), htDocs_(std::move(htDocs)) {}

TRequestRouter::TRequestRouter(TFixedConnectionPool& pool, THtDocsFunction htDocs)
    : TRequestRouter([&pool](TConnectionRef& connection) { pool.Acquire(connection); },
                     std::move(htDocs)) {}

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

  try {
    if (PathContains(ARequestInfo, "/LOGOFF")) {
      request.SetSessionValue(kLoggedInName, std::string(kLoggedInFalse));
    }
    if (PathContains(ARequestInfo, "/DOLOGIN")) {
      const std::string& address = ARequestInfo.RemoteIP;
      const std::string name = request.Param("uName");
      const auto now = TLogonThrottle::Clock::now();
      if (const int retryAfter = throttle_.RetryAfter(address, name, now)) {
        RefuseLogon(AResponseInfo, retryAfter);
        return;
      }
      acquire_(connection);
      connection->DoLogin(out, request);
      // A successful check empties the path.
      if (ARequestInfo.Document.empty())
        throttle_.Succeeded(address);
      else
        throttle_.Failed(address, name, now);
    }
    if (PathContains(ARequestInfo, "/IMAGE")) {
      image = true;
    } else if (PathContains(ARequestInfo, "/LOGON")) {
      acquire_(connection);
      connection->LogOnPage(out, request);
    } else if (!request.HasSession() || request.SessionValue(kLoggedInName) == kLoggedInFalse) {
      acquire_(connection);
      connection->MainMenuPage(out, request);
    } else {
      const TPageOperation page = LoggedInPage(ARequestInfo);
      acquire_(connection);
      ((*connection).*page)(out, request);
    }
  } catch (const Exception& error) {
    out.Clear();
    out.WriteString(error.Message());
  }

  if (image) {
    const std::string fileName = LogoFileName(htDocs_());
    std::error_code ignored;
    if (std::filesystem::is_regular_file(fileName, ignored)) {
      AResponseInfo.ContentStream = std::make_unique<TFileContentStream>(fileName);
    }
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
