// Starts and stops a private Firebird server for the loopback tests.
#include "firebird_server.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <thread>
#include <vector>

#include "http_client.h"
#include "ports.h"

extern char** environ;

namespace qv {
namespace {

namespace fs = std::filesystem;

constexpr const char* kServerProgram = "/usr/sbin/firebird";

// The folder holding the server's plugins, messages and character sets.
std::string FindServerRoot() {
  std::error_code ec;
  for (const auto& entry : fs::directory_iterator("/usr/lib", ec)) {
    fs::path root = entry.path() / "firebird" / "3.0";
    if (fs::exists(root / "plugins") && fs::exists(root / "firebird.msg")) return root.string();
  }
  return {};
}

// The environment of this process with the server's root and lock folder set.
std::vector<std::string> ServerEnvironment(const std::string& folder) {
  std::vector<std::string> result;
  for (char** e = environ; *e != nullptr; ++e) {
    if (std::strncmp(*e, "FIREBIRD", 8) == 0 || std::strncmp(*e, "ISC_", 4) == 0) continue;
    result.emplace_back(*e);
  }
  result.push_back("FIREBIRD=" + folder);
  result.push_back("FIREBIRD_LOCK=" + folder + "/lock");
  result.push_back("FIREBIRD_TMP=" + folder + "/tmp");
  return result;
}

pid_t Spawn(const std::vector<std::string>& arguments, const std::vector<std::string>& environment,
            const std::string& log_file) {
  std::vector<char*> argv;
  for (const auto& a : arguments) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  std::vector<char*> envp;
  for (const auto& e : environment) envp.push_back(const_cast<char*>(e.c_str()));
  envp.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 1, log_file.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
  posix_spawn_file_actions_adddup2(&actions, 1, 2);
  pid_t pid = 0;
  int rc = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), envp.data());
  posix_spawn_file_actions_destroy(&actions);
  return rc == 0 ? pid : 0;
}

std::string ReadLog(const std::string& file) {
  std::ifstream in(file);
  std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  return text;
}

}  // namespace

std::string FirebirdServer::DatabaseName(const std::string& file) const {
  return "127.0.0.1/" + std::to_string(port_) + ":" + folder_ + "/" + file;
}

bool FirebirdServer::Start(std::string& error) {
  if (access(kServerProgram, X_OK) != 0) {
    error = std::string(kServerProgram) + " is missing (package firebird3.0-server)";
    return false;
  }
  std::string isql = "/usr/bin/isql-fb";
  if (access(isql.c_str(), X_OK) != 0) {
    error = isql + " is missing (package firebird3.0-utils)";
    return false;
  }
  std::string root = FindServerRoot();
  if (root.empty()) {
    error = "no Firebird 3.0 server folder under /usr/lib";
    return false;
  }
  std::string pattern = (fs::temp_directory_path() / "qvfbserver-XXXXXX").string();
  if (mkdtemp(pattern.data()) == nullptr) {
    error = "mkdtemp failed";
    return false;
  }
  folder_ = pattern;
  fs::create_directory(folder_ + "/lock");
  fs::create_directory(folder_ + "/tmp");
  for (const char* name : {"UDF", "plugins", "lib", "firebird.msg", "plugins.conf"}) {
    std::error_code ec;
    fs::create_symlink(fs::path(root) / name, fs::path(folder_) / name, ec);
  }
  // The server loads character sets only from a module inside its own root.
  {
    std::error_code ec;
    fs::create_directory(folder_ + "/intl", ec);
    fs::copy_file(fs::path(root) / "intl" / "libfbintl.so", folder_ + "/intl/libfbintl.so", ec);
    fs::create_symlink(fs::path(root) / "intl" / "fbintl.conf", folder_ + "/intl/fbintl.conf", ec);
  }
  port_ = test::FreePort();
  {
    std::ofstream conf(folder_ + "/firebird.conf");
    conf << "RemoteServicePort = " << port_ << "\n"
         << "RemoteBindAddress = 127.0.0.1\n"
         << "SecurityDatabase = " << folder_ << "/security3.fdb\n";
    if (!server_mode_.empty()) conf << "ServerMode = " << server_mode_ << "\n";
    std::ofstream databases(folder_ + "/databases.conf");
    std::ofstream script(folder_ + "/security.sql");
    script << "CREATE DATABASE '" << folder_ << "/security3.fdb' USER 'SYSDBA';\n"
           << "CREATE OR ALTER USER SYSDBA PASSWORD '" << Password() << "' USING PLUGIN Srp;\n"
           << "COMMIT;\n";
  }
  std::vector<std::string> environment = ServerEnvironment(folder_);
  std::string log = folder_ + "/server.log";
  // The security database, made with the embedded engine under the server's root.
  pid_t setup = Spawn({isql, "-q", "-i", folder_ + "/security.sql"}, environment, log);
  int status = 0;
  if (setup == 0 || waitpid(setup, &status, 0) != setup || !WIFEXITED(status) ||
      WEXITSTATUS(status) != 0) {
    error = "creating the security database failed: " + ReadLog(log);
    return false;
  }
  return Launch(error);
}

bool FirebirdServer::Restart(std::string& error) {
  if (pid_ != 0) Kill();
  if (folder_.empty()) {
    error = "the server was never started";
    return false;
  }
  return Launch(error);
}

bool FirebirdServer::Launch(std::string& error) {
  const std::vector<std::string> environment = ServerEnvironment(folder_);
  const std::string log = folder_ + "/server.log";
  int status = 0;
  pid_ = Spawn({kServerProgram}, environment, log);
  if (pid_ == 0) {
    error = "cannot start " + std::string(kServerProgram);
    return false;
  }
  auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  while (!test::LoopbackClient::TryConnect(port_)) {
    if (waitpid(pid_, &status, WNOHANG) == pid_) {
      pid_ = 0;
      error = "the server ended: " + ReadLog(log);
      return false;
    }
    if (std::chrono::steady_clock::now() > deadline) {
      error = "the server does not listen on port " + std::to_string(port_);
      return false;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  return true;
}

void FirebirdServer::Pause() {
  if (pid_ != 0) kill(pid_, SIGSTOP);
}

void FirebirdServer::Resume() {
  if (pid_ != 0) kill(pid_, SIGCONT);
}

void FirebirdServer::Kill() {
  if (pid_ == 0) return;
  // The test data is thrown away, so the server need not shut down in order.
  kill(pid_, SIGKILL);
  kill(pid_, SIGCONT);  // a stopped process takes its kill only when it runs
  int status = 0;
  waitpid(pid_, &status, 0);
  pid_ = 0;
}

void FirebirdServer::Stop() {
  Kill();
  if (!folder_.empty()) {
    std::error_code ignored;
    fs::remove_all(folder_, ignored);
    folder_.clear();
  }
}

}  // namespace qv
