#include "pool/fixed_connection_pool.h"

#include <cmath>
#include <mutex>

#include "pool/connection_module.h"

namespace qv {

namespace {

IConnection* NewConnectionModule(const std::shared_ptr<TPoolSync>& pool) {
  return new TConnectionModule(pool);
}

constexpr double kMillisecondsPerDay = 86400000.0;

}  // namespace

TFixedConnectionPool::TFixedConnectionPool(int32_t PoolSize, int32_t CleanupIntervalMinutes,
                                           uint32_t AcquireTimeoutMs)
    : TFixedConnectionPool(TPoolOptions{PoolSize, std::chrono::minutes(CleanupIntervalMinutes),
                                        AcquireTimeoutMs, {}, &SystemClock::Instance()}) {}

TFixedConnectionPool::TFixedConnectionPool(TPoolOptions options)
    : PoolSize_(options.PoolSize),
      AcquireTimeoutMs_(options.AcquireTimeoutMs),
      CleanupInterval_(options.CleanupInterval),
      clock_(*options.LocalClock),
      factory_(options.Factory ? std::move(options.Factory) : NewConnectionModule),
      sync_(std::make_shared<TPoolSync>(PoolSize_)),
      Slots(static_cast<size_t>(PoolSize_)),
      CleanupThread(CleanupInterval_) {
  CleanupThread.Start(*this);
}

TFixedConnectionPool::~TFixedConnectionPool() {
  CleanupThread.Terminate();
  CleanupThread.WaitFor();
  std::lock_guard lock(sync_->PoolLock);
  for (TConnectionRef& slot : Slots) slot.Reset();
  Slots.clear();
}

void TFixedConnectionPool::Acquire(TConnectionRef& connection) {
  connection.Reset();
  if (!sync_->PoolSemaphore.WaitFor(std::chrono::milliseconds(AcquireTimeoutMs_))) {
    throw EConnPoolException();
  }
  std::lock_guard lock(sync_->PoolLock);
  for (TConnectionRef& slot : Slots) {
    if (!slot) {
      try {
        slot = TConnectionRef(factory_(sync_));
        slot->DatabaseConnection().Connect();
      } catch (...) {
        // A module that could not connect is not kept, and its place stays
        // available: the next borrower tries a fresh one.
        slot.Reset();
        sync_->PoolSemaphore.Release();
        throw;
      }
      connection = slot;
      return;
    }
    if (slot->ReferenceCount() == 1) {
      connection = slot;
      return;
    }
  }
  // Every place is lent although a unit was taken: the count and the slots
  // disagree. Give the unit back rather than lend nothing.
  sync_->PoolSemaphore.Release();
  throw EConnPoolException();
}

void TFixedConnectionPool::CloseIdleModules() {
  const int64_t limitMs = CleanupInterval_.count();
  std::lock_guard lock(sync_->PoolLock);
  const TDateTime now = EncodeDateTime(clock_.Now());
  for (TConnectionRef& slot : Slots) {
    if (!slot || slot->ReferenceCount() != 1) continue;
    const auto idleMs = static_cast<int64_t>(
        std::floor((now - slot->LastReleaseTime()) * kMillisecondsPerDay + 0.5));
    if (idleMs > limitMs) slot.Reset();
  }
}

IConnection* TFixedConnectionPool::SlotModule(int32_t index) {
  std::lock_guard lock(sync_->PoolLock);
  if (index < 0 || index >= static_cast<int32_t>(Slots.size())) return nullptr;
  return Slots[static_cast<size_t>(index)].Get();
}

}  // namespace qv
