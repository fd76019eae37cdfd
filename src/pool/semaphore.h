// A counting semaphore with a bounded wait: the pool's admission of borrowers.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>

namespace qv {

class Semaphore {
 public:
  Semaphore(int32_t initial_count, int32_t maximum_count);
  Semaphore(const Semaphore&) = delete;
  Semaphore& operator=(const Semaphore&) = delete;

  // Takes one unit, waiting at most timeout for one; true when a unit was taken.
  // Once closed, a unit is still taken when one is there, but nobody waits,
  // and a wait the closing ended takes nothing.
  bool WaitFor(std::chrono::milliseconds timeout);
  // Wakes every waiter empty-handed, now and from now on.
  void Close();
  // Lets borrowers wait again.
  void Reopen();
  // Gives units back. False, and nothing changes, when that would pass the maximum.
  bool Release(int32_t units = 1);
  int32_t Count() const;
  bool Closed() const;

 private:
  mutable std::mutex mutex_;
  std::condition_variable available_;
  int32_t count_;
  bool closed_ = false;
  const int32_t maximum_;
};

}  // namespace qv
