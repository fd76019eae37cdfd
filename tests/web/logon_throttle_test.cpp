// Log-on throttling: the counting unit on a chosen clock, and the router's
// answers to a visitor who keeps failing.
#include "web/logon_throttle.h"

#include <gtest/gtest.h>

#include <atomic>
#include <barrier>
#include <string>
#include <thread>
#include <vector>

#include "router_fixture.h"

namespace qv::webtest {
namespace {

using namespace std::chrono_literals;
using Clock = LogonThrottle::Clock;

const Clock::time_point kStart = Clock::now();

TEST(LogonThrottleTest, WindowSlidesAndRetryAfterCountsToTheOldestFailure) {
  LogonThrottle throttle(5);
  // Failures at 0, 10, 20, 30 and 40 s.
  for (int i = 0; i < 5; ++i) {
    EXPECT_EQ(throttle.RetryAfter("10.0.0.1", "alice", kStart + i * 10s), 0) << i;
    throttle.Failed("10.0.0.1", "alice", kStart + i * 10s);
  }
  EXPECT_EQ(throttle.RetryAfter("10.0.0.1", "bob", kStart + 40s), 20);    // the address
  EXPECT_EQ(throttle.RetryAfter("10.0.0.2", " ALICE ", kStart + 40s), 20);  // the name
  EXPECT_EQ(throttle.RetryAfter("10.0.0.2", "bob", kStart + 40s), 0);
  EXPECT_EQ(throttle.RetryAfter("10.0.0.1", "bob", kStart + 59500ms), 1);
  // At 60 s the first failure leaves the window: one more attempt may go ahead.
  EXPECT_EQ(throttle.RetryAfter("10.0.0.1", "alice", kStart + 60s), 0);
  throttle.Failed("10.0.0.1", "alice", kStart + 60s);
  EXPECT_EQ(throttle.RetryAfter("10.0.0.1", "alice", kStart + 60s), 10);
  // Long after, everything is forgotten.
  EXPECT_EQ(throttle.RetryAfter("10.0.0.1", "alice", kStart + 200s), 0);
  EXPECT_EQ(throttle.TrackedAddresses(), 0u);
  EXPECT_EQ(throttle.TrackedNames(), 0u);
  // A look refuses nothing; a reservation turned down is counted.
  EXPECT_EQ(throttle.Refused(), 0u);
  for (int i = 0; i < 5; ++i) throttle.Failed("10.0.0.1", "alice", kStart + 300s);
  EXPECT_FALSE(throttle.Reserve("10.0.0.1", "alice", kStart + 300s).Granted());
  EXPECT_FALSE(throttle.Reserve("10.0.0.9", "alice", kStart + 300s).Granted());
  EXPECT_EQ(throttle.Refused(), 2u);
}

// How many attempts one more visitor could start now: reservations are taken
// and held until none is granted, then given back.
int PlacesLeft(LogonThrottle& throttle, const std::string& address, const std::string& name,
               bool vary_address) {
  std::vector<LogonThrottle::Reservation> held;
  for (int i = 0; i < 100; ++i) {
    const std::string tag = "probe" + std::to_string(i);
    auto reservation = vary_address ? throttle.Reserve(tag, name, kStart) : throttle.Reserve(address, tag, kStart);
    if (!reservation.Granted()) break;
    held.push_back(std::move(reservation));
  }
  return static_cast<int>(held.size());
}

TEST(LogonThrottleTest, OutcomeSettlesTheReservedPlace) {
  enum class Outcome { kFailed, kSucceeded, kGivenBack };
  struct Case {
    const char* name;
    Outcome outcome;
    int address_places;  // left for the address afterwards (limit 3, one failure before)
    int name_places;     // left for the name afterwards
  } const cases[] = {
      {"a failure keeps the place", Outcome::kFailed, 1, 1},
      // The address keeps its earlier failure: an attacker's own account
      // does not wipe what was tried from there. The name starts afresh.
      {"a success clears the name, not the address", Outcome::kSucceeded, 2, 3},
      {"a check that ended in an error gives the place back", Outcome::kGivenBack, 2, 2},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    LogonThrottle throttle(3);
    throttle.Failed("10.0.0.1", "alice", kStart);
    {
      LogonThrottle::Reservation attempt = throttle.Reserve("10.0.0.1", " Alice", kStart);
      ASSERT_TRUE(attempt.Granted());
      EXPECT_EQ(PlacesLeft(throttle, "10.0.0.1", "", false), 1) << "the place is held while checking";
      if (c.outcome == Outcome::kFailed) attempt.Failed();
      if (c.outcome == Outcome::kSucceeded) attempt.Succeeded();
      if (c.outcome == Outcome::kGivenBack) attempt = LogonThrottle::Reservation();
      attempt.Failed();  // settled once only: no effect afterwards
    }
    EXPECT_EQ(PlacesLeft(throttle, "10.0.0.1", "", false), c.address_places);
    EXPECT_EQ(PlacesLeft(throttle, "", "ALICE", true), c.name_places);
  }
}

TEST(LogonThrottleTest, GivenBackWhenTheReservationEnds) {
  LogonThrottle throttle(2);
  { const auto attempt = throttle.Reserve("10.0.0.1", "alice", kStart); }
  EXPECT_EQ(PlacesLeft(throttle, "10.0.0.1", "", false), 2);
  EXPECT_EQ(throttle.TrackedAddresses(), 0u);
  EXPECT_EQ(throttle.TrackedNames(), 0u);
}

TEST(LogonThrottleTest, AttemptsStillBeingCheckedCountAsFailuresMadeNow) {
  LogonThrottle throttle(3);
  throttle.Failed("10.0.0.1", "alice", kStart);
  const auto first = throttle.Reserve("10.0.0.1", "alice", kStart + 10s);
  const auto second = throttle.Reserve("10.0.0.1", "alice", kStart + 20s);
  const auto refused = throttle.Reserve("10.0.0.1", "alice", kStart + 30s);
  EXPECT_FALSE(refused.Granted());
  // Should both fail, the failure at 0 s frees the first place.
  EXPECT_EQ(refused.RetryAfter(), 30);
  EXPECT_EQ(throttle.RetryAfter("10.0.0.2", "alice", kStart + 30s), 30);
  // Without earlier failures, a full set of held places frees a window from now.
  LogonThrottle fresh(1);
  const auto held = fresh.Reserve("10.0.0.1", "bob", kStart);
  EXPECT_EQ(fresh.Reserve("10.0.0.3", "bob", kStart + 5s).RetryAfter(), 60);
}

TEST(LogonThrottleTest, SuccessWhileOthersAreCheckedKeepsTheirFailures) {
  LogonThrottle throttle(2);
  auto wrong = throttle.Reserve("10.0.0.1", "alice", kStart);
  auto right = throttle.Reserve("10.0.0.2", "alice", kStart);
  right.Succeeded();
  wrong.Failed();
  EXPECT_EQ(PlacesLeft(throttle, "", "alice", true), 1);
}

// Many attempts at the same moment, each on its own thread: at most the
// limit is granted, however they interleave.
TEST(LogonThrottleTest, BurstOfSimultaneousAttemptsLetsAtMostTheLimitThrough) {
  struct Case {
    const char* name;
    int limit;
    int attempts;
    bool same_address;
    bool same_name;
  } const cases[] = {
      {"one name from one address", 5, 40, true, true},
      {"many names from one address", 5, 40, true, false},
      {"one name from many addresses", 5, 40, false, true},
      {"a limit of one", 1, 16, true, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    LogonThrottle throttle(c.limit);
    std::barrier start(c.attempts);
    std::atomic<int> granted{0};
    std::vector<std::thread> threads;
    for (int i = 0; i < c.attempts; ++i) {
      threads.emplace_back([&, i] {
        const std::string address = c.same_address ? "10.0.0.1" : "10.1.0." + std::to_string(i);
        const std::string name = c.same_name ? "alice" : "name" + std::to_string(i);
        start.arrive_and_wait();
        auto attempt = throttle.Reserve(address, name, Clock::now());
        // Everyone has asked before any place is settled.
        start.arrive_and_wait();
        if (attempt.Granted()) {
          ++granted;
          attempt.Failed();
        }
      });
    }
    for (std::thread& thread : threads) thread.join();
    EXPECT_EQ(granted.load(), c.limit);
    EXPECT_FALSE(throttle.Reserve("10.0.0.1", "alice", Clock::now()).Granted());
  }
}

TEST(LogonThrottleTest, LimitZeroCountsNothing) {
  LogonThrottle throttle(0);
  for (int i = 0; i < 20; ++i) throttle.Failed("10.0.0.1", "alice", kStart);
  EXPECT_EQ(throttle.RetryAfter("10.0.0.1", "alice", kStart), 0);
  EXPECT_EQ(throttle.TrackedAddresses(), 0u);
}

TEST(LogonThrottleTest, NameKeyTrimsUpperCasesAndCuts) {
  EXPECT_EQ(LogonThrottle::NameKey(" \talice\r\n"), "ALICE");
  EXPECT_EQ(LogonThrottle::NameKey("Ärger"), "\xC3\x84RGER");
  EXPECT_EQ(LogonThrottle::NameKey(std::string(5000, 'a')),
            std::string(LogonThrottle::kMaxNameKey, 'A'));
}

TEST(LogonThrottleTest, MadeUpNamesAndAddressesCannotGrowItWithoutLimit) {
  LogonThrottle throttle(5, 1000);
  throttle.Failed("10.0.0.1", "victim", kStart);
  for (int i = 0; i < 100000; ++i) {
    throttle.Failed("10." + std::to_string(i >> 16) + "." + std::to_string((i >> 8) & 255) + "." +
                        std::to_string(i & 255),
                    "made-up-" + std::to_string(i) + std::string(200, 'x'), kStart + 1s);
  }
  EXPECT_LE(throttle.TrackedAddresses(), 1000u);
  EXPECT_LE(throttle.TrackedNames(), 1000u);
  // A full table still counts: the keys failing now are the ones kept.
  for (int i = 0; i < 5; ++i) throttle.Failed("10.9.9.9", "someone", kStart + 2s);
  EXPECT_EQ(throttle.RetryAfter("10.9.9.9", "other", kStart + 2s), 60);
  EXPECT_EQ(throttle.RetryAfter("10.9.9.8", "someone", kStart + 2s), 60);
}

// The router: five failures, then 429 without asking the database.
class RouterThrottleTest : public RouterTest {
 protected:
  Outcome LogOn(const std::string& address, const std::string& name, const std::string& password) {
    remote_ip_ = address;
    return Run("/DOLOGIN", Visitor::kNew, {"uName=" + name, "uPass=" + password});
  }
  void FailFiveTimes(const std::string& address, const std::string& name) {
    for (int i = 0; i < 5; ++i) {
      const Outcome outcome = LogOn(address, name, "wrong");
      ASSERT_EQ(outcome.status, 200);
      ASSERT_EQ(outcome.calls, (std::vector<std::string>{"DoLogin", "MainMenuPage"}));
    }
  }
  static void ExpectRefused(const Outcome& outcome) {
    EXPECT_EQ(outcome.status, 429);
    EXPECT_TRUE(outcome.calls.empty()) << "the database was asked";
    EXPECT_EQ(outcome.acquisitions, 0);
    ASSERT_FALSE(outcome.retry_after.empty());
    const int seconds = std::stoi(outcome.retry_after);
    EXPECT_GE(seconds, 59);
    EXPECT_LE(seconds, 60);
    EXPECT_EQ(outcome.body, "Too many failed log-ons; try again in " + outcome.retry_after +
                                " seconds.\r\n");
    EXPECT_EQ(outcome.logged_in, "False");
  }
};

TEST_F(RouterThrottleTest, SixthAttemptFromTheAddressIsRefusedEvenWithTheRightPassword) {
  FailFiveTimes("10.0.0.1", "alice");
  ExpectRefused(LogOn("10.0.0.1", "alice", "pw"));
  ExpectRefused(LogOn("10.0.0.1", "bob", "pw"));
  // Other pages from that address are served as before.
  remote_ip_ = "10.0.0.1";
  EXPECT_EQ(Run("/LIST", Visitor::kLoggedIn).calls, std::vector<std::string>{"PropertyListPage"});
  // Another address, another name: unaffected.
  const Outcome other = LogOn("10.0.0.2", "bob", "wrong");
  EXPECT_EQ(other.status, 200);
  EXPECT_TRUE(other.retry_after.empty());
}

TEST_F(RouterThrottleTest, NameWithFiveFailuresIsRefusedFromAFreshAddress) {
  for (int i = 0; i < 5; ++i) LogOn("10.0.1." + std::to_string(i), "Alice", "wrong");
  ExpectRefused(LogOn("10.0.2.1", " ALICE", "pw"));
  EXPECT_EQ(LogOn("10.0.2.1", "bob", "wrong").status, 200);
}

TEST_F(RouterThrottleTest, OwnAccountDoesNotResetTheAddress) {
  // An attacker who logs on with an account of their own between guesses
  // still runs out of guesses from that address.
  for (int i = 0; i < 4; ++i) LogOn("10.0.0.1", "bob" + std::to_string(i), "wrong");
  const Outcome success = LogOn("10.0.0.1", "alice", "pw");
  EXPECT_EQ(success.logged_in, "True");
  EXPECT_EQ(LogOn("10.0.0.1", "carol", "wrong").status, 200);
  ExpectRefused(LogOn("10.0.0.1", "dave", "x"));
}

TEST_F(RouterThrottleTest, SuccessClearsTheName) {
  for (int i = 0; i < 4; ++i) LogOn("10.0.1." + std::to_string(i), "alice", "wrong");
  EXPECT_EQ(LogOn("10.0.2.1", "alice", "pw").logged_in, "True");
  // Four more failures for the name from elsewhere are allowed again.
  for (int i = 0; i < 4; ++i) EXPECT_EQ(LogOn("10.0.3." + std::to_string(i), "alice", "wrong").status, 200);
}

TEST_F(RouterThrottleTest, LimitZeroSwitchesThrottlingOff) {
  router_.SetLogonFailures(0);
  for (int i = 0; i < 10; ++i) EXPECT_EQ(LogOn("10.0.0.1", "alice", "wrong").status, 200);
  EXPECT_EQ(LogOn("10.0.0.1", "alice", "pw").logged_in, "True");
}

}  // namespace
}  // namespace qv::webtest
