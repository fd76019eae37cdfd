#include "http/request_memory.h"

#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <string>

#include "http/http_server.h"
#include "test_support.h"

namespace qv {
namespace {

TEST(RequestMemoryTest, TakingsStopAtTheLimitAndComeBack) {
  RequestMemory memory(100);
  EXPECT_TRUE(memory.Take(60));
  EXPECT_FALSE(memory.Take(41));
  EXPECT_TRUE(memory.Take(40));
  EXPECT_EQ(memory.Held(), 100u);
  EXPECT_FALSE(memory.Take(1));
  memory.Give(100);
  EXPECT_EQ(memory.Held(), 0u);
  // A lower limit leaves what is held; 0 is no limit at all.
  EXPECT_TRUE(memory.Take(80));
  memory.SetLimit(50);
  EXPECT_EQ(memory.Held(), 80u);
  EXPECT_FALSE(memory.Take(1));
  memory.SetLimit(0);
  EXPECT_TRUE(memory.Take(size_t{1} << 40));
}

TEST(RequestMemoryTest, ChargesResizeMoveAndGiveBackWhenTheyGo) {
  auto memory = std::make_shared<RequestMemory>(100);
  {
    MemoryCharge a(memory);
    EXPECT_TRUE(a.Resize(70));
    MemoryCharge b(memory);
    EXPECT_FALSE(b.Resize(31));  // refused: nothing taken
    EXPECT_EQ(b.Bytes(), 0u);
    EXPECT_TRUE(b.Resize(30));
    EXPECT_TRUE(a.Resize(20));  // shrinking gives back
    EXPECT_EQ(memory->Held(), 50u);
    b.Force(90);  // memory in hand counts beyond the limit
    EXPECT_EQ(memory->Held(), 110u);
    MemoryCharge moved = std::move(b);
    EXPECT_EQ(b.Bytes(), 0u);
    EXPECT_EQ(moved.Bytes(), 90u);
    a = std::move(moved);  // a's own 20 go back
    EXPECT_EQ(memory->Held(), 90u);
  }
  EXPECT_EQ(memory->Held(), 0u);
  MemoryCharge unbounded;
  EXPECT_TRUE(unbounded.Resize(size_t{1} << 40));
}

TEST(RequestMemoryTest, MemoryIsHandedBackOnceAfterABurst) {
  RequestMemory memory;
  ASSERT_TRUE(memory.Take(RequestMemory::kBurstBytes));
  memory.Give(RequestMemory::kBurstBytes - RequestMemory::kQuietBytes - 1);
  EXPECT_EQ(memory.Returns(), 0u);  // not quiet yet
  memory.Give(1);
  EXPECT_EQ(memory.Returns(), 1u);
  // Small takings and givings are no burst.
  ASSERT_TRUE(memory.Take(RequestMemory::kBurstBytes / 2));
  memory.Give(RequestMemory::kBurstBytes / 2);
  EXPECT_EQ(memory.Returns(), 1u);
  memory.Give(RequestMemory::kQuietBytes);
}

// A server whose requests may hold 256 KiB in all, answering with the
// document and the body's size.
class HeldBodiesTest : public ::testing::Test {
 protected:
  static constexpr size_t kLimit = 256 * 1024;

  void SetUp() override {
    HttpServer::Events events;
    events.on_command_get = [](ConnectionContext*, Request& req, Response& r) {
      r.content_text = req.document + " " + std::to_string(req.form_params.size());
    };
    server_.emplace(std::move(events));
    server_->SetMaxRequestMemory(kLimit);
    port_ = test::StartOnLoopback(*server_);
  }
  const RequestMemory& Memory() const { return *server_->RequestMemory(); }

  static std::string Post(const std::string& path, size_t length, size_t sent) {
    return "POST " + path + " HTTP/1.1\r\nContent-Length: " + std::to_string(length) + "\r\n\r\n" +
           std::string(sent, 'b');
  }

  std::optional<HttpServer> server_;
  int port_ = 0;
};

TEST_F(HeldBodiesTest, ABodyBeyondWhatIsLeftIsAnswered503WhileOthersGoOn) {
  test::LoopbackClient holder(port_);
  holder.Send(Post("/held", 200000, 190000));
  ASSERT_TRUE(test::WaitFor([&] { return Memory().Held() >= 190000; }));
  EXPECT_LE(Memory().Held(), kLimit);

  // Another body does not fit beside it: refused at once, with the advice to
  // come back, and the connection ends.
  const std::string refused = test::Exchange(port_, Post("/late", 100000, 100000)).raw;
  EXPECT_EQ(refused,
            "HTTP/1.1 503 Service Unavailable\r\nConnection: close\r\nContent-Length: 58\r\nRetry-After: 5\r\n\r\n"
            "<HTML><BODY><B>503 Service Unavailable</B></BODY></HTML>\r\n");
  EXPECT_EQ(Memory().Refusals(), 1u);
  // Requests without a body are answered as ever, and small bodies fit.
  EXPECT_EQ(test::Exchange(port_, "GET /page HTTP/1.1\r\n\r\n").body, "/page 0");
  EXPECT_EQ(test::Exchange(port_, Post("/form", 30, 30)).body, "/form 30");

  // The held body completes and is answered; its memory comes back, and the
  // refused visitor's second try gets through.
  holder.Send(std::string(10000, 'b'));
  EXPECT_EQ(test::ParseAnswer(holder.ReadAll()).body, "/held 200000");
  ASSERT_TRUE(test::WaitFor([&] { return Memory().Held() == 0; }));
  EXPECT_EQ(test::Exchange(port_, Post("/late", 100000, 100000)).body, "/late 100000");
  EXPECT_EQ(Memory().Held(), 0u);
}

// The limit is read at activation and at a restart; what is held stays counted.
TEST(RequestMemoryServerTest, TheLimitTakesEffectAtActivationAndRestart) {
  HttpServer server;
  EXPECT_EQ(server.RequestMemory()->Limit(), TcpServer::kDefaultMaxRequestMemory);
  server.SetMaxRequestMemory(1 << 20);
  const int port = test::StartOnLoopback(server);
  EXPECT_EQ(server.RequestMemory()->Limit(), size_t{1} << 20);
  test::LoopbackClient holder(port);
  holder.Send("POST / HTTP/1.1\r\nContent-Length: 100000\r\n\r\n" + std::string(50000, 'b'));
  ASSERT_TRUE(test::WaitFor([&] { return server.RequestMemory()->Held() >= 50000; }));
  server.SetMaxRequestMemory(3 << 20);
  server.Restart(1000);
  EXPECT_EQ(server.RequestMemory()->Limit(), size_t{3} << 20);
  EXPECT_GE(server.RequestMemory()->Held(), 50000u);
}

}  // namespace
}  // namespace qv
