#include "web/query_watchdog.h"

#include <pthread.h>

#include <deque>
#include <exception>
#include <iostream>
#include <stdexcept>
#include <system_error>
#include <utility>

#include "platform/log_line.h"

namespace qv {

namespace {

// The longest the thread sleeps, and so the most a cancel comes late.
constexpr std::chrono::milliseconds kSlice{250};

}  // namespace

// One thread that runs actions in the order they come. Its state is shared
// with the thread, which may outlive the lane while an action hangs.
class QueryWatchdog::Lane {
 public:
  explicit Lane(const char* thread_name) : state_(std::make_shared<State>()) {
    state_->thread_name = thread_name;
  }
  // Drops what has not run yet; waits for the thread unless an action is
  // running, which then ends it unreported to the handler.
  ~Lane() {
    bool busy;
    {
      std::lock_guard guard(state_->lock);
      state_->ending = true;
      state_->queue.clear();
      busy = state_->in_action;
    }
    state_->ready.notify_all();
    if (!thread_.joinable()) return;
    if (busy)
      thread_.detach();
    else
      thread_.join();
  }
  Lane(const Lane&) = delete;
  Lane& operator=(const Lane&) = delete;

  void SetOnFailure(CancelFailureHandler handler) {
    std::lock_guard guard(state_->lock);
    state_->on_failure = std::move(handler);
  }

  // Queues the actions, starting the thread on first use. When no thread
  // can be started they run here and now.
  void Post(std::vector<std::function<void()>>& actions) {
    if (actions.empty()) return;
    {
      std::lock_guard guard(state_->lock);
      if (!state_->ending) {
        for (auto& action : actions) state_->queue.push_back(std::move(action));
        actions.clear();
        if (!thread_.joinable()) {
          try {
            thread_ = std::thread([state = state_] { Run(*state); });
          } catch (const std::system_error&) {
            // Taken back below, to run on this thread.
            actions.assign(std::make_move_iterator(state_->queue.begin()),
                           std::make_move_iterator(state_->queue.end()));
            state_->queue.clear();
          }
        }
      }
    }
    state_->ready.notify_one();
    for (auto& action : actions) RunOne(*state_, action);
    actions.clear();
  }

  bool Started() const {
    std::lock_guard guard(state_->lock);
    return thread_.joinable();
  }

 private:
  struct State {
    mutable std::mutex lock;
    std::condition_variable ready;
    std::deque<std::function<void()>> queue;
    CancelFailureHandler on_failure;
    const char* thread_name = "";
    bool in_action = false;
    bool ending = false;
  };

  static void Run(State& state) {
    ::pthread_setname_np(::pthread_self(), state.thread_name);
    for (;;) {
      std::function<void()> action;
      {
        std::unique_lock guard(state.lock);
        state.ready.wait(guard, [&] { return state.ending || !state.queue.empty(); });
        if (state.ending) return;
        action = std::move(state.queue.front());
        state.queue.pop_front();
        state.in_action = true;
      }
      RunOne(state, action);
    }
  }

  // Runs one action and reports what it raised: to the handler, or, once
  // the lane has gone or without one, to standard error.
  static void RunOne(State& state, std::function<void()>& action) {
    std::string failure;
    try {
      action();
    } catch (const std::exception& e) {
      failure = e.what();
    } catch (...) {
      failure = "an unknown failure";
    }
    CancelFailureHandler handler;
    {
      std::lock_guard guard(state.lock);
      state.in_action = false;
      if (!failure.empty() && !state.ending) handler = state.on_failure;
    }
    if (!failure.empty()) {
      if (handler)
        handler(failure);
      else
        std::cerr << FormatLogLine(LogLevel::Error, kProgramName, failure) << std::flush;
    }
    action = nullptr;  // what it held (a connection) goes once it is told
  }

