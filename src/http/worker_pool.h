// The threads that run connections: a job goes to an idle thread, or to a new
// one when none is idle, so any number of connections run at once. Threads
// that stay idle for a while end; the rest are reused (most recent first).
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <functional>
#include <list>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

#include <netinet/in.h>
#include <sys/socket.h>

namespace qv {

struct TIdSocketHandle;

// An accepted connection waiting for its thread.
struct PendingConnection {
  int fd = -1;
  sockaddr_storage peer{};
  const TIdSocketHandle* binding = nullptr;
};

class TWorkerPool {
 public:
  using Job = PendingConnection;
  static constexpr std::chrono::seconds kIdleLifetime{10};

  explicit TWorkerPool(std::function<void(Job&)> run) : run_(std::move(run)) {}
  ~TWorkerPool() { Stop(); }
  TWorkerPool(const TWorkerPool&) = delete;
  TWorkerPool& operator=(const TWorkerPool&) = delete;

  // Hands the job to an idle thread, or starts a thread for it.
  void Submit(Job job);
  // Waits until no job is running.
  void WaitIdle();
  // Waits for the running jobs, then ends and joins every thread.
  void Stop();

  size_t Threads() const;
  size_t Running() const;

 private:
  struct Worker {
    std::condition_variable wake;
    std::optional<Job> job;
    bool finished = false;
    std::thread thread;
  };

  void Loop(Worker& self);
  void JoinFinished(std::unique_lock<std::mutex>& lock);

  std::function<void(Job&)> run_;
  mutable std::mutex mutex_;
  std::condition_variable all_done_;
  std::list<Worker> workers_;
  std::vector<Worker*> idle_;  // most recently idle last
  size_t running_ = 0;
  size_t finished_ = 0;
  bool stopping_ = false;
};

}  // namespace qv
