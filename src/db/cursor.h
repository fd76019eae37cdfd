// The forward cursor a query yields: the current row, read by column, and the
// next one; its server cursor closes when the cursor ends.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "db/column_text.h"
#include "db/prepared_statement.h"
#include "db/query.h"
#include "platform/datetime.h"

namespace qv {

// Columns by the caller's positions (see PreparedStatement::Prepare). Right
// after the query runs its first row is current, or it is at its end when
// there is none; at the end every column reads as NULL (empty text, 0).
class RowCursor {
 public:
  RowCursor(PreparedStatement& statement, BlobSource blobs);
  RowCursor(RowCursor&& other) noexcept;
  RowCursor& operator=(RowCursor&&) = delete;
  RowCursor(const RowCursor&) = delete;
  ~RowCursor();  // closes the server cursor; errors are swallowed

  bool AtEnd() const { return at_end_; }
  // Raises "At end of Dataset" at the end; else fetches the next row.
  void Next();

  // The column's text, as a view that lasts until the next row (see ColumnText).
  std::string_view Text(size_t column) const {
    return ColumnText(statement_->Column(column), statement_->Scratch(column), blobs_);
  }
  int32_t Integer(size_t column) const {
    return ColumnInteger(statement_->Column(column), statement_->Scratch(column), blobs_);
  }
  DateTime DateTimeValue(size_t column) const {
    return ColumnDateTime(statement_->Column(column), statement_->Scratch(column), blobs_);
  }
  bool IsNull(size_t column) const { return statement_->Column(column).IsNull(); }
  size_t ColumnCount() const { return statement_->ColumnCount(); }

 private:
  PreparedStatement* statement_;
  BlobSource blobs_;
  bool at_end_ = true;
};

// A cursor whose columns are named by the query's enum.
template <ColumnList Column>
class Cursor {
 public:
  explicit Cursor(RowCursor rows) : rows_(std::move(rows)) {}

  bool AtEnd() const { return rows_.AtEnd(); }
  void Next() { rows_.Next(); }
  std::string_view Text(Column column) const { return rows_.Text(Index(column)); }
  int32_t Integer(Column column) const { return rows_.Integer(Index(column)); }
  DateTime DateTimeValue(Column column) const { return rows_.DateTimeValue(Index(column)); }
  bool IsNull(Column column) const { return rows_.IsNull(Index(column)); }

 private:
  static size_t Index(Column column) { return static_cast<size_t>(column); }

  RowCursor rows_;
};

}  // namespace qv
