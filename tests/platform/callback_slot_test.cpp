// The callback slot: calls run at the same time, holding no lock; a
// replacement waits for the calls under way and the old callback is never
// called after it.
#include "platform/callback_slot.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <future>
#include <string>
#include <thread>

#include "platform/error_sink.h"

namespace qv {
namespace {

using namespace std::chrono_literals;

// A callback that stays inside until released, counting who is inside.
struct Gate {
  std::atomic<int> inside{0};
  std::atomic<int> most{0};
  std::atomic<bool> open{false};
  void Enter() {
    most = std::max(most.load(), ++inside);
    while (!open) std::this_thread::sleep_for(1ms);
    --inside;
  }
  void WaitInside(int n) {
    for (int i = 0; i < 2000 && inside < n; ++i) std::this_thread::sleep_for(1ms);
  }
};

TEST(CallbackSlotTest, CallsRunTogetherAndASetWaitsForThem) {
  CallbackSlot<int> slot;
  EXPECT_FALSE(slot.Call(0));
  Gate gate;
  std::atomic<int> old_calls{0};
  slot.Set([&](int) {
    ++old_calls;
    gate.Enter();
  });
  auto first = std::async(std::launch::async, [&] { return slot.Call(1); });
  auto second = std::async(std::launch::async, [&] { return slot.Call(2); });
  gate.WaitInside(2);
  EXPECT_EQ(gate.inside, 2);  // no lock keeps the second out while the first runs

  std::atomic<bool> replaced{false};
  auto replace = std::async(std::launch::async, [&] {
    slot.Set([](int) {});
    replaced = true;
  });
  std::this_thread::sleep_for(50ms);
  EXPECT_FALSE(replaced);  // two calls of the old callback are still under way
  gate.open = true;
  replace.get();
  EXPECT_TRUE(first.get());
  EXPECT_TRUE(second.get());
  EXPECT_TRUE(slot.Call(3));
  EXPECT_EQ(old_calls, 2);
}

TEST(CallbackSlotTest, ErrorSinkReportsWithoutHoldingALock) {
  ErrorSink sink;
  Gate gate;
  sink.SetHandler([&](const std::string&) { gate.Enter(); });
  auto first = std::async(std::launch::async, [&] { sink.Report("one"); });
  auto second = std::async(std::launch::async, [&] { sink.Report("two"); });
  gate.WaitInside(2);
  EXPECT_EQ(gate.most, 2);
  gate.open = true;
  first.get();
  second.get();
  sink.SetHandler({});
}

}  // namespace
}  // namespace qv
