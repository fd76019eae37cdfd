// A small JSON writer: values appended to a string in order, commas placed
// by the writer, text escaped as RFC 8259 asks and converted to UTF-8 from
// the database's character set.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace qv {

// How the bytes of text given to the writer are encoded.
enum class TextEncoding {
  kLatin1,  // ISO-8859-1: each byte is the character of that code
  kWindows1252,  // as ISO-8859-1, but for the printable characters of 0x80 to 0x9F
  kUtf8,    // UTF-8 already; a byte that is not part of a valid sequence becomes U+FFFD
};

class JsonWriter {
 public:
  explicit JsonWriter(std::string& out, TextEncoding encoding = TextEncoding::kLatin1)
      : out_(out), encoding_(encoding) {}

  void BeginObject();
  void EndObject();
  void BeginArray();
  void EndArray();
  // The name of the object member whose value comes next (ASCII names).
  JsonWriter& Key(std::string_view name);

  void String(std::string_view text);
  void Integer(int64_t value);
  void Bool(bool value);
  void Null();

  void String(const std::string& text) { String(std::string_view(text)); }
  void String(const char* text) { String(std::string_view(text)); }
  // Absent values as null.
  void String(const std::optional<std::string>& text) {
    if (text) String(*text); else Null();
  }
  void Integer(const std::optional<int32_t>& value) {
    if (value) Integer(*value); else Null();
  }

 private:
  void BeforeValue();

  std::string& out_;
  TextEncoding encoding_;
  // Per open object or array: whether a value has been written in it.
  std::vector<bool> has_value_;
  bool after_key_ = false;
};

// The text in UTF-8, converted as `encoding` says, nothing escaped.
void AppendUtf8(std::string& out, std::string_view text, TextEncoding encoding);

// The text as a JSON string's content: quotes, backslashes and control
// characters escaped; bytes converted to UTF-8 as `encoding` says.
void AppendJsonText(std::string& out, std::string_view text, TextEncoding encoding);

}  // namespace qv
