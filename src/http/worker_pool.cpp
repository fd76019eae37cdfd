#include "http/worker_pool.h"

#include <pthread.h>

namespace qv {

// Shared with the threads, so that a thread left running after a stop still
// finds it.
struct TIdWorkerPool::State {
  std::function<void(Job&)> run;
  size_t max_threads = 0;
  mutable std::mutex lock;
  std::condition_variable work;      // a job was queued, or the pool stops
  std::condition_variable finished;  // a thread ended
  std::deque<Job> queue;
  size_t threads = 0;
  size_t idle = 0;
  bool stopping = false;
};

TIdWorkerPool::TIdWorkerPool(size_t max_threads, std::function<void(Job&)> run)
    : state_(std::make_shared<State>()) {
  state_->run = std::move(run);
  state_->max_threads = max_threads;
}

TIdWorkerPool::~TIdWorkerPool() { Stop(Clock::now()); }

bool TIdWorkerPool::StartIfNeeded(std::unique_lock<std::mutex>& lock) {
  State& s = *state_;
  if (s.queue.size() <= s.idle) return true;
  if (s.max_threads != 0 && s.threads >= s.max_threads) return true;
  try {
    std::thread thread(ThreadMain, state_);
    thread.detach();
  } catch (const std::exception&) {
    // No thread now: the job waits for a busy thread, or for Retry.
    return s.threads > 0;
  }
  ++s.threads;
  ++s.idle;  // counts as free until it takes its job
  (void)lock;
  return true;
}

bool TIdWorkerPool::Post(Job job) {
  std::unique_lock lock(state_->lock);
  state_->queue.push_back(std::move(job));
  const bool ok = StartIfNeeded(lock);
  state_->work.notify_one();
  return ok;
}

bool TIdWorkerPool::Retry() {
  std::unique_lock lock(state_->lock);
  const bool ok = StartIfNeeded(lock);
  state_->work.notify_one();
  return ok;
}

size_t TIdWorkerPool::Threads() const {
  std::lock_guard lock(state_->lock);
  return state_->threads;
}

std::vector<TIdWorkerPool::Job> TIdWorkerPool::TakeQueued() {
  std::lock_guard lock(state_->lock);
  std::vector<Job> jobs(std::make_move_iterator(state_->queue.begin()),
                        std::make_move_iterator(state_->queue.end()));
  state_->queue.clear();
  return jobs;
}

void TIdWorkerPool::Stop(Clock::time_point until) {
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

void TIdWorkerPool::ThreadMain(std::shared_ptr<State> state) {
  ::pthread_setname_np(::pthread_self(), "User");
  State& s = *state;
  std::unique_lock lock(s.lock);
  for (;;) {
    if (s.queue.empty()) {
      if (s.stopping) break;
      const bool woken = s.work.wait_for(lock, kIdleLifetime, [&] { return !s.queue.empty() || s.stopping; });
      if (!woken) break;  // idle too long
      continue;
    }
    Job job = std::move(s.queue.front());
    s.queue.pop_front();
    --s.idle;
    lock.unlock();
    s.run(job);
    job.reset();
    lock.lock();
    ++s.idle;
  }
  --s.idle;
  --s.threads;
  s.finished.notify_all();
}

}  // namespace qv
