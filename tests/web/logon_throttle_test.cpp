// Log-on throttling: the counting unit on a chosen clock, and the router's
// answers to visitors who keep failing.
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

std::string Address(int i) {
  return "10." + std::to_string((i >> 16) & 255) + "." + std::to_string((i >> 8) & 255) + "." +
         std::to_string(i & 255);
}

TEST(LogonThrottleTest, APairLocksAtTheLimitAndTheWindowSlides) {
  LogonThrottle throttle(5);
  // Failures at 0, 10, 20, 30 and 40 s.
  for (int i = 0; i < 5; ++i) {
    EXPECT_EQ(throttle.RetryAfter("10.0.0.1", "alice", kStart + i * 10s), 0) << i;
    throttle.Failed("10.0.0.1", "alice", kStart + i * 10s);
  }
  EXPECT_EQ(throttle.RetryAfter("10.0.0.1", " ALICE ", kStart + 40s), 20);
  EXPECT_EQ(throttle.RetryAfter("10.0.0.1", "alice", kStart + 59500ms), 1);
  // Another name from that address, and that name from another address, go ahead.
  EXPECT_EQ(throttle.RetryAfter("10.0.0.1", "bob", kStart + 40s), 0);
  EXPECT_EQ(throttle.RetryAfter("10.0.0.2", "alice", kStart + 40s), 0);
  // At 60 s the first failure leaves the window: one more attempt may go ahead.
  EXPECT_EQ(throttle.RetryAfter("10.0.0.1", "alice", kStart + 60s), 0);
  throttle.Failed("10.0.0.1", "alice", kStart + 60s);
  EXPECT_EQ(throttle.RetryAfter("10.0.0.1", "alice", kStart + 60s), 10);
  // Long after, everything is forgotten.
  EXPECT_EQ(throttle.RetryAfter("10.0.0.1", "alice", kStart + 2h), 0);
  EXPECT_EQ(throttle.Tracked(), 0u);
  // A look refuses nothing; a reservation turned down is counted.
  EXPECT_EQ(throttle.Refused(), 0u);
  for (int i = 0; i < 5; ++i) throttle.Failed("10.0.0.1", "alice", kStart + 3h);
  EXPECT_FALSE(throttle.Reserve("10.0.0.1", "alice", kStart + 3h).Granted());
  EXPECT_TRUE(throttle.Reserve("10.0.0.9", "alice", kStart + 3h).Granted());
  EXPECT_EQ(throttle.Refused(), 1u);
}

TEST(LogonThrottleTest, AnAddressSprayingNamesLocksAtItsCeiling) {
  LogonThrottle throttle(5);
  const int ceiling = 5 * LogonThrottle::kAddressCeiling;
  for (int i = 0; i < ceiling - 1; ++i) throttle.Failed("10.0.0.1", "name" + std::to_string(i), kStart);
  EXPECT_EQ(throttle.RetryAfter("10.0.0.1", "fresh", kStart + 1s), 0);
  throttle.Failed("10.0.0.1", "last", kStart + 1s);
  EXPECT_EQ(throttle.RetryAfter("10.0.0.1", "fresh", kStart + 1s), 59);
  EXPECT_EQ(throttle.RetryAfter("10.0.0.2", "fresh", kStart + 1s), 0);
}

// Failures for one name from many addresses: the addresses that failed on it
// are refused while it stays at its ceiling, for as long as it is remembered;
// an address that never failed on it is always checked.
TEST(LogonThrottleTest, ANameAtItsCeilingRefusesOnlyTheAddressesThatFailedOnIt) {
  LogonThrottle throttle(5);
  const int ceiling = 5 * LogonThrottle::kNameCeiling;
  throttle.Failed("10.9.0.1", "alice", kStart);  // a typo by the user, long before the attack
  for (int i = 0; i < ceiling; ++i) throttle.Failed(Address(i), "alice", kStart + 30min);
  EXPECT_GT(throttle.RetryAfter(Address(0), "alice", kStart + 30min), 0);
  EXPECT_GT(throttle.RetryAfter("10.9.0.1", "alice", kStart + 30min), 0);
  EXPECT_EQ(throttle.RetryAfter("10.9.0.2", "alice", kStart + 30min), 0);
  EXPECT_EQ(throttle.RetryAfter(Address(0), "bob", kStart + 30min), 0);
  // The attack goes on: each new failure keeps the name at its ceiling.
  for (int i = 0; i < 120; ++i) throttle.Failed(Address(ceiling + i), "alice", kStart + 30min + i * 5s);
  EXPECT_GT(throttle.RetryAfter(Address(0), "alice", kStart + 40min), 0);
  // Once the failures stop, a window later, the name is checked from anywhere.
  EXPECT_EQ(throttle.RetryAfter(Address(0), "alice", kStart + 42min), 0);
}

