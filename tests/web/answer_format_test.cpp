// What an Accept header asks a data page for: JSON or CSV only when ranked
// above text/html; browsers, ties and no header get the page.
#include <gtest/gtest.h>

#include "web/answer_format.h"

namespace qv {
namespace {

TEST(AnswerFormatTest, AcceptHeadersChooseTheFormat) {
  struct Case {
    const char* accept;
    AnswerFormat format;
    AnswerFormat with_csv;  // where the page offers CSV too
  };
  using enum AnswerFormat;
  const Case cases[] = {
      {"", kHtml, kHtml},
      {"*/*", kHtml, kHtml},
      // Browsers.
      {"text/html,application/xhtml+xml,application/xml;q=0.9,image/avif,image/webp,*/*;q=0.8",
       kHtml, kHtml},
      {"text/html,application/xhtml+xml,application/xml;q=0.9,*/*;q=0.8", kHtml, kHtml},
      {"application/json", kJson, kJson},
      {"Application/JSON; charset=utf-8", kJson, kJson},
      {"application/json, text/html;q=0.9", kJson, kJson},
      {"text/html;q=0.5, application/*;q=0.6", kJson, kJson},
      {"application/json;q=0.5, text/html;q=0.5", kHtml, kHtml},
      {"application/json;q=0, */*", kHtml, kHtml},
      {"text/*;q=0.3, application/json;q=0.2", kHtml, kHtml},
      {"application/json;q=1.0, */*;q=0.1", kJson, kJson},
      {"application/json;q=abc", kHtml, kHtml},
      {"application/json;level=1;q=0.9, text/html;q=0.8", kJson, kJson},
      {"text/csv", kHtml, kCsv},
      {"text/csv, application/json", kJson, kJson},
      {"text/csv, application/json;q=0.9", kJson, kCsv},
      {"text/csv;q=0.9, text/html", kHtml, kHtml},
      {"application/jsonx", kHtml, kHtml},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(PreferredFormat(c.accept), c.format) << c.accept;
    EXPECT_EQ(PreferredFormat(c.accept, true), c.with_csv) << c.accept;
  }
}

}  // namespace
}  // namespace qv
