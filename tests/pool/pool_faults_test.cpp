// The pool when connections die or hang: dead sessions leave their place, a
// fresh connection on demand, connecting without the pool's lock, and a
// closed pool that answers its waiting borrowers at once.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <thread>

#include "db/errors.h"
#include "pool/fixed_connection_pool.h"
#include "pool_fixture.h"

namespace qv::pooltest {
namespace {

using namespace std::chrono_literals;

// A loopback port that takes TCP connections into its queue and never says a
// word: an attach to it waits for the server's answer.
class SilentPort {
 public:
  SilentPort() {
    fd_ = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    ::bind(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address);
    ::listen(fd_, 16);
    ::getsockname(fd_, reinterpret_cast<sockaddr*>(&address), &length);
    port_ = ntohs(address.sin_port);
  }
  ~SilentPort() { ::close(fd_); }
  int Port() const { return port_; }

 private:
  int fd_ = -1;
  int port_ = 0;
};

class PoolFaultsTest : public PoolTest {};

TEST_F(PoolFaultsTest, DiscardedSessionLeavesItsPlaceToAFreshOne) {
  auto pool = MakePool(2, 1000);
  PoolLease lease;
  EXPECT_TRUE(pool->Acquire(lease, AcquireMode::kAny));  // connected now
  lease.Discard();
  EXPECT_FALSE(lease);
  EXPECT_EQ(pool->Place(0).session, nullptr);
  EXPECT_EQ(pool->AvailablePlaces(), 2);
  EXPECT_TRUE(pool->Acquire(lease, AcquireMode::kAny));
  EXPECT_NE(pool->Place(0).session, nullptr);
  EXPECT_EQ(created_, 2);
  lease.Release();
  // A session given back the ordinary way is lent again, not connected anew.
  EXPECT_FALSE(pool->Acquire(lease, AcquireMode::kAny));
  EXPECT_EQ(created_, 2);
}

TEST_F(PoolFaultsTest, FreshConnectionClosesAFreeSessionRatherThanLendIt) {
  auto pool = MakePool(1, 1000);
  PoolLease lease;
  pool->Acquire(lease);
  lease.Release();  // one free, connected session
  EXPECT_TRUE(pool->Acquire(lease, AcquireMode::kFreshConnection));
  EXPECT_EQ(created_, 2);
  EXPECT_TRUE(pool->Place(0).lent);
  EXPECT_EQ(pool->Place(0).session, &lease.Session());
  EXPECT_TRUE(lease.Session().Attached());
  lease.Release();
  EXPECT_EQ(pool->AvailablePlaces(), 1);
}

TEST_F(PoolFaultsTest, SlowConnectLetsOthersBorrowAndEndsAtTheConnectTimeOut) {
  SilentPort silent;
  const std::string hanging_ini = folder_.Write(
      "hang.ini", "[DB]\nDBName=127.0.0.1/" + std::to_string(silent.Port()) +
                      ":/nowhere.fdb\nUser=SYSDBA\nPass=x\nConnectTimeout=2\n");
  PoolOptions options;
  options.pool_size = 2;
  options.acquire_timeout_ms = 1000;
  options.factory = [this, hanging_ini] {
    return NewDatabaseSession(created_++ == 0 ? good_ini_ : hanging_ini, errors_);
  };
  ConnectionPool pool(std::move(options), errors_);
  PoolLease first;
  pool.Acquire(first);

  auto slow = std::async(std::launch::async, [&pool] {
    PoolLease lease;
    const auto start = std::chrono::steady_clock::now();
    try {
      pool.Acquire(lease);
      return std::make_pair(std::string("connected"), std::chrono::steady_clock::now() - start);
    } catch (const DbStatusError& error) {
      // A server that does not answer the attach cannot be reached.
      return std::make_pair(std::string(error.Kind() == FailureKind::ConnectionLost
                                            ? "attach failed"
                                            : "other failure"),
                            std::chrono::steady_clock::now() - start);
    }
  });
  while (created_ < 2) std::this_thread::sleep_for(5ms);
  std::this_thread::sleep_for(100ms);  // the second session is connecting now
  // Giving back and borrowing again does not wait for that connect.
  const auto start = std::chrono::steady_clock::now();
  first.Release();
  pool.Acquire(first);
  EXPECT_LT(std::chrono::steady_clock::now() - start, 500ms);
  first.Release();

  const auto [outcome, elapsed] = slow.get();
  EXPECT_EQ(outcome, "attach failed");
  EXPECT_GE(elapsed, 1500ms);
  EXPECT_LT(elapsed, 5s);
  EXPECT_EQ(pool.AvailablePlaces(), 2);
}

TEST_F(PoolFaultsTest, ClosedPoolAnswersWaitingBorrowersAtOnce) {
  auto pool = MakePool(1, 20000);
  PoolLease held;
  pool->Acquire(held);
  auto waiter = std::async(std::launch::async, [&pool] {
    PoolLease lease;
    const auto start = std::chrono::steady_clock::now();
    try {
      pool->Acquire(lease);
    } catch (const PoolTimeout&) {
    }
    return std::chrono::steady_clock::now() - start;
  });
  std::this_thread::sleep_for(100ms);  // let it wait
  pool->Close();
  EXPECT_LT(waiter.get(), 2s);
  // A place that is there is still lent, but a closed pool attaches no new
  // session; after Reopen borrowers wait and attach again.
  held.Release();
  pool->Acquire(held);
  EXPECT_TRUE(held);
  held.Discard();
  const int created = created_;
  EXPECT_THROW(pool->Acquire(held), PoolTimeout);
  EXPECT_EQ(created_, created);
  EXPECT_EQ(pool->AvailablePlaces(), 1);
  pool->Reopen();
  pool->Acquire(held);
  EXPECT_TRUE(held);
  EXPECT_EQ(created_, created + 1);
  held.Release();
}

}  // namespace
}  // namespace qv::pooltest