TEST(LogonThrottleTest, IPv6CountsByItsSlash64) {
  struct Case {
    const char* address;
    const char* key;
  } const cases[] = {
      {"2001:db8:1:2:aaaa:bbbb:cccc:dddd", "2001:db8:1:2::/64"},
      {"2001:DB8:1:2::1", "2001:db8:1:2::/64"},
      {"::ffff:192.0.2.7", "192.0.2.7"},
      {"192.0.2.7", "192.0.2.7"},
      {"::1", "::/64"},
      {"not an address", "not an address"},
  };
  for (const Case& c : cases) EXPECT_EQ(LogonThrottle::AddressKey(c.address), c.key) << c.address;

  LogonThrottle throttle(5);
  for (int i = 1; i <= 5; ++i) throttle.Failed("2001:db8:1:2::" + std::to_string(i), "alice", kStart);
  EXPECT_EQ(throttle.RetryAfter("2001:db8:1:2:ffff::9", "alice", kStart), 60);
  EXPECT_EQ(throttle.RetryAfter("2001:db8:1:3::1", "alice", kStart), 0);
}

// How many attempts one more visitor could start now: reservations are taken
// and held until none is granted, then given back.
int PlacesLeft(LogonThrottle& throttle, const std::string& address, const std::string& name) {
  std::vector<LogonThrottle::Reservation> held;
  for (int i = 0; i < 100; ++i) {
    auto reservation = throttle.Reserve(address, name, kStart);
    if (!reservation.Granted()) break;
    held.push_back(std::move(reservation));
  }
  return static_cast<int>(held.size());
}

TEST(LogonThrottleTest, OutcomeSettlesTheReservedPlaces) {
  enum class Outcome { kFailed, kSucceeded, kGivenBack };
  struct Case {
    const char* name;
    Outcome outcome;
    int pair_places;     // left for the pair afterwards (limit 3, one failure before)
    int address_places;  // left for the address with another name
  } const cases[] = {
      {"a failure keeps the place", Outcome::kFailed, 1, 10},
      // The address keeps its failures: an attacker's own account does not
      // wipe what was tried from there. The pair starts afresh.
      {"a success clears the pair, not the address", Outcome::kSucceeded, 3, 11},
      {"a check that ended in an error gives the place back", Outcome::kGivenBack, 2, 11},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    LogonThrottle throttle(3);
    throttle.Failed("10.0.0.1", "alice", kStart);
    {
      LogonThrottle::Reservation attempt = throttle.Reserve("10.0.0.1", " Alice", kStart);
      ASSERT_TRUE(attempt.Granted());
      EXPECT_EQ(PlacesLeft(throttle, "10.0.0.1", "alice"), 1) << "the place is held while checking";
      if (c.outcome == Outcome::kFailed) attempt.Failed();
      if (c.outcome == Outcome::kSucceeded) attempt.Succeeded();
      if (c.outcome == Outcome::kGivenBack) attempt = LogonThrottle::Reservation();
      attempt.Failed();  // settled once only: no effect afterwards
    }
    EXPECT_EQ(PlacesLeft(throttle, "10.0.0.1", "alice"), c.pair_places);
    int address_places = 0;
    std::vector<LogonThrottle::Reservation> held;
    for (int i = 0; i < 100; ++i) {
      auto reservation = throttle.Reserve("10.0.0.1", "name" + std::to_string(i), kStart);
      if (!reservation.Granted()) break;
      held.push_back(std::move(reservation));
      ++address_places;
    }
    EXPECT_EQ(address_places, c.address_places);
  }
}

