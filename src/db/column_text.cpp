// Column values: their text, integer and date-time readings.
#include "db/column_text.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>

#include "db/client_library.h"

namespace qv {
namespace {

// ISC dates count days from 17 November 1858; the system's from 30 December 1899.
constexpr int64_t kIscDateShift = 15018;
constexpr int64_t kTicksPerSecond = ISC_TIME_SECONDS_PRECISION;  // 10000
constexpr int64_t kTicksPerDay = 86400 * kTicksPerSecond;

// The table from SQL type to column type; a scaled SMALLINT or INTEGER is numeric.
struct TypeRow {
  int16_t sql_type;
  ColumnType type;
  ColumnType scaled;  // with a negative scale
};
constexpr TypeRow kTypes[] = {
    {SQL_TEXT, ColumnType::kText, ColumnType::kText},
    {SQL_VARYING, ColumnType::kVarText, ColumnType::kVarText},
    {SQL_SHORT, ColumnType::kSmallInt, ColumnType::kNumeric},
    {SQL_LONG, ColumnType::kInteger, ColumnType::kNumeric},
    {SQL_INT64, ColumnType::kNumeric, ColumnType::kNumeric},
    {SQL_FLOAT, ColumnType::kFloat, ColumnType::kFloat},
    {SQL_DOUBLE, ColumnType::kDouble, ColumnType::kDouble},
    {SQL_D_FLOAT, ColumnType::kDouble, ColumnType::kDouble},
    {SQL_TYPE_DATE, ColumnType::kDate, ColumnType::kDate},
    {SQL_TYPE_TIME, ColumnType::kTime, ColumnType::kTime},
    {SQL_TIMESTAMP, ColumnType::kTimestamp, ColumnType::kTimestamp},
    {SQL_BLOB, ColumnType::kBlob, ColumnType::kBlob},
    {SQL_BOOLEAN, ColumnType::kBoolean, ColumnType::kBoolean},
};

inline bool IsBlank(char c) { return static_cast<unsigned char>(c) <= ' '; }

template <typename T>
T Read(const char* data) {
  T value;
  std::memcpy(&value, data, sizeof value);
  return value;
}

DateTimeParts PartsOf(int64_t isc_date, int64_t ticks) {
  DateTimeParts parts = DecodeDateTime(static_cast<DateTime>(isc_date - kIscDateShift));
  int64_t seconds = ticks / kTicksPerSecond;
  parts.hour = static_cast<int>(seconds / 3600);
  parts.minute = static_cast<int>(seconds / 60 % 60);
  parts.second = static_cast<int>(seconds % 60);
  parts.millisecond = static_cast<int>(ticks % kTicksPerSecond / 10);
  return parts;
}

int64_t IntegerValue(const ColumnSlot& column) {
  switch (column.sql_type) {
    case SQL_SHORT: return Read<int16_t>(column.data);
    case SQL_LONG: return Read<int32_t>(column.data);
    case SQL_INT64: return Read<int64_t>(column.data);
    default: return 0;
  }
}

// CHAR / VARCHAR bytes up to the first zero byte.
std::string_view TextBytes(const ColumnSlot& column) {
  const char* bytes = column.data;
  size_t size = static_cast<uint16_t>(column.length);
  if (column.sql_type == SQL_VARYING) {
    size = std::min<size_t>(Read<uint16_t>(column.data), size);
    bytes += 2;
  }
  const void* zero = std::memchr(bytes, 0, size);
  if (zero != nullptr) size = static_cast<size_t>(static_cast<const char*>(zero) - bytes);
  return std::string_view(bytes, size);
}

void NumericText(int64_t value, int scale, std::string& text) {
  const bool negative = value < 0;
  const uint64_t magnitude =
      negative ? 0 - static_cast<uint64_t>(value) : static_cast<uint64_t>(value);
  char digits[24];
  const auto result = std::to_chars(digits, digits + sizeof digits, magnitude);
  text.assign(digits, result.ptr);
  if (scale < 0) {
    const size_t places = static_cast<size_t>(-scale);
    if (text.size() <= places) text.insert(0, places + 1 - text.size(), '0');
    text.insert(text.size() - places, 1, kDecimalSeparator);
  } else if (scale > 0) {
    text.append(static_cast<size_t>(scale), '0');
  }
  if (negative) text.insert(0, 1, '-');
}

void FloatText(double value, int precision, std::string& text) {
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, "%.*g", precision, value);
  text.assign(buffer);
  for (char& c : text)
    if (c == '.') c = kDecimalSeparator;
}

void BlobText(const ColumnSlot& column, BlobSource blobs, std::string& text) {
  ISC_QUAD id = Read<ISC_QUAD>(column.data);
  isc_db_handle database = blobs.database;
  isc_tr_handle transaction = blobs.transaction;
  ISC_STATUS_ARRAY status{};
  isc_blob_handle blob = 0;
  QV_FB(isc_open_blob2)(status, &database, &transaction, &blob, &id, 0, nullptr);
  CheckStatus(status);
  text.clear();
  char segment[32768];
  auto get_segment = QV_FB(isc_get_segment);
  for (;;) {
    unsigned short length = 0;
    const ISC_STATUS result = get_segment(status, &blob, &length, sizeof segment, segment);
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
}

// A decimal integer: optional sign, digits, nothing else; fits 32 bits.
bool ReadDecimal(std::string_view text, int32_t& value) {
  size_t i = 0;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  if (i == text.size()) return false;
  int64_t result = 0;
  for (; i < text.size(); ++i) {
    const char c = text[i];
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
  const auto parsed = std::from_chars(normal.data(), normal.data() + normal.size(), result);
  if (parsed.ec != std::errc() || !std::isfinite(result)) return false;
  value = negative ? -result : result;
  return true;
}

}  // namespace

ColumnType ColumnTypeOf(int16_t sql_type, int16_t sub_type, int16_t scale) {
  for (const TypeRow& row : kTypes) {
    if (row.sql_type != sql_type) continue;
    if (row.type == ColumnType::kBlob && sub_type == 1) return ColumnType::kMemo;
    return scale < 0 ? row.scaled : row.type;
  }
  return ColumnType::kOther;
}

std::string_view TrimRight(std::string_view text) {
  size_t end = text.size();
  while (end > 0 && IsBlank(text[end - 1])) --end;
  return text.substr(0, end);
}

std::string_view TrimBoth(std::string_view text) {
  size_t begin = 0;
  while (begin < text.size() && IsBlank(text[begin])) ++begin;
  return TrimRight(text.substr(begin));
}

std::string_view ColumnText(const ColumnSlot& column, std::string& scratch, BlobSource blobs) {
  if (column.IsNull()) return {};
  switch (column.type) {
    case ColumnType::kText:
    case ColumnType::kVarText:
      return TrimRight(TextBytes(column));
    case ColumnType::kSmallInt:
    case ColumnType::kInteger:
    case ColumnType::kNumeric:
      NumericText(IntegerValue(column), column.scale, scratch);
      return scratch;
    case ColumnType::kFloat:
      FloatText(Read<float>(column.data), 7, scratch);
      return scratch;
    case ColumnType::kDouble:
      FloatText(Read<double>(column.data), 15, scratch);
      return scratch;
    case ColumnType::kDate:
      scratch = ShortDateText(PartsOf(Read<ISC_DATE>(column.data), 0));
      return scratch;
    case ColumnType::kTime:
      scratch = LongTimeText(PartsOf(kIscDateShift, Read<ISC_TIME>(column.data)));
      return scratch;
    case ColumnType::kTimestamp: {
      const auto stamp = Read<ISC_TIMESTAMP>(column.data);
      const DateTimeParts parts = PartsOf(stamp.timestamp_date, stamp.timestamp_time);
      scratch = ShortDateText(parts);
      if (stamp.timestamp_time != 0) {
        scratch += ' ';
        scratch += LongTimeText(parts);
      }
      return scratch;
    }
    case ColumnType::kBlob:
    case ColumnType::kMemo:
      BlobText(column, blobs, scratch);
      return scratch;
    case ColumnType::kBoolean:
      return *column.data != 0 ? "True" : "False";
    case ColumnType::kOther:
      break;
  }
  return {};
}

int32_t ColumnInteger(const ColumnSlot& column, std::string& scratch, BlobSource blobs) {
  if (column.IsNull()) return 0;
  if (column.scale == 0 && (column.sql_type == SQL_SHORT || column.sql_type == SQL_LONG ||
                            column.sql_type == SQL_INT64)) {
    const int64_t value = IntegerValue(column);
    if (value >= std::numeric_limits<int32_t>::min() &&
        value <= std::numeric_limits<int32_t>::max())
      return static_cast<int32_t>(value);
  }
  const std::string_view text = TrimBoth(ColumnText(column, scratch, blobs));
  if (text.empty()) return 0;
  int32_t value = 0;
  if (ReadDecimal(text, value)) return value;
  double number = 0;
  if (!ReadFloat(text, number)) {
    throw DbConversionError("'" + std::string(text) + "' is not a valid floating point value");
  }
  const double truncated = std::trunc(number);
  if (truncated < std::numeric_limits<int32_t>::min() ||
      truncated > std::numeric_limits<int32_t>::max()) {
    throw DbConversionError("'" + std::string(text) + "' is not a valid integer value");
  }
  return static_cast<int32_t>(truncated);
}

DateTime ColumnDateTime(const ColumnSlot& column, std::string& scratch, BlobSource blobs) {
  if (column.IsNull()) return 0;
  switch (column.type) {
    case ColumnType::kDate:
      return static_cast<DateTime>(Read<ISC_DATE>(column.data) - kIscDateShift);
    case ColumnType::kTime:
      return static_cast<DateTime>(Read<ISC_TIME>(column.data)) / kTicksPerDay;
    case ColumnType::kTimestamp: {
      const auto stamp = Read<ISC_TIMESTAMP>(column.data);
      return EncodeDateTime(PartsOf(stamp.timestamp_date, stamp.timestamp_time));
    }
    case ColumnType::kSmallInt:
    case ColumnType::kInteger:
    case ColumnType::kNumeric:
      return static_cast<DateTime>(IntegerValue(column)) / std::pow(10.0, -column.scale);
    case ColumnType::kFloat:
      return Read<float>(column.data);
    case ColumnType::kDouble:
      return Read<double>(column.data);
    default:
      throw DbConversionError("'" + std::string(ColumnText(column, scratch, blobs)) +
                              "' is not a valid date and time");
  }
}

}  // namespace qv
