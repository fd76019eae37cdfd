// The program log's two outputs: standard error and the system log's socket
// get each line in their own form; an output nobody reads never holds up the
// caller, and the other output says how many lines it lost.
#include "service/program_log.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <mutex>
#include <regex>
#include <string>
#include <thread>
#include <vector>

#include "log_outputs.h"
#include "support/log_lines.h"
#include "support/test_files.h"

namespace qv {
namespace {

using namespace std::chrono_literals;

class ProgramLogTest : public ::testing::Test {
 protected:
  void SetUp() override {
    folder_ = test::MakeTempFolder("qv_program_log");
    ASSERT_FALSE(folder_.empty());
    system_log_ = std::make_unique<test::DatagramReceiver>(folder_ + "/log.socket");
    ASSERT_TRUE(system_log_->Bound());
  }
  void TearDown() override {
    system_log_.reset();
    std::filesystem::remove_all(folder_);
  }

  std::string folder_;
  std::unique_ptr<test::DatagramReceiver> system_log_;
};

TEST_F(ProgramLogTest, EachOutputGetsTheLineInItsOwnForm) {
  test::TestPipe error_output(0);
  {
    ProgramLog log(ProgramLog::Outputs{error_output.WriteEnd(), system_log_->Path()});
    log.Write(LogLevel::Error, kProgramName, "System Error.  Code: 2.\r\nNo such file or directory");
    log.Write(LogLevel::Warning, kProgramName, "unknown setting");
    log.Write(LogLevel::Info, kProgramName, "listening");
    EXPECT_TRUE(log.Flush(5s));
    EXPECT_EQ(log.Dropped(), 0u);
  }
  EXPECT_EQ(test::WithoutLogTimes(error_output.Drain()),
            "error qvweb: System Error.  Code: 2. No such file or directory\n"
            "warning qvweb: unknown setting\n"
            "info qvweb: listening\n");
  const std::vector<std::string> messages = system_log_->Drain();
  ASSERT_EQ(messages.size(), 3u);
  // Facility daemon (3): priorities error (3), warning (4), info (6).
  const std::string pid = std::to_string(getpid());
  const std::string time = R"([A-Z][a-z]{2} [ 123]\d \d\d:\d\d:\d\d)";
  EXPECT_TRUE(std::regex_match(messages[0], std::regex("<27>" + time + " qvweb\\[" + pid +
                                                       R"(\]: System Error\.  Code: 2\. No such file or directory)")))
      << messages[0];
  EXPECT_TRUE(std::regex_match(messages[1],
                               std::regex("<28>" + time + " qvweb\\[" + pid + "\\]: unknown setting")))
      << messages[1];
  EXPECT_TRUE(std::regex_match(messages[2],
                               std::regex("<30>" + time + " qvweb\\[" + pid + "\\]: listening")))
      << messages[2];
}

// Standard error a pipe nobody reads: writing goes on, lines are dropped and
// counted, and the system log says how many. What standard error lost is
// what its pipe did not get, however late the writer gives up.
TEST_F(ProgramLogTest, StandardErrorNobodyReadsIsToldInTheSystemLog) {
  test::TestPipe error_output;  // one page, read only at the end
  std::mutex lock;
  std::vector<std::string> messages;
  std::atomic<size_t> received{0};
  std::atomic<bool> stop{false};
  std::thread reader([&] {
    auto take = [&] {
      std::vector<std::string> drained = system_log_->Drain();
      std::lock_guard guard(lock);
      for (std::string& message : drained) messages.push_back(std::move(message));
      received = messages.size();
    };
    while (!stop) {
      take();
      std::this_thread::sleep_for(1ms);
    }
    take();
  });
  // The system log's buffer holds about 80 of its lines: each 50 are let out
  // before more come, so that only standard error loses any.
  auto system_log_has = [&](size_t count) {
    for (int i = 0; i < 10000 && received < count; ++i) std::this_thread::sleep_for(1ms);
    return received >= count;
  };
  LogWriter::Options options = ProgramLog::WriterOptions();
  options.capacity_bytes = 8192;
  constexpr int kLines = 300;
  uint64_t dropped = 0;
  {
    ProgramLog log(ProgramLog::Outputs{error_output.WriteEnd(), system_log_->Path()}, options);
    for (int i = 0; i < kLines; ++i) {
      log.Write(LogLevel::Error, kProgramName, "a page failed: " + std::string(60, 'x'));
      if (i % 50 == 49) {
        ASSERT_TRUE(system_log_has(i + 1));
      }
    }
    EXPECT_FALSE(log.Flush(300ms));
    dropped = log.Dropped();
  }
  stop = true;
  reader.join();
  EXPECT_GT(dropped, 0u);
  const std::string piped = error_output.Drain();
  uint64_t delivered = 0;
  for (size_t begin = 0, end; (end = piped.find('\n', begin)) != std::string::npos; begin = end + 1) {
    if (piped.substr(begin, end - begin).find("a page failed: ") != std::string::npos) ++delivered;
  }
  uint64_t told = 0, failures = 0;
  const std::regex report(R"(<28>.* qvweb\[\d+\]: (\d+) log lines? not written to standard error: )"
                          "the output is blocked or too slow");
  for (const std::string& message : messages) {
    std::smatch m;
    if (std::regex_match(message, m, report)) told += std::stoull(m[1]);
    if (message.find("a page failed: ") != std::string::npos) ++failures;
  }
  EXPECT_EQ(failures, static_cast<uint64_t>(kLines));
  EXPECT_EQ(told, kLines - delivered);
}

}  // namespace
}  // namespace qv
