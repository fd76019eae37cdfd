// The error log of failed pages: one line each, and the once-a-second rule
// for a repeated message with its count of lines held back.
#include "service/error_log.h"

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <vector>

namespace qv {
namespace {

using namespace std::chrono_literals;

class ErrorLogTest : public ::testing::Test {
 protected:
  ErrorLogTest()
      : log_([this](const std::string& line) { lines_.push_back(line); }, [this] { return now_; }) {}

  std::chrono::steady_clock::time_point now_{std::chrono::seconds(1000)};
  std::vector<std::string> lines_;
  TErrorLog log_;
};

TEST_F(ErrorLogTest, OneLineWithAddressPathStatusAndMessage) {
  log_.PageFailed("192.0.2.7", "/people", 503,
                  "ISC ERROR CODE:335544727\r\n\r\nISC ERROR MESSAGE:\r\nError writing data\r\n");
  EXPECT_EQ(lines_, std::vector<std::string>{
                        "192.0.2.7 /people 503 ISC ERROR CODE:335544727 ISC ERROR MESSAGE: "
                        "Error writing data"});
}

TEST_F(ErrorLogTest, RepeatedMessageAtMostOnceASecondWithTheCountLeftOut) {
  const std::string busy = "Connection pool timeout. Cannot obtain a connection";
  for (int i = 0; i < 5; ++i) {
    log_.PageFailed("10.0.0." + std::to_string(i), "/list", 503, busy);
    now_ += 100ms;
  }
  log_.PageFailed("10.0.0.9", "/auth", 500, "another message");  // not held back by the first
  EXPECT_EQ(lines_.size(), 2u);
  now_ += 600ms;  // a second after the first line
  log_.PageFailed("10.0.0.5", "/list", 503, busy);
  ASSERT_EQ(lines_.size(), 3u);
  EXPECT_EQ(lines_[0], "10.0.0.0 /list 503 " + busy);
  EXPECT_EQ(lines_[1], "10.0.0.9 /auth 500 another message");
  EXPECT_EQ(lines_[2], "10.0.0.5 /list 503 " + busy + " (4 more like this not shown)");
  now_ += 2s;
  log_.PageFailed("10.0.0.6", "/list", 503, busy);
  EXPECT_EQ(lines_.back(), "10.0.0.6 /list 503 " + busy);
}

}  // namespace
}  // namespace qv
