#include "service/event_logger.h"

#include <gtest/gtest.h>

#include <vector>

namespace qv {
namespace {

TEST(EventLoggerTest, WriterReceivesSourceAndText) {
  std::vector<std::string> events;
  TEventLogger logger("qvWebService", [&](const std::string& source, const std::string& text) {
    events.push_back(source + "|" + text);
  });
  logger.LogMessage("Service failed on start: port taken");
  EXPECT_EQ(events, std::vector<std::string>{"qvWebService|Service failed on start: port taken"});
}

TEST(EventLoggerTest, DefaultWriterCopiesToStandardError) {
  ::testing::internal::CaptureStderr();
  TEventLogger("qvWebServiceTest").LogMessage("Service failed on stop: boom");
  EXPECT_EQ(::testing::internal::GetCapturedStderr(),
            "qvWebServiceTest: Service failed on stop: boom\n");
}

}  // namespace
}  // namespace qv
