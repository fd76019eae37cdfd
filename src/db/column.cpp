// Column values: text forms, integer and date-time readings, parameter values.
#include "db/column.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>

#include "db/client_library.h"
#include "db/cursor.h"

namespace qv {
namespace {

// ISC dates count days from 17 November 1858; the system's from 30 December 1899.
constexpr int64_t kIscDateShift = 15018;
constexpr int64_t kTicksPerSecond = ISC_TIME_SECONDS_PRECISION;  // 10000
constexpr int64_t kTicksPerDay = 86400 * kTicksPerSecond;

inline bool IsBlank(char c) { return static_cast<unsigned char>(c) <= ' '; }

XSQLVAR& Var(void* sqlvar) { return *static_cast<XSQLVAR*>(sqlvar); }

DateTimeParts PartsOf(int64_t isc_date, int64_t ticks) {
  DateTimeParts parts = DecodeDateTime(static_cast<DateTime>(isc_date - kIscDateShift));
  int64_t seconds = ticks / kTicksPerSecond;
  parts.hour = static_cast<int>(seconds / 3600);
  parts.minute = static_cast<int>(seconds / 60 % 60);
  parts.second = static_cast<int>(seconds % 60);
  parts.millisecond = static_cast<int>(ticks % kTicksPerSecond / 10);
  return parts;
}

std::string NumericText(int64_t value, int scale) {
  bool negative = value < 0;
  uint64_t magnitude = negative ? 0 - static_cast<uint64_t>(value) : static_cast<uint64_t>(value);
  char digits[24];
  auto result = std::to_chars(digits, digits + sizeof digits, magnitude);
  std::string text(digits, result.ptr);
  if (scale < 0) {
    size_t places = static_cast<size_t>(-scale);
    if (text.size() <= places) text.insert(0, places + 1 - text.size(), '0');
    text.insert(text.size() - places, 1, kDecimalSeparator);
  } else if (scale > 0) {
    text.append(static_cast<size_t>(scale), '0');
  }
  if (negative) text.insert(0, 1, '-');
  return text;
}

std::string FloatText(double value, int precision) {
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, "%.*g", precision, value);
  std::string text(buffer);
  if (kDecimalSeparator != '.') {
    for (char& c : text)
      if (c == '.') c = kDecimalSeparator;
  }
  return text;
}

// A decimal integer: optional sign, digits, nothing else; fits 32 bits.
bool ReadDecimal(std::string_view text, int32_t& value) {
  size_t i = 0;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  if (i == text.size()) return false;
  int64_t result = 0;
  for (; i < text.size(); ++i) {
    char c = text[i];
    if (c < '0' || c > '9') return false;
    result = result * 10 + (c - '0');
    if (result > int64_t{1} << 31) return false;
  }
  if (negative) result = -result;
  if (result > std::numeric_limits<int32_t>::max()) return false;
  value = static_cast<int32_t>(result);
  return true;
}

// A floating-point number: sign, digits with an optional fraction, optional exponent.
bool ReadFloat(std::string_view text, double& value) {
  size_t i = 0;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  std::string normal;
  size_t digits = 0;
  for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i, ++digits) normal += text[i];
  if (i < text.size() && text[i] == kDecimalSeparator) {
    normal += '.';
    for (++i; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i, ++digits)
      normal += text[i];
  }
  if (digits == 0) return false;
  if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
    normal += 'e';
    ++i;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) normal += text[i++];
    size_t exponent_digits = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i, ++exponent_digits)
      normal += text[i];
    if (exponent_digits == 0) return false;
  }
  if (i != text.size()) return false;
  double result = 0;
  auto parsed = std::from_chars(normal.data(), normal.data() + normal.size(), result);
  if (parsed.ec != std::errc() || !std::isfinite(result)) return false;
  value = negative ? -result : result;
  return true;
}

}  // namespace

