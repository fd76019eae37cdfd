#include "service/event_logger.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <vector>

#include "log_outputs.h"
#include "service/program_log.h"
#include "support/log_lines.h"

namespace qv {
namespace {

TEST(EventLoggerTest, WriterReceivesSourceAndText) {
  std::vector<std::string> events;
  EventLogger logger("qvWebService", [&](const std::string& source, const std::string& text) {
    events.push_back(source + "|" + text);
  });
  logger.LogMessage("Service failed on start: port taken");
  logger.LogWarning("not for a writer of its own");
  logger.LogInfo("nor this");
  EXPECT_EQ(events, std::vector<std::string>{"qvWebService|Service failed on start: port taken"});
}

TEST(EventLoggerTest, ProgramLogLinesCarryTimeLevelAndName) {
  test::TestPipe error_output(0);
  {
    ProgramLog log(ProgramLog::Outputs{error_output.WriteEnd(), ""});
    EventLogger logger(kProgramName, log);
    logger.LogMessage("Service failed on stop: System Error.  Code: 5.\r\nInput/output error");
    logger.LogWarning("settings file not found, the defaults apply");
    logger.LogInfo("qvweb 1.0.0 stopped");
    EXPECT_TRUE(log.Flush(std::chrono::seconds(5)));
  }
  const std::string text = error_output.Drain();
  EXPECT_TRUE(test::StartsWithLogTime(text)) << text;
  EXPECT_EQ(test::WithoutLogTimes(text),
            "error qvweb: Service failed on stop: System Error.  Code: 5. Input/output error\n"
            "warning qvweb: settings file not found, the defaults apply\n"
            "info qvweb: qvweb 1.0.0 stopped\n");
}

}  // namespace
}  // namespace qv
