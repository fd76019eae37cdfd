// The built server with [LOG] AccessLog=- and standard output a pipe that
// nobody reads (a stuck journal, a paused "| tee"): pages are still answered,
// the lost lines are counted on /metrics and told in the error log, and
// SIGTERM still ends the process within StopTimeout and two seconds. Also
// with standard error the same unread pipe.
#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <memory>
#include <regex>
#include <sstream>
#include <string>
#include <thread>

#include "log_outputs.h"
#include "process_data.h"
#include "process_fixture.h"
#include "support/http_client.h"
#include "support/log_lines.h"
#include "support/notify_socket.h"
#include "support/ports.h"
#include "support/server_process.h"
#include "support/test_database.h"
#include "support/test_files.h"

namespace qv {
namespace {

using namespace std::chrono_literals;

constexpr int kStopTimeoutSeconds = 2;

// The value of a series on the admin port's /metrics; -1 when absent.
long long MetricValue(int admin_port, const std::string& series) {
  auto answer = test::TryExchange(admin_port, test::GetRequest("/metrics"));
  if (!answer) return -1;
  const size_t at = answer->body.find("\n" + series + " ");
  if (at == std::string::npos) return -1;
  return std::stoll(answer->body.substr(at + series.size() + 2));
}

struct BlockedCase {
  const char* name;
  bool error_too;  // standard error the same unread pipe
};

class BlockedLogProcessTest : public test::ServerProcessTest,
                              public ::testing::WithParamInterface<BlockedCase> {
 protected:
  void SetUp() override {
    ASSERT_NO_FATAL_FAILURE(SetUpServer("qv_blocked_log"));
    database_ = std::make_unique<TestDatabase>();
    database_->ExecScript(test::kOnePropertyData);
    admin_port_ = test::FreePort();
  }

  std::unique_ptr<TestDatabase> database_;
  int admin_port_ = 0;
};

TEST_P(BlockedLogProcessTest, PagesAreAnsweredAndSigtermEndsInTime) {
  test::TestPipe unread;  // one page, never read
  server_->SetStandardOutput(unread.WriteEnd(), GetParam().error_too);
  server_->WriteIni("[APP]\nAddress=127.0.0.1\nPort=" + std::to_string(port_) + "\nHtDocs=" +
                    folder_ + "/htdocs\nReadTimeout=10\nStopTimeout=" +
                    std::to_string(kStopTimeoutSeconds) + "\n[DB]\nDBName=" + database_->Path() +
                    "\nUser=" + TestDatabase::User() + "\n[LOG]\nAccessLog=-\n[ADMIN]\nPort=" +
                    std::to_string(admin_port_) + "\n");
  ASSERT_TRUE(server_->Start(notify_.Path()));
  ASSERT_TRUE(notify_.AwaitRunning()) << server_->Log();
  EXPECT_EQ(MetricValue(admin_port_, "qvweb_log_lines_dropped_total{log=\"access\"}"), 0);
  EXPECT_EQ(MetricValue(admin_port_, "qvweb_log_lines_dropped_total{log=\"error\"}"), 0);

  // Lines of 8 kB: a few hundred fill the pipe and the log's buffer.
  const std::string logo = test::ReadFile(folder_ + "/htdocs/qv_logo_jpg.jpg");
  const std::string request = "GET /image/qv_logo_jpg.jpg HTTP/1.1\r\nHost: 127.0.0.1\r\n"
                              "User-Agent: " + std::string(8000, 'x') + "\r\n\r\n";
  int answered = 0;
  for (int i = 0; i < 400; ++i) {
    auto answer = test::TryExchange(port_, request);
    ASSERT_TRUE(answer && answer->complete && answer->status == 200) << i;
    answered += answer->body == logo;
  }
  EXPECT_EQ(answered, 400);
  auto menu = test::TryExchange(port_, test::GetRequest("/"));
  ASSERT_TRUE(menu && menu->complete);
  EXPECT_NE(menu->body.find("Harbor Housing Agency"), std::string::npos);
  EXPECT_GT(MetricValue(admin_port_, "qvweb_log_lines_dropped_total{log=\"access\"}"), 0);

  if (!GetParam().error_too) {
    // Told once at once, then at most every ten seconds.
    std::string log;
    for (int i = 0; i < 200; ++i) {
      log = server_->Log();
      if (log.find(" lines dropped: ") != std::string::npos) break;
      std::this_thread::sleep_for(10ms);
    }
    EXPECT_TRUE(std::regex_search(log, std::regex("(^|\n)warning qvweb: Access log \\(standard "
                                                  "output\\): \\d+ lines? dropped: the output is "
                                                  "blocked or too slow\n")))
        << log;
  }

  const auto stop_asked = std::chrono::steady_clock::now();
  server_->Signal(SIGTERM);
  EXPECT_EQ(server_->WaitExit(std::chrono::seconds(kStopTimeoutSeconds + 2)), 0)
      << "still running " << kStopTimeoutSeconds + 2 << " s after SIGTERM";
  RecordProperty("stop_ms", static_cast<int>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                                 std::chrono::steady_clock::now() - stop_asked)
                                                 .count()));
  if (!GetParam().error_too) {
    // Every line on standard error is a log line, the stop included.
    const std::string raw = server_->RawLog();
    std::istringstream lines(raw);
    for (std::string line; std::getline(lines, line);)
      EXPECT_TRUE(test::StartsWithLogTime(line)) << line;
    EXPECT_NE(server_->Log().find("info qvweb: qvweb 1.0.0 stopped\n"), std::string::npos) << raw;
  }
}

INSTANTIATE_TEST_SUITE_P(Table, BlockedLogProcessTest,
                         ::testing::Values(BlockedCase{"StandardOutput", false},
                                           BlockedCase{"StandardOutputAndError", true}),
                         [](const ::testing::TestParamInfo<BlockedCase>& info) {
                           return std::string(info.param.name);
                         });

}  // namespace
}  // namespace qv
