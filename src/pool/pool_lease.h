// A database session lent to one borrower: given back to its owner (the pool)
// when the lease ends, or discarded when its connection is not to be used again.
#pragma once

#include <cstddef>
#include <memory>

#include "db/database_session.h"

namespace qv {

// What lends sessions out: told once when a lease of one of its places ends.
class LeaseOwner {
 public:
  virtual ~LeaseOwner() = default;
  // The session lent from `place` comes back; with `discard` it is not to be
  // lent again. Must not raise.
  virtual void GiveBack(size_t place, const DatabaseSession* session, bool discard) noexcept = 0;
};

class PoolLease {
 public:
  PoolLease() = default;
  PoolLease(std::shared_ptr<LeaseOwner> owner, size_t place,
            std::shared_ptr<DatabaseSession> session);
  PoolLease(PoolLease&& other) noexcept;
  // Gives back what this lease holds before it takes the other one's.
  PoolLease& operator=(PoolLease&& other) noexcept;
  ~PoolLease() { Release(); }
  PoolLease(const PoolLease&) = delete;
  PoolLease& operator=(const PoolLease&) = delete;

  explicit operator bool() const { return session_ != nullptr; }
  DatabaseSession& Session() const { return *session_; }
  // For work that may outlive the lease, such as cancelling a query from
  // another thread: the session lives while that holds it.
  const std::shared_ptr<DatabaseSession>& SharedSession() const { return session_; }

  // Gives the session back for others to borrow; the lease is empty after.
  void Release() { End(false); }
  // Ends the lease with the session taken out of its place: it closes once
  // nobody holds it, and the place is free for a new one.
  void Discard() { End(true); }

 private:
  void End(bool discard) noexcept;

  std::shared_ptr<LeaseOwner> owner_;
  size_t place_ = 0;
  std::shared_ptr<DatabaseSession> session_;
};

}  // namespace qv
