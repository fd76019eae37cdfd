#include "pages/json_writer.h"

#include <charconv>

namespace qv {

namespace {

void AppendCodePoint(std::string& out, uint32_t code) {
  if (code < 0x80) {
    out += static_cast<char>(code);
  } else if (code < 0x800) {
    out += static_cast<char>(0xC0 | (code >> 6));
    out += static_cast<char>(0x80 | (code & 0x3F));
  } else if (code < 0x10000) {
    out += static_cast<char>(0xE0 | (code >> 12));
    out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (code & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (code >> 18));
    out += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (code & 0x3F));
  }
}

// The length of the valid UTF-8 sequence at the start of `text`, 0 when it
// is not one (overlong forms, surrogates and codes past U+10FFFF included).
size_t Utf8SequenceLength(std::string_view text, uint32_t& code) {
  const auto byte = [&](size_t i) { return static_cast<unsigned char>(text[i]); };
  const unsigned char lead = byte(0);
  size_t length = 0;
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2, code = lead & 0x1F;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3, code = lead & 0x0F;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4, code = lead & 0x07;
  } else {
    return 0;
  }
  if (text.size() < length) return 0;
  for (size_t i = 1; i < length; ++i) {
    if ((byte(i) & 0xC0) != 0x80) return 0;
    code = (code << 6) | (byte(i) & 0x3F);
  }
  if ((length == 3 && code < 0x800) || (length == 4 && code < 0x10000) || code > 0x10FFFF ||
      (code >= 0xD800 && code <= 0xDFFF)) {
    return 0;
  }
  return length;
}

// The characters of Windows-1252 at 0x80 to 0x9F; the five codes it leaves
// free keep their ISO-8859-1 (control) characters.
constexpr uint16_t kWindows1252High[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
};

}  // namespace

void AppendUtf8(std::string& out, std::string_view text, TextEncoding encoding) {
  for (size_t i = 0; i < text.size();) {
    size_t ascii = i;
    while (ascii < text.size() && static_cast<unsigned char>(text[ascii]) < 0x80) ++ascii;
    out.append(text.substr(i, ascii - i));
    i = ascii;
    if (i == text.size()) break;
    const unsigned char c = static_cast<unsigned char>(text[i]);
    if (encoding == TextEncoding::kLatin1) {
      AppendCodePoint(out, c);
      ++i;
      continue;
    }
    if (encoding == TextEncoding::kWindows1252) {
      AppendCodePoint(out, c < 0xA0 ? kWindows1252High[c - 0x80] : c);
      ++i;
      continue;
    }
    uint32_t code = 0;
    const size_t length = Utf8SequenceLength(text.substr(i), code);
    if (length == 0) {
      AppendCodePoint(out, 0xFFFD);
      ++i;
    } else {
      out.append(text.substr(i, length));
      i += length;
    }
  }
}

void AppendJsonText(std::string& out, std::string_view text, TextEncoding encoding) {
  static constexpr char kHex[] = "0123456789abcdef";
  size_t plain = 0;  // where the run of bytes copied as they are starts
  for (size_t i = 0; i < text.size(); ++i) {
    const unsigned char c = static_cast<unsigned char>(text[i]);
    if (c >= 0x20 && c < 0x80 && c != '"' && c != '\\') continue;
    out.append(text.substr(plain, i - plain));
    if (c >= 0x80) {
      // The run of bytes from 0x80 up (whole UTF-8 sequences, if any), converted.
      std::string_view rest = text.substr(i);
      size_t end = 0;
      while (end < rest.size() && static_cast<unsigned char>(rest[end]) >= 0x80) ++end;
      AppendUtf8(out, rest.substr(0, end), encoding);
      i += end - 1;
    } else if (c == '"' || c == '\\') {
      out += '\\';
      out += static_cast<char>(c);
    } else {
      switch (c) {
        case '\n': out += "\\n"; break;
        case '\r': out += "\\r"; break;
        case '\t': out += "\\t"; break;
        case '\b': out += "\\b"; break;
        case '\f': out += "\\f"; break;
        default:
          out += "\\u00";
          out += kHex[c >> 4];
          out += kHex[c & 0xF];
      }
    }
    plain = i + 1;
  }
  out.append(text.substr(plain));
}

void JsonWriter::BeforeValue() {
  if (after_key_) {
    after_key_ = false;
    return;
  }
  if (!has_value_.empty()) {
    if (has_value_.back()) out_ += ',';
    has_value_.back() = true;
  }
}

void JsonWriter::BeginObject() {
  BeforeValue();
  out_ += '{';
  has_value_.push_back(false);
}

void JsonWriter::EndObject() {
  has_value_.pop_back();
  out_ += '}';
}

void JsonWriter::BeginArray() {
  BeforeValue();
  out_ += '[';
  has_value_.push_back(false);
}

void JsonWriter::EndArray() {
  has_value_.pop_back();
  out_ += ']';
}

JsonWriter& JsonWriter::Key(std::string_view name) {
  BeforeValue();
  out_ += '"';
  AppendJsonText(out_, name, TextEncoding::kUtf8);
  out_ += "\":";
  after_key_ = true;
  return *this;
}

void JsonWriter::String(std::string_view text) {
  BeforeValue();
  out_ += '"';
  AppendJsonText(out_, text, encoding_);
  out_ += '"';
}

void JsonWriter::Integer(int64_t value) {
  BeforeValue();
  char digits[24];
  const auto end = std::to_chars(digits, digits + sizeof digits, value).ptr;
  out_.append(digits, end);
}

void JsonWriter::Bool(bool value) {
  BeforeValue();
  out_ += value ? "true" : "false";
}

void JsonWriter::Null() {
  BeforeValue();
  out_ += "null";
}

}  // namespace qv
