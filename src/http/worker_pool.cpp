#include "http/worker_pool.h"

#include <pthread.h>

#include <algorithm>

namespace qv {

// Shared with the threads, so that a thread left running after a stop still
// finds it.
struct WorkerPool::State {
  std::function<void(Job&)> run;
  size_t max_threads = 0;
  size_t eager = 2;  // threads woken at once for waiting jobs
  mutable std::mutex lock;
  std::condition_variable work;      // a thread is wanted, or the pool stops
  std::condition_variable finished;  // a thread ended
  std::deque<std::pair<Job, Clock::time_point>> queue;
  size_t threads = 0;
  size_t waiting = 0;    // threads waiting for work, not signalled
  size_t signalled = 0;  // threads signalled and not yet awake
  Clock::time_point last_more{};  // when a thread was last woken beyond the eager ones
  bool stopping = false;
};

WorkerPool::WorkerPool(size_t max_threads, std::function<void(Job&)> run)
    : state_(std::make_shared<State>()) {
  state_->run = std::move(run);
  state_->max_threads = max_threads;
  state_->eager = std::max<size_t>(2, std::thread::hardware_concurrency());
  if (max_threads != 0) state_->eager = std::min(state_->eager, max_threads);
}

WorkerPool::~WorkerPool() { Stop(Clock::now()); }

bool WorkerPool::WakeOne() {
  State& s = *state_;
  if (s.waiting > 0) {
    --s.waiting;
    ++s.signalled;
    s.work.notify_one();
    return true;
  }
  if (s.max_threads != 0 && s.threads >= s.max_threads) return false;
  try {
    std::thread(ThreadMain, state_).detach();
  } catch (const std::exception&) {
    return false;
  }
  ++s.threads;
  return true;
}

bool WorkerPool::Post(Job job) {
  std::lock_guard lock(state_->lock);
  State& s = *state_;
  s.queue.emplace_back(std::move(job), Clock::now());
  // Threads awake run a job or are about to look at the queue; beyond the
  // eager ones, a job waits for one of them, or for Nudge.
  if (s.threads - s.waiting < s.eager) WakeOne();
  return s.threads > 0;
}

bool WorkerPool::Retry() {
  std::lock_guard lock(state_->lock);
  if (state_->threads == 0 && !state_->queue.empty()) WakeOne();
  return state_->threads > 0;
}

WorkerPool::Clock::time_point WorkerPool::Nudge(Clock::time_point now) {
  std::lock_guard lock(state_->lock);
  State& s = *state_;
  if (s.queue.empty()) return Clock::time_point::max();
  const auto due = std::max(s.queue.front().second, s.last_more) + kWaitBeforeMore;
  if (now < due) return due;
  // Every awake thread is busy (or stuck): one more. When no thread can be
  // started, the next try waits longer.
  s.last_more = now;
  if (s.signalled == 0 && !WakeOne() && (s.max_threads == 0 || s.threads < s.max_threads))
    s.last_more = now + kRetryPause;
  return s.last_more + kWaitBeforeMore;
}

size_t WorkerPool::Threads() const {
  std::lock_guard lock(state_->lock);
  return state_->threads;
}

std::vector<WorkerPool::Job> WorkerPool::TakeQueued() {
  std::lock_guard lock(state_->lock);
  std::vector<Job> jobs;
  for (auto& entry : state_->queue) jobs.push_back(std::move(entry.first));
  state_->queue.clear();
  return jobs;
}

void WorkerPool::Stop(Clock::time_point until) {
  std::unique_lock lock(state_->lock);
  state_->stopping = true;
  state_->work.notify_all();
  const auto done = [&] { return state_->threads == 0; };
  if (until == Clock::time_point::max())
    state_->finished.wait(lock, done);
  else
    state_->finished.wait_until(lock, until, done);
  // Threads still busy now keep the state alive and end by themselves.
}

void WorkerPool::ThreadMain(std::shared_ptr<State> state) {
  ::pthread_setname_np(::pthread_self(), "User");
  State& s = *state;
  std::unique_lock lock(s.lock);
  for (;;) {
    if (!s.queue.empty()) {
      Job job = std::move(s.queue.front().first);
      s.queue.pop_front();
      lock.unlock();
      s.run(job);
      job.reset();
      lock.lock();
      continue;
    }
    if (s.stopping) break;
    ++s.waiting;
    const bool woken = s.work.wait_for(lock, kIdleLifetime, [&] { return s.signalled > 0 || s.stopping; });
    // Leaving the wait takes one signal, or else the waiting place.
    if (s.signalled > 0)
      --s.signalled;
    else
      --s.waiting;
    if (!woken) break;  // idle too long
  }
  --s.threads;
  s.finished.notify_all();
}

}  // namespace qv
