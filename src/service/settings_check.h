// Checks a settings file before it is used: numbers that are not numbers,
// ports out of range and addresses that cannot be bound are errors; unknown
// keys and a missing logo folder or logo are warnings. Every finding names the
// file, the section and the key.
#pragma once

#include <string>
#include <vector>

namespace qv {

class TIniFile;
struct TServiceSettings;

struct TSettingsFinding {
  bool Error = false;  // false: a warning
  std::string Text;
};

// The values of the file: numbers, ports, addresses, unknown keys.
std::vector<TSettingsFinding> CheckSettingsValues(const TIniFile& ini);

// The logo folder and the logo in it (warnings only).
std::vector<TSettingsFinding> CheckDocuments(const TServiceSettings& settings,
                                             const std::string& iniPath);

bool HasErrors(const std::vector<TSettingsFinding>& findings);

}  // namespace qv
