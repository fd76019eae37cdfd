// The built qvweb run as a child process from a folder of its own, with its
// settings file beside it, its output in a log file (or standard output a
// pipe of the test's own) and its state reports sent to a socket of the
// test's own.
#pragma once

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "log_lines.h"

extern char** environ;

namespace qv::test {

class ServerProcess {
 public:
  // Copies the executable into folder; the settings go to folder/qvweb.ini.
  ServerProcess(const std::string& executable, std::string folder) : folder_(std::move(folder)) {
    std::filesystem::copy_file(executable, Binary(),
                               std::filesystem::copy_options::overwrite_existing);
  }
  ~ServerProcess() {
    if (pid_ > 0 && !exited_) {
      kill(pid_, SIGKILL);
      waitpid(pid_, nullptr, 0);
    }
  }
  ServerProcess(const ServerProcess&) = delete;
  ServerProcess& operator=(const ServerProcess&) = delete;

  std::string Binary() const { return folder_ + "/qvweb"; }
  std::string IniPath() const { return folder_ + "/qvweb.ini"; }
  std::string LogPath() const { return folder_ + "/qvweb.log"; }

  void WriteIni(const std::string& text) const { std::ofstream(IniPath()) << text; }

  // The next start gives the program fd as its standard output; standard
  // error then goes to the log file alone, or to fd too when errorToo is set.
  void SetStandardOutput(int fd, bool errorToo = false) {
    standardOutput_ = fd;
    errorToo_ = errorToo;
  }

  // Starts the program with the arguments; NOTIFY_SOCKET names notifySocket.
  bool Start(const std::string& notifySocket, const std::vector<std::string>& args = {}) {
    std::vector<std::string> env;
    for (char** e = environ; *e; ++e) {
      if (std::string(*e).rfind("NOTIFY_SOCKET=", 0) != 0) env.emplace_back(*e);
    }
    env.push_back("NOTIFY_SOCKET=" + notifySocket);
    std::vector<char*> envp;
    for (std::string& e : env) envp.push_back(e.data());
    envp.push_back(nullptr);
    std::string binary = Binary();
    std::vector<std::string> arguments = args;
    std::vector<char*> argv{binary.data()};
    for (std::string& arg : arguments) argv.push_back(arg.data());
    argv.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    if (standardOutput_ >= 0) {
      posix_spawn_file_actions_adddup2(&actions, standardOutput_, STDOUT_FILENO);
      if (errorToo_)
        posix_spawn_file_actions_adddup2(&actions, standardOutput_, STDERR_FILENO);
      else
        posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, LogPath().c_str(),
                                         O_WRONLY | O_CREAT | O_APPEND, 0644);
    } else {
      posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, LogPath().c_str(),
                                       O_WRONLY | O_CREAT | O_APPEND, 0644);
      posix_spawn_file_actions_adddup2(&actions, STDOUT_FILENO, STDERR_FILENO);
    }
    posix_spawn_file_actions_addchdir_np(&actions, folder_.c_str());
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    sigset_t none;
    sigemptyset(&none);
    posix_spawnattr_setsigmask(&attributes, &none);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGMASK);
    const int error = posix_spawn(&pid_, binary.c_str(), &actions, &attributes, argv.data(),
                                  envp.data());
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attributes);
    return error == 0;
  }

  void Signal(int signal) const { kill(pid_, signal); }
  pid_t Pid() const { return pid_; }

  // The exit status once the process has ended, or nothing after timeout.
  std::optional<int> WaitExit(std::chrono::milliseconds timeout = std::chrono::seconds(30)) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    for (;;) {
      int status = 0;
      const pid_t done = waitpid(pid_, &status, WNOHANG);
      if (done == pid_) {
        exited_ = true;
        if (WIFEXITED(status)) return WEXITSTATUS(status);
        return 128 + WTERMSIG(status);
      }
      if (std::chrono::steady_clock::now() > deadline) return std::nullopt;
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
  }

  // The output as written: log lines begin with their time.
  std::string RawLog() const {
    std::ifstream in(LogPath());
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
  }
  // The output with each log line's time taken off ("error qvweb: text"), so
  // that lines compare exactly.
  std::string Log() const { return WithoutLogTimes(RawLog()); }


 private:
  std::string folder_;
  int standardOutput_ = -1;
  bool errorToo_ = false;
  pid_t pid_ = -1;
  bool exited_ = false;
};

// Makes folder/htdocs holding the logo, for a server whose HtDocs points there.
inline void MakeHtDocs(const std::string& folder) {
  std::filesystem::create_directories(folder + "/htdocs");
  std::filesystem::copy_file(std::string(QV_SOURCE_DIR) + "/assets/qv_logo_jpg.jpg",
                             folder + "/htdocs/qv_logo_jpg.jpg");
}

// What a run of a program to its end gave.
struct ProgramResult {
  int status = -1;  // exit status, 128 + signal, or -1 when it could not run
  std::string out;
  std::string err;
};

// Runs the program with the arguments in folder, standard output and standard
// error kept apart, and waits for its end.
inline ProgramResult RunProgram(const std::string& binary, const std::vector<std::string>& args,
                                const std::string& folder) {
  ProgramResult result;
  const std::string outPath = folder + "/run.out", errPath = folder + "/run.err";
  std::vector<std::string> arguments = args;
  std::string program = binary;
  std::vector<char*> argv{program.data()};
  for (std::string& arg : arguments) argv.push_back(arg.data());
  argv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, outPath.c_str(),
                                   O_WRONLY | O_CREAT | O_TRUNC, 0644);
  posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, errPath.c_str(),
                                   O_WRONLY | O_CREAT | O_TRUNC, 0644);
  posix_spawn_file_actions_addchdir_np(&actions, folder.c_str());
  pid_t pid = -1;
  const int error = posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (error != 0) return result;
  int status = 0;
  waitpid(pid, &status, 0);
  result.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  auto read = [](const std::string& path) {
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
  };
  result.out = read(outPath);
  result.err = read(errPath);
  std::filesystem::remove(outPath);
  std::filesystem::remove(errPath);
  return result;
}

}  // namespace qv::test
