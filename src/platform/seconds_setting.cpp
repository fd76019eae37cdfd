#include "platform/seconds_setting.h"

#include <string>

#include "platform/exception.h"
#include "platform/profile.h"

namespace qv {

int ReadSecondsSetting(const TIniFile& ini, std::string_view section, std::string_view key,
                       int defaultSeconds, int maxSeconds) {
  const std::string text = ini.ReadString(section, key, "");
  if (text.empty()) return defaultSeconds;
  const std::optional<int> value = ParseProfileInteger(text);
  if (!value || *value < 0 || *value > maxSeconds) {
    throw Exception(ini.FileName() + ": [" + std::string(section) + "] " + std::string(key) +
                    "=" + text + " is not a number of seconds from 0 to " +
                    std::to_string(maxSeconds));
  }
  return *value;
}

}  // namespace qv
