// The JSON writer: what it writes parses with a standard parser to the same
// values, text escaped and converted to UTF-8 from either encoding.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include <string>

#include "pages/json_writer.h"

namespace qv {
namespace {

TEST(JsonWriterTest, TextParsesBackAsItsCharacters) {
  struct Case {
    std::string text;
    TextEncoding encoding;
    std::string utf8;  // what the parser reads back
  };
  const Case cases[] = {
      {"plain", TextEncoding::kLatin1, "plain"},
      {"quote \" backslash \\ slash /", TextEncoding::kLatin1, "quote \" backslash \\ slash /"},
      {"tab\tline\nreturn\r\x01\x1f", TextEncoding::kLatin1, "tab\tline\nreturn\r\x01\x1f"},
      {"Caf\xe9 \xa0\xff", TextEncoding::kLatin1, "Caf\xc3\xa9 \xc2\xa0\xc3\xbf"},
      {"\x80 \x93q\x94 \x81 \xe9", TextEncoding::kWindows1252,
       "\xe2\x82\xac \xe2\x80\x9cq\xe2\x80\x9d \xc2\x81 \xc3\xa9"},
      {"\x80", TextEncoding::kLatin1, "\xc2\x80"},
      {"Caf\xc3\xa9 \xe2\x82\xac \xf0\x9f\x8f\xa0", TextEncoding::kUtf8,
       "Caf\xc3\xa9 \xe2\x82\xac \xf0\x9f\x8f\xa0"},
      // Bytes that are not UTF-8: a lone Latin-1 byte, a cut sequence, an overlong form, a surrogate.
      {"a\xe9z \xe2\x82 \xc0\xaf \xed\xa0\x80", TextEncoding::kUtf8,
       "a\xef\xbf\xbdz \xef\xbf\xbd\xef\xbf\xbd \xef\xbf\xbd\xef\xbf\xbd "
       "\xef\xbf\xbd\xef\xbf\xbd\xef\xbf\xbd"},
      {std::string("nul\0byte", 8), TextEncoding::kLatin1, std::string("nul\0byte", 8)},
  };
  for (const Case& c : cases) {
    std::string out;
    JsonWriter json(out, c.encoding);
    json.String(c.text);
    const nlohmann::json parsed = nlohmann::json::parse(out);
    EXPECT_EQ(parsed.get<std::string>(), c.utf8) << out;
  }
}

TEST(JsonWriterTest, NestedValuesParseWithTheirTypes) {
  std::string out;
  JsonWriter json(out);
  json.BeginObject();
  json.Key("id").Integer(-2147483648LL);
  json.Key("big").Integer(9007199254740993LL);
  json.Key("none").Integer(std::optional<int32_t>());
  json.Key("flag").Bool(false);
  json.Key("list").BeginArray();
  json.String(std::optional<std::string>("x"));
  json.String(std::optional<std::string>());
  json.BeginObject();
  json.EndObject();
  json.BeginArray();
  json.EndArray();
  json.EndArray();
  json.Key("last").Null();
  json.EndObject();
  EXPECT_EQ(out,
            "{\"id\":-2147483648,\"big\":9007199254740993,\"none\":null,\"flag\":false,"
            "\"list\":[\"x\",null,{},[]],\"last\":null}");
  const nlohmann::json parsed = nlohmann::json::parse(out);
  EXPECT_EQ(parsed["id"].get<int64_t>(), -2147483648LL);
  EXPECT_TRUE(parsed["none"].is_null());
  EXPECT_EQ(parsed["list"].size(), 4u);
}

}  // namespace
}  // namespace qv
