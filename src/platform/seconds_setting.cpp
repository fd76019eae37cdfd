#include "platform/seconds_setting.h"

#include <algorithm>
#include <limits>

#include "platform/exception.h"
#include "platform/profile.h"

namespace qv {

namespace {

// Digits with an optional sign: a whole number, even one too large to read.
bool IsDecimal(std::string_view text) {
  if (!text.empty() && (text.front() == '-' || text.front() == '+')) text.remove_prefix(1);
  return !text.empty() &&
         std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

}  // namespace

std::optional<std::string> WholeNumberProblem(std::string_view text, int64_t min, int64_t max) {
  const std::optional<int> value = ParseProfileInteger(text);
  if (!value && !IsDecimal(text)) return "\"" + std::string(text) + "\" is not a whole number";
  if (value && *value >= min && *value <= max) return std::nullopt;
  const std::string range = max >= std::numeric_limits<int32_t>::max()
                                ? std::to_string(min) + " or more"
                                : std::to_string(min) + " to " + std::to_string(max);
  return std::string(text) + " is out of range (" + range + ")";
}

int ReadWholeNumberSetting(const IniFile& ini, std::string_view section, std::string_view key,
                           int default_value, int min, int max) {
  const std::string text = ini.ReadString(section, key, "");
  if (text.empty()) return default_value;
  if (const std::optional<std::string> problem = WholeNumberProblem(text, min, max)) {
    throw Exception(ini.FileName() + ": [" + std::string(section) + "] " + std::string(key) +
                    ": " + *problem);
  }
  return *ParseProfileInteger(text);
}

int ReadSecondsSetting(const IniFile& ini, std::string_view section, std::string_view key,
                       int default_seconds, int max_seconds) {
  return ReadWholeNumberSetting(ini, section, key, default_seconds, 0, max_seconds);
}

}  // namespace qv