TEST(LogonThrottleTest, GivenBackWhenTheReservationEnds) {
  LogonThrottle throttle(2);
  { const auto attempt = throttle.Reserve("10.0.0.1", "alice", kStart); }
  EXPECT_EQ(PlacesLeft(throttle, "10.0.0.1", "alice"), 2);
  EXPECT_EQ(throttle.Tracked(), 0u);
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
  // Without earlier failures, a full set of held places frees a window from now.
  LogonThrottle fresh(1);
  const auto held = fresh.Reserve("10.0.0.1", "bob", kStart);
  EXPECT_EQ(fresh.Reserve("10.0.0.1", "bob", kStart + 5s).RetryAfter(), 60);
}

// Many attempts at the same moment, each on its own thread: however they
// interleave, no more are granted than the first limit they meet.
TEST(LogonThrottleTest, BurstOfSimultaneousAttemptsLetsAtMostTheLimitThrough) {
  struct Case {
    const char* name;
    int limit;
    int attempts;
    bool same_address;
    bool same_name;
    int granted;
  } const cases[] = {
      {"one name from one address: the pair's limit", 5, 40, true, true, 5},
      {"many names from one address: the address's ceiling", 5, 40, true, false, 5 * LogonThrottle::kAddressCeiling},
      {"one name from many addresses: each is checked", 5, 40, false, true, 40},
      {"a limit of one", 1, 16, true, true, 1},
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
    EXPECT_EQ(granted.load(), c.granted);
  }
}

TEST(LogonThrottleTest, LimitZeroCountsNothing) {
  LogonThrottle throttle(0);
  for (int i = 0; i < 20; ++i) throttle.Failed("10.0.0.1", "alice", kStart);
  EXPECT_EQ(throttle.RetryAfter("10.0.0.1", "alice", kStart), 0);
  EXPECT_EQ(throttle.Tracked(), 0u);
}

TEST(LogonThrottleTest, NameKeyTrimsUpperCasesAndCuts) {
  EXPECT_EQ(LogonThrottle::NameKey(" \talice\r\n"), "ALICE");
  EXPECT_EQ(LogonThrottle::NameKey("Ärger"), "\xC3\x84RGER");
  EXPECT_EQ(LogonThrottle::NameKey(std::string(5000, 'a')),
            std::string(LogonThrottle::kMaxNameKey, 'A'));
}

// Made-up names and addresses fill the table: it stays within its size,
// forgets what matters least and says so, and keeps every lock.
TEST(LogonThrottleTest, FillingTheTableErasesNoLock) {
  LogonThrottle throttle(5, 1000);
  const int address_ceiling = 5 * LogonThrottle::kAddressCeiling;
  for (int i = 0; i < address_ceiling; ++i) throttle.Failed("192.0.2.1", "sprayed" + std::to_string(i), kStart);
  for (int i = 0; i < 5 * LogonThrottle::kNameCeiling; ++i) throttle.Failed(Address(i), "victim", kStart);
  for (int i = 0; i < 5; ++i) throttle.Failed("192.0.2.2", "pair", kStart);
  for (int i = 0; i < 100000; ++i)
    throttle.Failed(Address(1000 + i), "made-up-" + std::to_string(i) + std::string(200, 'x'), kStart + 1s);
  EXPECT_LE(throttle.Tracked(), 1000u);
  EXPECT_GT(throttle.Forgotten(), 290000u);
  EXPECT_GT(throttle.RetryAfter("192.0.2.1", "anyone", kStart + 2s), 0) << "the locked address";
  EXPECT_GT(throttle.RetryAfter(Address(3), "victim", kStart + 2s), 0) << "the name at its ceiling";
  EXPECT_EQ(throttle.RetryAfter("192.0.2.9", "victim", kStart + 2s), 0);
  // A full table still counts: the keys failing now are the ones kept.
  for (int i = 0; i < 5; ++i) throttle.Failed("10.9.9.9", "someone", kStart + 2s);
  EXPECT_EQ(throttle.RetryAfter("10.9.9.9", "someone", kStart + 2s), 60);
}

