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

class TIB_Statement;

enum class TIB_ColumnTrimming { ctNone, ctAll, ctBoth, ctLeft, ctRight, ctSentence };

// Applies a trimming mode to text (blanks and control characters: code <= 32).
std::string TrimColumnText(std::string_view text, TIB_ColumnTrimming mode);

// The description of one column or parameter as the client library gives it.
struct TIB_ColumnInfo {
  std::string name;        // alias name of an output column, parameter name
  std::string relation;    // table of an output column (may be empty)
  int16_t sqlType = 0;     // SQL type code without the NULL flag
  int16_t subType = 0;
  int16_t scale = 0;
  int16_t length = 0;
  bool nullable = false;
};

class TIB_Column {
 public:
  TIB_Column(TIB_Statement& statement, TIB_ColumnInfo info);
  virtual ~TIB_Column();
  TIB_Column(const TIB_Column&) = delete;
  TIB_Column& operator=(const TIB_Column&) = delete;

  const std::string& FieldName() const { return info_.name; }
  const TIB_ColumnInfo& Info() const { return info_; }
  // The length the server described, kept when a parameter value retypes it.
  int16_t DescribedLength() const { return describedLength_; }
  bool IsNull() const { return *indicator_ < 0; }

  // The value's text; empty for NULL. The conversions follow the value's SQL
  // type; the column classes mark that type for callers that test the class.
  virtual std::string AsString() const;
  // The value as a whole number: the text trimmed, read as a decimal integer,
  // else as a floating-point number truncated toward zero; NULL and empty give 0.
  virtual int32_t AsInteger() const;
  // Days since 30 December 1899, the time of day as fraction; NULL gives 0.
  virtual TDateTime AsDateTime() const;

  // Parameters: the value sent with the next execution.
  void SetAsInteger(int32_t value);
  void SetAsString(const std::string& value);
  void SetAsDateTime(TDateTime value);
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
  char* Retype(int16_t sqlType, int16_t length, int16_t scale, size_t size);

  TIB_Statement& statement_;
  TIB_ColumnInfo info_;
  int16_t describedLength_ = 0;
  TIB_ColumnTrimming trimming_ = TIB_ColumnTrimming::ctNone;
  void* sqlvar_ = nullptr;      // the client's descriptor of this column
  char* data_ = nullptr;        // value buffer in the statement's row buffer
  int16_t* indicator_ = nullptr;
  std::unique_ptr<char[]> own_;  // parameters: storage of a value set by the caller
  size_t ownSize_ = 0;
  bool param_ = false;

  friend class TIB_Row;
  friend class TIB_Statement;
};

// CHAR: the declared bytes, then trimmed (right-trimmed by default).
class TIB_ColumnText : public TIB_Column {
 public:
  TIB_ColumnText(TIB_Statement& statement, TIB_ColumnInfo info);
};
// VARCHAR: the stored bytes, then trimmed.
class TIB_ColumnVarText : public TIB_ColumnText {
 public:
  using TIB_ColumnText::TIB_ColumnText;
};

// Shared base of the integer and scaled numeric classes.
class TIB_ColumnNumBase : public TIB_Column {
 public:
  using TIB_Column::TIB_Column;
};
class TIB_ColumnSmallInt : public TIB_ColumnNumBase {
 public:
  using TIB_ColumnNumBase::TIB_ColumnNumBase;
};
class TIB_ColumnInteger : public TIB_ColumnNumBase {
 public:
  using TIB_ColumnNumBase::TIB_ColumnNumBase;
};
// NUMERIC / DECIMAL with a scale, and BIGINT (scale 0).
class TIB_ColumnNumeric : public TIB_ColumnNumBase {
 public:
  using TIB_ColumnNumBase::TIB_ColumnNumBase;
};
class TIB_ColumnFloat : public TIB_Column {
 public:
  using TIB_Column::TIB_Column;
};
class TIB_ColumnDouble : public TIB_Column {
 public:
  using TIB_Column::TIB_Column;
};

// Shared date-time implementation of DATE, TIME and TIMESTAMP.
class TIB_ColumnDateTimeBase : public TIB_Column {
 public:
  using TIB_Column::TIB_Column;
};
class TIB_ColumnDate : public TIB_ColumnDateTimeBase {
 public:
  using TIB_ColumnDateTimeBase::TIB_ColumnDateTimeBase;
};
class TIB_ColumnTime : public TIB_ColumnDateTimeBase {
 public:
  using TIB_ColumnDateTimeBase::TIB_ColumnDateTimeBase;
};
class TIB_ColumnTimeStamp : public TIB_ColumnDateTimeBase {
 public:
  using TIB_ColumnDateTimeBase::TIB_ColumnDateTimeBase;
};

// BLOB: the whole content, byte for byte; text BLOBs are memos.
class TIB_ColumnBlob : public TIB_Column {
 public:
  using TIB_Column::TIB_Column;
};
class TIB_ColumnMemo : public TIB_ColumnBlob {
 public:
  using TIB_ColumnBlob::TIB_ColumnBlob;
};

// An ordered list of columns: a statement's output fields or its parameters.
class TIB_Row {
 public:
  TIB_Row() = default;
  TIB_Row(const TIB_Row&) = delete;
  TIB_Row& operator=(const TIB_Row&) = delete;

  size_t ColumnCount() const { return columns_.size(); }
  // Raises "Column index %d out of range" beyond the last column.
  TIB_Column& operator[](size_t index);
  // First column of that name (letter case ignored), or nullptr.
  TIB_Column* ByName(std::string_view name);

 private:
  friend class TIB_Statement;
  friend class TIB_Dataset;
  void SetAllNull();

  std::vector<std::unique_ptr<TIB_Column>> columns_;
  std::unique_ptr<char[]> descriptor_;  // the client's descriptor area
  std::unique_ptr<char[]> buffer_;      // values and NULL indicators
  size_t bufferSize_ = 0;
};

}  // namespace qv