std::string TrimColumnText(std::string_view text, ColumnTrimming mode) {
  size_t begin = 0;
  size_t end = text.size();
  switch (mode) {
    case ColumnTrimming::kNone:
      return std::string(text);
    case ColumnTrimming::kAll: {
      std::string result;
      for (char c : text)
        if (c != ' ') result += c;
      return result;
    }
    case ColumnTrimming::kLeft:
      while (begin < end && IsBlank(text[begin])) ++begin;
      return std::string(text.substr(begin));
    case ColumnTrimming::kRight:
      while (end > 0 && IsBlank(text[end - 1])) --end;
      return std::string(text.substr(0, end));
    case ColumnTrimming::kBoth:
    case ColumnTrimming::kSentence: {
      while (begin < end && IsBlank(text[begin])) ++begin;
      while (end > begin && IsBlank(text[end - 1])) --end;
      std::string_view core = text.substr(begin, end - begin);
      if (mode == ColumnTrimming::kBoth) return std::string(core);
      std::string result;
      for (char c : core) {
        if (c == ' ' && !result.empty() && result.back() == ' ') continue;
        result += c;
      }
      return result;
    }
  }
  return std::string(text);
}

Column::Column(Statement& statement, ColumnInfo info)
    : statement_(statement), info_(std::move(info)), described_length_(info_.length) {}

Column::~Column() = default;

TextColumn::TextColumn(Statement& statement, ColumnInfo info)
    : Column(statement, std::move(info)) {
  trimming_ = ColumnTrimming::kRight;
}

void Column::Bind(void* sqlvar, char* data, int16_t* indicator, bool parameter) {
  param_ = parameter;
  sqlvar_ = sqlvar;
  data_ = data;
  indicator_ = indicator;
}

void Column::ZeroNull() {
  *indicator_ = -1;
  size_t size = info_.sql_type == SQL_VARYING ? info_.length + 2 : info_.length;
  std::memset(data_, 0, size);
}

std::string_view Column::TextBytes() const {
  const char* bytes = data_;
  size_t size = static_cast<uint16_t>(info_.length);
  if (info_.sql_type == SQL_VARYING) {
    uint16_t stored;
    std::memcpy(&stored, data_, sizeof stored);
    size = std::min<size_t>(stored, size);
    bytes += 2;
  }
  const void* zero = std::memchr(bytes, 0, size);
  if (zero != nullptr) size = static_cast<const char*>(zero) - bytes;
  return std::string_view(bytes, size);
}

int64_t Column::IntegerValue() const {
  switch (info_.sql_type) {
    case SQL_SHORT: {
      int16_t value;
      std::memcpy(&value, data_, sizeof value);
      return value;
    }
    case SQL_LONG: {
      int32_t value;
      std::memcpy(&value, data_, sizeof value);
      return value;
    }
    case SQL_INT64: {
      int64_t value;
      std::memcpy(&value, data_, sizeof value);
      return value;
    }
    default:
      return 0;
  }
}

std::string Column::BlobText() const {
  ISC_QUAD id;
  std::memcpy(&id, data_, sizeof id);
  Statement& statement = statement_;
  isc_db_handle database = statement.Connection().Handle();
  isc_tr_handle transaction = statement.Transaction().Handle();
  ISC_STATUS_ARRAY status{};
  isc_blob_handle blob = 0;
  QV_FB(isc_open_blob2)(status, &database, &transaction, &blob, &id, 0, nullptr);
  CheckStatus(status);
  std::string text;
  char segment[32768];
  auto get_segment = QV_FB(isc_get_segment);
  for (;;) {
    unsigned short length = 0;
    ISC_STATUS result = get_segment(status, &blob, &length, sizeof segment, segment);
    if (result == 0 || result == isc_segment) {
      text.append(segment, length);
      continue;
    }
    if (result == isc_segstr_eof) break;
    ISC_STATUS_ARRAY ignored{};
    QV_FB(isc_close_blob)(ignored, &blob);
    RaiseIscError(status);
  }
  QV_FB(isc_close_blob)(status, &blob);
  CheckStatus(status);
  return text;
}

