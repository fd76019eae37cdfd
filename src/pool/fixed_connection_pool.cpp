#include "pool/fixed_connection_pool.h"

#include <exception>
#include <mutex>
#include <vector>

#include "pool/semaphore.h"

namespace qv {

// The places and what guards them, held by the pool and by every lease, so
// a lease that ends after its pool is gone still finds them.
class ConnectionPool::PlaceList final : public LeaseOwner {
 public:
  struct Slot {
    std::shared_ptr<DatabaseSession> session;  // null: empty
    bool lent = false;
    bool connecting = false;  // a borrower connects a new session for it
    uint64_t generation = 0;  // the settings the session was made under
    std::chrono::steady_clock::time_point released;  // for its idle age
    DateTime last_release = 0;                       // for people to read
  };

  PlaceList(int32_t size, SteadyNow steady_now, const Clock& clock)
      : semaphore(size, size),
        slots(static_cast<size_t>(size)),
        steady_now(std::move(steady_now)),
        clock(clock) {}

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
          slot.released = steady_now();
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
  const SteadyNow steady_now;
  const Clock& clock;
};

ConnectionPool::ConnectionPool(PoolOptions options, ErrorSink& errors)
    : pool_size_(options.pool_size),
      acquire_timeout_ms_(options.acquire_timeout_ms),
      cleanup_interval_(options.cleanup_interval),
      factory_(std::move(options.factory)),
      errors_(errors),
      places_(std::make_shared<PlaceList>(pool_size_, std::move(options.steady_now),
                                          *options.local_clock)),
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
    // A session closes once nobody holds it; what fails then is reported.
    std::shared_ptr<DatabaseSession> fresh(factory_().release(),
                                           [&errors = errors_](DatabaseSession* session) {
                                             try {
                                               session->Detach();
                                             } catch (const std::exception& error) {
                                               errors.Report(error.what());
                                             }
                                             delete session;
                                           });
    fresh->Attach();
    std::lock_guard guard(places_->lock);
    PlaceList::Slot& slot = slots[place];
    slot.session = fresh;
    slot.generation = generation;
    slot.connecting = false;
    slot.lent = true;
    slot.released = {};
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
  std::vector<std::shared_ptr<DatabaseSession>> idle;  // closed after the lock is given back
  std::lock_guard guard(places_->lock);
  const auto now = places_->steady_now();
  for (PlaceList::Slot& slot : places_->slots) {
    if (!slot.session || slot.lent) continue;
    if (now - slot.released > cleanup_interval_) idle.push_back(std::move(slot.session));
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
  state.connected = slot.session && (slot.lent || slot.session->Attached());
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
