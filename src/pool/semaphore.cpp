#include "pool/semaphore.h"

namespace qv {

Semaphore::Semaphore(int32_t initial_count, int32_t maximum_count)
    : count_(initial_count), maximum_(maximum_count) {}

bool Semaphore::WaitFor(std::chrono::milliseconds timeout) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  std::unique_lock lock(mutex_);
  if (count_ == 0) {
    if (closed_) return false;
    if (!available_.wait_until(lock, deadline, [this] { return count_ > 0 || closed_; })) return false;
    // Closed while waiting: the waiter goes empty-handed, even when a unit
    // came back before it woke (it was woken to give up, not to go on).
    if (closed_) return false;
  }
  --count_;
  return true;
}

void Semaphore::Reopen() {
  std::lock_guard lock(mutex_);
  closed_ = false;
}

void Semaphore::Close() {
  {
    std::lock_guard lock(mutex_);
    closed_ = true;
  }
  available_.notify_all();
}

bool Semaphore::Release(int32_t units) {
  {
    std::lock_guard lock(mutex_);
    if (units <= 0 || count_ > maximum_ - units) return false;
    count_ += units;
  }
  if (units == 1) {
    available_.notify_one();
  } else {
    available_.notify_all();
  }
  return true;
}

bool Semaphore::Closed() const {
  std::lock_guard lock(mutex_);
  return closed_;
}

int32_t Semaphore::Count() const {
  std::lock_guard lock(mutex_);
  return count_;
}

}  // namespace qv
