#include "pool/cleanup_thread.h"

#include <sys/resource.h>
#include <unistd.h>

#include <exception>

#include "pool/fixed_connection_pool.h"
#include "pool/wake_event.h"

namespace qv {

CleanupThread::CleanupThread(std::chrono::milliseconds cleanup_interval)
    : cleanup_interval_(cleanup_interval) {}

CleanupThread::~CleanupThread() {
  Terminate();
  WaitFor();
}

void CleanupThread::Start(ConnectionPool& pool) {
  pool_ = &pool;
  thread_ = std::jthread([this](std::stop_token stop) { Execute(stop); });
}

void CleanupThread::Terminate() { thread_.request_stop(); }

void CleanupThread::WaitFor() {
  if (thread_.joinable()) thread_.join();
}

void CleanupThread::Execute(std::stop_token stop) {
  // One step below normal priority: this thread's nice value raised by one.
  setpriority(PRIO_PROCESS, static_cast<id_t>(gettid()), getpriority(PRIO_PROCESS, 0) + 1);
  while (!stop.stop_requested()) {
    if (PoolWakeEvent().WaitFor(cleanup_interval_, stop) != WaitResult::kTimeout) break;
    if (stop.stop_requested()) break;
    try {
      pool_->CloseIdleSessions();
    } catch (const std::exception& error) {
      pool_->Errors().Report(error.what());
    }
  }
}

}  // namespace qv
