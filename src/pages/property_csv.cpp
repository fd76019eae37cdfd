#include "pages/property_csv.h"

#include <cstdint>
#include <limits>
#include <vector>

#include "pages/list_rows.h"
#include "pages/page_json.h"
#include "pages/page_statements.h"
#include "pages/page_text.h"

namespace qv {

namespace {

constexpr std::string_view kHeader = "id,name,address1,address2,city,state,zipcode,units\r\n";

}  // namespace

void AppendCsvField(std::string& out, std::string_view text, TextEncoding encoding) {
  if (text.find_first_of(",\"\r\n") == std::string_view::npos) {
    AppendUtf8(out, text, encoding);
    return;
  }
  out += '"';
  for (size_t start = 0;;) {
    const size_t quote = text.find('"', start);
    AppendUtf8(out, text.substr(start, quote - start), encoding);
    if (quote == std::string_view::npos) break;
    out += "\"\"";
    start = quote + 1;
  }
  out += '"';
}

namespace {

Cursor<ListColumn> RunListQuery(PageContext& page) {
  const ListSearch search = ReadListSearch(page.request);
  // The list's own statement for every row: its order is the list's.
  std::string upper;
  std::vector<ParamValue> params{std::numeric_limits<int32_t>::max(), 0};
  if (search.mode == ListSearchMode::kName) {
    upper = UpperCaseAscii(search.search_value);
    params.emplace_back(upper);
  } else if (search.mode == ListSearchMode::kAddress) {
    params.emplace_back(search.search_value);
  }
  if (search.area_filter) params.emplace_back(search.area);
  return page.db.Query(kListQueries[static_cast<int>(search.mode)][search.area_filter],
                       std::span<const ParamValue>(params));
}

}  // namespace

PropertyListCsv::PropertyListCsv(PageContext& page)
    : encoding_(DatabaseTextEncoding(page.db)), list_(RunListQuery(page)) {}

size_t PropertyListCsv::Next(std::string& chunk) {
  chunk.clear();
  if (!header_written_) {
    chunk.reserve(kCsvChunkBytes + 1024);
    chunk += kHeader;
    header_written_ = true;
  }
  using enum ListColumn;
  for (; !list_.AtEnd() && chunk.size() < kCsvChunkBytes; list_.Next()) {
    bool first = true;
    for (ListColumn column : {kPropertyId, kPropertyName, kAddress1, kAddress2, kCity, kState,
                              kZipcode, kUnits}) {
      if (!first) chunk += ',';
      first = false;
      AppendCsvField(chunk, list_.Text(column), encoding_);
    }
    chunk += "\r\n";
    ++rows_;
  }
  return chunk.size();
}

size_t WritePropertyListCsv(PageContext& page, CsvSink& sink) {
  PropertyListCsv csv(page);
  std::string chunk;
  while (csv.Next(chunk) != 0) sink.Write(chunk);
  return csv.Rows();
}

}  // namespace qv
