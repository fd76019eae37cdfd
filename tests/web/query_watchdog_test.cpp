// The watchdog of page calls: a cancel at the time limit, the connection
// dropped a grace period later, nothing for a call that ends in time, a stop
// that drops every watched call at once; cancels run in order on one thread
// however many come at once, drops are not held up by a hanging cancel, and
// a cancel that fails is reported.
#include "web/query_watchdog.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <fstream>
#include <mutex>
#include <stdexcept>
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
  QueryWatchdog::Cancel Cancel() {
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
  QueryWatchdog watchdog(300ms);
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
  QueryWatchdog watchdog(100ms);
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
  QueryWatchdog watchdog(2s);
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

// The threads of this process, as the system counts them.
int ProcessThreads() {
  std::ifstream status("/proc/self/status");
  for (std::string line; std::getline(status, line);)
    if (line.rfind("Threads:", 0) == 0) return std::stoi(line.substr(8));
  return -1;
}

TEST(QueryWatchdogTest, ManyTimeOutsAtOnceAreCancelledInOrderOnOneThread) {
  constexpr int kCalls = 20;
  const int before = ProcessThreads();
  QueryWatchdog watchdog(60s);
  std::mutex lock;
  std::vector<int> order;
  std::vector<std::thread::id> threads;
  int most = 0;
  std::vector<uint64_t> ids;
  for (int i = 0; i < kCalls; ++i) {
    ids.push_back(watchdog.Watch(100ms, [&, i](bool abort) {
      return [&, i, abort] {
        EXPECT_FALSE(abort);
        // Each cancel takes a while: cancels that each had a thread would overlap.
        std::this_thread::sleep_for(10ms);
        std::lock_guard guard(lock);
        order.push_back(i);
        threads.push_back(std::this_thread::get_id());
        most = std::max(most, ProcessThreads());
      };
    }));
  }
  for (int i = 0; i < 400; ++i) {
    {
      std::lock_guard guard(lock);
      if (order.size() == kCalls) break;
    }
    std::this_thread::sleep_for(5ms);
  }
  std::lock_guard guard(lock);
  ASSERT_EQ(order.size(), static_cast<size_t>(kCalls));
  for (int i = 0; i < kCalls; ++i) EXPECT_EQ(order[i], i);
  for (const std::thread::id& id : threads) EXPECT_EQ(id, threads.front());
  EXPECT_NE(threads.front(), std::this_thread::get_id());
  // The watch and the cancels; the drops' thread has had nothing to do.
  EXPECT_LE(most - before, 2);
  EXPECT_EQ(watchdog.Threads(), 2);
  for (uint64_t id : ids) EXPECT_TRUE(watchdog.Unwatch(id));
}

TEST(QueryWatchdogTest, DropComesAtTheGraceAlthoughTheCancelHangs) {
  std::mutex lock;
  std::condition_variable changed;
  bool release = false;
  bool dropped = false;
  {
    QueryWatchdog watchdog(200ms);
    const auto start = Clock::now();
    const uint64_t id = watchdog.Watch(100ms, [&](bool abort) {
      return [&, abort] {
        std::unique_lock guard(lock);
        if (abort) {
          dropped = true;
          changed.notify_all();
        } else {
          changed.wait(guard, [&] { return release; });  // a server that does not answer
        }
      };
    });
    std::unique_lock guard(lock);
    EXPECT_TRUE(changed.wait_for(guard, 2s, [&] { return dropped; }));
    EXPECT_GE(Clock::now() - start, 300ms);
    EXPECT_EQ(watchdog.Threads(), 3);
    release = true;
    changed.notify_all();
    guard.unlock();
    EXPECT_TRUE(watchdog.Unwatch(id));
  }
}

TEST(QueryWatchdogTest, CancelThatFailsIsReported) {
  QueryWatchdog watchdog(100ms);
  std::mutex lock;
  std::vector<std::string> reports;
  watchdog.SetOnCancelFailure([&](const std::string& message) {
    std::lock_guard guard(lock);
    reports.push_back(message);
  });
  const uint64_t failing = watchdog.Watch(0ms, [](bool abort) {
    return [abort] {
      if (abort) throw std::runtime_error("the connection could not be dropped");
    };
  });
  const uint64_t unmade = watchdog.Watch(0ms, [](bool) -> std::function<void()> {
    throw std::runtime_error("no cancel could be made");
  });
  watchdog.AbortAll();
  for (int i = 0; i < 400; ++i) {
    {
      std::lock_guard guard(lock);
      if (reports.size() == 2) break;
    }
    std::this_thread::sleep_for(5ms);
  }
  std::lock_guard guard(lock);
  EXPECT_EQ(reports, (std::vector<std::string>{"the connection could not be dropped",
                                               "no cancel could be made"}));
  EXPECT_TRUE(watchdog.Unwatch(failing));
  EXPECT_TRUE(watchdog.Unwatch(unmade));
}

}  // namespace
}  // namespace qv
