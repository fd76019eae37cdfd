#include "pool/wake_event.h"

namespace qv {

void TEvent::SetEvent() {
  {
    std::lock_guard lock(mutex_);
    signaled_ = true;
  }
  signal_.notify_one();
}

void TEvent::ResetEvent() {
  std::lock_guard lock(mutex_);
  signaled_ = false;
}

TWaitResult TEvent::WaitFor(std::chrono::milliseconds timeout, std::stop_token stop) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  std::unique_lock lock(mutex_);
  if (signal_.wait_until(lock, stop, deadline, [this] { return signaled_; })) {
    signaled_ = false;
    return TWaitResult::wrSignaled;
  }
  return stop.stop_requested() ? TWaitResult::wrAbandoned : TWaitResult::wrTimeout;
}

namespace {
// Created with the program's static objects, before main and so before any pool.
TEvent poolWakeEvent;
}  // namespace

TEvent& PoolWakeEvent() { return poolWakeEvent; }

}  // namespace qv
