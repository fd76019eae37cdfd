#include "pool/cleanup_thread.h"

#include <sys/resource.h>
#include <unistd.h>

#include <exception>

#include "pool/fixed_connection_pool.h"
#include "pool/module_errors.h"
#include "pool/wake_event.h"

namespace qv {

TCleanupThread::TCleanupThread(std::chrono::milliseconds cleanupInterval)
    : CleanupInterval_(cleanupInterval) {}

TCleanupThread::~TCleanupThread() {
  Terminate();
  WaitFor();
}

void TCleanupThread::Start(TFixedConnectionPool& pool) {
  Pool = &pool;
  thread_ = std::jthread([this](std::stop_token stop) { Execute(stop); });
}

void TCleanupThread::Terminate() { thread_.request_stop(); }

void TCleanupThread::WaitFor() {
  if (thread_.joinable()) thread_.join();
}

void TCleanupThread::Execute(std::stop_token stop) {
  // One step below normal priority: this thread's nice value raised by one.
  setpriority(PRIO_PROCESS, static_cast<id_t>(gettid()), getpriority(PRIO_PROCESS, 0) + 1);
  while (!stop.stop_requested()) {
    if (PoolWakeEvent().WaitFor(CleanupInterval_, stop) != TWaitResult::wrTimeout) break;
    if (stop.stop_requested()) break;
    try {
      Pool->CloseIdleSessions();
    } catch (const std::exception& error) {
      ReportModuleError(error.what());
    }
  }
}

}  // namespace qv
