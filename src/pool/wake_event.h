// An auto-reset event, and the process-wide one that wakes the pools'
// clean-up threads.
#pragma once

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <stop_token>

namespace qv {

enum class WaitResult { kSignaled, kTimeout, kAbandoned };

// Auto-reset: one wait that sees the event signalled takes the signal.
class WakeEvent {
 public:
  explicit WakeEvent(bool initial_state = false) : signaled_(initial_state) {}
  WakeEvent(const WakeEvent&) = delete;
  WakeEvent& operator=(const WakeEvent&) = delete;

  void SetEvent();
  void ResetEvent();
  // Waits for the signal at most timeout; kAbandoned when stop is requested first.
  WaitResult WaitFor(std::chrono::milliseconds timeout, std::stop_token stop = {});

 private:
  std::mutex mutex_;
  std::condition_variable_any signal_;
  bool signaled_;
};

// The process-wide wake event of the clean-up threads: auto-reset, not signalled
// at start; it exists before any pool and lives until the program ends.
WakeEvent& PoolWakeEvent();

}  // namespace qv
