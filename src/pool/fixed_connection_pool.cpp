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
      Connecting_(static_cast<size_t>(PoolSize_), false),
      SlotGeneration_(static_cast<size_t>(PoolSize_), 0),
      CleanupThread(CleanupInterval_) {
  CleanupThread.Start(*this);
}

TFixedConnectionPool::~TFixedConnectionPool() {
  CleanupThread.Terminate();
  CleanupThread.WaitFor();
  std::vector<TConnectionRef> slots;
  {
    std::lock_guard lock(sync_->PoolLock);
    slots.swap(Slots);
  }
  // Modules no borrower holds close here, detaching over the network: not
  // under the pool's lock.
  slots.clear();
}

bool TFixedConnectionPool::Acquire(TConnectionRef& connection, TAcquireMode mode) {
  connection.Reset();
  if (!sync_->PoolSemaphore.WaitFor(std::chrono::milliseconds(0))) {
    waits_.fetch_add(1, std::memory_order_relaxed);
    if (!sync_->PoolSemaphore.WaitFor(std::chrono::milliseconds(AcquireTimeoutMs_))) {
      timeouts_.fetch_add(1, std::memory_order_relaxed);
      throw EConnPoolException();
    }
  }
  size_t place = Slots.size();
  TConnectionRef stale;  // a free module closed to make room for a fresh one
  uint64_t generation = 0;
  {
    std::lock_guard lock(sync_->PoolLock);
    generation = generation_;
    for (size_t i = 0; i < Slots.size(); ++i) {
      if (Connecting_[i]) continue;
      TConnectionRef& slot = Slots[i];
      if (!slot) {
        place = i;
        break;
      }
      if (slot->ReferenceCount() == 1 && SlotGeneration_[i] != generation_) {
        // Made under settings that have changed since.
        stale = std::move(slot);
        place = i;
        break;
      }
      if (mode == TAcquireMode::amAny && slot->ReferenceCount() == 1) {
        connection = slot;
        return false;
      }
    }
    if (place == Slots.size() && mode == TAcquireMode::amFreshConnection) {
      for (size_t i = 0; i < Slots.size(); ++i) {
        if (!Connecting_[i] && Slots[i] && Slots[i]->ReferenceCount() == 1) {
          stale = std::move(Slots[i]);
          place = i;
          break;
        }
      }
    }
    if (place == Slots.size()) {
      // Every place is lent although a unit was taken: the count and the slots
      // disagree. Give the unit back rather than lend nothing.
      sync_->PoolSemaphore.Release();
      throw EConnPoolException();
    }
    Connecting_[place] = true;
  }
  stale.Reset();
  try {
    TConnectionRef fresh(factory_(sync_));
    fresh->DatabaseConnection().Connect();
    std::lock_guard lock(sync_->PoolLock);
    Slots[place] = fresh;
    SlotGeneration_[place] = generation;
    Connecting_[place] = false;
    connection = std::move(fresh);
  } catch (...) {
    // A module that could not connect is not kept, and its place stays
    // available: the next borrower tries a fresh one.
    {
      std::lock_guard lock(sync_->PoolLock);
      Connecting_[place] = false;
    }
    sync_->PoolSemaphore.Release();
    throw;
  }
  return true;
}

void TFixedConnectionPool::Discard(TConnectionRef& connection) {
  if (!connection) return;
  TConnectionRef slotReference;
  {
    std::lock_guard lock(sync_->PoolLock);
    for (TConnectionRef& slot : Slots) {
      if (slot.Get() == connection.Get()) {
        slotReference = std::move(slot);
        break;
      }
    }
  }
  // The borrower's release frees the place; the last release closes the module.
  connection.Reset();
  slotReference.Reset();
}

void TFixedConnectionPool::Close() { sync_->PoolSemaphore.Close(); }

void TFixedConnectionPool::Reopen() { sync_->PoolSemaphore.Reopen(); }

void TFixedConnectionPool::RetireModules() {
  std::vector<TConnectionRef> retired;  // closed after the lock is given back
  std::lock_guard lock(sync_->PoolLock);
  ++generation_;
  for (TConnectionRef& slot : Slots)
    if (slot && slot->ReferenceCount() == 1) retired.push_back(std::move(slot));
}

void TFixedConnectionPool::CloseIdleModules() {
  const int64_t limitMs = CleanupInterval_.count();
  std::vector<TConnectionRef> idle;  // closed after the lock is given back
  std::lock_guard lock(sync_->PoolLock);
  const TDateTime now = EncodeDateTime(clock_.Now());
  for (TConnectionRef& slot : Slots) {
    if (!slot || slot->ReferenceCount() != 1) continue;
    const auto idleMs = static_cast<int64_t>(
        std::floor((now - slot->LastReleaseTime()) * kMillisecondsPerDay + 0.5));
    if (idleMs > limitMs) idle.push_back(std::move(slot));
  }
}

TFixedConnectionPool::TPlaces TFixedConnectionPool::Places() const {
  TPlaces places;
  std::lock_guard lock(sync_->PoolLock);
  for (const TConnectionRef& slot : Slots) {
    if (!slot)
      ++places.Unconnected;
    else if (slot->ReferenceCount() > 1)
      ++places.Busy;
    else if (slot->DatabaseConnection().Connected())
      ++places.Free;
    else
      ++places.Unconnected;
  }
  return places;
}

IConnection* TFixedConnectionPool::SlotModule(int32_t index) {
  std::lock_guard lock(sync_->PoolLock);
  if (index < 0 || index >= static_cast<int32_t>(Slots.size())) return nullptr;
  return Slots[static_cast<size_t>(index)].Get();
}

}  // namespace qv
