// The threads that run requests: at most a fixed number (0: as many as there
// are requests at once), started when a request finds no free thread and
// ended after standing idle for a while. An idle thread holds nothing but
// itself. Jobs wait in order while every thread is busy.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace qv {

class TIdFrontConnection;

class TIdWorkerPool {
 public:
  using Job = std::shared_ptr<TIdFrontConnection>;
  using Clock = std::chrono::steady_clock;
  static constexpr std::chrono::seconds kIdleLifetime{10};

  // run is called for every job on a pool thread.
  TIdWorkerPool(size_t max_threads, std::function<void(Job&)> run);
  ~TIdWorkerPool();
  TIdWorkerPool(const TIdWorkerPool&) = delete;
  TIdWorkerPool& operator=(const TIdWorkerPool&) = delete;

  // Queues the job. False when it waits with no thread to run it because none
  // could be started; Retry later.
  bool Post(Job job);
  // Starts a thread for waiting jobs when none is free; false when that failed.
  bool Retry();
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
  // Under the lock: starts a thread if jobs wait and no thread is free.
  bool StartIfNeeded(std::unique_lock<std::mutex>& lock);

  std::shared_ptr<State> state_;
};

}  // namespace qv
