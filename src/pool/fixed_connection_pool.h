// A fixed number of places, each empty or holding one database session, lent
// to request threads with a bounded wait; idle sessions are closed by a
// clean-up thread.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string_view>

#include "db/database_session.h"
#include "platform/clock.h"
#include "platform/datetime.h"
#include "platform/error_sink.h"
#include "platform/exception.h"
#include "pool/cleanup_thread.h"
#include "pool/pool_lease.h"

namespace qv {

inline constexpr std::string_view kConnPoolTimeoutMessage =
    "Connection pool timeout. Cannot obtain a connection";

class PoolTimeout : public Exception {
 public:
  PoolTimeout()
      : Exception(std::string(kConnPoolTimeoutMessage), FailureKind::NoFreeConnection) {}
};

// Makes a new session, not attached yet; the pool attaches it.
using SessionFactory = std::function<std::unique_ptr<DatabaseSession>()>;
// The steady time idle ages are measured on (a stand-in in tests).
using SteadyNow = std::function<std::chrono::steady_clock::time_point()>;

// Which session Acquire may lend.
enum class AcquireMode {
  kAny,              // the lowest place that is empty or free
  kFreshConnection,  // a session connected for this call (after a lost connection)
};

struct PoolOptions {
  int32_t pool_size = 5;
  // Time between clean-up passes, and the idle time after which a free session closes.
  std::chrono::milliseconds cleanup_interval = std::chrono::minutes(5);
  uint32_t acquire_timeout_ms = 10000;
  // Makes the sessions (see session_settings.h for the one from [DB]).
  SessionFactory factory;
  // Idle ages: a steady clock, so that a change of the wall clock neither
  // closes every free session nor keeps them open longer.
  SteadyNow steady_now = [] { return std::chrono::steady_clock::now(); };
  // The local time of a give-back, for people to read.
  const Clock* local_clock = &SystemClock::Instance();
};

// One place of the pool as it stands, for monitoring.
struct PlaceState {
  // The session in the place (null: empty); only to tell sessions apart.
  const DatabaseSession* session = nullptr;
  bool lent = false;
  bool connected = false;
  // When the session was last given back, local time (0 before that).
  DateTime last_release = 0;
};

class ConnectionPool {
 public:
  // Failures the pool does not let pass (a session that fails to close) go
  // to `errors`, which must outlive the pool and every lease it lends.
  ConnectionPool(PoolOptions options, ErrorSink& errors);
  // Closes the free sessions. A session still lent closes when its lease ends.
  ~ConnectionPool();
  ConnectionPool(const ConnectionPool&) = delete;
  ConnectionPool& operator=(const ConnectionPool&) = delete;

  // Ends the lease first (one borrower never holds two places), then waits
  // at most AcquireTimeoutMs for a place and lends the session of the lowest
  // place that is empty (a new session, connected now) or free. Raises
  // PoolTimeout when no place becomes free in time; a failure to
  // connect a new session passes on, and the place stays available. A new
  // session connects without the pool's lock: others borrow and give back
  // meanwhile.
  void Acquire(PoolLease& lease) { Acquire(lease, AcquireMode::kAny); }
  // As above; kFreshConnection lends only a session connected now (a free
  // one in the way is closed). Returns true when the session was connected by
  // this call.
  bool Acquire(PoolLease& lease, AcquireMode mode);

  // From now on nobody waits for a place: waiting borrowers are woken and get
  // PoolTimeout at once; a place that is available is still lent.
  void Close();
  // Borrowers wait for places again (a server started anew).
  void Reopen();

  // The database settings changed: every session made so far is retired. A
  // free one is closed now; a lent one finishes its request and is closed
  // in place of being lent again. The sessions made afterwards (as borrowers
  // come) read the settings anew. The number of sessions never passes PoolSize.
  void RetireSessions();

  // One clean-up pass: closes every free session that has been idle longer
  // than the clean-up interval, which empties its place.
  void CloseIdleSessions();
  // Where the pool and its clean-up thread report.
  ErrorSink& Errors() const { return errors_; }

  int32_t PoolSize() const { return pool_size_; }
  // Places that are empty or free and not claimed by a borrower.
  int32_t AvailablePlaces() const;
  // The place at that index as it stands (empty when out of range).
  PlaceState Place(int32_t index) const;

  // The places by state, for monitoring: lent out, free in their place, or
  // empty (or holding a session that is not attached).
  struct PlaceCounts {
    int32_t busy = 0;
    int32_t free = 0;
    int32_t unconnected = 0;
  };
  PlaceCounts Places() const;
  // Borrowers that found no place free at once, and those that gave up.
  uint64_t Waits() const { return waits_.load(std::memory_order_relaxed); }
  uint64_t Timeouts() const { return timeouts_.load(std::memory_order_relaxed); }

 private:
  class PlaceList;  // the places, shared with the leases

  const int32_t pool_size_;
  const uint32_t acquire_timeout_ms_;
  const std::chrono::milliseconds cleanup_interval_;
  SessionFactory factory_;
  ErrorSink& errors_;
  std::shared_ptr<PlaceList> places_;
  std::atomic<uint64_t> waits_{0};
  std::atomic<uint64_t> timeouts_{0};
  CleanupThread cleanup_thread_;
};

}  // namespace qv
