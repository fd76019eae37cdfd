// The threads that run requests. As many as the machine has cores are woken
// at once for waiting jobs; beyond that, a thread more is woken (or started)
// for every millisecond a job waits, up to a fixed number (0: no limit), so
// quick requests run on few threads while requests stuck in slow handlers
// still get threads of their own. A thread ends after standing idle for a
// while; an idle thread holds nothing but itself.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <utility>
#include <vector>

namespace qv {

class FrontConnection;

class WorkerPool {
 public:
  using Job = std::shared_ptr<FrontConnection>;
  using Clock = std::chrono::steady_clock;
  static constexpr std::chrono::seconds kIdleLifetime{10};
  // How long a job may wait before one more thread is woken for it.
  static constexpr std::chrono::milliseconds kWaitBeforeMore{1};
  // How long starting threads rests after the system refused one.
  static constexpr std::chrono::milliseconds kRetryPause{250};

  // run is called for every job on a pool thread.
  WorkerPool(size_t max_threads, std::function<void(Job&)> run);
  ~WorkerPool();
  WorkerPool(const WorkerPool&) = delete;
  WorkerPool& operator=(const WorkerPool&) = delete;

  // Queues the job. False when it waits with no thread to run it because none
  // could be started; Retry later.
  bool Post(Job job);
  // Starts a thread for waiting jobs when none runs; false when that failed.
  bool Retry();
  // Wakes one more thread when a job has waited too long; returns when to
  // look again (max: nothing waits).
  Clock::time_point Nudge(Clock::time_point now);
  // Threads running or idle.
  size_t Threads() const;
  // Jobs not yet taken by a thread, removed from the queue.
  std::vector<Job> TakeQueued();
  // Ends the threads: idle ones at once, busy ones after their job. Waits
  // until until at most; a thread still busy then is left to end by itself.
  void Stop(Clock::time_point until);

 private:
  struct State;
  static void ThreadMain(std::shared_ptr<State> state);
  // Under the lock: wakes an idle thread or starts one; false when neither
  // was possible.
  bool WakeOne();

  std::shared_ptr<State> state_;
};

}  // namespace qv
