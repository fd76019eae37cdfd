#include "service/qv_web_service.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <thread>

#include "pages/page_errors.h"
#include "platform/profile.h"
#include "service/open_files_limit.h"
#include "service/service_settings.h"

namespace qv {

TqvWebService::TqvWebService(TServiceHost host, std::string iniPath)
    : TService(kServiceName, kServiceDisplayName, std::move(host)),
      iniPath_(iniPath.empty() ? ExecutableIniPath() : std::move(iniPath)),
      errorLog_([this](const std::string& line) { Host().Logger.LogMessage(line); }),
      router_(TRequestRouter::TModuleSource{
                  [this](TConnectionRef& connection, TAcquireMode mode) {
                    return Acquire(connection, mode);
                  },
                  [this](TConnectionRef& connection) { Discard(connection); }},
              [this] { return HtDocs(); }) {
  router_.SetOnPageFailure([this](const std::string& remoteIp, const std::string& path,
                                  int status, const std::string& message) {
    errorLog_.PageFailed(remoteIp, path, status, message);
  });
  // A page's side failures (a query file it could not write) go to the same log.
  SetPageErrorHandler([this](const std::string& message) { Host().Logger.LogMessage(message); });
  Server1.SetSessionState(true);
  Server1.SetAutoStartSession(true);
  Server1.SetSessionTimeOut(600000);
  Server1.SetDefaultPort(80);
  Server1.OnCommandGet = [this](TIdContext* context, TIdHTTPRequestInfo& request,
                                TIdHTTPResponseInfo& response) {
    router_.Server1CommandGet(context, request, response);
  };
  Server1.OnSessionStart = [this](TIdHTTPSession& session) {
    router_.Server1SessionStart(session);
  };
  Server1.OnSessionStoreError = [this](const std::string& message) { LogMessage(message); };
  // Accepting or starting a thread failed (reported once per shortage).
  Server1.OnListenException = [this](const std::exception& e) { LogMessage(e.what()); };
  // When the session list is full, a visitor who is not logged on goes first.
  Server1.OnSessionExpendable = [](const TIdHTTPSession& session) {
    return session.ContentValue(kLoggedInName) == kLoggedInFalse;
  };
}

TqvWebService::~TqvWebService() {
  SetPageErrorHandler({});
  ShutdownServiceThread();
  try {
    Server1.SetActive(false);
  } catch (...) {
  }
}

void TqvWebService::ServiceCreate() {
  // Connections cost descriptors, not threads: take every one the system allows.
  RaiseOpenFilesLimit();
  pool_ = std::make_unique<TFixedConnectionPool>(5, 5, 10000);
  ReadSettings();
}

void TqvWebService::ReadSettings() {
  const TServiceSettings settings = ReadServiceSettings(iniPath_);
  {
    std::lock_guard<std::mutex> guard(htDocsLock_);
    htDocs_ = settings.HtDocs;
  }
  router_.SetLogonFailures(settings.LogonFailures);
  // The server reads these when it is activated; a running server keeps the
  // values it was started with.
  if (!Server1.Active()) {
    Server1.SetSessionTimeOut(settings.SessionTimeOut);
    Server1.SetDefaultPort(settings.Port);
    Server1.SetReadTimeout(settings.ReadTimeout);
    Server1.SetTrustedProxies(settings.TrustedProxies);
    Server1.SetSessionStore(settings.SessionStore
                                ? std::make_shared<TRedisSessionStore>(*settings.SessionStore)
                                : nullptr);
    Server1.SetWorkers(settings.Workers);
    Server1.SetMaxConnectionsPerAddress(settings.MaxConnectionsPerAddress);
    Server1.SetRequestTimeout(settings.RequestTimeout);
    Server1.SetMaxSessions(static_cast<size_t>(settings.MaxSessions));
    Server1.SetListenQueue(settings.ListenQueue);
    Server1.SetKeepAlive(settings.KeepAlive);
    Server1.SetKeepAliveByDefault(settings.KeepAlive);
    Server1.SetKeepAliveTimeout(settings.KeepAliveTimeout);
  }
  Server1.SetStopTimeout(settings.StopTimeoutSeconds * 1000);
  router_.SetQueryTimeout(std::chrono::seconds(settings.QueryTimeoutSeconds));
  if (settings.Start) Server1.SetActive(true);
}

std::string TqvWebService::HtDocs() const {
  std::lock_guard<std::mutex> guard(htDocsLock_);
  return htDocs_;
}

void TqvWebService::ServiceStart(bool& Started) {
  ReadSettings();
  if (pool_) pool_->Reopen();
  router_.ResumeWaiting();
  Server1.SetActive(true);
  (void)Started;
}

void TqvWebService::ServiceStop(bool& Stopped) {
  // Nobody waits for a module any more: waiting visitors are answered 503.
  if (pool_) pool_->Close();
  // A second before the drain limit, page calls still running (a hung
  // database) are given up, so their visitors get a 503 before the engine
  // would have to cut them off.
  const auto limit = std::chrono::milliseconds(Server1.StopTimeout());
  const auto giveUpAfter = limit - std::min<std::chrono::milliseconds>(limit / 2, std::chrono::seconds(1));
  std::mutex doneLock;
  std::condition_variable doneSignal;
  bool done = false;
  std::thread watchdog([&] {
    std::unique_lock guard(doneLock);
    if (!doneSignal.wait_for(guard, giveUpAfter, [&] { return done; })) router_.StopWaiting();
  });
  try {
    Server1.SetActive(false);
  } catch (...) {
  }
  {
    std::lock_guard guard(doneLock);
    done = true;
  }
  doneSignal.notify_all();
  watchdog.join();
  errorLog_.Flush(true);  // counts of messages still held back
  (void)Stopped;
}

bool TqvWebService::Acquire(TConnectionRef& connection, TAcquireMode mode) {
  // Without a pool (its creation failed) no page can be served.
  if (!pool_) throw Exception("The connection pool could not be created");
  return pool_->Acquire(connection, mode);
}

void TqvWebService::Discard(TConnectionRef& connection) {
  if (pool_) {
    pool_->Discard(connection);
  } else {
    connection.Reset();
  }
}

}  // namespace qv
