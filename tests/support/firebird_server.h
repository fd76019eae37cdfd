// A private Firebird server for tests: its own root folder, configuration,
// security database (SYSDBA with a known password) and loopback port.
#pragma once

#include <sys/types.h>

#include <string>
#include <utility>

namespace qv {

class FirebirdServer {
 public:
  FirebirdServer() = default;
  ~FirebirdServer() { Stop(); }
  FirebirdServer(const FirebirdServer&) = delete;
  FirebirdServer& operator=(const FirebirdServer&) = delete;

  // The server's ServerMode (Super, SuperClassic) for the next Start; empty:
  // the server's default.
  void SetServerMode(std::string mode) { server_mode_ = std::move(mode); }
  // Prepares the folder, starts /usr/sbin/firebird and waits until it listens.
  // On failure returns false with the reason in `error`.
  bool Start(std::string& error);
  // Stops the server and removes its folder.
  void Stop();
  // Ends the server at once with SIGKILL (the folder stays).
  void Kill();
  // Starts the server again on the same port and folder (killing it first if
  // it runs) and waits until it listens.
  bool Restart(std::string& error);
  // Stops the server process (SIGSTOP) and lets it run on (SIGCONT): it keeps
  // its connections but answers nothing meanwhile.
  void Pause();
  void Resume();

  int Port() const { return port_; }
  pid_t Pid() const { return pid_; }
  const std::string& Folder() const { return folder_; }
  // "127.0.0.1/<port>:<folder>/<file>"
  std::string DatabaseName(const std::string& file) const;
  static const char* Password() { return "qv-test-secret"; }

 private:
  std::string folder_;
  std::string server_mode_;
  bool Launch(std::string& error);

  int port_ = 0;
  pid_t pid_ = 0;
};

}  // namespace qv
