#include "pool/fixed_connection_pool.h"

#include <cmath>
#include <exception>
#include <mutex>
#include <vector>

#include "platform/profile.h"
#include "pool/pool_errors.h"
#include "pool/semaphore.h"
#include "pool/session_settings.h"

namespace qv {

namespace {

constexpr double kMillisecondsPerDay = 86400000.0;

// Ends what a session still has open, telling what fails, and frees it.
void CloseSession(DatabaseSession* session) {
  try {
    if (session->Transaction().InTransaction()) session->Transaction().Commit();
  } catch (const std::exception& error) {
    ReportPoolError(error.what());
  }
  try {
    if (session->Connection().Connected()) session->Connection().Disconnect();
  } catch (const std::exception& error) {
    ReportPoolError(error.what());
  }
  delete session;
}

}  // namespace

// The places and what guards them, held by the pool and by every lease, so
// a lease that ends after its pool is gone still finds them.
class ConnectionPool::PlaceList final : public LeaseOwner {
 public:
  struct Slot {
    std::shared_ptr<DatabaseSession> session;  // null: empty
    bool lent = false;
    bool connecting = false;  // a borrower connects a new session for it
    uint64_t generation = 0;  // the settings the session was made under
    DateTime last_release = 0;
  };

  PlaceList(int32_t size, const Clock& clock)
      : semaphore(size, size), slots(static_cast<size_t>(size)), clock(clock) {}

  void GiveBack(size_t place, const DatabaseSession* session, bool discard) noexcept override {
    std::shared_ptr<DatabaseSession> closing;  // closed after the lock is given back
    bool freed = false;
    {
      std::lock_guard guard(lock);
      if (place < slots.size() && slots[place].lent && slots[place].session.get() == session) {
        Slot& slot = slots[place];
        slot.lent = false;
        freed = true;
        if (discard) {
          closing = std::move(slot.session);
        } else {
          slot.last_release = EncodeDateTime(clock.Now());
        }
      }
    }
    if (freed) semaphore.Release();
  }

