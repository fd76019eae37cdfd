// The pool's low-priority thread that runs a clean-up pass at every interval.
#pragma once

#include <chrono>
#include <thread>

namespace qv {

class ConnectionPool;

class CleanupThread {
 public:
  explicit CleanupThread(std::chrono::milliseconds cleanup_interval);
  // Asks the thread to end and waits for it.
  ~CleanupThread();
  CleanupThread(const CleanupThread&) = delete;
  CleanupThread& operator=(const CleanupThread&) = delete;

  // Starts the passes on pool (one step below normal priority where allowed).
  void Start(ConnectionPool& pool);
  void Terminate();
  // Waits for the thread to end.
  void WaitFor();

 private:
  // Every interval (counted from the end of the previous pass) one pass; ends
  // when asked to, or when PoolWakeEvent is signalled.
  void Execute(std::stop_token stop);

  const std::chrono::milliseconds cleanup_interval_;
  ConnectionPool* pool_ = nullptr;
  std::jthread thread_;
};

}  // namespace qv
