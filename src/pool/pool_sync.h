// The lock and the semaphore one pool shares with the modules it created.
#pragma once

#include <cstdint>
#include <mutex>

#include "pool/semaphore.h"

namespace qv {

// Held jointly by the pool and each of its modules, so a module released after
// its pool is gone still finds both.
struct TPoolSync {
  explicit TPoolSync(int32_t poolSize) : PoolSemaphore(poolSize, poolSize) {}

  // Guards the pool's slots and every module's reference count; re-entrant,
  // since references are copied and cleared while it is held.
  std::recursive_mutex PoolLock;
  // One unit per place that is empty or holds a free module.
  TSemaphore PoolSemaphore;
};

}  // namespace qv
