#include "pool/fixed_connection_pool.h"

#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <initializer_list>
#include <thread>
#include <vector>

#include "db/errors.h"
#include "pool_fixture.h"

namespace qv::pooltest {
namespace {

using namespace std::chrono_literals;

constexpr int64_t kFiveMinutesMs = 5 * 60 * 1000;

// Five borrowers hold all five places on their own threads until told to let go.
struct Holders {
  explicit Holders(ConnectionPool& pool) {
    for (int i = 0; i < 5; ++i) {
      std::promise<void> acquired;
      auto ready = acquired.get_future();
      threads.emplace_back([&pool, this, i, done = std::move(acquired)]() mutable {
        PoolLease lease;
        pool.Acquire(lease);
        done.set_value();
        release[i].get_future().wait();
      });
      ready.wait();
    }
  }
  void Release(int i) {
    release[i].set_value();
    released[i] = true;
  }
  ~Holders() {
    for (int i = 0; i < 5; ++i) {
      if (!released[i]) release[i].set_value();
    }
    for (auto& thread : threads) thread.join();
  }
  std::promise<void> release[5];
  bool released[5] = {};
  std::vector<std::thread> threads;
};

// Lends a place of the pool to each lease, one after the other.
void AcquireInTurn(ConnectionPool& pool, std::initializer_list<PoolLease*> leases) {
  for (PoolLease* lease : leases) pool.Acquire(*lease);
}

// The session in a place of the pool (null: empty).
const DatabaseSession* SessionAt(const ConnectionPool& pool, int32_t place) {
  return pool.Place(place).session;
}

TEST_F(PoolTest, SixthBorrowerGetsThePlaceThatIsGivenBackWhileItWaits) {
  auto pool = MakePool(5, 20000);
  Holders holders(*pool);
  EXPECT_EQ(pool->AvailablePlaces(), 0);
  const DatabaseSession* second = SessionAt(*pool, 1);

  auto sixth = std::async(std::launch::async, [&] {
    PoolLease lease;
    pool->Acquire(lease);
    return &lease.Session();
  });
  std::this_thread::sleep_for(50ms);  // let the sixth start waiting
  holders.Release(1);
  EXPECT_EQ(sixth.get(), second);
  EXPECT_EQ(created_, 5);
}

TEST_F(PoolTest, SixthBorrowerTimesOutWithTheMessageAndAnEmptyLease) {
  auto pool = MakePool(5, 100);
  Holders holders(*pool);
  PoolLease lease;
  try {
    pool->Acquire(lease);
    FAIL() << "no time-out";
  } catch (const PoolTimeout& error) {
    EXPECT_STREQ(error.what(), "Connection pool timeout. Cannot obtain a connection");
  }
  EXPECT_FALSE(lease);
  EXPECT_EQ(created_, 5);
}

TEST_F(PoolTest, ALentSessionGivenBackIsFreeWithItsReleaseTimeAndOneUnit) {
  auto pool = MakePool(5, 1000);
  PoolLease lease;
  pool->Acquire(lease);
  ASSERT_TRUE(lease);
  EXPECT_TRUE(lease.Session().Attached());
  PlaceState place = pool->Place(0);
  EXPECT_EQ(place.session, &lease.Session());
  EXPECT_TRUE(place.lent);
  EXPECT_EQ(place.last_release, 0.0);
  EXPECT_EQ(pool->AvailablePlaces(), 4);

  Advance(1500);
  const DateTime released_at = EncodeDateTime(clock_.Now());
  const DatabaseSession* session = &lease.Session();
  lease.Release();
  EXPECT_FALSE(lease);
  place = pool->Place(0);
  EXPECT_EQ(place.session, session);
  EXPECT_FALSE(place.lent);
  EXPECT_EQ(place.last_release, released_at);
  EXPECT_EQ(pool->AvailablePlaces(), 5);
  lease.Release();  // an empty lease gives nothing back
  EXPECT_EQ(pool->AvailablePlaces(), 5);

  // Closing the free session empties its place and gives no unit back.
  Advance(kFiveMinutesMs + 1);
  pool->CloseIdleSessions();
  EXPECT_EQ(SessionAt(*pool, 0), nullptr);
  EXPECT_EQ(pool->AvailablePlaces(), 5);
}

TEST_F(PoolTest, AMovedLeaseGivesThePlaceBackOnceWhenTheLastHolderEnds) {
  auto pool = MakePool(1, 1000);
  PoolLease first;
  pool->Acquire(first);
  {
    PoolLease second = std::move(first);
    EXPECT_FALSE(first);
    EXPECT_TRUE(second);
    first.Release();
    EXPECT_EQ(pool->AvailablePlaces(), 0);
  }
  EXPECT_EQ(pool->AvailablePlaces(), 1);
  EXPECT_FALSE(pool->Place(0).lent);
}

TEST_F(PoolTest, AcquireGivesBackTheSessionTheLeaseHoldsBeforeWaiting) {
  auto pool = MakePool(1, 100);
  PoolLease lease;
  pool->Acquire(lease);
  const DatabaseSession* first = &lease.Session();
  pool->Acquire(lease);  // a single place: would time out if still held
  EXPECT_EQ(&lease.Session(), first);
  EXPECT_TRUE(pool->Place(0).lent);
  EXPECT_EQ(created_, 1);
}

TEST_F(PoolTest, FreeSessionInTheLowestPlaceIsLentWithoutCreatingOne) {
  auto pool = MakePool(5, 1000);
  PoolLease a, b, c;
  AcquireInTurn(*pool, {&a, &b, &c});  // places 0, 1 and 2
  const DatabaseSession* place0 = &a.Session();
  a.Release();
  c.Release();  // places: free, lent, free, empty, empty
  PoolLease next;
  pool->Acquire(next);
  EXPECT_EQ(&next.Session(), place0);
  EXPECT_EQ(created_, 3);
}

TEST_F(PoolTest, CleanupClosesOnlyFreeSessionsIdleBeyondTheLimitAndEmptyPlaceComesFirst) {
  auto pool = MakePool(5, 1000);
  PoolLease a, b, c;
  AcquireInTurn(*pool, {&a, &b, &c});  // places 0, 1 and 2
  const DatabaseSession* place2 = &c.Session();
  b.Release();  // place 1 free from now on
  Advance(kFiveMinutesMs - 1000);
  pool->CloseIdleSessions();
  EXPECT_NE(SessionAt(*pool, 1), nullptr) << "idle less than the limit";

  Advance(1000);
  pool->CloseIdleSessions();
  EXPECT_NE(SessionAt(*pool, 1), nullptr) << "idle exactly the limit";

  Advance(1);
  c.Release();  // place 2 free, idle 0
  pool->CloseIdleSessions();
  EXPECT_NE(SessionAt(*pool, 0), nullptr) << "lent out: never closed";
  EXPECT_EQ(SessionAt(*pool, 1), nullptr) << "idle beyond the limit";
  EXPECT_EQ(SessionAt(*pool, 2), place2);
  EXPECT_EQ(pool->AvailablePlaces(), 4);

  // Places: lent, empty, free: the empty place 1 wins over the free session.
  PoolLease next;
  pool->Acquire(next);
  EXPECT_EQ(SessionAt(*pool, 1), &next.Session());
  EXPECT_NE(&next.Session(), place2);
  EXPECT_EQ(created_, 4);
  EXPECT_TRUE(next.Session().Attached());
}

TEST_F(PoolTest, RetiredSessionsCloseWhenFreeAndAreNeverLentAgain) {
  auto pool = MakePool(5, 1000);
  PoolLease a, b;
  AcquireInTurn(*pool, {&a, &b});  // places 0 and 1
  const DatabaseSession* lent = &b.Session();
  a.Release();  // places: free, lent
  pool->RetireSessions();
  EXPECT_EQ(SessionAt(*pool, 0), nullptr) << "free: closed at once";
  EXPECT_EQ(SessionAt(*pool, 1), lent) << "lent: finishes its request";
  EXPECT_TRUE(b.Session().Attached());
  EXPECT_EQ(pool->AvailablePlaces(), 4);

  b.Release();  // places: empty, free but retired
  PoolLease c, d;
  AcquireInTurn(*pool, {&c, &d});
  EXPECT_EQ(SessionAt(*pool, 0), &c.Session());
  EXPECT_EQ(SessionAt(*pool, 1), &d.Session()) << "the retired session's place gets a new one";
  EXPECT_EQ(created_, 4);
  EXPECT_TRUE(d.Session().Attached());
  EXPECT_EQ(pool->AvailablePlaces(), 3);

  // Sessions made after the retirement are lent again as usual.
  const DatabaseSession* fresh = &c.Session();
  c.Release();
  PoolLease e;
  pool->Acquire(e);
  EXPECT_EQ(&e.Session(), fresh);
  EXPECT_EQ(created_, 4);
}

TEST_F(PoolTest, FailedConnectRaisesAndLeavesThePlaceAvailable) {
  auto pool = MakePool(1, 100, std::chrono::minutes(5), /*failing=*/2);
  for (int attempt = 0; attempt < 2; ++attempt) {
    PoolLease lease;
    EXPECT_THROW(pool->Acquire(lease), DbError);
    EXPECT_FALSE(lease);
    EXPECT_EQ(SessionAt(*pool, 0), nullptr);
    EXPECT_EQ(pool->AvailablePlaces(), 1);
  }
  PoolLease lease;
  pool->Acquire(lease);  // the database is back: a fresh session connects
  EXPECT_TRUE(lease.Session().Attached());
  EXPECT_EQ(created_, 3);
}

TEST_F(PoolTest, CleanupThreadClosesAnIdleSessionOnItsOwn) {
  auto pool = MakePool(1, 1000, 20ms);
  {
    PoolLease lease;
    pool->Acquire(lease);
  }
  Advance(1000);  // idle beyond the 20 ms limit on the pool's clock
  const auto deadline = std::chrono::steady_clock::now() + 10s;
  while (SessionAt(*pool, 0) != nullptr && std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(5ms);
  }
  EXPECT_EQ(SessionAt(*pool, 0), nullptr);
  EXPECT_EQ(pool->AvailablePlaces(), 1);
}

TEST_F(PoolTest, ALeaseThatEndsAfterItsPoolIsGoneClosesItsSessionSafely) {
  PoolLease lease;
  {
    auto pool = MakePool(1, 1000);
    pool->Acquire(lease);
  }
  EXPECT_TRUE(lease.Session().Attached());
  lease.Release();
  EXPECT_FALSE(lease);
}

// What a page leaves open (its transaction) ends quietly when the pool
// closes the session.
TEST_F(PoolTest, ClosingASessionEndsItsTransactionAndDetachesWithoutAReport) {
  {
    auto pool = MakePool(1, 1000);
    PoolLease lease;
    pool->Acquire(lease);
    EXPECT_EQ(lease.Session().QueryRows("SELECT COUNT(*) FROM RDB$DATABASE").Integer(0), 1);
    EXPECT_TRUE(lease.Session().InTransaction());
    lease.Discard();
    EXPECT_EQ(SessionAt(*pool, 0), nullptr);
    EXPECT_EQ(pool->AvailablePlaces(), 1);
  }
  EXPECT_TRUE(Reported().empty()) << Reported().front();
}

// Idle ages are measured on the steady clock: the wall clock jumping an hour
// forward does not close a session given back just now, and jumping an hour
// back does not keep one open past the limit.
TEST_F(PoolTest, AWallClockJumpNeitherClosesNorKeepsIdleSessions) {
  auto pool = MakePool(2, 1000);
  PoolLease a, b;
  AcquireInTurn(*pool, {&a, &b});
  a.Release();
  clock_.Advance(60 * 60 * 1000);  // the wall clock: an hour on
  pool->CloseIdleSessions();
  EXPECT_NE(SessionAt(*pool, 0), nullptr) << "just given back";
  EXPECT_EQ(pool->Place(0).last_release, EncodeDateTime(kStart)) << "what a person reads";

  b.Release();
  clock_.Advance(-2 * 60 * 60 * 1000);  // and two hours back
  steady_.Advance(kFiveMinutesMs + 1);
  pool->CloseIdleSessions();
  EXPECT_EQ(SessionAt(*pool, 0), nullptr) << "idle beyond the limit";
  EXPECT_EQ(SessionAt(*pool, 1), nullptr) << "idle beyond the limit";
}

}  // namespace
}  // namespace qv::pooltest
