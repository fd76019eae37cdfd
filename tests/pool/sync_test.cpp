#include "pool/semaphore.h"
#include "pool/wake_event.h"

#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <stop_token>
#include <thread>

namespace qv {
namespace {

using namespace std::chrono_literals;

TEST(Semaphore, CountsUnitsUpToItsMaximum) {
  Semaphore semaphore(2, 2);
  EXPECT_FALSE(semaphore.Release());
  EXPECT_TRUE(semaphore.WaitFor(0ms));
  EXPECT_TRUE(semaphore.WaitFor(0ms));
  EXPECT_FALSE(semaphore.WaitFor(10ms));
  EXPECT_EQ(semaphore.Count(), 0);
  EXPECT_TRUE(semaphore.Release());
  EXPECT_EQ(semaphore.Count(), 1);
}

TEST(Semaphore, ReleaseWakesAWaiter) {
  Semaphore semaphore(0, 1);
  auto waiter = std::async(std::launch::async, [&] { return semaphore.WaitFor(20s); });
  std::this_thread::sleep_for(20ms);
  semaphore.Release();
  EXPECT_TRUE(waiter.get());
  EXPECT_EQ(semaphore.Count(), 0);
}

// A stop closes the pool and then gives up hung pages, whose places come
// back at once: a borrower that was waiting must not take one of them (it
// would go on to connect to the hung database past the stop).
TEST(Semaphore, AWaitEndedByClosingTakesNothingEvenWhenAUnitComesBackAtOnce) {
  for (int round = 0; round < 20; ++round) {
    Semaphore semaphore(0, 1);
    auto waiter = std::async(std::launch::async, [&] { return semaphore.WaitFor(20s); });
    // Let it wait: a borrower that comes after the closing takes a unit that
    // is there.
    std::this_thread::sleep_for(50ms);
    semaphore.Close();
    semaphore.Release();
    ASSERT_FALSE(waiter.get()) << "round " << round;
    // The unit stays, and one that is there is still taken.
    EXPECT_EQ(semaphore.Count(), 1);
    EXPECT_TRUE(semaphore.WaitFor(0ms));
    EXPECT_FALSE(semaphore.WaitFor(10ms));
  }
}

TEST(Event, OneSignalEndsOneWait) {
  WakeEvent event;
  EXPECT_EQ(event.WaitFor(0ms), WaitResult::kTimeout);
  event.SetEvent();
  EXPECT_EQ(event.WaitFor(0ms), WaitResult::kSignaled);
  EXPECT_EQ(event.WaitFor(0ms), WaitResult::kTimeout);
  event.SetEvent();
  event.ResetEvent();
  EXPECT_EQ(event.WaitFor(0ms), WaitResult::kTimeout);
}

TEST(Event, StopRequestAbandonsTheWait) {
  WakeEvent event;
  std::stop_source stop;
  auto waiter = std::async(std::launch::async, [&] { return event.WaitFor(20s, stop.get_token()); });
  std::this_thread::sleep_for(20ms);
  stop.request_stop();
  EXPECT_EQ(waiter.get(), WaitResult::kAbandoned);
}

}  // namespace
}  // namespace qv
