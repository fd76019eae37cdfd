// The Quorvale Web Server's service object: owns the HTTP server, the
// connection pool and the request router, reads the server settings from the
// INI file beside the executable, and switches the server on and off.
#pragma once

#include <memory>
#include <mutex>
#include <string>

#include "http/http_server.h"
#include "platform/error_sink.h"
#include "pool/fixed_connection_pool.h"
#include "service/error_log.h"
#include "service/access_log.h"
#include "service/admin_server.h"
#include "service/health_probe.h"
#include "service/metrics.h"
#include "service/service_settings.h"
#include "service/service.h"
#include "web/request_router.h"

namespace qv {

inline constexpr const char* kServiceName = "qvWebService";
inline constexpr const char* kServiceDisplayName = "Quorvale Web Server";

class WebService : public Service {
 public:
  // ini_path: the settings file (the executable's path with ".ini" by default).
  explicit WebService(ServiceHost host = DefaultServiceHost(),
                         std::string ini_path = "");
  ~WebService() override;

  // Reads section "APP" and applies it to http_server and HtDocs; activates http_server
  // at once when Start is set.
  void ReadSettings();

  // The logo folder as last read; safe while requests run.
  std::string HtDocs() const;
  const std::string& IniPath() const { return ini_path_; }
  // Null until ServiceCreate has made it.
  ConnectionPool* Pool() const { return pool_.get(); }
  qv::AccessLog& AccessLog() { return access_log_; }
  ServerMetrics& Metrics() { return metrics_; }
  // The admin listener (GET /health, GET /metrics), on when [ADMIN] Port is set.
  AdminServer& Admin() { return *admin_; }

  // Empty when a pooled connection runs a trivial statement within 2 s, else why not.
  std::string Health();
  // The metrics in the Prometheus text format.
  std::string MetricsText();

  // SIGHUP: reads the settings again and brings them into force while the
  // server keeps serving: the listening sockets that stay are kept, new ones
  // open before old ones close, waiting connections and sessions are kept,
  // and requests in flight finish under the old settings. Changed database
  // settings retire the open connections, which close as their requests end.
  // What cannot change while running (switching sessions on or off, the
  // session store) is logged as needing a restart and stays as it was.
  // Settings with errors, or an address that cannot be bound, leave
  // everything as it ran; both are logged. True when the new settings were
  // taken.
  bool Reload();
  // SIGUSR1: opens the access log file again under its name.
  void ReopenLogs();

  // The line logged once the server listens: version, every listening address,
  // the database, HtDocs and the settings file.
  std::string StartLine() const;

 protected:
  // Creates the pool (5 places, 5 minutes, 10000 ms), then reads the settings.
  void ServiceCreate() override;
  // Reads the settings again and activates the server; a failure to bind
  // passes on and the service does not start.
  void ServiceStart(bool& Started) override;
  // Stops the server: listeners close at once, so do connections with no
  // request begun; accepted requests run to their end with the pool still
  // lending, within StopTimeout. Shortly before that limit page calls still
  // running are given up and borrowers still waiting are answered 503, so
  // their visitors get an answer before the engine cuts what still runs.
  // Then the pool closes. A failure there is ignored.
  void ServiceStop(bool& Stopped) override;
  // Reload and reopen requests.
  void ServiceControl(int code) override;

 private:
  bool Acquire(PoolLease& lease, AcquireMode mode);
  // Settings for the next activation of the stopped servers.
  void ApplyServerSettings(const ServiceSettings& settings);
  // The listeners' and connections' settings of http_server, active or not (not
  // the sessions' on/off or their store); tls: the TLS context to use.
  void ConfigureServer(const ServiceSettings& settings, std::shared_ptr<TlsContext> tls);
  // The settings that change in place: the logo folder, log-on limit, stop
  // and query time-outs.
  void ApplyInPlace(const ServiceSettings& settings);
  void ResponseSent(ConnectionContext& context, const Request& request,
                    const Response& response, int64_t body_bytes,
                    std::chrono::steady_clock::duration elapsed);
  // What http_server calls: the router, the session start, the logs.
  HttpServer::Events ServerEvents();

  std::string ini_path_;
  // The settings http_server was last configured with, and the database
  // settings ([DB]) the pool's sessions were last made with.
  ServiceSettings running_;
  std::string database_settings_;
  qv::AccessLog access_log_;
  ServerMetrics metrics_;
  mutable std::mutex ht_docs_lock_;
  std::string ht_docs_;
  // Failed pages, one line each, to the service's event log.
  ErrorLog error_log_;
  // Failures the pool and the pages do not let pass (a session setting that
  // cannot be applied, a session that fails to close, a side file a page
  // could not write): the program's own events. Before the pool and the
  // router, which report to it.
  ErrorSink errors_;
  // Declared before http_server so that the server, which stops its request
  // threads when destroyed, goes first.
  std::unique_ptr<ConnectionPool> pool_;
  RequestRouter router_;

 public:
  HttpServer http_server;

 private:
  // After http_server, so that it stops first.
  HealthProbe health_;
  std::unique_ptr<AdminServer> admin_;
};

}  // namespace qv
