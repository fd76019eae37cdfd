#include "service/systemd_notify.h"

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <ctime>

#include "platform/file_descriptor.h"

namespace qv {

namespace {

std::string NotifySocketFromEnvironment() {
  const char* path = std::getenv("NOTIFY_SOCKET");
  return path ? std::string(path) : std::string();
}

}  // namespace

std::string ReloadingNotification() {
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC, &now);
  const long long microseconds =
      static_cast<long long>(now.tv_sec) * 1000000 + now.tv_nsec / 1000;
  return "RELOADING=1\nSTATUS=Reloading\nMONOTONIC_USEC=" + std::to_string(microseconds);
}

SystemdNotifier::SystemdNotifier() : socket_path_(NotifySocketFromEnvironment()) {}

SystemdNotifier::SystemdNotifier(std::string socket_path) : socket_path_(std::move(socket_path)) {}

bool SystemdNotifier::Notify(std::string_view message) const {
  if (socket_path_.empty()) return false;
  // Only file-system and abstract socket paths are understood.
  if (socket_path_[0] != '/' && socket_path_[0] != '@') {
    errno = EINVAL;
    return false;
  }
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  if (socket_path_.size() > sizeof address.sun_path) {
    errno = ENAMETOOLONG;
    return false;
  }
  std::memcpy(address.sun_path, socket_path_.data(), socket_path_.size());
  if (address.sun_path[0] == '@') address.sun_path[0] = '\0';
  const socklen_t length =
      static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + socket_path_.size());

  const FileDescriptor socket(::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0));
  if (!socket.Valid()) return false;
  const ssize_t sent = sendto(socket.Get(), message.data(), message.size(), MSG_NOSIGNAL,
                              reinterpret_cast<const sockaddr*>(&address), length);
  const int error = sent < 0 ? errno : EMSGSIZE;
  if (sent == static_cast<ssize_t>(message.size())) return true;
  errno = error;
  return false;
}

}  // namespace qv
