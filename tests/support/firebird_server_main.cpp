// Runs a private Firebird server on loopback for scripts (the page
// benchmarks): prints "<port> <server pid> <folder> <password>" on one line
// once it listens, and stops it and removes its folder at SIGTERM or SIGINT.
//   qv_firebird_server [SERVER-MODE]
#include <signal.h>

#include <cstdio>
#include <string>

#include "firebird_server.h"

int main(int argc, char** argv) {
  sigset_t stop;
  sigemptyset(&stop);
  sigaddset(&stop, SIGTERM);
  sigaddset(&stop, SIGINT);
  pthread_sigmask(SIG_BLOCK, &stop, nullptr);  // taken by sigwait below

  qv::FirebirdServer server;
  if (argc > 1) server.SetServerMode(argv[1]);
  std::string error;
  if (!server.Start(error)) {
    std::fprintf(stderr, "qv_firebird_server: %s\n", error.c_str());
    return 1;
  }
  std::printf("%d %d %s %s\n", server.Port(), static_cast<int>(server.Pid()),
              server.Folder().c_str(), qv::FirebirdServer::Password());
  std::fflush(stdout);
  int signal = 0;
  sigwait(&stop, &signal);
  server.Stop();
  return 0;
}
