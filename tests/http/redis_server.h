// A private redis-server for the tests: started on a free loopback port with
// its own folder, stopped (saving its data) and started again on the same port.
#pragma once

#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <thread>

#include "sessions/redis_client.h"
#include "support/ports.h"

namespace qv::test {

class RedisServer {
 public:
  static constexpr const char* kBinary = "/usr/bin/redis-server";

  RedisServer() {
    char pattern[] = "/tmp/qv_redis_XXXXXX";
    if (!::mkdtemp(pattern)) throw std::runtime_error("mkdtemp");
    folder_ = pattern;
    port_ = FreePort();
    Start();
  }
  ~RedisServer() {
    Stop();
    std::error_code ignored;
    std::filesystem::remove_all(folder_, ignored);
  }
  RedisServer(const RedisServer&) = delete;
  RedisServer& operator=(const RedisServer&) = delete;

  int Port() const { return port_; }
  std::string Url() const { return "redis://127.0.0.1:" + std::to_string(port_) + "/0"; }

  void Start() {
    if (pid_ > 0) return;
    if (::access(kBinary, X_OK) != 0)
      throw std::runtime_error(std::string(kBinary) + " is missing (scripts/install-deps.sh)");
    const std::string port = std::to_string(port_);
    pid_ = ::fork();
    if (pid_ < 0) throw std::runtime_error("fork");
    if (pid_ == 0) {
      ::prctl(PR_SET_PDEATHSIG, SIGTERM);  // never outlives the test
      // Data is saved when the server stops and read again when it starts.
      ::execl(kBinary, kBinary, "--port", port.c_str(), "--bind", "127.0.0.1", "--dir",
              folder_.c_str(), "--save", "3600 1", "--appendonly", "no", "--daemonize", "no",
              "--loglevel", "warning", "--logfile", (folder_ + "/redis.log").c_str(),
              static_cast<char*>(nullptr));
      ::_exit(127);
    }
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (std::chrono::steady_clock::now() < deadline) {
      try {
        RedisConnection connection("127.0.0.1", port_, 200);
        if (connection.Command({"PING"}).text == "PONG") return;
      } catch (const RedisError&) {
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    throw std::runtime_error("redis-server did not start on port " + port);
  }

  // Stops the server (it saves its data first) and waits for its end.
  void Stop() {
    if (pid_ <= 0) return;
    ::kill(pid_, SIGTERM);
    int status = 0;
    ::waitpid(pid_, &status, 0);
    pid_ = -1;
  }

 private:
  std::string folder_;
  int port_ = 0;
  pid_t pid_ = -1;
};

}  // namespace qv::test