  std::shared_ptr<State> state_;
  std::thread thread_;  // guarded by state_->lock
};

QueryWatchdog::QueryWatchdog(std::chrono::milliseconds grace)
    : grace_(grace), cancels_(std::make_unique<Lane>("Cancels")), drops_(std::make_unique<Lane>("Drops")) {}

QueryWatchdog::~QueryWatchdog() {
  {
    std::lock_guard guard(lock_);
    ending_ = true;
  }
  changed_.notify_all();
  if (thread_.joinable()) thread_.join();
}

void QueryWatchdog::SetOnCancelFailure(CancelFailureHandler handler) {
  cancels_->SetOnFailure(handler);
  drops_->SetOnFailure(std::move(handler));
}

int QueryWatchdog::Threads() const {
  std::lock_guard guard(lock_);
  return (thread_.joinable() ? 1 : 0) + (cancels_->Started() ? 1 : 0) + (drops_->Started() ? 1 : 0);
}

void QueryWatchdog::Fire(WatchEntry& entry, bool abort, Due& due) {
  (abort ? entry.aborted : entry.raised) = true;
  std::function<void()> action;
  try {
    action = entry.cancel(abort);
  } catch (const std::exception& e) {
    // Told on the canceller thread, like a failure of the action itself.
    action = [message = std::string(e.what())] { throw std::runtime_error(message); };
  }
  if (action) (abort ? due.drops : due.cancels).push_back(std::move(action));
}

void QueryWatchdog::Post(Due& due) {
  cancels_->Post(due.cancels);
  drops_->Post(due.drops);
}

void QueryWatchdog::StartWatching() {
  if (!thread_.joinable()) thread_ = std::thread([this] { Run(); });
}

uint64_t QueryWatchdog::Watch(std::chrono::milliseconds limit, Cancel cancel) {
  const SteadyClock::time_point deadline =
      limit.count() > 0 ? SteadyClock::now() + limit : SteadyClock::time_point::max();
  Due due;
  uint64_t id;
  {
    std::lock_guard guard(lock_);
    id = next_++;
    WatchEntry& entry = watches_[id];
    entry.deadline = deadline;
    entry.cancel = std::move(cancel);
    if (aborting_) {
      Fire(entry, true, due);
    } else if (limit.count() > 0) {
      StartWatching();
    }
  }
  // The thread is not woken: it looks at least every kSlice, which keeps a
  // page call free of any thread switch.
  Post(due);
  return id;
}

bool QueryWatchdog::Unwatch(uint64_t id) {
  std::lock_guard guard(lock_);
  auto it = watches_.find(id);
  if (it == watches_.end()) return false;
  const bool fired = it->second.raised || it->second.aborted;
  watches_.erase(it);
  return fired;
}

void QueryWatchdog::AbortAll() {
  Due due;
  {
    std::lock_guard guard(lock_);
    aborting_ = true;
    for (auto& [id, entry] : watches_) {
      if (!entry.aborted) Fire(entry, true, due);
    }
  }
  Post(due);
}

void QueryWatchdog::Resume() {
  std::lock_guard guard(lock_);
  aborting_ = false;
}

void QueryWatchdog::Run() {
  ::pthread_setname_np(::pthread_self(), "Watchdog");
  std::unique_lock guard(lock_);
  while (!ending_) {
    const SteadyClock::time_point now = SteadyClock::now();
    SteadyClock::time_point next = now + kSlice;
    Due due;
    for (auto& [id, entry] : watches_) {
      if (entry.deadline == SteadyClock::time_point::max()) continue;
      if (!entry.raised && now >= entry.deadline) Fire(entry, false, due);
      if (!entry.aborted && now >= entry.deadline + grace_) Fire(entry, true, due);
      const SteadyClock::time_point due_at = entry.raised ? entry.deadline + grace_ : entry.deadline;
      if (!entry.aborted && due_at < next) next = due_at;
    }
    if (!due.cancels.empty() || !due.drops.empty()) {
      // Handed over without the lock, so watching and unwatching go on.
      guard.unlock();
      Post(due);
      guard.lock();
      continue;
    }
    changed_.wait_until(guard, next);
  }
}

}  // namespace qv
