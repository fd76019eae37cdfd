// The property list's CSV: read back by Python's csv module it holds a header
// and every property the search matches (not ten), the text in UTF-8; it
// reaches its sink in bounded chunks.
#include <gtest/gtest.h>

#include <unistd.h>

#include <nlohmann/json.hpp>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

#include "page_fixture.h"
#include "pages/property_csv.h"
#include "support/oak_properties.h"
#include "support/python_csv.h"

namespace qv::pagetest {
namespace {

using nlohmann::json;

constexpr int kProperties = 2500;

// Properties 1 to kProperties, "Oak nnnn" on "nnnn Main St" in area North
// (odd) or South (even), and three of awkward text.
std::string CsvData() {
  std::string sql =
      "INSERT INTO AREA (AREA_ID, AREA_NAME) VALUES (1, 'North');"
      "INSERT INTO AREA (AREA_ID, AREA_NAME) VALUES (2, 'South');";
  sql += test::OakPropertyRows(kProperties);
  sql +=
      "INSERT INTO PROPERTY (PROPERTY_ID, PROPERTY_NAME, PRIMARY_PROP_ADDRESS_ID, AREA_ID) "
      "VALUES (9001, 'Caf\xe9, \"the\" Row', 9001, 1);"
      "INSERT INTO PROP_ADDRESS (PROP_ADDRESS_ID, PROPERTY_ID, PROP_ADDRESS1, PROP_ADDRESS2) "
      "VALUES (9001, 9001, '1 Quay\r\nUnit 2', 'x');";
  return sql;
}

class CollectingSink : public CsvSink {
 public:
  void Write(std::string_view chunk) override {
    text.append(chunk);
    ++chunks;
    largest = std::max(largest, chunk.size());
  }
  std::string text;
  size_t chunks = 0;
  size_t largest = 0;
};

class PropertyCsvTest : public PageTest {
 protected:
  PropertyCsvTest() { database.ExecScript(CsvData()); }

  CollectingSink Export(SimplePageRequest& request, size_t* rows = nullptr) {
    PageStream out;
    PageContext context{request, out, session, clock, PageNamed("PropertyListPage"), errors};
    CollectingSink sink;
    const size_t written = WritePropertyListCsv(context, sink);
    if (rows) *rows = written;
    EXPECT_TRUE(out.DataString().empty());
    return sink;
  }
};

TEST_F(PropertyCsvTest, HoldsEveryMatchingRowReadBackByAStandardReader) {
  struct Case {
    std::vector<std::pair<std::string, std::string>> params;
    size_t rows;
  };
  const Case cases[] = {
      {{}, kProperties + 1},
      {{{"page", "3"}}, kProperties + 1},
      {{{"AreaName", "South"}}, kProperties / 2},
      {{{"AreaName", "ALL"}, {"SearchValue", "oak 1"}, {"PropName", "a"}}, 1000},
      {{{"SearchValue", "Quay"}, {"Address", "a"}, {"AreaName", ""}}, 1},
      {{{"SearchValue", "nothing like it"}, {"Address", "a"}}, 0},
  };
  for (const Case& c : cases) {
    SimplePageRequest request = Request();
    std::string trace;
    for (const auto& [name, value] : c.params) {
      request.Add(name, value);
      trace += name + "=" + value + " ";
    }
    SCOPED_TRACE(trace);
    size_t written = 0;
    const CollectingSink sink = Export(request, &written);
    EXPECT_EQ(written, c.rows);
    const json rows = test::ReadCsvWithPython(sink.text);
    ASSERT_EQ(rows.size(), c.rows + 1);
    EXPECT_EQ(rows[0], json({"id", "name", "address1", "address2", "city", "state", "zipcode",
                             "units"}));
    for (size_t i = 1; i < rows.size(); ++i) ASSERT_EQ(rows[i].size(), 8u) << i;
  }
}

TEST_F(PropertyCsvTest, TextIsUtf8AndQuotedWhereItMustBe) {
  SimplePageRequest request = Request();
  request.Add("SearchValue", "Quay").Add("Address", "a");
  const json rows = test::ReadCsvWithPython(Export(request).text);
  ASSERT_EQ(rows.size(), 2u);
  EXPECT_EQ(rows[1], json({"9001", "Caf\xc3\xa9, \"the\" Row", "1 Quay\r\nUnit 2", "x", "", "", "",
                           ""}));

  SimplePageRequest all = Request();
  const json list = test::ReadCsvWithPython(Export(all).text);
  EXPECT_EQ(list[1], json({"9001", "Caf\xc3\xa9, \"the\" Row", "1 Quay\r\nUnit 2", "x", "", "", "",
                           ""}))
      << "the list's order: by name";
  EXPECT_EQ(list[2], json({"1", "Oak 0001", "1 Main St", "", "Norvale", "WA", "", "1"}));
}

TEST_F(PropertyCsvTest, ReachesItsSinkInBoundedChunks) {
  SimplePageRequest request = Request();
  const CollectingSink sink = Export(request);
  EXPECT_GT(sink.chunks, 1u);
  EXPECT_LT(sink.largest, kCsvChunkBytes + 1024);
  EXPECT_EQ(sink.text.substr(sink.text.size() - 2), "\r\n");
}

TEST_F(PropertyCsvTest, IsMadeAChunkAtATimeAsItsReaderAsks) {
  std::string whole;
  {
    SimplePageRequest request = Request();
    whole = Export(request).text;
  }
  PageStream out;
  std::optional<PropertyListCsv> csv;
  {
    // The request is read when the export is made, not after.
    SimplePageRequest request = Request();
    PageContext context{request, out, session, clock, PageNamed("PropertyListPage"), errors};
    csv.emplace(context);
  }
  EXPECT_EQ(csv->Rows(), 0u);
  std::string chunk;
  ASSERT_GT(csv->Next(chunk), 0u);
  EXPECT_EQ(chunk.rfind("id,name,address1,address2,city,state,zipcode,units\r\n", 0), 0u);
  EXPECT_GE(chunk.size(), kCsvChunkBytes);
  EXPECT_LT(csv->Rows(), static_cast<size_t>(kProperties)) << "no more rows read than one chunk";
  std::string text = chunk;
  while (csv->Next(chunk) != 0) {
    EXPECT_EQ(chunk.substr(chunk.size() - 2), "\r\n") << "whole rows only";
    text += chunk;
  }
  EXPECT_EQ(chunk, "");
  EXPECT_EQ(csv->Next(chunk), 0u) << "the end stays the end";
  EXPECT_EQ(csv->Rows(), static_cast<size_t>(kProperties) + 1);
  EXPECT_EQ(text, whole);
}

}  // namespace
}  // namespace qv::pagetest