  // Guards the slots and the current generation; never held while a
  // session connects or closes.
  std::mutex lock;
  // One unit per place that is empty or free and not claimed by a borrower.
  Semaphore semaphore;
  std::vector<Slot> slots;
  uint64_t generation = 0;
  const Clock& clock;
};

ConnectionPool::ConnectionPool(int32_t PoolSize, int32_t CleanupIntervalMinutes,
                                           uint32_t AcquireTimeoutMs)
    : ConnectionPool(PoolOptions{PoolSize, std::chrono::minutes(CleanupIntervalMinutes),
                                        AcquireTimeoutMs, {}, &SystemClock::Instance()}) {}

ConnectionPool::ConnectionPool(PoolOptions options)
    : pool_size_(options.pool_size),
      acquire_timeout_ms_(options.acquire_timeout_ms),
      cleanup_interval_(options.cleanup_interval),
      factory_(options.factory ? std::move(options.factory)
                               : SessionFactory([] { return NewDatabaseSession(ExecutableIniPath()); })),
      places_(std::make_shared<PlaceList>(pool_size_, *options.local_clock)),
      cleanup_thread_(cleanup_interval_) {
  cleanup_thread_.Start(*this);
}

ConnectionPool::~ConnectionPool() {
  cleanup_thread_.Terminate();
  cleanup_thread_.WaitFor();
  std::vector<std::shared_ptr<DatabaseSession>> closing;  // closed after the lock is given back
  std::lock_guard guard(places_->lock);
  for (PlaceList::Slot& slot : places_->slots) closing.push_back(std::move(slot.session));
}

bool ConnectionPool::Acquire(PoolLease& lease, AcquireMode mode) {
  lease.Release();
  Semaphore& semaphore = places_->semaphore;
  if (!semaphore.WaitFor(std::chrono::milliseconds(0))) {
    waits_.fetch_add(1, std::memory_order_relaxed);
    if (!semaphore.WaitFor(std::chrono::milliseconds(acquire_timeout_ms_))) {
      timeouts_.fetch_add(1, std::memory_order_relaxed);
      throw PoolTimeout();
    }
  }
  std::vector<PlaceList::Slot>& slots = places_->slots;
  size_t place = slots.size();
  std::shared_ptr<DatabaseSession> stale;  // a free session closed to make room for a fresh one
  uint64_t generation = 0;
  {
    std::lock_guard guard(places_->lock);
    generation = places_->generation;
    for (size_t i = 0; i < slots.size(); ++i) {
      PlaceList::Slot& slot = slots[i];
      if (slot.connecting || slot.lent) continue;
      if (!slot.session) {
        place = i;
        break;
      }
      if (slot.generation != generation) {
        // Made under settings that have changed since.
        stale = std::move(slot.session);
        place = i;
        break;
      }
      if (mode == AcquireMode::kAny) {
        slot.lent = true;
        lease = PoolLease(places_, i, slot.session);
        return false;
      }
    }
    if (place == slots.size() && mode == AcquireMode::kFreshConnection) {
      for (size_t i = 0; i < slots.size(); ++i) {
        if (!slots[i].connecting && !slots[i].lent && slots[i].session) {
          stale = std::move(slots[i].session);
          place = i;
          break;
        }
      }
    }
    // Every place lent although a unit was taken (the count and the places
    // disagree), or a closed pool, which lends the sessions it has but
    // attaches no new one (an attach to a database that hangs would outlast
    // the stop that closed it): the unit goes back and nothing is lent.
    if (place == slots.size() || semaphore.Closed()) {
      semaphore.Release();
      throw PoolTimeout();
    }
    slots[place].connecting = true;
  }
  stale.reset();
  try {
    std::shared_ptr<DatabaseSession> fresh(factory_().release(), CloseSession);
    fresh->Connection().Connect();
    std::lock_guard guard(places_->lock);
    PlaceList::Slot& slot = slots[place];
    slot.session = fresh;
    slot.generation = generation;
    slot.connecting = false;
    slot.lent = true;
    slot.last_release = 0;
    lease = PoolLease(places_, place, std::move(fresh));
  } catch (...) {
    // A session that could not connect is not kept, and its place stays
    // available: the next borrower tries a fresh one.
    {
      std::lock_guard guard(places_->lock);
      slots[place].connecting = false;
    }
    semaphore.Release();
    throw;
  }
  return true;
}

void ConnectionPool::Close() { places_->semaphore.Close(); }

void ConnectionPool::Reopen() { places_->semaphore.Reopen(); }

void ConnectionPool::RetireSessions() {
  std::vector<std::shared_ptr<DatabaseSession>> retired;  // closed after the lock is given back
  std::lock_guard guard(places_->lock);
  ++places_->generation;
  for (PlaceList::Slot& slot : places_->slots) {
    if (slot.session && !slot.lent) retired.push_back(std::move(slot.session));
  }
}

void ConnectionPool::CloseIdleSessions() {
  const int64_t limit_ms = cleanup_interval_.count();
  std::vector<std::shared_ptr<DatabaseSession>> idle;  // closed after the lock is given back
  std::lock_guard guard(places_->lock);
  const DateTime now = EncodeDateTime(places_->clock.Now());
  for (PlaceList::Slot& slot : places_->slots) {
    if (!slot.session || slot.lent) continue;
    const auto idle_ms = static_cast<int64_t>(
        std::floor((now - slot.last_release) * kMillisecondsPerDay + 0.5));
    if (idle_ms > limit_ms) idle.push_back(std::move(slot.session));
  }
}

int32_t ConnectionPool::AvailablePlaces() const { return places_->semaphore.Count(); }

PlaceState ConnectionPool::Place(int32_t index) const {
  PlaceState state;
  std::lock_guard guard(places_->lock);
  if (index < 0 || index >= static_cast<int32_t>(places_->slots.size())) return state;
  const PlaceList::Slot& slot = places_->slots[static_cast<size_t>(index)];
  state.session = slot.session.get();
  state.lent = slot.lent;
  // A lent session's connection belongs to its borrower: it counts as attached.
  state.connected = slot.session && (slot.lent || slot.session->Connection().Connected());
  state.last_release = slot.last_release;
  return state;
}

ConnectionPool::PlaceCounts ConnectionPool::Places() const {
  PlaceCounts places;
  for (int32_t i = 0; i < pool_size_; ++i) {
    const PlaceState place = Place(i);
    if (place.lent) {
      ++places.busy;
    } else if (place.connected) {
      ++places.free;
    } else {
      ++places.unconnected;
    }
  }
  return places;
}

}  // namespace qv
