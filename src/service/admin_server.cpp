#include "service/admin_server.h"

#include <arpa/inet.h>

namespace qv {

namespace {

constexpr int kAdminReadTimeoutMs = 10000;
// How long a reload lets a running health check or metrics answer finish.
constexpr int kAdminDrainMs = 5000;

void Answer(Response& response, int status, const char* content_type,
            std::string body) {
  response.SetResponseNo(status);
  response.content_type = content_type;
  response.content_text = std::move(body);
  if (response.content_text.empty()) response.content_length = 0;
}

}  // namespace

AdminServer::AdminServer(HealthFunction health, MetricsFunction metrics)
    : health_(std::move(health)), metrics_(std::move(metrics)), server_(ServerEvents()) {
  server_.SetSessionState(false);
  server_.SetReadTimeout(kAdminReadTimeoutMs);
}

HttpServer::Events AdminServer::ServerEvents() {
  HttpServer::Events events;
  events.on_command_get = [this](ConnectionContext*, Request& request, Response& response) {
    CommandGet(request, response);
  };
  events.on_command_other = events.on_command_get;
  return events;
}

void AdminServer::Configure(int port, const std::vector<std::string>& addresses) {
  if (server_.Active()) return;
  SetBindings(port, addresses);
}

void AdminServer::SetBindings(int port, const std::vector<std::string>& addresses) {
  port_ = port;
  addresses_ = addresses;
  server_.Bindings().clear();
  server_.SetDefaultPort(port);
  for (const std::string& address : addresses_) {
    in6_addr ignored;
    const bool v6 = inet_pton(AF_INET6, address.c_str(), &ignored) == 1;
    server_.AddBinding(address, port, v6 ? kIPv6 : kIPv4);
  }
}

void AdminServer::Reconfigure(int port, const std::vector<std::string>& addresses) {
  if (!server_.Active() || port == 0) {
    Stop();
    Configure(port, addresses);
    Start();
    return;
  }
  const int old_port = port_;
  const std::vector<std::string> old_addresses = addresses_;
  SetBindings(port, addresses);
  try {
    server_.Restart(kAdminDrainMs);
  } catch (...) {
    // The server's bindings are those it runs with again; so are these.
    port_ = old_port;
    addresses_ = old_addresses;
    server_.SetDefaultPort(old_port);
    throw;
  }
}

void AdminServer::Start() {
  if (port_ != 0) server_.SetActive(true);
}

void AdminServer::Stop() { server_.SetActive(false); }

void AdminServer::CommandGet(Request& request, Response& response) {
  const bool get = request.command_type == HttpCommandType::Get;
  if (get && request.document == "/health") {
    const std::string failure = health_();
    if (failure.empty())
      Answer(response, 200, "text/plain; charset=utf-8", "ok");
    else
      Answer(response, 503, "text/plain; charset=utf-8", failure);
  } else if (get && request.document == "/metrics") {
    Answer(response, 200, "text/plain; version=0.0.4; charset=utf-8", metrics_());
  } else {
    Answer(response, 404, "text/plain; charset=utf-8", "not found");
  }
}

}  // namespace qv
