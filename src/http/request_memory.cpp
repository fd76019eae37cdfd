#include "http/request_memory.h"

#include <malloc.h>

namespace qv {

bool RequestMemory::Take(size_t bytes) { return Add(bytes, false); }

void RequestMemory::TakeAnyway(size_t bytes) { Add(bytes, true); }

bool RequestMemory::Add(size_t bytes, bool beyond_limit) {
  const size_t limit = Limit();
  size_t held = held_.load(std::memory_order_relaxed);
  do {
    if (!beyond_limit && limit > 0 && (held > limit || bytes > limit - held)) return false;
  } while (!held_.compare_exchange_weak(held, held + bytes, std::memory_order_relaxed));
  const size_t now = held + bytes;
  size_t peak = peak_.load(std::memory_order_relaxed);
  while (now > peak && !peak_.compare_exchange_weak(peak, now, std::memory_order_relaxed)) {
  }
  return true;
}

void RequestMemory::Give(size_t bytes) {
  const size_t now = held_.fetch_sub(bytes, std::memory_order_relaxed) - bytes;
  if (now <= kQuietBytes && peak_.load(std::memory_order_relaxed) >= kBurstBytes) AfterBurst();
}

void RequestMemory::MapLargeBuffersApart() { ::mallopt(M_MMAP_THRESHOLD, static_cast<int>(kOwnMapping)); }

void RequestMemory::AfterBurst() {
  if (returning_.exchange(true, std::memory_order_acquire)) return;
  peak_.store(Held(), std::memory_order_relaxed);
  // Freed memory in the allocator's arenas stays in the process (large
  // bodies too, unless MapLargeBuffersApart): whole free pages go back here.
  ::malloc_trim(0);
  returns_.fetch_add(1, std::memory_order_relaxed);
  returning_.store(false, std::memory_order_release);
}

MemoryCharge& MemoryCharge::operator=(MemoryCharge&& other) noexcept {
  if (this != &other) {
    Release();
    memory_ = std::move(other.memory_);
    bytes_ = other.bytes_;
    other.bytes_ = 0;
  }
  return *this;
}

bool MemoryCharge::Resize(size_t bytes) {
  if (memory_ && bytes > bytes_) {
    if (!memory_->Take(bytes - bytes_)) return false;
    bytes_ = bytes;
    return true;
  }
  Force(bytes);
  return true;
}

void MemoryCharge::Force(size_t bytes) {
  if (memory_) {
    if (bytes < bytes_)
      memory_->Give(bytes_ - bytes);
    else if (bytes > bytes_)
      memory_->TakeAnyway(bytes - bytes_);
  }
  bytes_ = bytes;
}

}  // namespace qv
