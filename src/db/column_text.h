// How a column value becomes the text and numbers that pages show: one table
// from the SQL type to the column's type, and one rule of text per type.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/datetime.h"

namespace qv {

using IscHandle = unsigned int;

// A column's type, from its SQL type (see ColumnTypeOf).
enum class ColumnType {
  kText,       // CHAR: the declared bytes, right-trimmed
  kVarText,    // VARCHAR: the stored bytes, right-trimmed
  kSmallInt,   // decimal digits
  kInteger,    // decimal digits
  kNumeric,    // NUMERIC/DECIMAL with a scale, and BIGINT: digits with the separator
  kFloat,      // up to 7 significant digits
  kDouble,     // up to 15 significant digits
  kDate,       // the short date
  kTime,       // the long time
  kTimestamp,  // the short date, and the long time unless it is midnight
  kBlob,       // the whole content, byte for byte
  kMemo,       // a text BLOB: the same
  kBoolean,    // "True" or "False"
  kOther,      // empty text
};

// The type of a column described with these SQL type codes (the NULL flag cleared).
ColumnType ColumnTypeOf(int16_t sql_type, int16_t sub_type, int16_t scale);

// One output column of a described row: its type and where its value and
// NULL indicator lie in the row's buffer.
struct ColumnSlot {
  ColumnType type = ColumnType::kOther;
  int16_t sql_type = 0;
  int16_t scale = 0;
  int16_t length = 0;  // the buffer's value length as described
  char* data = nullptr;
  int16_t* indicator = nullptr;

  bool IsNull() const { return *indicator < 0; }
};

// Where a BLOB column's content is read: the attachment and the transaction
// the row was fetched in.
struct BlobSource {
  IscHandle database = 0;
  IscHandle transaction = 0;
};

// The value's text: empty for NULL. Text columns come back as a view of the
// row's buffer; the other types are written into `scratch`, which the view
// then shows. Either way the view lasts until the next fetch or the next use
// of the same scratch.
std::string_view ColumnText(const ColumnSlot& column, std::string& scratch, BlobSource blobs);
// The value as a whole number: NULL and empty text give 0; an integer column
// its value; otherwise the text trimmed at both ends, read as a decimal
// integer, else as a floating-point number truncated toward zero. Raises
// DbConversionError "'<text>' is not a valid floating point value" when
// neither reading works.
int32_t ColumnInteger(const ColumnSlot& column, std::string& scratch, BlobSource blobs);
// Days since 30 December 1899, the time of day as fraction; NULL gives 0.
DateTime ColumnDateTime(const ColumnSlot& column, std::string& scratch, BlobSource blobs);

// Removes the trailing blanks and control characters (codes 0 to 32).
std::string_view TrimRight(std::string_view text);
// Removes them at both ends.
std::string_view TrimBoth(std::string_view text);

}  // namespace qv
