// Values a page reads from its rows, kept both as the page shows them and as
// data: a column's text by the column-text rules (what the HTML page writes)
// beside its typed value (what the data answers carry), and the readers that
// fill them from a cursor's current row.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "db/cursor.h"
#include "platform/datetime.h"

namespace qv {

// A column's text as the page shows it, and its value; no value for NULL
// (the text is then empty).
template <typename T>
struct Shown {
  std::string text;
  std::optional<T> value;
};

// A calendar date (a DATE column) or a moment (a TIMESTAMP column).
struct DateValue {
  DateTime days = 0;
  bool with_time = false;
};

using ShownInteger = Shown<int32_t>;
using ShownDate = Shown<DateValue>;

// Text, absent for NULL: the page writes it as it is (empty for NULL).
template <ColumnList Column>
std::optional<std::string> TextOf(const Cursor<Column>& row, Column column) {
  if (row.IsNull(column)) return std::nullopt;
  return std::string(row.Text(column));
}

// The text the page shows, empty for NULL.
inline std::string_view Plain(const std::optional<std::string>& text) {
  return text ? std::string_view(*text) : std::string_view();
}

template <ColumnList Column>
std::optional<int32_t> IntegerOf(const Cursor<Column>& row, Column column) {
  if (row.IsNull(column)) return std::nullopt;
  return row.Integer(column);
}

template <ColumnList Column>
ShownInteger ShownIntegerOf(const Cursor<Column>& row, Column column) {
  return {std::string(row.Text(column)), IntegerOf(row, column)};
}

// A DATE column (with_time false) or a TIMESTAMP column (true).
template <ColumnList Column>
ShownDate ShownDateOf(const Cursor<Column>& row, Column column, bool with_time = false) {
  ShownDate date{std::string(row.Text(column)), std::nullopt};
  if (!row.IsNull(column)) date.value = DateValue{row.DateTimeValue(column), with_time};
  return date;
}

}  // namespace qv
