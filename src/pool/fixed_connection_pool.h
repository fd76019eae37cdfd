// A fixed number of places, each empty or holding one connection module, lent to
// request threads with a bounded wait; idle modules are closed by a clean-up thread.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string_view>
#include <vector>

#include "platform/clock.h"
#include "platform/exception.h"
#include "pool/cleanup_thread.h"
#include "pool/connection.h"
#include "pool/pool_sync.h"

namespace qv {

inline constexpr std::string_view kConnPoolTimeoutMessage =
    "Connection pool timeout. Cannot obtain a connection";

class EConnPoolException : public Exception {
 public:
  EConnPoolException()
      : Exception(std::string(kConnPoolTimeoutMessage), FailureKind::NoFreeConnection) {}
};

// Makes a new module bound to the pool's lock and semaphore, reference count 0.
using TConnectionFactory = std::function<IConnection*(const std::shared_ptr<TPoolSync>& pool)>;

// Which module Acquire may lend.
enum class TAcquireMode {
  amAny,              // the lowest place that is empty or free
  amFreshConnection,  // a module connected for this call (after a lost connection)
};

struct TPoolOptions {
  int32_t PoolSize = 5;
  // Time between clean-up passes, and the idle time after which a free module closes.
  std::chrono::milliseconds CleanupInterval = std::chrono::minutes(5);
  uint32_t AcquireTimeoutMs = 10000;
  // Empty: a TConnectionModule set up from the INI file beside the executable.
  TConnectionFactory Factory;
  // The local clock the idle times are measured on.
  const Clock* LocalClock = &SystemClock::Instance();
};

class TFixedConnectionPool {
 public:
  TFixedConnectionPool(int32_t PoolSize, int32_t CleanupIntervalMinutes, uint32_t AcquireTimeoutMs);
  explicit TFixedConnectionPool(TPoolOptions options);
  // Only when nothing is lent out any more; a module still lent is destroyed when
  // its borrower releases it.
  ~TFixedConnectionPool();
  TFixedConnectionPool(const TFixedConnectionPool&) = delete;
  TFixedConnectionPool& operator=(const TFixedConnectionPool&) = delete;

  // Empties connection, then waits at most AcquireTimeoutMs for a place and lends
  // the module of the lowest slot that is empty (a new module, connected now) or
  // free. Raises EConnPoolException when no place becomes free in time; a failure
  // to connect a new module passes on, and the place stays available. A new
  // module connects without the pool's lock: others borrow and give back meanwhile.
  void Acquire(TConnectionRef& connection) { Acquire(connection, TAcquireMode::amAny); }
  // As above; amFreshConnection lends only a module connected now (a free module
  // in the way is closed). Returns true when the module was connected by this call.
  bool Acquire(TConnectionRef& connection, TAcquireMode mode);

  // Takes the borrowed module out of its slot and drops the reference, so the
  // module is closed once nobody holds it and its place gets a new module.
  void Discard(TConnectionRef& connection);

  // From now on nobody waits for a place: waiting borrowers are woken and get
  // EConnPoolException at once; a place that is available is still lent.
  void Close();
  // Borrowers wait for places again (a server started anew).
  void Reopen();

  // The database settings changed: every module made so far is retired. A
  // free one is closed now; a lent one finishes its request and is closed
  // in place of being lent again. The modules made afterwards (as borrowers
  // come) read the settings anew. The number of modules never passes PoolSize.
  void RetireModules();

  // One clean-up pass: empties every slot whose module is free and has been idle
  // longer than the clean-up interval, which closes that module.
  void CloseIdleModules();

  int32_t PoolSize() const { return PoolSize_; }
  // The module in a slot, or null; for inspection only (takes no reference).
  IConnection* SlotModule(int32_t index);
  // Places that are empty or free and not claimed by a borrower.
  int32_t AvailablePlaces() const { return sync_->PoolSemaphore.Count(); }

  // The places by state, for monitoring: lent out, free in their slot, or empty.
  struct TPlaces {
    int32_t Busy = 0;
    int32_t Free = 0;
    int32_t Unconnected = 0;
  };
  TPlaces Places() const;
  // Borrowers that found no place free at once, and those that gave up.
  uint64_t Waits() const { return waits_.load(std::memory_order_relaxed); }
  uint64_t Timeouts() const { return timeouts_.load(std::memory_order_relaxed); }

 private:
  const int32_t PoolSize_;
  const uint32_t AcquireTimeoutMs_;
  const std::chrono::milliseconds CleanupInterval_;
  const Clock& clock_;
  TConnectionFactory factory_;
  std::shared_ptr<TPoolSync> sync_;
  std::vector<TConnectionRef> Slots;
  // Places whose new module is being connected (under PoolLock).
  std::vector<bool> Connecting_;
  // Under PoolLock: the generation of each slot's module, and the current one;
  // a free module of an older generation is closed rather than lent.
  std::vector<uint64_t> SlotGeneration_;
  uint64_t generation_ = 0;
  std::atomic<uint64_t> waits_{0};
  std::atomic<uint64_t> timeouts_{0};
  TCleanupThread CleanupThread;
};

}  // namespace qv
