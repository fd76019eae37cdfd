// The watchdog of page calls: a cancel at the time limit, the connection
// dropped a grace period later, nothing for a call that ends in time, and a
// stop that drops every watched call at once.
#include "web/query_watchdog.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace qv {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

// What the cancels asked for, with when.
struct Calls {
  std::mutex lock;
  std::vector<std::pair<bool, Clock::duration>> seen;  // abort, time since start
  Clock::time_point start = Clock::now();
  TQueryWatchdog::TCancel Cancel() {
    return [this](bool abort) {
      return [this, abort] {
        std::lock_guard guard(lock);
        seen.emplace_back(abort, Clock::now() - start);
      };
    };
  }
  size_t Count() {
    std::lock_guard guard(lock);
    return seen.size();
  }
  void WaitFor(size_t n) {
    for (int i = 0; i < 400 && Count() < n; ++i) std::this_thread::sleep_for(5ms);
  }
};

TEST(QueryWatchdogTest, CancelAtTheLimitThenDropTheConnectionAfterTheGrace) {
  TQueryWatchdog watchdog(300ms);
  Calls calls;
  const uint64_t id = watchdog.Watch(200ms, calls.Cancel());
  calls.WaitFor(2);
  ASSERT_EQ(calls.Count(), 2u);
  EXPECT_FALSE(calls.seen[0].first);
  EXPECT_GE(calls.seen[0].second, 200ms);
  EXPECT_LT(calls.seen[0].second, 200ms + 300ms);
  EXPECT_TRUE(calls.seen[1].first);
  EXPECT_GE(calls.seen[1].second, 500ms);
  EXPECT_LT(calls.seen[1].second, 1500ms);
  EXPECT_TRUE(watchdog.Unwatch(id));
}

TEST(QueryWatchdogTest, CallThatEndsInTimeIsNeverCancelled) {
  TQueryWatchdog watchdog(100ms);
  Calls calls;
  const uint64_t quick = watchdog.Watch(300ms, calls.Cancel());
  const uint64_t unlimited = watchdog.Watch(0ms, calls.Cancel());
  std::this_thread::sleep_for(100ms);
  EXPECT_FALSE(watchdog.Unwatch(quick));
  std::this_thread::sleep_for(400ms);
  EXPECT_EQ(calls.Count(), 0u);
  EXPECT_FALSE(watchdog.Unwatch(unlimited));
}

TEST(QueryWatchdogTest, AbortAllDropsEveryWatchedCallAndThoseThatStartUntilResumed) {
  TQueryWatchdog watchdog(2s);
  Calls calls;
  const uint64_t limited = watchdog.Watch(60s, calls.Cancel());
  const uint64_t unlimited = watchdog.Watch(0ms, calls.Cancel());
  watchdog.AbortAll();
  const uint64_t later = watchdog.Watch(60s, calls.Cancel());
  calls.WaitFor(3);
  ASSERT_EQ(calls.Count(), 3u);
  for (const auto& [abort, when] : calls.seen) {
    EXPECT_TRUE(abort);
    EXPECT_LT(when, 1s);
  }
  EXPECT_TRUE(watchdog.Unwatch(limited));
  EXPECT_TRUE(watchdog.Unwatch(unlimited));
  EXPECT_TRUE(watchdog.Unwatch(later));
  watchdog.Resume();
  const uint64_t resumed = watchdog.Watch(60s, calls.Cancel());
  std::this_thread::sleep_for(50ms);
  EXPECT_FALSE(watchdog.Unwatch(resumed));
  EXPECT_EQ(calls.Count(), 3u);
}

}  // namespace
}  // namespace qv
