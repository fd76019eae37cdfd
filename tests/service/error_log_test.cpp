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
  ErrorLog log_;
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

TEST_F(ErrorLogTest, CountOfAMessageNotSeenAgainGoesOutWithLaterFailuresOrAFlush) {
  log_.PageFailed("10.0.0.1", "/list", 503, "first");
  log_.PageFailed("10.0.0.1", "/list", 503, "first");
  log_.PageFailed("10.0.0.1", "/list", 503, "first");
  now_ += 1500ms;
  log_.PageFailed("10.0.0.2", "/notes", 500, "second");
  log_.PageFailed("10.0.0.2", "/notes", 500, "second");
  log_.Flush();  // "second" was held back less than a second ago: not yet
  now_ += 1s;
  log_.Flush();
  log_.Flush();  // nothing left
  log_.PageFailed("10.0.0.3", "/auth", 500, "third");
  log_.PageFailed("10.0.0.3", "/auth", 500, "third");
  log_.Flush(true);  // a stop: whatever is held back goes out
  EXPECT_EQ(lines_, (std::vector<std::string>{
                        "10.0.0.1 /list 503 first",
                        "10.0.0.2 /notes 500 second",
                        "(2 more like this not shown) first",
                        "(1 more like this not shown) second",
                        "10.0.0.3 /auth 500 third",
                        "(1 more like this not shown) third",
                    }));
}

}  // namespace
}  // namespace qv
