// The admin port's health check: runs a check on a thread of its own and waits
// for it a limited time, so a database that hangs gives an answer in time. A
// check still running is waited for again rather than started twice.
#pragma once

#include <chrono>
#include <functional>
#include <memory>
#include <mutex>
#include <string>

namespace qv {

class HealthProbe {
 public:
  // check raises when the server is not well; its message says why.
  explicit HealthProbe(std::function<void()> check);

  // Empty when the check passed within limit; otherwise one line saying why.
  std::string Run(std::chrono::milliseconds limit);

 private:
  struct ProbeRun;
  std::function<void()> check_;
  std::mutex lock_;
  std::shared_ptr<ProbeRun> running_;  // the last check, until it has ended
};

}  // namespace qv
