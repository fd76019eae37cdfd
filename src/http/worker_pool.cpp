#include "http/worker_pool.h"

#include <algorithm>

namespace qv {

void TWorkerPool::Submit(Job job) {
  std::unique_lock lock(mutex_);
  if (finished_ > 0) JoinFinished(lock);
  ++running_;
  if (!idle_.empty()) {
    Worker* worker = idle_.back();
    idle_.pop_back();
    worker->job = std::move(job);
    worker->wake.notify_one();
    return;
  }
  Worker& worker = workers_.emplace_back();
  worker.job = std::move(job);
  try {
    worker.thread = std::thread([this, &worker] { Loop(worker); });
  } catch (...) {
    --running_;
    workers_.pop_back();
    throw;
  }
}

void TWorkerPool::Loop(Worker& self) {
  std::unique_lock lock(mutex_);
  for (;;) {
    if (self.job) {
      Job job = std::move(*self.job);
      self.job.reset();
      lock.unlock();
      run_(job);
      lock.lock();
      if (--running_ == 0) all_done_.notify_all();
    }
    if (stopping_) break;
    idle_.push_back(&self);
    const bool woken =
        self.wake.wait_for(lock, kIdleLifetime, [&] { return self.job.has_value() || stopping_; });
    if (!woken || (stopping_ && !self.job)) {
      // Still idle: leave the idle list and end.
      const auto it = std::find(idle_.begin(), idle_.end(), &self);
      if (it != idle_.end()) idle_.erase(it);
      if (!self.job) break;
    }
  }
  self.finished = true;
  ++finished_;
}

void TWorkerPool::JoinFinished(std::unique_lock<std::mutex>& lock) {
  // A finished thread no longer touches its entry; joining it is quick.
  std::vector<std::thread> done;
  for (auto it = workers_.begin(); it != workers_.end();) {
    if (it->finished) {
      done.push_back(std::move(it->thread));
      it = workers_.erase(it);
      --finished_;
    } else {
      ++it;
    }
  }
  lock.unlock();
  for (std::thread& thread : done) thread.join();
  lock.lock();
}

void TWorkerPool::WaitIdle() {
  std::unique_lock lock(mutex_);
  all_done_.wait(lock, [this] { return running_ == 0; });
}

void TWorkerPool::Stop() {
  std::unique_lock lock(mutex_);
  all_done_.wait(lock, [this] { return running_ == 0; });
  stopping_ = true;
  for (Worker* worker : idle_) worker->wake.notify_one();
  std::list<Worker> workers = std::move(workers_);
  workers_.clear();
  idle_.clear();
  lock.unlock();
  for (Worker& worker : workers)
    if (worker.thread.joinable()) worker.thread.join();
  lock.lock();
  finished_ = 0;
  stopping_ = false;
}

size_t TWorkerPool::Threads() const {
  std::lock_guard lock(mutex_);
  return workers_.size() - finished_;
}

size_t TWorkerPool::Running() const {
  std::lock_guard lock(mutex_);
  return running_;
}

}  // namespace qv