std::string Column::AsString() const {
  if (IsNull()) return {};
  switch (info_.sql_type) {
    case SQL_TEXT:
    case SQL_VARYING:
      return TrimColumnText(TextBytes(), trimming_);
    case SQL_SHORT:
    case SQL_LONG:
    case SQL_INT64:
      return NumericText(IntegerValue(), info_.scale);
    case SQL_FLOAT: {
      float value;
      std::memcpy(&value, data_, sizeof value);
      return FloatText(value, 7);
    }
    case SQL_DOUBLE:
    case SQL_D_FLOAT: {
      double value;
      std::memcpy(&value, data_, sizeof value);
      return FloatText(value, 15);
    }
    case SQL_TYPE_DATE: {
      ISC_DATE date;
      std::memcpy(&date, data_, sizeof date);
      return ShortDateText(PartsOf(date, 0));
    }
    case SQL_TYPE_TIME: {
      ISC_TIME time;
      std::memcpy(&time, data_, sizeof time);
      return LongTimeText(PartsOf(kIscDateShift, time));
    }
    case SQL_TIMESTAMP: {
      ISC_TIMESTAMP stamp;
      std::memcpy(&stamp, data_, sizeof stamp);
      DateTimeParts parts = PartsOf(stamp.timestamp_date, stamp.timestamp_time);
      std::string text = ShortDateText(parts);
      if (stamp.timestamp_time != 0) {
        text += ' ';
        text += LongTimeText(parts);
      }
      return text;
    }
    case SQL_BLOB:
      return BlobText();
    case SQL_BOOLEAN:
      return *data_ != 0 ? "True" : "False";
    default:
      return {};
  }
}

int32_t Column::AsInteger() const {
  if (IsNull()) return 0;
  if (info_.scale == 0 &&
      (info_.sql_type == SQL_SHORT || info_.sql_type == SQL_LONG || info_.sql_type == SQL_INT64)) {
    int64_t value = IntegerValue();
    if (value >= std::numeric_limits<int32_t>::min() &&
        value <= std::numeric_limits<int32_t>::max())
      return static_cast<int32_t>(value);
  }
  std::string text = TrimColumnText(AsString(), ColumnTrimming::kBoth);
  if (text.empty()) return 0;
  int32_t value = 0;
  if (ReadDecimal(text, value)) return value;
  double number = 0;
  if (!ReadFloat(text, number)) {
    throw DbConversionError("'" + text + "' is not a valid floating point value");
  }
  double truncated = std::trunc(number);
  if (truncated < std::numeric_limits<int32_t>::min() ||
      truncated > std::numeric_limits<int32_t>::max()) {
    throw DbConversionError("'" + text + "' is not a valid integer value");
  }
  return static_cast<int32_t>(truncated);
}

DateTime Column::AsDateTime() const {
  if (IsNull()) return 0;
  switch (info_.sql_type) {
    case SQL_TYPE_DATE: {
      ISC_DATE date;
      std::memcpy(&date, data_, sizeof date);
      return static_cast<DateTime>(date - kIscDateShift);
    }
    case SQL_TYPE_TIME: {
      ISC_TIME time;
      std::memcpy(&time, data_, sizeof time);
      return static_cast<DateTime>(time) / kTicksPerDay;
    }
    case SQL_TIMESTAMP: {
      ISC_TIMESTAMP stamp;
      std::memcpy(&stamp, data_, sizeof stamp);
      return EncodeDateTime(PartsOf(stamp.timestamp_date, stamp.timestamp_time));
    }
    case SQL_SHORT:
    case SQL_LONG:
    case SQL_INT64:
      return static_cast<DateTime>(IntegerValue()) / std::pow(10.0, -info_.scale);
    case SQL_FLOAT: {
      float value;
      std::memcpy(&value, data_, sizeof value);
      return value;
    }
    case SQL_DOUBLE:
    case SQL_D_FLOAT: {
      double value;
      std::memcpy(&value, data_, sizeof value);
      return value;
    }
    default:
      throw DbConversionError("'" + AsString() + "' is not a valid date and time");
  }
}

