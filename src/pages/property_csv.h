// The property list as CSV (RFC 4180): a header row, then every property the
// list's search matches (not one page of them), in the list's order, in
// UTF-8, lines ended by CR LF. The rows are written as they are read, in
// chunks of a bounded size, so an export of any length holds one chunk and
// one row in memory.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "pages/json_writer.h"
#include "pages/page_context.h"

namespace qv {

// Where the CSV goes, chunk by chunk; the last call is the last chunk.
class CsvSink {
 public:
  virtual ~CsvSink() = default;
  virtual void Write(std::string_view chunk) = 0;
};

// The export's name for Content-Disposition.
inline constexpr std::string_view kPropertyCsvFileName = "properties.csv";
// A chunk is handed on once it holds this many bytes.
inline constexpr size_t kCsvChunkBytes = 64 * 1024;

// Writes the CSV of the search the context's request asks for (the list's
// parameters SearchValue, PropName, Address and AreaName; page is ignored);
// returns the number of properties written.
size_t WritePropertyListCsv(PageContext& page, CsvSink& sink);

// One CSV field: quoted when it holds a comma, a quote, CR or LF (a quote
// doubled), else as it is; the text converted to UTF-8 as `encoding` says.
void AppendCsvField(std::string& out, std::string_view text, TextEncoding encoding);

}  // namespace qv
