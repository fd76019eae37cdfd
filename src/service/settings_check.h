// Checks a settings file before it is used, the same way at start, on a
// reload and for -t: every value of every key (numbers and their ranges,
// addresses, host names that must resolve, files and folders that must
// exist), keys that only work together, and what the reader ignores (unknown
// sections and keys, lines that are no setting). Every finding is one line
// naming the file, the section and the key, and the reason.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace qv {

class IniFile;
struct SettingKey;

struct SettingsFinding {
  // An error stops a start and a reload; a warning is logged and the server
  // goes on, while -t fails on either.
  bool error = false;
  std::string text;
};

// Checks the file. file_required: the file was named on the command line, so
// a missing one is an error rather than a warning that the defaults apply.
std::vector<SettingsFinding> CheckSettings(const IniFile& ini, bool file_required = false);

// Why a value of the key cannot be used (for instance "\"many\" is not a
// whole number"), or nothing when it can. An empty value always can: it
// gives the default. Looks at the value alone, not at other keys.
std::optional<std::string> CheckSettingValue(const SettingKey& key, const std::string& value);

bool HasErrors(const std::vector<SettingsFinding>& findings);

}  // namespace qv
