// Child processes started with posix_spawn.
#include "server_process.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <thread>

#include "log_lines.h"
#include "test_files.h"

extern char** environ;

namespace qv::test {

namespace {

// Whether the entry ("NAME=value") sets the variable that OTHER sets.
bool SameName(const std::string& entry, const std::string& other) {
  const size_t name = other.find('=') + 1;
  return entry.compare(0, name, other, 0, name) == 0;
}

// This process's environment for a child, with ENTRIES ("NAME=value") in
// place of the ones of their names. A check as root must not change with
// whether the package's account is on the machine (a package test running
// beside makes it): unless told otherwise, children check for no account.
std::vector<std::string> ChildEnvironment(std::vector<std::string> entries) {
  const std::string no_account = "QV_CHECK_ACCOUNT=";
  if (std::none_of(entries.begin(), entries.end(),
                   [&](const std::string& e) { return SameName(e, no_account); }))
    entries.push_back(no_account);
  std::vector<std::string> env;
  for (char** e = environ; *e; ++e) {
    const std::string entry(*e);
    if (std::none_of(entries.begin(), entries.end(),
                     [&](const std::string& own) { return SameName(entry, own); }))
      env.push_back(entry);
  }
  env.insert(env.end(), entries.begin(), entries.end());
  return env;
}

std::vector<char*> Pointers(std::vector<std::string>& strings) {
  std::vector<char*> pointers;
  for (std::string& s : strings) pointers.push_back(s.data());
  pointers.push_back(nullptr);
  return pointers;
}

}  // namespace

ServerProcess::ServerProcess(const std::string& executable, std::string folder)
    : folder_(std::move(folder)) {
  std::filesystem::copy_file(executable, Binary(),
                             std::filesystem::copy_options::overwrite_existing);
}

ServerProcess::~ServerProcess() {
  if (pid_ > 0 && !exited_) {
    kill(pid_, SIGKILL);
    waitpid(pid_, nullptr, 0);
  }
}

void ServerProcess::WriteIni(const std::string& text) const { std::ofstream(IniPath()) << text; }

bool ServerProcess::Start(const std::string& notify_socket, const std::vector<std::string>& args) {
  std::vector<std::string> env = ChildEnvironment({"NOTIFY_SOCKET=" + notify_socket});
  std::vector<char*> envp = Pointers(env);
  std::string binary = Binary();
  std::vector<std::string> arguments = args;
  std::vector<char*> argv{binary.data()};
  for (std::string& arg : arguments) argv.push_back(arg.data());
  argv.push_back(nullptr);

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  if (standard_output_ >= 0) {
    posix_spawn_file_actions_adddup2(&actions, standard_output_, STDOUT_FILENO);
    if (error_too_)
      posix_spawn_file_actions_adddup2(&actions, standard_output_, STDERR_FILENO);
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

void ServerProcess::Signal(int signal) const { kill(pid_, signal); }

std::optional<int> ServerProcess::WaitExit(std::chrono::milliseconds timeout) {
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

std::string ServerProcess::RawLog() const { return ReadFile(LogPath()); }

std::string ServerProcess::Log() const { return WithoutLogTimes(RawLog()); }

void MakeHtDocs(const std::string& folder) {
  std::filesystem::create_directories(folder + "/htdocs");
  std::filesystem::copy_file(std::string(QV_SOURCE_DIR) + "/assets/qv_logo_jpg.jpg",
                             folder + "/htdocs/qv_logo_jpg.jpg");
}

ProgramResult RunProgram(const std::string& binary, const std::vector<std::string>& args,
                         const std::string& folder, const std::vector<std::string>& environment) {
  ProgramResult result;
  const std::string out_path = folder + "/run.out", err_path = folder + "/run.err";
  std::vector<std::string> arguments = args;
  std::string program = binary;
  std::vector<char*> argv{program.data()};
  for (std::string& arg : arguments) argv.push_back(arg.data());
  argv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, out_path.c_str(),
                                   O_WRONLY | O_CREAT | O_TRUNC, 0644);
  posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, err_path.c_str(),
                                   O_WRONLY | O_CREAT | O_TRUNC, 0644);
  posix_spawn_file_actions_addchdir_np(&actions, folder.c_str());
  std::vector<std::string> env = ChildEnvironment(environment);
  std::vector<char*> envp = Pointers(env);
  pid_t pid = -1;
  const int error = posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), envp.data());
  posix_spawn_file_actions_destroy(&actions);
  if (error != 0) return result;
  int status = 0;
  waitpid(pid, &status, 0);
  result.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  result.out = ReadFile(out_path);
  result.err = ReadFile(err_path);
  std::filesystem::remove(out_path);
  std::filesystem::remove(err_path);
  return result;
}

}  // namespace qv::test
