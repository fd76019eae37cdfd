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
#include "pages/page_statements.h"

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

// The CSV of the search the context's request asks for (the list's
// parameters SearchValue, PropName, Address and AreaName; page is ignored),
// made a chunk at a time as its reader asks for it. The statement runs when
// the export is made (its failures are raised there); it reads the context's
// request then and its session on every Next: the session must outlive the
// export, the request need not.
class PropertyListCsv {
 public:
  explicit PropertyListCsv(PageContext& page);
  PropertyListCsv(const PropertyListCsv&) = delete;
  PropertyListCsv& operator=(const PropertyListCsv&) = delete;

  // Replaces the chunk with the next bytes: the header row first, then whole
  // rows until the chunk holds kCsvChunkBytes or more; returns its size, 0
  // once everything has been made. A database failure is raised.
  size_t Next(std::string& chunk);
  // The properties made so far.
  size_t Rows() const { return rows_; }

 private:
  TextEncoding encoding_;
  Cursor<ListColumn> list_;
  bool header_written_ = false;
  size_t rows_ = 0;
};

// Writes the whole CSV of the search into the sink; returns the number of
// properties written.
size_t WritePropertyListCsv(PageContext& page, CsvSink& sink);

// One CSV field: quoted when it holds a comma, a quote, CR or LF (a quote
// doubled), else as it is; the text converted to UTF-8 as `encoding` says.
void AppendCsvField(std::string& out, std::string_view text, TextEncoding encoding);

}  // namespace qv
