// The HTTP engine with a handler that gives a fixed answer: a 2 KB text for
// any path, the bytes of a file (as a stream, like the logo) for paths that
// contain "/file". Set up like the service: sessions on, keep-alive off
// (on with --keep-alive).
//   qv_http_null_service PORT FILE [--no-sessions] [--read-timeout SECONDS] [--defer-accept] [--keep-alive]
#include <signal.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

#include "http/http_server.h"

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr,
                 "usage: %s PORT FILE [--no-sessions] [--read-timeout SECONDS] [--defer-accept] [--keep-alive]\n",
                 argv[0]);
    return 2;
  }
  const int port = std::atoi(argv[1]);
  const std::string file = argv[2];
  bool sessions = true;
  bool defer_accept = false;
  bool keep_alive = false;
  int read_timeout_s = 60;
  for (int i = 3; i < argc; ++i) {
    if (std::strcmp(argv[i], "--no-sessions") == 0) sessions = false;
    if (std::strcmp(argv[i], "--defer-accept") == 0) defer_accept = true;
    if (std::strcmp(argv[i], "--keep-alive") == 0) keep_alive = true;
    if (std::strcmp(argv[i], "--read-timeout") == 0 && i + 1 < argc) read_timeout_s = std::atoi(argv[++i]);
  }

  // 2048 bytes of page-like text.
  std::string text = "<html><head><title>Null</title></head><body>";
  while (text.size() < 2048 - 16) text += "<p>null service</p>";
  text.resize(2048 - 16, '.');
  text += "</body></html>\r\n";

  sigset_t stop;
  sigemptyset(&stop);
  sigaddset(&stop, SIGINT);
  sigaddset(&stop, SIGTERM);
  pthread_sigmask(SIG_BLOCK, &stop, nullptr);  // every thread inherits the mask

  qv::HttpServer::Events events;
  if (sessions) events.on_session_start = [](qv::Session& s) { s.Content().SetValue("LoggedIn", "False"); };
  events.on_command_get = [&](qv::ConnectionContext*, qv::Request& request, qv::Response& response) {
    if (request.document.find("/file") != std::string::npos)
      response.content_stream = std::make_unique<qv::FileContentStream>(file);
    else
      response.content_text = text;
  };
  qv::HttpServer server(std::move(events));
  server.SetDefaultPort(port);
  server.SetReadTimeout(read_timeout_s * 1000);
  server.SetDeferAccept(defer_accept);
  server.SetKeepAlive(keep_alive);
  server.SetKeepAliveByDefault(keep_alive);
  if (sessions) {
    server.SetSessionState(true);
    server.SetAutoStartSession(true);
    server.SetSessionTimeOut(600000);
  }
  server.SetActive(true);
  std::printf("listening on port %d\n", server.Bindings()[0].port);
  std::fflush(stdout);
  int signal_number = 0;
  sigwait(&stop, &signal_number);
  server.SetActive(false);
  return 0;
}
