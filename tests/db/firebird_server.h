// A private Firebird server for tests: its own root folder, configuration,
// security database (SYSDBA with a known password) and loopback port.
#pragma once

#include <sys/types.h>

#include <string>

namespace qv {

class FirebirdServer {
 public:
  FirebirdServer() = default;
  ~FirebirdServer() { Stop(); }
  FirebirdServer(const FirebirdServer&) = delete;
  FirebirdServer& operator=(const FirebirdServer&) = delete;

  // Prepares the folder, starts /usr/sbin/firebird and waits until it listens.
  // On failure returns false with the reason in `error`.
  bool Start(std::string& error);
  // Stops the server and removes its folder.
  void Stop();
  // Stops the server only (the folder stays).
  void Kill();

  int Port() const { return port_; }
  const std::string& Folder() const { return folder_; }
  // "127.0.0.1/<port>:<folder>/<file>"
  std::string DatabaseName(const std::string& file) const;
  static const char* Password() { return "qv-test-secret"; }

 private:
  std::string folder_;
  int port_ = 0;
  pid_t pid_ = 0;
};

}  // namespace qv
