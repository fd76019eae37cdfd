// Settings given as whole numbers (seconds, counts), read strictly: a value
// that is not such a number, or lies outside its range, is an error naming
// the file, section and key. The settings check words its findings the same.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace qv {

class IniFile;

// Why text is not a whole number from min to max ("\"soon\" is not a whole
// number", "-1 is out of range (0 to 86400)"; a max of INT32_MAX reads "0 or
// more"), or nothing when it is one. Numbers as the reader takes them:
// decimal, or hexadecimal after "0x", "0X" or "$".
std::optional<std::string> WholeNumberProblem(std::string_view text, int64_t min, int64_t max);

// The value of section/key from min to max; the default when the key is
// missing or empty. Raises qv::Exception for anything else.
int ReadWholeNumberSetting(const IniFile& ini, std::string_view section, std::string_view key,
                           int default_value, int min, int max);

// The value of section/key as seconds from 0 to max_seconds.
int ReadSecondsSetting(const IniFile& ini, std::string_view section, std::string_view key,
                       int default_seconds, int max_seconds = 86400);

}  // namespace qv
