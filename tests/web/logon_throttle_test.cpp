// Log-on throttling: the counting unit on a chosen clock, and the router's
// answers to a visitor who keeps failing.
#include "web/logon_throttle.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "router_fixture.h"

namespace qv::webtest {
namespace {

using namespace std::chrono_literals;
using Clock = TLogonThrottle::Clock;

const Clock::time_point kStart = Clock::now();

TEST(LogonThrottleTest, WindowSlidesAndRetryAfterCountsToTheOldestFailure) {
  TLogonThrottle throttle(5);
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
  // Every answer above 0 was a refusal.
  EXPECT_EQ(throttle.Refused(), 4u);
}

TEST(LogonThrottleTest, SuccessClearsTheAddressButNotTheName) {
  TLogonThrottle throttle(2);
  throttle.Failed("10.0.0.1", "alice", kStart);
  throttle.Failed("10.0.0.1", "alice", kStart);
  EXPECT_GT(throttle.RetryAfter("10.0.0.1", "bob", kStart), 0);
  throttle.Succeeded("10.0.0.1");
  EXPECT_EQ(throttle.RetryAfter("10.0.0.1", "bob", kStart), 0);
  EXPECT_GT(throttle.RetryAfter("10.0.0.1", "alice", kStart), 0);
}

TEST(LogonThrottleTest, LimitZeroCountsNothing) {
  TLogonThrottle throttle(0);
  for (int i = 0; i < 20; ++i) throttle.Failed("10.0.0.1", "alice", kStart);
  EXPECT_EQ(throttle.RetryAfter("10.0.0.1", "alice", kStart), 0);
  EXPECT_EQ(throttle.TrackedAddresses(), 0u);
}

TEST(LogonThrottleTest, NameKeyTrimsUpperCasesAndCuts) {
  EXPECT_EQ(TLogonThrottle::NameKey(" \talice\r\n"), "ALICE");
  EXPECT_EQ(TLogonThrottle::NameKey("Ärger"), "\xC3\x84RGER");
  EXPECT_EQ(TLogonThrottle::NameKey(std::string(5000, 'a')),
            std::string(TLogonThrottle::kMaxNameKey, 'A'));
}

TEST(LogonThrottleTest, MadeUpNamesAndAddressesCannotGrowItWithoutLimit) {
  TLogonThrottle throttle(5, 1000);
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
    remoteIp_ = address;
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
    ASSERT_FALSE(outcome.retryAfter.empty());
    const int seconds = std::stoi(outcome.retryAfter);
    EXPECT_GE(seconds, 59);
    EXPECT_LE(seconds, 60);
    EXPECT_EQ(outcome.body, "Too many failed log-ons; try again in " + outcome.retryAfter +
                                " seconds.\r\n");
    EXPECT_EQ(outcome.loggedIn, "False");
  }
};

TEST_F(RouterThrottleTest, SixthAttemptFromTheAddressIsRefusedEvenWithTheRightPassword) {
  FailFiveTimes("10.0.0.1", "alice");
  ExpectRefused(LogOn("10.0.0.1", "alice", "pw"));
  ExpectRefused(LogOn("10.0.0.1", "bob", "pw"));
  // Other pages from that address are served as before.
  remoteIp_ = "10.0.0.1";
  EXPECT_EQ(Run("/LIST", Visitor::kLoggedIn).calls, std::vector<std::string>{"PropertyListPage"});
  // Another address, another name: unaffected.
  const Outcome other = LogOn("10.0.0.2", "bob", "wrong");
  EXPECT_EQ(other.status, 200);
  EXPECT_TRUE(other.retryAfter.empty());
}

TEST_F(RouterThrottleTest, NameWithFiveFailuresIsRefusedFromAFreshAddress) {
  for (int i = 0; i < 5; ++i) LogOn("10.0.1." + std::to_string(i), "Alice", "wrong");
  ExpectRefused(LogOn("10.0.2.1", " ALICE", "pw"));
  EXPECT_EQ(LogOn("10.0.2.1", "bob", "wrong").status, 200);
}

TEST_F(RouterThrottleTest, SuccessResetsTheAddress) {
  for (int i = 0; i < 4; ++i) LogOn("10.0.0.1", "bob" + std::to_string(i), "wrong");
  const Outcome success = LogOn("10.0.0.1", "alice", "pw");
  EXPECT_EQ(success.loggedIn, "True");
  FailFiveTimes("10.0.0.1", "carol");
  ExpectRefused(LogOn("10.0.0.1", "dave", "x"));
}

TEST_F(RouterThrottleTest, LimitZeroSwitchesThrottlingOff) {
  router_.SetLogonFailures(0);
  for (int i = 0; i < 10; ++i) EXPECT_EQ(LogOn("10.0.0.1", "alice", "wrong").status, 200);
  EXPECT_EQ(LogOn("10.0.0.1", "alice", "pw").loggedIn, "True");
}

}  // namespace
}  // namespace qv::webtest
