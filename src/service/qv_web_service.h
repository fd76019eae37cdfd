// The Quorvale Web Server's service object: owns the HTTP server, the
// connection pool and the request router, reads the server settings from the
// INI file beside the executable, and switches the server on and off.
#pragma once

#include <memory>
#include <mutex>
#include <string>

#include "http/http_server.h"
#include "pool/fixed_connection_pool.h"
#include "service/error_log.h"
#include "service/access_log.h"
#include "service/admin_server.h"
#include "service/health_probe.h"
#include "service/metrics.h"
#include "service/service.h"
#include "web/request_router.h"

namespace qv {

inline constexpr const char* kServiceName = "qvWebService";
inline constexpr const char* kServiceDisplayName = "Quorvale Web Server";

class TqvWebService : public TService {
 public:
  // iniPath: the settings file (the executable's path with ".ini" by default).
  explicit TqvWebService(TServiceHost host = DefaultServiceHost(),
                         std::string iniPath = "");
  ~TqvWebService() override;

  // Reads section "APP" and applies it to Server1 and HtDocs; activates Server1
  // at once when Start is set.
  void ReadSettings();

  // The logo folder as last read; safe while requests run.
  std::string HtDocs() const;
  const std::string& IniPath() const { return iniPath_; }
  // Null until ServiceCreate has made it.
  TFixedConnectionPool* Pool() const { return pool_.get(); }
  TAccessLog& AccessLog() { return accessLog_; }
  TServerMetrics& Metrics() { return metrics_; }
  // The admin listener (GET /health, GET /metrics), on when [ADMIN] Port is set.
  TAdminServer& Admin() { return *admin_; }

  // Empty when a pooled connection runs a trivial statement within 2 s, else why not.
  std::string Health();
  // The metrics in the Prometheus text format.
  std::string MetricsText();

  // SIGHUP: reads the settings again and restarts the HTTP server with them;
  // requests in flight finish first. Settings with errors, or a restart that
  // fails, leave the old server running; both are logged. True when the new
  // settings were taken.
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
  // Stops the server: listeners close at once, borrowers waiting for a module
  // are answered 503, accepted connections get their answers within
  // StopTimeout, and whatever still runs then is abandoned. A failure there
  // is ignored.
  void ServiceStop(bool& Stopped) override;
  // Reload and reopen requests.
  void ServiceControl(int code) override;

 private:
  bool Acquire(TConnectionRef& connection, TAcquireMode mode);
  void Discard(TConnectionRef& connection);
  // Settings for the next activation of the stopped servers.
  void ApplyServerSettings(const struct TServiceSettings& settings);
  void ResponseSent(TIdContext& context, const TIdHTTPRequestInfo& request,
                    const TIdHTTPResponseInfo& response, int64_t bodyBytes,
                    std::chrono::steady_clock::duration elapsed);

  std::string iniPath_;
  TAccessLog accessLog_;
  TServerMetrics metrics_;
  mutable std::mutex htDocsLock_;
  std::string htDocs_;
  // Failed pages, one line each, to the service's event log.
  TErrorLog errorLog_;
  // Declared before Server1 so that the server, which stops its request
  // threads when destroyed, goes first.
  std::unique_ptr<TFixedConnectionPool> pool_;
  TRequestRouter router_;

 public:
  TIdHTTPServer Server1;

 private:
  // After Server1, so that it stops first.
  THealthProbe health_;
  std::unique_ptr<TAdminServer> admin_;
};

}  // namespace qv
