// An auto-reset event, and the process-wide one that wakes the pools'
// clean-up threads.
#pragma once

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <stop_token>

namespace qv {

enum class TWaitResult { wrSignaled, wrTimeout, wrAbandoned };

// Auto-reset: one wait that sees the event signalled takes the signal.
class TEvent {
 public:
  explicit TEvent(bool initialState = false) : signaled_(initialState) {}
  TEvent(const TEvent&) = delete;
  TEvent& operator=(const TEvent&) = delete;

  void SetEvent();
  void ResetEvent();
  // Waits for the signal at most timeout; wrAbandoned when stop is requested first.
  TWaitResult WaitFor(std::chrono::milliseconds timeout, std::stop_token stop = {});

 private:
  std::mutex mutex_;
  std::condition_variable_any signal_;
  bool signaled_;
};

// The process-wide wake event of the clean-up threads: auto-reset, not signalled
// at start; it exists before any pool and lives until the program ends.
TEvent& PoolWakeEvent();

}  // namespace qv
