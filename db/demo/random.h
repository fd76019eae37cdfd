// A small seeded random source whose sequence is the same on every platform,
// so a given seed always yields the same demo database.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace qv::demo {

class Random {
 public:
  explicit Random(uint64_t seed) : state_(seed * 0x9E3779B97F4A7C15ull + 0x1234567ull) {}

  uint64_t Next() {  // splitmix64
    uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
  }
  // A whole number from low to high, both included.
  int Range(int low, int high) {
    return low + static_cast<int>(Next() % static_cast<uint64_t>(high - low + 1));
  }
  // True with the given chance in percent.
  bool Chance(int percent) { return Range(1, 100) <= percent; }
  template <typename T>
  const T& Pick(const std::vector<T>& items) {
    return items[static_cast<size_t>(Next() % items.size())];
  }

 private:
  uint64_t state_;
};

}  // namespace qv::demo
