// The admin listener: a second HTTP server, on addresses of its own (loopback
// by default), answering GET /health and GET /metrics and nothing else; the
// public routes are never reachable through it.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "http/http_server.h"

namespace qv {

class TAdminServer {
 public:
  // Empty when the server is well, else one line saying why.
  using THealthFunction = std::function<std::string()>;
  // The metrics in the Prometheus text format.
  using TMetricsFunction = std::function<std::string()>;

  TAdminServer(THealthFunction health, TMetricsFunction metrics);

  // Port and addresses of the next activation (port 0: the admin port is off).
  void Configure(int port, const std::vector<std::string>& addresses);
  int Port() const { return port_; }
  // Starts listening when a port is set; stops.
  void Start();
  void Stop();
  // A reload: moves a running admin port to the port and addresses given
  // without closing a listening socket that stays (see TIdCustomTCPServer::
  // Restart), starts or stops it as the port asks. A failure raises and
  // leaves it as it was.
  void Reconfigure(int port, const std::vector<std::string>& addresses);
  bool Active() const { return server_.Active(); }
  const std::vector<TIdSocketHandle>& Bindings() const { return server_.Bindings(); }

 private:
  void SetBindings(int port, const std::vector<std::string>& addresses);
  void CommandGet(TIdHTTPRequestInfo& request, TIdHTTPResponseInfo& response);

  THealthFunction health_;
  TMetricsFunction metrics_;
  int port_ = 0;
  std::vector<std::string> addresses_;
  TIdHTTPServer server_;
};

}  // namespace qv