// An attack from more addresses than the table holds: the addresses that
// failed on the name cannot all be remembered, so the name refuses everyone
// while it is at its ceiling, rather than give forgotten ones more guesses.
TEST(LogonThrottleTest, ANameWhoseFailedAddressesHadToBeForgottenClosesAtItsCeiling) {
  LogonThrottle throttle(5, 300);
  for (int i = 0; i < 400; ++i) throttle.Failed(Address(i), "alice", kStart + std::chrono::milliseconds(i));
  EXPECT_GT(throttle.Forgotten(), 0u);
  EXPECT_GT(throttle.RetryAfter("10.200.0.1", "alice", kStart + 1s), 0);
  EXPECT_EQ(throttle.RetryAfter("10.200.0.1", "bob", kStart + 1s), 0);
  // Once the failures stop, a window later, the name is checked again.
  EXPECT_EQ(throttle.RetryAfter("10.200.0.1", "alice", kStart + 2min), 0);
}

// The router: a locked pair gets 429 without asking the database; the
// office and the stranger cases.
class RouterThrottleTest : public RouterTest {
 protected:
  Outcome LogOn(const std::string& address, const std::string& name, const std::string& password) {
    remote_ip_ = address;
    return Run("/DOLOGIN", Visitor::kNew, {"uName=" + name, "uPass=" + password});
  }
  void Fail(const std::string& address, const std::string& name, int times) {
    for (int i = 0; i < times; ++i) {
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
    EXPECT_TRUE(outcome.no_store);
    EXPECT_FALSE(outcome.renewed);
  }
};

TEST_F(RouterThrottleTest, SixthAttemptOnTheNameFromTheAddressIsRefusedEvenWithTheRightPassword) {
  Fail("10.0.0.1", "alice", 5);
  ExpectRefused(LogOn("10.0.0.1", "alice", "pw"));
  // Other pages from that address are served as before.
  remote_ip_ = "10.0.0.1";
  EXPECT_EQ(Run("/LIST", Visitor::kLoggedIn).calls, std::vector<std::string>{"PropertyListPage"});
  EXPECT_EQ(LogOn("10.0.0.1", "bob", "wrong").status, 200);
  EXPECT_EQ(LogOn("10.0.0.2", "alice", "pw").logged_in, "True");
}

TEST_F(RouterThrottleTest, ThreeClerksTypingFiveWrongPasswordsDoNotLockTheOfficeOut) {
  Fail("198.51.100.7", "clerk1", 2);
  Fail("198.51.100.7", "clerk2", 2);
  Fail("198.51.100.7", "clerk3", 1);
  const Outcome colleague = LogOn("198.51.100.7", "alice", "pw");
  EXPECT_EQ(colleague.status, 200);
  EXPECT_EQ(colleague.logged_in, "True");
}

TEST_F(RouterThrottleTest, AStrangerGuessingTheNameDoesNotKeepTheUserOut) {
  for (int i = 0; i < 30; ++i) LogOn("203.0.113.66", "alice", "guess" + std::to_string(i));
  ExpectRefused(LogOn("203.0.113.66", "alice", "pw"));
  const Outcome user = LogOn("198.51.100.7", "alice", "pw");
  EXPECT_EQ(user.status, 200);
  EXPECT_EQ(user.logged_in, "True");
}

TEST_F(RouterThrottleTest, OwnAccountDoesNotResetTheAddress) {
  // An attacker who logs on with an account of their own between guesses
  // still runs out of guesses from that address.
  const int ceiling = kDefaultLogonFailures * LogonThrottle::kAddressCeiling;
  for (int i = 0; i < ceiling - 1; ++i) LogOn("10.0.0.1", "bob" + std::to_string(i), "wrong");
  EXPECT_EQ(LogOn("10.0.0.1", "alice", "pw").logged_in, "True");
  EXPECT_EQ(LogOn("10.0.0.1", "carol", "wrong").status, 200);
  ExpectRefused(LogOn("10.0.0.1", "dave", "x"));
}

TEST_F(RouterThrottleTest, LimitZeroSwitchesThrottlingOff) {
  router_.SetLogonFailures(0);
  for (int i = 0; i < 10; ++i) EXPECT_EQ(LogOn("10.0.0.1", "alice", "wrong").status, 200);
  EXPECT_EQ(LogOn("10.0.0.1", "alice", "pw").logged_in, "True");
}

}  // namespace
}  // namespace qv::webtest
