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
  TSemaphore semaphore(2, 2);
  EXPECT_FALSE(semaphore.Release());
  EXPECT_TRUE(semaphore.WaitFor(0ms));
  EXPECT_TRUE(semaphore.WaitFor(0ms));
  EXPECT_FALSE(semaphore.WaitFor(10ms));
  EXPECT_EQ(semaphore.Count(), 0);
  EXPECT_TRUE(semaphore.Release());
  EXPECT_EQ(semaphore.Count(), 1);
}

TEST(Semaphore, ReleaseWakesAWaiter) {
  TSemaphore semaphore(0, 1);
  auto waiter = std::async(std::launch::async, [&] { return semaphore.WaitFor(20s); });
  std::this_thread::sleep_for(20ms);
  semaphore.Release();
  EXPECT_TRUE(waiter.get());
  EXPECT_EQ(semaphore.Count(), 0);
}

TEST(Event, OneSignalEndsOneWait) {
  TEvent event;
  EXPECT_EQ(event.WaitFor(0ms), TWaitResult::wrTimeout);
  event.SetEvent();
  EXPECT_EQ(event.WaitFor(0ms), TWaitResult::wrSignaled);
  EXPECT_EQ(event.WaitFor(0ms), TWaitResult::wrTimeout);
  event.SetEvent();
  event.ResetEvent();
  EXPECT_EQ(event.WaitFor(0ms), TWaitResult::wrTimeout);
}

TEST(Event, StopRequestAbandonsTheWait) {
  TEvent event;
  std::stop_source stop;
  auto waiter = std::async(std::launch::async, [&] { return event.WaitFor(20s, stop.get_token()); });
  std::this_thread::sleep_for(20ms);
  stop.request_stop();
  EXPECT_EQ(waiter.get(), TWaitResult::wrAbandoned);
}

}  // namespace
}  // namespace qv
