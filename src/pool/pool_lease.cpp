#include "pool/pool_lease.h"

#include <utility>

namespace qv {

PoolLease::PoolLease(std::shared_ptr<LeaseOwner> owner, size_t place,
                     std::shared_ptr<DatabaseSession> session)
    : owner_(std::move(owner)), place_(place), session_(std::move(session)) {}

PoolLease::PoolLease(PoolLease&& other) noexcept
    : owner_(std::move(other.owner_)),
      place_(other.place_),
      session_(std::move(other.session_)) {}

PoolLease& PoolLease::operator=(PoolLease&& other) noexcept {
  if (this != &other) {
    Release();
    owner_ = std::move(other.owner_);
    place_ = other.place_;
    session_ = std::move(other.session_);
  }
  return *this;
}

void PoolLease::End(bool discard) noexcept {
  std::shared_ptr<DatabaseSession> session = std::move(session_);
  std::shared_ptr<LeaseOwner> owner = std::move(owner_);
  if (session && owner) owner->GiveBack(place_, session.get(), discard);
  // A discarded session closes here when nobody else holds it any more.
}

}  // namespace qv
