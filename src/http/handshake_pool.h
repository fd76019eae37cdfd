// A few low-priority threads for the CPU work of TLS handshakes (the key
// exchange and signature), so that a flood of handshakes neither holds the
// front's thread nor takes the processors from requests being served.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

namespace qv {

class HandshakePool {
 public:
  using Job = std::function<void()>;
  // How much nicer than the rest of the process the threads run.
  static constexpr int kNiceness = 10;

  // Starts the threads now; raises std::system_error when one cannot start.
  explicit HandshakePool(size_t threads = DefaultThreads());
  ~HandshakePool();
  HandshakePool(const HandshakePool&) = delete;
  HandshakePool& operator=(const HandshakePool&) = delete;

  // Runs job on one of the threads, in the order posted.
  void Post(Job job);
  // Ends the threads once their current job is done; queued jobs are dropped.
  void Stop();
  size_t Threads() const { return threads_.size(); }

  // One fewer than the processors, so one stays free for everything else;
  // at least one, at most four.
  static size_t DefaultThreads();

 private:
  void Run();

  std::mutex lock_;
  std::condition_variable work_;
  std::deque<Job> queue_;
  bool stopping_ = false;
  std::vector<std::thread> threads_;
};

}  // namespace qv
