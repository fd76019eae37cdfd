// The request metrics by answer format: an HTML page's series keep their one
// page label; a data answer's carry its format beside it.
#include <gtest/gtest.h>

#include <chrono>
#include <string>

#include "service/metrics.h"

namespace qv {
namespace {

TEST(MetricsFormatTest, DataAnswersAreCountedUnderTheirFormat) {
  ServerMetrics metrics({"main", "list"});
  const auto ms = std::chrono::milliseconds(3);
  metrics.CountRequest(1, 200, ms, 10);
  metrics.CountRequest(1, 200, ms, 10, AnswerFormat::kJson);
  metrics.CountRequest(1, 200, ms, 10, AnswerFormat::kJson);
  metrics.CountRequest(1, 404, ms, 10, AnswerFormat::kJson);
  metrics.CountRequest(1, 200, ms, 10, AnswerFormat::kCsv);
  const std::string text = metrics.Text(ServerGauges{});
  for (const char* line : {
           "qvweb_requests_total{page=\"list\",status=\"200\"} 1\n",
           "qvweb_requests_total{page=\"list\",format=\"json\",status=\"200\"} 2\n",
           "qvweb_requests_total{page=\"list\",format=\"json\",status=\"404\"} 1\n",
           "qvweb_requests_total{page=\"list\",format=\"csv\",status=\"200\"} 1\n",
           "qvweb_request_duration_seconds_count{page=\"list\"} 1\n",
           "qvweb_request_duration_seconds_count{page=\"list\",format=\"json\"} 3\n",
       }) {
    EXPECT_NE(text.find(line), std::string::npos) << line;
  }
  EXPECT_EQ(text.find("page=\"main\""), std::string::npos);
}

}  // namespace
}  // namespace qv