char* Column::Retype(int16_t sql_type, int16_t length, int16_t scale, size_t size) {
  if (!param_) throw DbError("Cannot assign to the output column " + info_.name);
  size = std::max<size_t>(size, 16);
  if (own_size_ < size) {
    own_ = std::make_unique<char[]>(size);
    own_size_ = size;
  }
  XSQLVAR& var = Var(sqlvar_);
  var.sqltype = static_cast<ISC_SHORT>(sql_type | 1);
  var.sqllen = length;
  var.sqlscale = scale;
  var.sqlsubtype = 0;
  var.sqldata = own_.get();
  info_.sql_type = sql_type;
  info_.length = length;
  info_.scale = scale;
  info_.sub_type = 0;
  data_ = own_.get();
  *indicator_ = 0;
  statement_.params_changed_ = true;
  return own_.get();
}

void Column::SetAsInteger(int32_t value) {
  char* data = Retype(SQL_LONG, sizeof(int32_t), 0, sizeof(int32_t));
  std::memcpy(data, &value, sizeof value);
}

void Column::SetAsString(const std::string& value) {
  if (info_.sql_type == SQL_BLOB && param_) {
    // A blob parameter takes the id of a new blob holding the text.
    Transaction& transaction = statement_.Transaction();
    transaction.EnsureStarted();
    isc_db_handle database = statement_.Connection().Handle();
    isc_tr_handle tr = transaction.Handle();
    ISC_STATUS_ARRAY status{};
    isc_blob_handle blob = 0;
    ISC_QUAD id{};
    QV_FB(isc_create_blob2)(status, &database, &tr, &blob, &id, 0, nullptr);
    CheckStatus(status);
    for (size_t offset = 0; offset < value.size(); offset += 32768) {
      size_t length = std::min<size_t>(32768, value.size() - offset);
      QV_FB(isc_put_segment)(status, &blob, static_cast<unsigned short>(length),
                             value.data() + offset);
      if (status[0] == 1 && status[1] != 0) {
        ISC_STATUS_ARRAY ignored{};
        QV_FB(isc_close_blob)(ignored, &blob);
        RaiseIscError(status);
      }
    }
    QV_FB(isc_close_blob)(status, &blob);
    CheckStatus(status);
    char* data = Retype(SQL_BLOB, sizeof(ISC_QUAD), 0, sizeof(ISC_QUAD));
    Var(sqlvar_).sqlsubtype = 1;
    info_.sub_type = 1;
    std::memcpy(data, &id, sizeof id);
    return;
  }
  if (value.size() > 32765) throw DbError("Parameter text too long");
  char* data = Retype(SQL_VARYING, static_cast<int16_t>(value.size()), 0, value.size() + 2);
  uint16_t length = static_cast<uint16_t>(value.size());
  std::memcpy(data, &length, sizeof length);
  std::memcpy(data + 2, value.data(), value.size());
}

void Column::SetAsDateTime(DateTime value) {
  DateTimeParts parts = DecodeDateTime(value);
  ISC_TIMESTAMP stamp;
  stamp.timestamp_date = static_cast<ISC_DATE>(
      DaysFromCivil(parts.year, parts.month, parts.day) + kIscDateShift);
  stamp.timestamp_time = static_cast<ISC_TIME>(
      ((parts.hour * 60 + parts.minute) * 60 + parts.second) * kTicksPerSecond +
      parts.millisecond * 10);
  char* data = Retype(SQL_TIMESTAMP, sizeof stamp, 0, sizeof stamp);
  std::memcpy(data, &stamp, sizeof stamp);
}

void Column::Clear() {
  *indicator_ = -1;
  if (param_) statement_.params_changed_ = true;
}

Column& Row::operator[](size_t index) {
  if (index >= columns_.size()) {
    throw DbError("Column index " + std::to_string(index) + " out of range");
  }
  return *columns_[index];
}

Column* Row::ByName(std::string_view name) {
  for (auto& column : columns_) {
    const std::string& field = column->FieldName();
    if (field.size() != name.size()) continue;
    bool same = true;
    for (size_t i = 0; i < name.size() && same; ++i) {
      same = std::toupper(static_cast<unsigned char>(field[i])) ==
             std::toupper(static_cast<unsigned char>(name[i]));
    }
    if (same) return column.get();
  }
  return nullptr;
}

void Row::SetAllNull() {
  if (buffer_size_ > 0) std::memset(buffer_.get(), 0, buffer_size_);
  for (auto& column : columns_) *column->indicator_ = -1;
}

}  // namespace qv
