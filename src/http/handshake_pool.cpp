#include "http/handshake_pool.h"

#include <pthread.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

namespace qv {

size_t HandshakePool::DefaultThreads() {
  const size_t processors = std::thread::hardware_concurrency();
  return std::clamp<size_t>(processors > 1 ? processors - 1 : 1, 1, 4);
}

HandshakePool::HandshakePool(size_t threads) {
  try {
    for (size_t i = 0; i < std::max<size_t>(threads, 1); ++i) threads_.emplace_back([this] { Run(); });
  } catch (...) {
    Stop();
    throw;
  }
}

HandshakePool::~HandshakePool() { Stop(); }

void HandshakePool::Post(Job job) {
  {
    std::lock_guard lock(lock_);
    if (stopping_) return;
    queue_.push_back(std::move(job));
  }
  work_.notify_one();
}

void HandshakePool::Stop() {
  {
    std::lock_guard lock(lock_);
    stopping_ = true;
    queue_.clear();
  }
  work_.notify_all();
  for (std::thread& thread : threads_)
    if (thread.joinable()) thread.join();
}

void HandshakePool::Run() {
  ::pthread_setname_np(::pthread_self(), "Handshake");
  // Nicer than the rest: a thread's niceness is its own on Linux. Failing
  // that, it runs at the process's priority.
  errno = 0;
  const int current = ::getpriority(PRIO_PROCESS, static_cast<id_t>(::gettid()));
  if (errno == 0) ::setpriority(PRIO_PROCESS, static_cast<id_t>(::gettid()), current + kNiceness);
  std::unique_lock lock(lock_);
  for (;;) {
    work_.wait(lock, [this] { return stopping_ || !queue_.empty(); });
    if (stopping_) return;
    Job job = std::move(queue_.front());
    queue_.pop_front();
    lock.unlock();
    job();
    job = nullptr;
    lock.lock();
  }
}

}  // namespace qv
