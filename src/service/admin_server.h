// The admin listener: a second HTTP server, on addresses of its own (loopback
// by default), answering GET /health and GET /metrics and nothing else; the
// public routes are never reachable through it.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "http/http_server.h"

namespace qv {

class AdminServer {
 public:
  // Empty when the server is well, else one line saying why.
  using HealthFunction = std::function<std::string()>;
  // The metrics in the Prometheus text format.
  using MetricsFunction = std::function<std::string()>;

  AdminServer(HealthFunction health, MetricsFunction metrics);

  // Port and addresses of the next activation (port 0: the admin port is off).
  void Configure(int port, const std::vector<std::string>& addresses);
  int Port() const { return port_; }
  // Starts listening when a port is set; stops.
  void Start();
  void Stop();
  // A reload: moves a running admin port to the port and addresses given
  // without closing a listening socket that stays (see TcpServer::
  // Restart), starts or stops it as the port asks. A failure raises and
  // leaves it as it was.
  void Reconfigure(int port, const std::vector<std::string>& addresses);
  bool Active() const { return server_.Active(); }
  const std::vector<Binding>& Bindings() const { return server_.Bindings(); }

 private:
  void SetBindings(int port, const std::vector<std::string>& addresses);
  void CommandGet(Request& request, Response& response);
  // Every method goes to CommandGet.
  HttpServer::Events ServerEvents();

  HealthFunction health_;
  MetricsFunction metrics_;
  int port_ = 0;
  std::vector<std::string> addresses_;
  HttpServer server_;
};

}  // namespace qv
