#include "pool/wake_event.h"

namespace qv {

void WakeEvent::SetEvent() {
  {
    std::lock_guard lock(mutex_);
    signaled_ = true;
  }
  signal_.notify_one();
}

void WakeEvent::ResetEvent() {
  std::lock_guard lock(mutex_);
  signaled_ = false;
}

WaitResult WakeEvent::WaitFor(std::chrono::milliseconds timeout, std::stop_token stop) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  std::unique_lock lock(mutex_);
  if (signal_.wait_until(lock, stop, deadline, [this] { return signaled_; })) {
    signaled_ = false;
    return WaitResult::kSignaled;
  }
  return stop.stop_requested() ? WaitResult::kAbandoned : WaitResult::kTimeout;
}

namespace {
// Created with the program's static objects, before main and so before any pool.
WakeEvent pool_wake_event;
}  // namespace

WakeEvent& PoolWakeEvent() { return pool_wake_event; }

}  // namespace qv
