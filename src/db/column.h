// Columns of a statement's rows: a value buffer of the column's SQL type, its
// NULL indicator, and the rules by which the value becomes text or a number.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/datetime.h"

namespace qv {

class Statement;

enum class ColumnTrimming { kNone, kAll, kBoth, kLeft, kRight, kSentence };

// Applies a trimming mode to text (blanks and control characters: code <= 32).
std::string TrimColumnText(std::string_view text, ColumnTrimming mode);

// The description of one column or parameter as the client library gives it.
struct ColumnInfo {
  std::string name;        // alias name of an output column, parameter name
  std::string relation;    // table of an output column (may be empty)
  int16_t sql_type = 0;     // SQL type code without the NULL flag
  int16_t sub_type = 0;
  int16_t scale = 0;
  int16_t length = 0;
  bool nullable = false;
};

class Column {
 public:
  Column(Statement& statement, ColumnInfo info);
  virtual ~Column();
  Column(const Column&) = delete;
  Column& operator=(const Column&) = delete;

  const std::string& FieldName() const { return info_.name; }
  const ColumnInfo& Info() const { return info_; }
  // The length the server described, kept when a parameter value retypes it.
  int16_t DescribedLength() const { return described_length_; }
  bool IsNull() const { return *indicator_ < 0; }

  // The value's text; empty for NULL. The conversions follow the value's SQL
  // type; the column classes mark that type for callers that test the class.
  virtual std::string AsString() const;
  // The value as a whole number: the text trimmed, read as a decimal integer,
  // else as a floating-point number truncated toward zero; NULL and empty give 0.
  virtual int32_t AsInteger() const;
  // Days since 30 December 1899, the time of day as fraction; NULL gives 0.
  virtual DateTime AsDateTime() const;

  // Parameters: the value sent with the next execution.
  void SetAsInteger(int32_t value);
  void SetAsString(const std::string& value);
  void SetAsDateTime(DateTime value);
  void Clear();  // NULL

  // Binds the column to its slot of the statement's row buffer (layer use).
  void Bind(void* sqlvar, char* data, int16_t* indicator, bool parameter);
  // Sets NULL with a zeroed buffer (layer use: end of data).
  void ZeroNull();

 protected:
  // Raw value helpers.
  std::string_view TextBytes() const;  // CHAR / VARCHAR bytes up to the first zero byte
  int64_t IntegerValue() const;        // SMALLINT / INTEGER / BIGINT unscaled
  std::string BlobText() const;
  // Parameters: points the client's descriptor at storage of the given type.
  char* Retype(int16_t sql_type, int16_t length, int16_t scale, size_t size);

  Statement& statement_;
  ColumnInfo info_;
  int16_t described_length_ = 0;
  ColumnTrimming trimming_ = ColumnTrimming::kNone;
  void* sqlvar_ = nullptr;      // the client's descriptor of this column
  char* data_ = nullptr;        // value buffer in the statement's row buffer
  int16_t* indicator_ = nullptr;
  std::unique_ptr<char[]> own_;  // parameters: storage of a value set by the caller
  size_t own_size_ = 0;
  bool param_ = false;

  friend class Row;
  friend class Statement;
};

// CHAR: the declared bytes, then trimmed (right-trimmed by default).
class TextColumn : public Column {
 public:
  TextColumn(Statement& statement, ColumnInfo info);
};
// VARCHAR: the stored bytes, then trimmed.
class VarTextColumn : public TextColumn {
 public:
  using TextColumn::TextColumn;
};

// Shared base of the integer and scaled numeric classes.
class NumberColumnBase : public Column {
 public:
  using Column::Column;
};
class SmallIntColumn : public NumberColumnBase {
 public:
  using NumberColumnBase::NumberColumnBase;
};
class IntegerColumn : public NumberColumnBase {
 public:
  using NumberColumnBase::NumberColumnBase;
};
// NUMERIC / DECIMAL with a scale, and BIGINT (scale 0).
class NumericColumn : public NumberColumnBase {
 public:
  using NumberColumnBase::NumberColumnBase;
};
class FloatColumn : public Column {
 public:
  using Column::Column;
};
class DoubleColumn : public Column {
 public:
  using Column::Column;
};

// Shared date-time implementation of DATE, TIME and TIMESTAMP.
class DateTimeColumnBase : public Column {
 public:
  using Column::Column;
};
class DateColumn : public DateTimeColumnBase {
 public:
  using DateTimeColumnBase::DateTimeColumnBase;
};
class TimeColumn : public DateTimeColumnBase {
 public:
  using DateTimeColumnBase::DateTimeColumnBase;
};
class TimestampColumn : public DateTimeColumnBase {
 public:
  using DateTimeColumnBase::DateTimeColumnBase;
};

// BLOB: the whole content, byte for byte; text BLOBs are memos.
class BlobColumn : public Column {
 public:
  using Column::Column;
};
class MemoColumn : public BlobColumn {
 public:
  using BlobColumn::BlobColumn;
};

// An ordered list of columns: a statement's output fields or its parameters.
class Row {
 public:
  Row() = default;
  Row(const Row&) = delete;
  Row& operator=(const Row&) = delete;

  size_t ColumnCount() const { return columns_.size(); }
  // Raises "Column index %d out of range" beyond the last column.
  Column& operator[](size_t index);
  // First column of that name (letter case ignored), or nullptr.
  Column* ByName(std::string_view name);

 private:
  friend class Statement;
  friend class Dataset;
  void SetAllNull();

  std::vector<std::unique_ptr<Column>> columns_;
  std::unique_ptr<char[]> descriptor_;  // the client's descriptor area
  std::unique_ptr<char[]> buffer_;      // values and NULL indicators
  size_t buffer_size_ = 0;
};

}  // namespace qv
