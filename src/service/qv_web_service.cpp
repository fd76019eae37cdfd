#include "service/qv_web_service.h"

#include <arpa/inet.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <thread>

#include "db/database_session.h"
#include "pages/page_errors.h"
#include "pages/page_table.h"
#include "platform/profile.h"
#include "pool/session_settings.h"
#include "service/counting_session_store.h"
#include "service/open_files_limit.h"
#include "service/program_log.h"
#include "service/database_probe.h"
#include "service/service_settings.h"
#include "service/settings_changes.h"
#include "service/settings_check.h"
#include "service/version.h"

namespace qv {

namespace {

// The label the router found for the request this thread answers, kept from
// the router's call to the answer's metrics so a path is classified once. A
// request the router never saw (refused before, another method, or one whose
// handler raised) finds none here. The label follows from the path alone, so
// one kept for an earlier request of the same path is as good.
struct RoutedRequest {
  const TIdHTTPRequestInfo* request = nullptr;
  std::string document;  // the path the label was found for
  size_t label = 0;
};
thread_local RoutedRequest routedRequest;

// Stops the admin port, then the server, the second whatever the first did;
// a failure of either is logged.
void StopListeners(TAdminServer& admin, TIdHTTPServer& server, const TEventLogger& logger) {
  try {
    admin.Stop();
  } catch (const std::exception& e) {
    logger.LogMessage(e.what());
  }
  try {
    server.SetActive(false);
  } catch (const std::exception& e) {
    logger.LogMessage(e.what());
  }
}

}  // namespace

TqvWebService::TqvWebService(TServiceHost host, std::string iniPath)
    : TService(kServiceName, kServiceDisplayName, std::move(host)),
      iniPath_(iniPath.empty() ? ExecutableIniPath() : std::move(iniPath)),
      metrics_(PathRoutes(PageTable()).Labels()),
      errorLog_([this](const std::string& line) { Host().Logger.LogMessage(line); }),
      router_([this](PoolLease& lease, TAcquireMode mode) { return Acquire(lease, mode); },
              [this] { return HtDocs(); }),
      health_([this] {
        PoolLease lease;
        Acquire(lease, TAcquireMode::amAny);
        RunTrivialStatement(lease.Session().Connection());
      }),
      admin_(std::make_unique<TAdminServer>([this] { return Health(); },
                                            [this] { return MetricsText(); })) {
  router_.SetOnPageFailure([this](const PageFailure& failure) {
    metrics_.CountFailure(failure.kind);
    errorLog_.PageFailed(failure.remote_ip, failure.path, failure.status, failure.message);
  });
  router_.SetOnCancelFailure([this](const std::string& message) { Host().Logger.LogMessage(message); });
  // Lines the access log loses are told in the error log, never blocking.
  accessLog_.SetOnDropped([this](const std::string& text) { Host().Logger.LogWarning(text); });
  // A page's side failures (a query file it could not write) go to the same log.
  SetPageErrorHandler([this](const std::string& message) { Host().Logger.LogMessage(message); });
  Server1.SetSessionState(true);
  Server1.SetAutoStartSession(true);
  Server1.SetSessionTimeOut(600000);
  Server1.SetDefaultPort(80);
  Server1.OnCommandGet = [this](TIdContext* context, TIdHTTPRequestInfo& request,
                                TIdHTTPResponseInfo& response) {
    const TServerMetrics::BusyWorker busy(metrics_);
    const size_t label = router_.Server1CommandGet(context, request, response).label;
    routedRequest = {&request, request.Document, label};
  };
  Server1.OnSessionStart = [this](TIdHTTPSession& session) {
    router_.Server1SessionStart(session);
  };
  Server1.OnSessionStoreError = [this](const std::string& message) { LogMessage(message); };
  // Accepting or starting a thread failed (reported once per shortage).
  Server1.OnListenException = [this](const std::exception& e) { LogMessage(e.what()); };
  // A connection ended by a failure other than the engine's own.
  Server1.OnException = [this](TIdContext&, const std::exception& e) { LogMessage(e.what()); };
  // When the session list is full, a visitor who is not logged on goes first.
  Server1.OnSessionExpendable = [](const TIdHTTPSession& session) {
    return session.ContentValue(kLoggedInName) == kLoggedInFalse;
  };
  Server1.OnResponseSent = [this](TIdContext& context, const TIdHTTPRequestInfo& request,
                                  const TIdHTTPResponseInfo& response, int64_t bodyBytes,
                                  std::chrono::steady_clock::duration elapsed) {
    ResponseSent(context, request, response, bodyBytes, elapsed);
  };
}

TqvWebService::~TqvWebService() {
  SetPageErrorHandler({});
  ShutdownServiceThread();
  StopListeners(*admin_, Server1, Host().Logger);
}

void TqvWebService::ServiceCreate() {
  // Connections cost descriptors, not threads: take every one the system allows.
  RaiseOpenFilesLimit();
  // Sessions read section "DB" of the same settings file as the service.
  TPoolOptions options;
  options.PoolSize = 5;
  options.CleanupInterval = std::chrono::minutes(5);
  options.AcquireTimeoutMs = 10000;
  options.Factory = [iniPath = iniPath_] { return NewDatabaseSession(iniPath); };
  pool_ = std::make_unique<TFixedConnectionPool>(std::move(options));
  ReadSettings();
}

void TqvWebService::ReadSettings() {
  const TIniFile ini(iniPath_);
  const TServiceSettings settings = ReadServiceSettings(ini);
  // The sessions made from now on read these.
  databaseSettings_ = DatabaseSettingsText(ini);
  ApplyInPlace(settings);
  ApplyServerSettings(settings);
  if (settings.AccessLog != accessLog_.Target()) accessLog_.Open(settings.AccessLog);
  if (settings.Start) Server1.SetActive(true);
}

void TqvWebService::ApplyInPlace(const TServiceSettings& settings) {
  {
    std::lock_guard<std::mutex> guard(htDocsLock_);
    htDocs_ = settings.HtDocs;
  }
  router_.SetLogonFailures(settings.LogonFailures);
  Server1.SetStopTimeout(settings.StopTimeoutSeconds * 1000);
  router_.SetQueryTimeout(std::chrono::seconds(settings.QueryTimeoutSeconds));
}

void TqvWebService::ApplyServerSettings(const TServiceSettings& settings) {
  // The server reads these when it is activated; a running server keeps the
  // values it was started with (a reload brings new ones into force).
  if (!Server1.Active()) {
    Server1.SetSessionTimeOut(settings.SessionTimeOut);
    Server1.SetSessionStore(settings.SessionStore
                                ? std::make_shared<CountingSessionStore>(
                                      std::make_shared<TRedisSessionStore>(*settings.SessionStore),
                                      [this] { metrics_.CountSessionStoreError(); })
                                : nullptr);
    // A certificate or key that cannot be used fails the start, naming the file.
    ConfigureServer(settings, settings.TlsPort > 0 ? std::make_shared<TTlsContext>(
                                                         settings.TlsCertificate, settings.TlsKey)
                                                   : nullptr);
    running_ = settings;
  }
  if (!admin_->Active()) admin_->Configure(settings.AdminPort, settings.AdminAddresses);
}

void TqvWebService::ConfigureServer(const TServiceSettings& settings,
                                    std::shared_ptr<TTlsContext> tls) {
  Server1.SetDefaultPort(settings.Port);
  Server1.SetReadTimeout(settings.ReadTimeout);
  Server1.SetTrustedProxies(settings.TrustedProxies);
  Server1.SetTlsPort(settings.TlsPort);
  Server1.SetTlsContext(std::move(tls));
  Server1.SetHandshakeTimeout(settings.TlsHandshakeTimeoutSeconds * 1000);
  Server1.SetWorkers(settings.Workers);
  Server1.SetMaxConnectionsPerAddress(settings.MaxConnectionsPerAddress);
  Server1.SetRequestTimeout(settings.RequestTimeout);
  Server1.SetMaxSessions(static_cast<size_t>(settings.MaxSessions));
  Server1.SetListenQueue(settings.ListenQueue);
  Server1.SetKeepAlive(settings.KeepAlive);
  Server1.SetKeepAliveByDefault(settings.KeepAlive);
  Server1.SetKeepAliveTimeout(settings.KeepAliveTimeout);
  if (!settings.Addresses.empty()) {
    Server1.Bindings().clear();
    for (const std::string& address : settings.Addresses) {
      in6_addr ignored;
      const bool v6 = inet_pton(AF_INET6, address.c_str(), &ignored) == 1;
      Server1.AddBinding(address, settings.Port, v6 ? Id_IPv6 : Id_IPv4);
      if (settings.TlsPort > 0)
        Server1.AddBinding(address, settings.TlsPort, v6 ? Id_IPv6 : Id_IPv4).Tls = true;
    }
  }
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
  admin_->Start();
  Host().Logger.LogInfo(StartLine());
  (void)Started;
}

void TqvWebService::ServiceStop(bool& Stopped) {
  // Accepted requests run to their end, the pool lending as before. A second
  // before the drain limit, page calls still running (a hung database) are
  // given up and nobody waits for a session any more, so those visitors get a
  // 503 before the engine would have to cut them off.
  const auto limit = std::chrono::milliseconds(Server1.StopTimeout());
  const auto giveUpAfter = limit - std::min<std::chrono::milliseconds>(limit / 2, std::chrono::seconds(1));
  std::mutex doneLock;
  std::condition_variable doneSignal;
  bool done = false;
  std::thread watchdog([&] {
    std::unique_lock guard(doneLock);
    if (doneSignal.wait_for(guard, giveUpAfter, [&] { return done; })) return;
    if (pool_) pool_->Close();
    router_.StopWaiting();
  });
  StopListeners(*admin_, Server1, Host().Logger);
  {
    std::lock_guard guard(doneLock);
    done = true;
  }
  doneSignal.notify_all();
  watchdog.join();
  // Nobody waits for a session any more.
  if (pool_) pool_->Close();
  errorLog_.Flush(true);  // counts of messages still held back
  accessLog_.Flush();
  Host().Logger.LogInfo(std::string("qvweb ") + ServerVersion() + " stopped");
  (void)Stopped;
}

namespace {

std::string BindingText(const TIdSocketHandle& binding) {
  std::string ip = binding.IP;
  if (binding.IPVersion == Id_IPv6) {
    ip = "[" + (ip.empty() ? std::string("::") : ip) + "]";
  } else if (ip.empty()) {
    ip = "0.0.0.0";
  }
  return ip + ":" + std::to_string(binding.Port);
}

}  // namespace

std::string TqvWebService::StartLine() const {
  std::string line = std::string("qvweb ") + ServerVersion() + " listening on ";
  bool first = true;
  for (const TIdSocketHandle& binding : Server1.Bindings()) {
    if (!first) line += ", ";
    line += BindingText(binding);
    first = false;
  }
  if (first) line += "nothing";
  std::string database = TIniFile(iniPath_).ReadString("DB", "DBName", "");
  if (database.empty()) database = kBuiltInDatabasePath;
  const std::string htDocs = HtDocs();
  line += "; database " + database + "; HtDocs " + (htDocs.empty() ? "(not set)" : htDocs) +
          "; settings " + iniPath_;
  if (admin_->Active()) {
    line += "; admin on ";
    bool firstAdmin = true;
    for (const TIdSocketHandle& binding : admin_->Bindings()) {
      if (!firstAdmin) line += ", ";
      line += BindingText(binding);
      firstAdmin = false;
    }
  }
  return line;
}

std::string TqvWebService::Health() {
  if (!pool_) return "the connection pool could not be created";
  return health_.Run(std::chrono::seconds(2));
}

std::string TqvWebService::MetricsText() {
  TServerGauges gauges;
  gauges.OpenConnections = static_cast<int64_t>(Server1.ContextCount());
  gauges.Sessions = static_cast<int64_t>(Server1.SessionList().Count());
  if (pool_) {
    const TFixedConnectionPool::TPlaces places = pool_->Places();
    gauges.PoolBusy = places.Busy;
    gauges.PoolFree = places.Free;
    gauges.PoolUnconnected = places.Unconnected;
    gauges.PoolWaits = pool_->Waits();
    gauges.PoolTimeouts = pool_->Timeouts();
  }
  gauges.LogonRefusals = router_.LogonThrottle().Refused();
  gauges.WorkersMax = Server1.Workers();
  gauges.WorkerThreads = static_cast<int64_t>(Server1.WorkerThreads());
  gauges.AccessLogDropped = accessLog_.Dropped();
  gauges.ErrorLogDropped = ProgramLog::Instance().Dropped();
  return metrics_.Text(gauges);
}

void TqvWebService::ServiceControl(int code) {
  if (code == kControlReload) metrics_.CountReload(Reload());
  if (code == kControlReopenLogs) ReopenLogs();
}

void TqvWebService::ReopenLogs() {
  std::string error;
  if (!accessLog_.Reopen(error)) LogMessage(error);
}

void TqvWebService::ResponseSent(TIdContext& context, const TIdHTTPRequestInfo& request,
                                 const TIdHTTPResponseInfo& response, int64_t bodyBytes,
                                 std::chrono::steady_clock::duration elapsed) {
  size_t label = 0;
  if (routedRequest.request == &request && routedRequest.document == request.Document) {
    label = routedRequest.label;
  } else {
    // A request the router never saw; one refused before its target was
    // decoded is counted by the path of its request line.
    std::string_view path = request.Document;
    if (path.empty()) {
      path = request.RequestLine;
      const size_t first = path.find(' ');
      path = first == std::string_view::npos ? std::string_view() : path.substr(first + 1);
      path = path.substr(0, path.find_first_of(" ?"));
    }
    label = router_.Routes().Route(path).label;
  }
  routedRequest = {};
  metrics_.CountRequest(label, response.ResponseNo, elapsed, bodyBytes);
  if (accessLog_.Enabled()) {
    accessLog_.Write(TAccessRecord{context.PeerIP(), request.RequestLine, response.ResponseNo,
                                   bodyBytes, request.Referer, request.UserAgent, elapsed});
  }
}

bool TqvWebService::Acquire(PoolLease& lease, TAcquireMode mode) {
  // Without a pool (its creation failed) no page can be served.
  if (!pool_) throw Exception("The connection pool could not be created");
  return pool_->Acquire(lease, mode);
}

}  // namespace qv
