// The stand-in notification socket: a Unix datagram socket in /tmp.
#include "notify_socket.h"

#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>

namespace qv::test {

NotifySocket::NotifySocket() {
  char pattern[] = "/tmp/qv_notify_XXXXXX";
  if (mkdtemp(pattern)) folder_ = pattern;
  path_ = folder_ + "/notify";
  fd_ = socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  std::strncpy(address.sun_path, path_.c_str(), sizeof address.sun_path - 1);
  bound_ = bind(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
}

NotifySocket::~NotifySocket() {
  if (fd_ >= 0) close(fd_);
  if (!folder_.empty()) std::filesystem::remove_all(folder_);
}

bool NotifySocket::AwaitRunning(int timeout_ms) {
  for (;;) {
    std::optional<std::string> report = Receive(timeout_ms);
    if (!report) return false;
    if (*report == "READY=1\nSTATUS=Running") return true;
  }
}

std::optional<std::string> NotifySocket::Receive(int timeout_ms) {
  pollfd p{fd_, POLLIN, 0};
  if (poll(&p, 1, timeout_ms) <= 0) return std::nullopt;
  char buffer[4096];
  const ssize_t n = recv(fd_, buffer, sizeof buffer, 0);
  if (n < 0) return std::nullopt;
  return std::string(buffer, static_cast<size_t>(n));
}

}  // namespace qv::test
