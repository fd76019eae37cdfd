// A datagram socket of the test's own that stands in for the service manager's
// notification socket and collects what the service reports.
#pragma once

#include <optional>
#include <string>

namespace qv::test {

class NotifySocket {
 public:
  NotifySocket();   // bound in a new folder of its own
  ~NotifySocket();  // closed, the folder removed
  NotifySocket(const NotifySocket&) = delete;
  NotifySocket& operator=(const NotifySocket&) = delete;

  bool Bound() const { return bound_; }
  const std::string& Path() const { return path_; }

  // Reads messages until the service reports it runs; false when a wait for
  // the next one passes timeout_ms.
  bool AwaitRunning(int timeout_ms = 30000);

  // The next message, or nothing when none arrives within timeout_ms.
  std::optional<std::string> Receive(int timeout_ms = 10000);

 private:
  std::string folder_;
  std::string path_;
  int fd_ = -1;
  bool bound_ = false;
};

}  // namespace qv::test
