#include "service/qv_web_service.h"

#include <arpa/inet.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <thread>

#include "db/database_session.h"
#include "pages/page_table.h"
#include "platform/profile.h"
#include "pool/session_settings.h"
#include "service/command_line.h"
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
  const Request* request = nullptr;
  std::string document;  // the path the label was found for
  size_t label = 0;
  AnswerFormat format = AnswerFormat::kHtml;  // what the router answered in
};
thread_local RoutedRequest routed_request;

// Stops the admin port, then the server, the second whatever the first did;
// a failure of either is logged.
void StopListeners(AdminServer& admin, HttpServer& server, const EventLogger& logger) {
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

WebService::WebService(ServiceHost host, std::string ini_path)
    : Service(kServiceName, kServiceDisplayName, std::move(host)),
      ini_path_(ini_path.empty() ? DefaultSettingsFilePath() : std::move(ini_path)),
      metrics_(PathRoutes(PageTable()).Labels()),
      error_log_([this](const std::string& line) { Host().logger.LogMessage(line); }),
      router_([this](PoolLease& lease, AcquireMode mode) { return Acquire(lease, mode); },
              [this] { return HtDocs(); }, errors_),
      http_server(ServerEvents()),
      health_([this] {
        PoolLease lease;
        Acquire(lease, AcquireMode::kAny);
        RunTrivialStatement(lease.Session().Connection());
      }),
      admin_(std::make_unique<AdminServer>([this] { return Health(); },
                                            [this] { return MetricsText(); })) {
  router_.SetOnPageFailure([this](const PageFailure& failure) {
    metrics_.CountFailure(failure.kind);
    error_log_.PageFailed(failure.remote_ip, failure.path, failure.status, failure.message);
  });
  router_.SetOnCancelFailure([this](const std::string& message) { Host().logger.LogMessage(message); });
  // Who logged on, failed to, or logged off, and from where: one line each.
  router_.SetOnLogonEvent([this](const LogonEvent& event) { Host().logger.LogInfo(LogonEventText(event)); });
  // Lines the access log loses are told in the error log, never blocking.
  access_log_.SetOnDropped([this](const std::string& text) { Host().logger.LogWarning(text); });
  errors_.SetHandler(
      [this](const std::string& message) { Host().application_logger.LogMessage(message); });
  http_server.SetSessionState(true);
  http_server.SetAutoStartSession(true);
  http_server.SetSessionTimeOut(600000);
  http_server.SetDefaultPort(80);
}

HttpServer::Events WebService::ServerEvents() {
  HttpServer::Events events;
  events.on_command_get = [this](ConnectionContext* context, Request& request, Response& response) {
    const ServerMetrics::BusyWorker busy(metrics_);
    const PathRoute route = router_.HandleRequest(context, request, response);
    routed_request = {&request, request.document, route.label, route.format};
  };
  events.on_session_start = [this](Session& session) { router_.StartSession(session); };
  events.on_session_store_error = [this](const std::string& message) { LogMessage(message); };
  // Accepting or starting a thread failed (reported once per shortage).
  events.on_listen_exception = [this](const std::exception& e) { LogMessage(e.what()); };
  // A connection ended by a failure other than the engine's own.
  events.on_exception = [this](ConnectionContext&, const std::exception& e) { LogMessage(e.what()); };
  // When the session list is full, a visitor who is not logged on goes first.
  events.on_session_expendable = [](const Session& session) {
    return session.ContentValue(kLoggedInName) == kLoggedInFalse;
  };
  events.on_response_sent = [this](ConnectionContext& context, const Request& request,
                                   const Response& response, int64_t body_bytes,
                                   std::chrono::steady_clock::duration elapsed) {
    ResponseSent(context, request, response, body_bytes, elapsed);
  };
  return events;
}

WebService::~WebService() {
  ShutdownServiceThread();
  StopListeners(*admin_, http_server, Host().logger);
}

void WebService::ServiceCreate() {
  // Connections cost descriptors, not threads: take every one the system allows.
  RaiseOpenFilesLimit();
  // Request bodies cost what they hold while held, and nothing once gone.
  RequestMemory::MapLargeBuffersApart();
  // Sessions read section "DB" of the same settings file as the service.
  PoolOptions options;
  options.pool_size = 5;
  options.cleanup_interval = std::chrono::minutes(5);
  options.acquire_timeout_ms = 10000;
  options.factory = [this] { return NewDatabaseSession(ini_path_, errors_); };
  pool_ = std::make_unique<ConnectionPool>(std::move(options), errors_);
  ReadSettings();
}

void WebService::ReadSettings() {
  const IniFile ini(ini_path_);
  const ServiceSettings settings = ReadServiceSettings(ini);
  // The sessions made from now on read these.
  database_settings_ = DatabaseSettingsText(ini);
  ApplyInPlace(settings);
  ApplyServerSettings(settings);
  if (settings.access_log != access_log_.Target()) access_log_.Open(settings.access_log);
  if (settings.start) http_server.SetActive(true);
}

void WebService::ApplyInPlace(const ServiceSettings& settings) {
  {
    std::lock_guard<std::mutex> guard(ht_docs_lock_);
    ht_docs_ = settings.htdocs;
  }
  router_.SetLogonFailures(settings.logon_failures);
  http_server.SetStopTimeout(settings.stop_timeout_seconds * 1000);
  router_.SetQueryTimeout(std::chrono::seconds(settings.query_timeout_seconds));
}

void WebService::ApplyServerSettings(const ServiceSettings& settings) {
  // The server reads these when it is activated; a running server keeps the
  // values it was started with (a reload brings new ones into force).
  if (!http_server.Active()) {
    http_server.SetSessionTimeOut(settings.session_timeout);
    http_server.SetSessionStore(settings.session_store
                                ? std::make_shared<CountingSessionStore>(
                                      std::make_shared<RedisSessionStore>(*settings.session_store),
                                      [this] { metrics_.CountSessionStoreError(); })
                                : nullptr);
    // A certificate or key that cannot be used fails the start, naming the file.
    ConfigureServer(settings, settings.tls_port > 0 ? std::make_shared<TlsContext>(
                                                         settings.tls_certificate, settings.tls_key)
                                                   : nullptr);
    running_ = settings;
  }
  if (!admin_->Active()) admin_->Configure(settings.admin_port, settings.admin_addresses);
}

void WebService::ConfigureServer(const ServiceSettings& settings,
                                    std::shared_ptr<TlsContext> tls) {
  http_server.SetDefaultPort(settings.port);
  http_server.SetReadTimeout(settings.read_timeout);
  http_server.SetTrustedProxies(settings.trusted_proxies);
  http_server.SetTlsPort(settings.tls_port);
  http_server.SetTlsContext(std::move(tls));
  http_server.SetHandshakeTimeout(settings.tls_handshake_timeout_seconds * 1000);
  http_server.SetRedirectToTls(settings.tls_redirect_http);
  http_server.SetWorkers(settings.workers);
  http_server.SetMaxConnectionsPerAddress(settings.max_connections_per_address);
  http_server.SetRequestTimeout(settings.request_timeout);
  http_server.SetMaxRequestMemory(static_cast<size_t>(settings.max_request_memory_mib) << 20);
  http_server.SetMaxSessions(static_cast<size_t>(settings.max_sessions));
  http_server.SetListenQueue(settings.listen_queue);
  http_server.SetKeepAlive(settings.keep_alive);
  http_server.SetKeepAliveByDefault(settings.keep_alive);
  http_server.SetKeepAliveTimeout(settings.keep_alive_timeout);
  if (!settings.addresses.empty()) {
    http_server.Bindings().clear();
    for (const std::string& address : settings.addresses) {
      in6_addr ignored;
      const bool v6 = inet_pton(AF_INET6, address.c_str(), &ignored) == 1;
      http_server.AddBinding(address, settings.port, v6 ? kIPv6 : kIPv4);
      if (settings.tls_port > 0)
        http_server.AddBinding(address, settings.tls_port, v6 ? kIPv6 : kIPv4).tls = true;
    }
  }
}

std::string WebService::HtDocs() const {
  std::lock_guard<std::mutex> guard(ht_docs_lock_);
  return ht_docs_;
}

void WebService::ServiceStart(bool& Started) {
  ReadSettings();
  if (pool_) pool_->Reopen();
  router_.ResumeWaiting();
  http_server.SetActive(true);
  admin_->Start();
  Host().logger.LogInfo(StartLine());
  (void)Started;
}

void WebService::ServiceStop(bool& Stopped) {
  // Accepted requests run to their end, the pool lending as before. A second
  // before the drain limit, page calls still running (a hung database) are
  // given up and nobody waits for a session any more, so those visitors get a
  // 503 before the engine would have to cut them off.
  const auto limit = std::chrono::milliseconds(http_server.StopTimeout());
  const auto give_up_after = limit - std::min<std::chrono::milliseconds>(limit / 2, std::chrono::seconds(1));
  std::mutex done_lock;
  std::condition_variable done_signal;
  bool done = false;
  std::thread watchdog([&] {
    std::unique_lock guard(done_lock);
    if (done_signal.wait_for(guard, give_up_after, [&] { return done; })) return;
    if (pool_) pool_->Close();
    router_.StopWaiting();
  });
  StopListeners(*admin_, http_server, Host().logger);
  {
    std::lock_guard guard(done_lock);
    done = true;
  }
  done_signal.notify_all();
  watchdog.join();
  // Nobody waits for a session any more.
  if (pool_) pool_->Close();
  error_log_.Flush(true);  // counts of messages still held back
  access_log_.Flush();
  Host().logger.LogInfo(std::string("qvweb ") + ServerVersion() + " stopped");
  (void)Stopped;
}

std::string WebService::StartLine() const {
  std::string line = std::string("qvweb ") + ServerVersion() + " listening on ";
  bool first = true;
  for (const Binding& binding : http_server.Bindings()) {
    if (!first) line += ", ";
    line += BindingText(binding);
    first = false;
  }
  if (first) line += "nothing";
  std::string database = IniFile(ini_path_).ReadString("DB", "DBName", "");
  if (database.empty()) database = kBuiltInDatabasePath;
  const std::string ht_docs = HtDocs();
  line += "; database " + database + "; HtDocs " + (ht_docs.empty() ? "(not set)" : ht_docs) +
          "; settings " + ini_path_;
  if (admin_->Active()) {
    line += "; admin on ";
    bool first_admin = true;
    for (const Binding& binding : admin_->Bindings()) {
      if (!first_admin) line += ", ";
      line += BindingText(binding);
      first_admin = false;
    }
  }
  return line;
}

std::string WebService::Health() {
  if (!pool_) return "the connection pool could not be created";
  return health_.Run(std::chrono::seconds(2));
}

std::string WebService::MetricsText() {
  ServerGauges gauges;
  gauges.open_connections = static_cast<int64_t>(http_server.ContextCount());
  gauges.sessions = static_cast<int64_t>(http_server.SessionList().Count());
  if (pool_) {
    const ConnectionPool::PlaceCounts places = pool_->Places();
    gauges.pool_busy = places.busy;
    gauges.pool_free = places.free;
    gauges.pool_unconnected = places.unconnected;
    gauges.pool_waits = pool_->Waits();
    gauges.pool_timeouts = pool_->Timeouts();
  }
  gauges.logon_refusals = router_.LogonThrottle().Refused();
  gauges.logon_throttle_entries = static_cast<int64_t>(router_.LogonThrottle().Tracked());
  gauges.logon_throttle_forgotten = router_.LogonThrottle().Forgotten();
  gauges.workers_max = http_server.Workers();
  gauges.worker_threads = static_cast<int64_t>(http_server.WorkerThreads());
  gauges.access_log_dropped = access_log_.Dropped();
  gauges.error_log_dropped = ProgramLog::Instance().Dropped();
  const RequestMemory& memory = *http_server.RequestMemory();
  gauges.request_memory = static_cast<int64_t>(memory.Held());
  gauges.request_memory_limit = static_cast<int64_t>(memory.Limit());
  gauges.request_memory_refused = memory.Refusals();
  return metrics_.Text(gauges);
}

void WebService::ServiceControl(int code) {
  if (code == kControlReload) metrics_.CountReload(Reload());
  if (code == kControlReopenLogs) ReopenLogs();
}

void WebService::ReopenLogs() {
  std::string error;
  if (!access_log_.Reopen(error)) LogMessage(error);
}

void WebService::ResponseSent(ConnectionContext& context, const Request& request,
                                 const Response& response, int64_t body_bytes,
                                 std::chrono::steady_clock::duration elapsed) {
  size_t label = 0;
  AnswerFormat format = AnswerFormat::kHtml;
  if (routed_request.request == &request && routed_request.document == request.document) {
    label = routed_request.label;
    format = routed_request.format;
  } else {
    // A request the router never saw; one refused before its target was
    // decoded is counted by the path of its request line.
    std::string_view path = request.document;
    if (path.empty()) {
      path = request.request_line;
      const size_t first = path.find(' ');
      path = first == std::string_view::npos ? std::string_view() : path.substr(first + 1);
      path = path.substr(0, path.find_first_of(" ?"));
    }
    label = router_.Routes().Route(path).label;
  }
  routed_request = {};
  metrics_.CountRequest(label, response.response_no, elapsed, body_bytes, format);
  if (access_log_.Enabled()) {
    // The session the answer leaves the visitor with: after a log-on, the
    // name just logged on; after a log-off, none.
    std::string user;
    if (response.session && response.session->ContentValue(kLoggedInName) != kLoggedInFalse)
      user = response.session->ContentValue(kUserNameName);
    // Refused before its head was read through, a request has no address of its own yet.
    const std::string& address = request.remote_ip.empty() ? context.PeerIP() : request.remote_ip;
    access_log_.Write(AccessRecord{address, user, request.request_line, response.response_no, body_bytes,
                                   request.referer, request.user_agent, elapsed});
  }
}

bool WebService::Acquire(PoolLease& lease, AcquireMode mode) {
  // Without a pool (its creation failed) no page can be served.
  if (!pool_) throw Exception("The connection pool could not be created");
  return pool_->Acquire(lease, mode);
}

}  // namespace qv
