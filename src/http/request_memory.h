// The memory that requests still arriving hold, bounded for the whole server:
// each connection's input buffer and each request's head beyond their first
// few kilobytes, and the bodies read so far. One budget is shared by every connection of a server
// (and by the fronts that follow each other at restarts). A request that
// would need more than is left is refused with 503; the connection's other
// costs (its first input buffer, its socket) are bounded by the connection caps.
//
// After a burst, once little is held again, the memory the bodies took is
// handed back to the system, so that a spike does not stay in the process.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>

namespace qv {

class RequestMemory {
 public:
  // A burst: this much held at once since memory was last handed back. It is
  // handed back once the holdings fall to kQuietBytes.
  static constexpr size_t kBurstBytes = size_t{8} << 20;
  static constexpr size_t kQuietBytes = size_t{1} << 20;
  // Bytes of a connection's input buffer, and of a request's head, that do
  // not count: what an ordinary request needs, and a cost of the connection.
  static constexpr size_t kUncounted = 4096;

  // limit 0: no limit.
  explicit RequestMemory(size_t limit = 0) : limit_(limit) {}
  RequestMemory(const RequestMemory&) = delete;
  RequestMemory& operator=(const RequestMemory&) = delete;

  size_t Limit() const { return limit_.load(std::memory_order_relaxed); }
  // A lower limit refuses new takings only; what is held stays held.
  void SetLimit(size_t bytes) { limit_.store(bytes, std::memory_order_relaxed); }
  size_t Held() const { return held_.load(std::memory_order_relaxed); }
  // Requests refused because the limit was reached.
  uint64_t Refusals() const { return refusals_.load(std::memory_order_relaxed); }
  void CountRefusal() { refusals_.fetch_add(1, std::memory_order_relaxed); }
  // Times memory was handed back to the system after a burst.
  uint64_t Returns() const { return returns_.load(std::memory_order_relaxed); }

  // For the whole process: buffers of kOwnMapping bytes and more (bodies,
  // above all) get mappings of their own, which go back to the system as
  // they are freed. Held bodies then cost what they hold, and a burst leaves
  // no holes behind; without it the allocator, having seen a few large
  // buffers freed, places the next ones among the small ones.
  static constexpr size_t kOwnMapping = 128 * 1024;
  static void MapLargeBuffersApart();

  // Takes bytes; false, taking nothing, when they would pass the limit.
  bool Take(size_t bytes);
  // Takes bytes already in hand, beyond the limit if need be.
  void TakeAnyway(size_t bytes);
  void Give(size_t bytes);

 private:
  bool Add(size_t bytes, bool beyond_limit);
  // Hands freed memory back to the system after a burst, from one thread at a time.
  void AfterBurst();

  std::atomic<size_t> limit_;
  std::atomic<size_t> held_{0};
  std::atomic<size_t> peak_{0};  // the most held since memory was last handed back
  std::atomic<bool> returning_{false};
  std::atomic<uint64_t> refusals_{0};
  std::atomic<uint64_t> returns_{0};
};

// What one holder (a connection's input buffer, a request's body) has taken
// of a RequestMemory; given back when it goes. Without a RequestMemory it
// counts nothing and never refuses. Moves, never copies.
class MemoryCharge {
 public:
  MemoryCharge() = default;
  explicit MemoryCharge(std::shared_ptr<RequestMemory> memory) : memory_(std::move(memory)) {}
  ~MemoryCharge() { Release(); }
  MemoryCharge(MemoryCharge&& other) noexcept
      : memory_(std::move(other.memory_)), bytes_(other.bytes_) {
    other.bytes_ = 0;
  }
  MemoryCharge& operator=(MemoryCharge&& other) noexcept;

  // Makes what the holder has taken bytes; false, leaving it as it was, when
  // the RequestMemory cannot give the more it needs.
  bool Resize(size_t bytes);
  // Makes it bytes whatever the limit says: for memory already in hand.
  void Force(size_t bytes);
  size_t Bytes() const { return bytes_; }
  void Release() { Force(0); }

 private:
  std::shared_ptr<RequestMemory> memory_;
  size_t bytes_ = 0;
};

}  // namespace qv
