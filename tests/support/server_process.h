// The built qvweb run as a child process from a folder of its own, with its
// settings file beside it, its output in a log file (or standard output a
// pipe of the test's own) and its state reports sent to a socket of the
// test's own; and any program run to its end with its output kept.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <optional>
#include <string>
#include <vector>

namespace qv::test {

class ServerProcess {
 public:
  // Copies the executable into folder; the settings go to folder/qvweb.ini.
  ServerProcess(const std::string& executable, std::string folder);
  ~ServerProcess();  // kills a program still running
  ServerProcess(const ServerProcess&) = delete;
  ServerProcess& operator=(const ServerProcess&) = delete;

  std::string Binary() const { return folder_ + "/qvweb"; }
  std::string IniPath() const { return folder_ + "/qvweb.ini"; }
  std::string LogPath() const { return folder_ + "/qvweb.log"; }

  void WriteIni(const std::string& text) const;

  // The next start gives the program fd as its standard output; standard
  // error then goes to the log file alone, or to fd too when error_too is set.
  void SetStandardOutput(int fd, bool error_too = false) {
    standard_output_ = fd;
    error_too_ = error_too;
  }

  // Starts the program with the arguments; NOTIFY_SOCKET names notify_socket.
  bool Start(const std::string& notify_socket, const std::vector<std::string>& args = {});

  void Signal(int signal) const;
  pid_t Pid() const { return pid_; }

  // The exit status once the process has ended, or nothing after timeout.
  std::optional<int> WaitExit(std::chrono::milliseconds timeout = std::chrono::seconds(30));

  // The output as written: log lines begin with their time.
  std::string RawLog() const;
  // The output with each log line's time taken off ("error qvweb: text"), so
  // that lines compare exactly.
  std::string Log() const;

 private:
  std::string folder_;
  int standard_output_ = -1;
  bool error_too_ = false;
  pid_t pid_ = -1;
  bool exited_ = false;
};

// Makes folder/htdocs holding the logo, for a server whose HtDocs points there.
void MakeHtDocs(const std::string& folder);

// What a run of a program to its end gave.
struct ProgramResult {
  int status = -1;  // exit status, 128 + signal, or -1 when it could not run
  std::string out;
  std::string err;
};

// Runs the program with the arguments in folder, standard output and standard
// error kept apart, and waits for its end. ENVIRONMENT ("NAME=value") goes
// in place of this process's entries of those names. A child checks for no
// service account (QV_CHECK_ACCOUNT empty) unless given one.
ProgramResult RunProgram(const std::string& binary, const std::vector<std::string>& args,
                         const std::string& folder, const std::vector<std::string>& environment = {});

}  // namespace qv::test
