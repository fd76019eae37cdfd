// The one form of the program's log lines: time in UTC with milliseconds,
// level, name, and the text on one line.
#include "platform/log_line.h"

#include <gtest/gtest.h>

#include <chrono>
#include <string>

namespace qv {
namespace {

using namespace std::chrono;

const system_clock::time_point kTime =
    sys_days{year{2026} / 12 / 10} + hours{13} + minutes{55} + seconds{36} + milliseconds{123};

struct LineCase {
  const char* name;
  LogLevel level;
  std::string text;
  std::string line;
};

class LogLineTest : public ::testing::TestWithParam<LineCase> {};

TEST_P(LogLineTest, TimeLevelNameAndOneLineOfText) {
  EXPECT_EQ(FormatLogLine(GetParam().level, kProgramName, GetParam().text, kTime),
            GetParam().line);
}

INSTANTIATE_TEST_SUITE_P(
    Table, LogLineTest,
    ::testing::Values(
        LineCase{"Error", LogLevel::Error, "Service failed on start: port taken",
                 "2026-12-10T13:55:36.123Z error qvweb: Service failed on start: port taken\n"},
        LineCase{"WarningOsMessage", LogLevel::Warning,
                 "System Error.  Code: 2.\r\nNo such file or directory",
                 "2026-12-10T13:55:36.123Z warning qvweb: System Error.  Code: 2. No such file "
                 "or directory\n"},
        LineCase{"InfoBreaksAtBothEnds", LogLevel::Info, "\r\n\r\nstopped\r\n",
                 "2026-12-10T13:55:36.123Z info qvweb: stopped\n"},
        LineCase{"RunsOfBreaksBecomeOneBlank", LogLevel::Error,
                 "ISC ERROR CODE:335544721\r\n\r\nISC ERROR MESSAGE:\nUnable to complete\n\n",
                 "2026-12-10T13:55:36.123Z error qvweb: ISC ERROR CODE:335544721 ISC ERROR "
                 "MESSAGE: Unable to complete\n"},
        LineCase{"Empty", LogLevel::Error, "", "2026-12-10T13:55:36.123Z error qvweb: \n"}),
    [](const ::testing::TestParamInfo<LineCase>& info) { return std::string(info.param.name); });

TEST(LogTimeTest, MillisecondsAreCutNotRoundedAndPadded) {
  const system_clock::time_point second = sys_days{year{2027} / 1 / 2} + hours{3} + minutes{4};
  EXPECT_EQ(LogTime(second), "2027-01-02T03:04:00.000Z");
  EXPECT_EQ(LogTime(second + microseconds{999999}), "2027-01-02T03:04:00.999Z");
  EXPECT_EQ(LogTime(second + milliseconds{7}), "2027-01-02T03:04:00.007Z");
}

}  // namespace
}  // namespace qv
