// Tells the service manager about the service's state through the datagram
// socket it names in NOTIFY_SOCKET ("READY=1", "STOPPING=1", "RELOADING=1",
// "STATUS=...").
#pragma once

#include <string>
#include <string_view>

namespace qv {

// The message that tells the service manager a reload begins: RELOADING=1
// with the time of the monotonic clock now, in microseconds, as it asks for.
std::string ReloadingNotification();

class SystemdNotifier {
 public:
  // Uses the socket named by the environment variable NOTIFY_SOCKET, if any.
  SystemdNotifier();
  // Uses the given socket path; a leading "@" names an abstract socket, and an
  // empty path switches notification off.
  explicit SystemdNotifier(std::string socket_path);

  bool Enabled() const { return !socket_path_.empty(); }
  const std::string& SocketPath() const { return socket_path_; }

  // Sends one message (lines "NAME=value" separated by "\n"). Returns false when
  // notification is off or the datagram could not be sent (errno tells why
  // then); never raises.
  bool Notify(std::string_view message) const;

 private:
  std::string socket_path_;
};

}  // namespace qv
