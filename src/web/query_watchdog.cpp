#include "web/query_watchdog.h"

namespace qv {

namespace {

// The longest the thread sleeps, and so the most a cancel comes late.
constexpr std::chrono::milliseconds kSlice{250};

}  // namespace

TQueryWatchdog::TQueryWatchdog(std::chrono::milliseconds grace) : grace_(grace) {}

TQueryWatchdog::~TQueryWatchdog() {
  {
    std::lock_guard guard(lock_);
    ending_ = true;
  }
  changed_.notify_all();
  if (thread_.joinable()) thread_.join();
}

void TQueryWatchdog::Fire(TWatchEntry& entry, bool abort) {
  (abort ? entry.aborted : entry.raised) = true;
  // The cancel may block as well (a server that does not answer).
  std::function<void()> action;
  try {
    action = entry.cancel(abort);
  } catch (...) {
    return;
  }
  std::thread([action = std::move(action)] {
    try {
      if (action) action();
    } catch (...) {
    }
  }).detach();
}

uint64_t TQueryWatchdog::Watch(std::chrono::milliseconds limit, TCancel cancel) {
  const TClock::time_point deadline =
      limit.count() > 0 ? TClock::now() + limit : TClock::time_point::max();
  std::lock_guard guard(lock_);
  const uint64_t id = next_++;
  TWatchEntry& entry = watches_[id];
  entry.deadline = deadline;
  entry.cancel = std::move(cancel);
  if (aborting_) {
    Fire(entry, true);
  } else if (limit.count() > 0 && !thread_.joinable()) {
    thread_ = std::thread([this] { Run(); });
  }
  // The thread is not woken: it looks at least every kSlice, which keeps a
  // page call free of any thread switch.
  return id;
}

bool TQueryWatchdog::Unwatch(uint64_t id) {
  std::lock_guard guard(lock_);
  auto it = watches_.find(id);
  if (it == watches_.end()) return false;
  const bool fired = it->second.raised || it->second.aborted;
  watches_.erase(it);
  return fired;
}

void TQueryWatchdog::AbortAll() {
  std::lock_guard guard(lock_);
  aborting_ = true;
  for (auto& [id, entry] : watches_) {
    if (!entry.aborted) Fire(entry, true);
  }
}

void TQueryWatchdog::Resume() {
  std::lock_guard guard(lock_);
  aborting_ = false;
}

void TQueryWatchdog::Run() {
  std::unique_lock guard(lock_);
  while (!ending_) {
    const TClock::time_point now = TClock::now();
    TClock::time_point next = now + kSlice;
    for (auto& [id, entry] : watches_) {
      if (entry.deadline == TClock::time_point::max()) continue;
      if (!entry.raised && now >= entry.deadline) Fire(entry, false);
      if (!entry.aborted && now >= entry.deadline + grace_) Fire(entry, true);
      const TClock::time_point due = entry.raised ? entry.deadline + grace_ : entry.deadline;
      if (!entry.aborted && due < next) next = due;
    }
    changed_.wait_until(guard, next);
  }
}

}  // namespace qv
