#include "web/page_runner.h"

#include <atomic>
#include <condition_variable>
#include <deque>
#include <exception>
#include <mutex>
#include <set>
#include <thread>

namespace qv {

namespace {

std::atomic<int> abandonedCalls{0};

// One call and what became of it.
struct TCallState {
  std::mutex lock;
  std::condition_variable ended;
  bool done = false;
  bool abandoned = false;
  std::exception_ptr error;
};

}  // namespace

// The helper threads and their queue; held by every helper thread, so it
// outlives the runner while calls still run.
struct TPageRunner::TShared {
  std::mutex lock;
  std::condition_variable work;
  std::deque<std::function<void()>> jobs;
  int idle = 0;
  bool closing = false;
  // Guards the end handlers of abandoned calls against the runner's end.
  std::mutex endLock;
  bool open = true;
  // Calls being waited for, so that a give-up can wake them.
  std::mutex waitLock;
  std::set<TCallState*> waiting;
  std::atomic<bool> givingUp{false};

  static void Helper(std::shared_ptr<TShared> self) {
    std::unique_lock guard(self->lock);
    for (;;) {
      self->work.wait(guard, [&] { return !self->jobs.empty() || self->closing; });
      if (self->jobs.empty()) return;  // closing
      std::function<void()> job = std::move(self->jobs.front());
      self->jobs.pop_front();
      guard.unlock();
      job();
      job = nullptr;
      guard.lock();
      ++self->idle;
    }
  }

  void Submit(const std::shared_ptr<TShared>& self, std::function<void()> job) {
    std::lock_guard guard(lock);
    jobs.push_back(std::move(job));
    if (idle > 0) {
      --idle;
      work.notify_one();
    } else {
      std::thread(Helper, self).detach();
    }
  }
};

TPageRunner::TPageRunner() : shared_(std::make_shared<TShared>()) {}

TPageRunner::~TPageRunner() {
  {
    std::lock_guard guard(shared_->endLock);
    shared_->open = false;
  }
  std::lock_guard guard(shared_->lock);
  shared_->closing = true;
  shared_->work.notify_all();
}

void TPageRunner::ResumeWaiting() { shared_->givingUp = false; }

int TPageRunner::AbandonedCalls() { return abandonedCalls.load(); }

void TPageRunner::GiveUpWaiting() {
  shared_->givingUp = true;
  std::lock_guard guard(shared_->waitLock);
  for (TCallState* state : shared_->waiting) {
    std::lock_guard stateGuard(state->lock);
    state->ended.notify_all();
  }
}

bool TPageRunner::Run(std::function<void()> body, std::function<void()> cancel,
                      std::function<void()> whenAbandonedEnds, std::chrono::milliseconds limit,
                      std::chrono::milliseconds grace) {
  auto state = std::make_shared<TCallState>();
  const std::shared_ptr<TShared> shared = shared_;
  shared->Submit(shared, [state, shared, body = std::move(body),
                          whenAbandonedEnds = std::move(whenAbandonedEnds)]() mutable {
    std::exception_ptr error;
    try {
      body();
    } catch (...) {
      error = std::current_exception();
    }
    // What the call holds is let go before its caller goes on.
    body = nullptr;
    bool abandoned;
    {
      std::lock_guard guard(state->lock);
      abandoned = state->abandoned;
      if (!abandoned) whenAbandonedEnds = nullptr;
      state->done = true;
      state->error = error;
      state->ended.notify_all();
    }
    if (abandoned) {
      {
        std::lock_guard guard(shared->endLock);
        if (shared->open && whenAbandonedEnds) {
          try {
            whenAbandonedEnds();
          } catch (...) {
          }
        }
      }
      --abandonedCalls;
    }
  });

  {
    std::lock_guard waitGuard(shared->waitLock);
    shared->waiting.insert(state.get());
  }
  struct TLeave {
    TShared& shared;
    TCallState* state;
    ~TLeave() {
      std::lock_guard waitGuard(shared.waitLock);
      shared.waiting.erase(state);
    }
  } leave{*shared, state.get()};
  const auto endedOrGivenUp = [&] { return state->done || shared->givingUp.load(); };

  std::unique_lock guard(state->lock);
  const auto start = std::chrono::steady_clock::now();
  if (!state->ended.wait_until(guard, start + limit, endedOrGivenUp) || !state->done) {
    guard.unlock();
    // The cancel may block as well (a server that does not answer): it gets a
    // thread of its own, which keeps what it needs alive through the function.
    std::thread([cancel = std::move(cancel)] {
      try {
        if (cancel) cancel();
      } catch (...) {
      }
    }).detach();
    guard.lock();
    state->ended.wait_until(guard, start + limit + grace, endedOrGivenUp);
    if (!state->done) {
      state->abandoned = true;
      ++abandonedCalls;
      return false;
    }
  }
  if (state->error) std::rethrow_exception(state->error);
  return true;
}

}  // namespace qv
