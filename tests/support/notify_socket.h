// A datagram socket of the test's own that stands in for the service manager's
// notification socket and collects what the service reports.
#pragma once

#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <optional>
#include <string>

namespace qv::test {

class NotifySocket {
 public:
  NotifySocket() {
    char pattern[] = "/tmp/qv_notify_XXXXXX";
    if (mkdtemp(pattern)) folder_ = pattern;
    path_ = folder_ + "/notify";
    fd_ = socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, path_.c_str(), sizeof address.sun_path - 1);
    bound_ = bind(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
  }
  ~NotifySocket() {
    if (fd_ >= 0) close(fd_);
    if (!folder_.empty()) std::filesystem::remove_all(folder_);
  }
  NotifySocket(const NotifySocket&) = delete;
  NotifySocket& operator=(const NotifySocket&) = delete;

  bool Bound() const { return bound_; }
  const std::string& Path() const { return path_; }

  // Reads messages until the service reports it runs; false when a wait for
  // the next one passes timeoutMs.
  bool AwaitRunning(int timeoutMs = 30000) {
    for (;;) {
      std::optional<std::string> report = Receive(timeoutMs);
      if (!report) return false;
      if (*report == "READY=1\nSTATUS=Running") return true;
    }
  }

  // The next message, or nothing when none arrives within timeoutMs.
  std::optional<std::string> Receive(int timeoutMs = 10000) {
    pollfd p{fd_, POLLIN, 0};
    if (poll(&p, 1, timeoutMs) <= 0) return std::nullopt;
    char buffer[4096];
    const ssize_t n = recv(fd_, buffer, sizeof buffer, 0);
    if (n < 0) return std::nullopt;
    return std::string(buffer, static_cast<size_t>(n));
  }

 private:
  std::string folder_;
  std::string path_;
  int fd_ = -1;
  bool bound_ = false;
};

}  // namespace qv::test
