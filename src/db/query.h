// How a caller declares a query and hands it values: the fixed statement text
// with its columns named beside it, and the typed values of its parameters.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <type_traits>

namespace qv {

// The columns of a query, in select-list order, as an enum whose last
// enumerator kCount is not a column: enum class AgencyColumn { kName, kCount }.
template <typename Column>
concept ColumnList = std::is_enum_v<Column> && requires { Column::kCount; };

template <ColumnList Column>
inline constexpr size_t kColumnCount = static_cast<size_t>(Column::kCount);

// A fixed statement text and how its columns are found. Without names the
// select list has exactly the enum's columns, in its order; that is checked
// when the statement is prepared. With names (one per enumerator, for a
// select list such as "E.*" whose positions follow the schema) each column is
// looked up by name, letter case ignored, once when the statement is prepared.
// The session keeps one prepared statement per text.
template <ColumnList Column>
struct QueryText {
  constexpr QueryText(std::string_view text) : sql(text) {}
  template <size_t N>
    requires(N == kColumnCount<Column>)
  constexpr QueryText(std::string_view text, const std::string_view (&column_names)[N])
      : sql(text), names(column_names) {}

  std::string_view sql;
  std::span<const std::string_view> names;
};

// NULL as a parameter value.
struct NullValue {};
inline constexpr NullValue kNull{};

// One parameter value: NULL, a whole number (32 or 64 bits) or text. Text is
// referred to, not copied: the value lives until the statement has run.
class ParamValue {
 public:
  enum class Kind { kNull, kInteger, kBigInteger, kText };

  ParamValue(NullValue) {}
  ParamValue(int32_t value) : kind_(Kind::kInteger), integer_(value) {}
  ParamValue(int64_t value) : kind_(Kind::kBigInteger), integer_(value) {}
  ParamValue(std::string_view value) : kind_(Kind::kText), text_(value) {}
  ParamValue(const std::string& value) : ParamValue(std::string_view(value)) {}
  ParamValue(const char* value) : ParamValue(std::string_view(value)) {}
  template <typename T>
  ParamValue(const std::optional<T>& value) {
    if (value) *this = ParamValue(*value);
  }

  Kind Type() const { return kind_; }
  int32_t Integer() const { return static_cast<int32_t>(integer_); }
  int64_t BigInteger() const { return integer_; }
  std::string_view Text() const { return text_; }

 private:
  Kind kind_ = Kind::kNull;
  int64_t integer_ = 0;
  std::string_view text_;
};

}  // namespace qv
