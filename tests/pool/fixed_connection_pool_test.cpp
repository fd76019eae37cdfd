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
  explicit Holders(TFixedConnectionPool& pool) {
    for (int i = 0; i < 5; ++i) {
      std::promise<void> acquired;
      auto ready = acquired.get_future();
      threads.emplace_back([&pool, this, i, done = std::move(acquired)]() mutable {
        TConnectionRef connection;
        pool.Acquire(connection);
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

// Lends a place of the pool to each reference, one after the other.
void AcquireInTurn(TFixedConnectionPool& pool, std::initializer_list<TConnectionRef*> references) {
  for (TConnectionRef* reference : references) pool.Acquire(*reference);
}

TEST_F(PoolTest, SixthBorrowerGetsThePlaceThatIsGivenBackWhileItWaits) {
  auto pool = MakePool(5, 20000);
  Holders holders(*pool);
  EXPECT_EQ(pool->AvailablePlaces(), 0);
  IConnection* second = pool->SlotModule(1);

  auto sixth = std::async(std::launch::async, [&] {
    TConnectionRef connection;
    pool->Acquire(connection);
    return connection.Get();
  });
  std::this_thread::sleep_for(50ms);  // let the sixth start waiting
  holders.Release(1);
  EXPECT_EQ(sixth.get(), second);
  EXPECT_EQ(created_, 5);
}

TEST_F(PoolTest, SixthBorrowerTimesOutWithTheMessageAndAnEmptyReference) {
  auto pool = MakePool(5, 100);
  Holders holders(*pool);
  TConnectionRef connection;
  try {
    pool->Acquire(connection);
    FAIL() << "no time-out";
  } catch (const EConnPoolException& error) {
    EXPECT_STREQ(error.what(), "Connection pool timeout. Cannot obtain a connection");
  }
  EXPECT_FALSE(connection);
  EXPECT_EQ(created_, 5);
}

TEST_F(PoolTest, LentModuleCountsTwoAndFreeModuleOneWithItsReleaseTime) {
  auto pool = MakePool(5, 1000);
  TConnectionRef connection;
  pool->Acquire(connection);
  ASSERT_TRUE(connection);
  EXPECT_TRUE(connection->DatabaseConnection().Connected());
  EXPECT_EQ(pool->SlotModule(0), connection.Get());
  EXPECT_EQ(connection->ReferenceCount(), 2);
  EXPECT_EQ(connection->LastReleaseTime(), 0.0);
  EXPECT_EQ(pool->AvailablePlaces(), 4);

  Advance(1500);
  const TDateTime releasedAt = EncodeDateTime(clock_.Now());
  IConnection* module = connection.Get();
  connection.Reset();
  EXPECT_EQ(module->ReferenceCount(), 1);
  EXPECT_EQ(module->LastReleaseTime(), releasedAt);
  EXPECT_EQ(pool->AvailablePlaces(), 5);
}

TEST_F(PoolTest, CopiedReferenceCountsThreeAndGivesNoPlaceBackUntilTheLastGoes) {
  auto pool = MakePool(1, 1000);
  TConnectionRef first;
  pool->Acquire(first);
  {
    TConnectionRef second = first;
    EXPECT_EQ(first->ReferenceCount(), 3);
  }
  EXPECT_EQ(first->ReferenceCount(), 2);
  EXPECT_EQ(pool->AvailablePlaces(), 0);
  first.Reset();
  EXPECT_EQ(pool->AvailablePlaces(), 1);
}

TEST_F(PoolTest, AcquireGivesBackTheModuleTheReferenceHoldsBeforeWaiting) {
  auto pool = MakePool(1, 100);
  TConnectionRef connection;
  pool->Acquire(connection);
  IConnection* first = connection.Get();
  pool->Acquire(connection);  // a single place: would time out if still held
  EXPECT_EQ(connection.Get(), first);
  EXPECT_EQ(connection->ReferenceCount(), 2);
  EXPECT_EQ(created_, 1);
}

TEST_F(PoolTest, FreeModuleInTheLowestSlotIsLentWithoutCreatingOne) {
  auto pool = MakePool(5, 1000);
  TConnectionRef a, b, c;
  AcquireInTurn(*pool, {&a, &b, &c});  // slots 0, 1 and 2
  IConnection* slot0 = a.Get();
  a.Reset();
  c.Reset();  // slots: free, lent, free, empty, empty
  TConnectionRef next;
  pool->Acquire(next);
  EXPECT_EQ(next.Get(), slot0);
  EXPECT_EQ(created_, 3);
}

TEST_F(PoolTest, CleanupClosesOnlyFreeModulesIdleBeyondTheLimitAndEmptySlotComesFirst) {
  auto pool = MakePool(5, 1000);
  TConnectionRef a, b, c;
  AcquireInTurn(*pool, {&a, &b, &c});  // slots 0, 1 and 2
  IConnection* slot2 = c.Get();
  b.Reset();  // slot 1 free from now on
  Advance(kFiveMinutesMs - 1000);
  pool->CloseIdleModules();
  EXPECT_NE(pool->SlotModule(1), nullptr) << "idle less than the limit";

  Advance(1000);
  pool->CloseIdleModules();
  EXPECT_NE(pool->SlotModule(1), nullptr) << "idle exactly the limit";

  Advance(1);
  c.Reset();  // slot 2 free, idle 0
  pool->CloseIdleModules();
  EXPECT_NE(pool->SlotModule(0), nullptr) << "lent out: never closed";
  EXPECT_EQ(pool->SlotModule(1), nullptr) << "idle beyond the limit";
  EXPECT_EQ(pool->SlotModule(2), slot2);
  EXPECT_EQ(pool->AvailablePlaces(), 4);

  // Slots: lent, empty, free: the empty slot 1 wins over the free module.
  TConnectionRef next;
  pool->Acquire(next);
  EXPECT_EQ(pool->SlotModule(1), next.Get());
  EXPECT_NE(next.Get(), slot2);
  EXPECT_EQ(created_, 4);
  EXPECT_TRUE(next->DatabaseConnection().Connected());
}

TEST_F(PoolTest, RetiredModulesCloseWhenFreeAndAreNeverLentAgain) {
  auto pool = MakePool(5, 1000);
  TConnectionRef a, b;
  AcquireInTurn(*pool, {&a, &b});  // slots 0 and 1
  IConnection* lent = b.Get();
  a.Reset();  // slots: free, lent
  pool->RetireModules();
  EXPECT_EQ(pool->SlotModule(0), nullptr) << "free: closed at once";
  EXPECT_EQ(pool->SlotModule(1), lent) << "lent: finishes its request";
  EXPECT_TRUE(lent->DatabaseConnection().Connected());
  EXPECT_EQ(pool->AvailablePlaces(), 4);

  b.Reset();  // slots: empty, free but retired
  TConnectionRef c, d;
  AcquireInTurn(*pool, {&c, &d});
  EXPECT_EQ(pool->SlotModule(0), c.Get());
  EXPECT_EQ(pool->SlotModule(1), d.Get()) << "the retired module's place gets a new one";
  EXPECT_EQ(created_, 4);
  EXPECT_TRUE(d->DatabaseConnection().Connected());
  EXPECT_EQ(pool->AvailablePlaces(), 3);

  // Modules made after the retirement are lent again as usual.
  IConnection* fresh = c.Get();
  c.Reset();
  TConnectionRef e;
  pool->Acquire(e);
  EXPECT_EQ(e.Get(), fresh);
  EXPECT_EQ(created_, 4);
}

TEST_F(PoolTest, FailedConnectRaisesAndLeavesThePlaceAvailable) {
  auto pool = MakePool(1, 100, std::chrono::minutes(5), /*failing=*/2);
  for (int attempt = 0; attempt < 2; ++attempt) {
    TConnectionRef connection;
    EXPECT_THROW(pool->Acquire(connection), EIB_Error);
    EXPECT_FALSE(connection);
    EXPECT_EQ(pool->SlotModule(0), nullptr);
    EXPECT_EQ(pool->AvailablePlaces(), 1);
  }
  TConnectionRef connection;
  pool->Acquire(connection);  // the database is back: a fresh module connects
  EXPECT_TRUE(connection->DatabaseConnection().Connected());
  EXPECT_EQ(created_, 3);
}

TEST_F(PoolTest, CleanupThreadClosesAnIdleModuleOnItsOwn) {
  auto pool = MakePool(1, 1000, 20ms);
  {
    TConnectionRef connection;
    pool->Acquire(connection);
  }
  Advance(1000);  // idle beyond the 20 ms limit on the pool's clock
  const auto deadline = std::chrono::steady_clock::now() + 10s;
  while (pool->SlotModule(0) != nullptr && std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(5ms);
  }
  EXPECT_EQ(pool->SlotModule(0), nullptr);
  EXPECT_EQ(pool->AvailablePlaces(), 1);
}

TEST_F(PoolTest, ModuleReleasedAfterItsPoolIsGoneIsDestroyedSafely) {
  TConnectionRef connection;
  {
    auto pool = MakePool(1, 1000);
    pool->Acquire(connection);
  }
  EXPECT_EQ(connection->ReferenceCount(), 1);
  connection.Reset();
}

}  // namespace
}  // namespace qv::pooltest
