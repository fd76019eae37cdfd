#include "service/effective_settings.h"

#include <stdexcept>

#include "platform/ascii_text.h"
#include "platform/profile.h"
#include "service/service_settings.h"
#include "service/settings_keys.h"
#include "sessions/redis_session_store.h"

namespace qv {

namespace {

// The value as the server takes it, written the way the file may give it.
std::string EffectiveValue(const SettingKey& key, std::string value) {
  if (value.empty()) value = std::string(key.default_value);
  switch (key.kind) {
    case SettingKind::Number:
      return std::to_string(ParseProfileInteger(value).value_or(0));
    case SettingKind::Flag:
      return ParseProfileInteger(value).value_or(0) != 0 ? "1" : "0";
    case SettingKind::Addresses: {
      std::string list;
      for (const std::string& address : SplitAddressList(value)) {
        if (!list.empty()) list += ", ";
        list += address;
      }
      return list;
    }
    case SettingKind::Store:
      if (ascii::EqualsNoCase(value, "memory")) return "memory";
      try {
        return RedisLocation::Parse(value).Text();
      } catch (const std::invalid_argument&) {
        return value;  // the check has said what is wrong with it
      }
    case SettingKind::Secret:
      return value.empty() ? value : kHiddenPassword;
    default:
      return value;
  }
}

}  // namespace

std::string EffectiveSettingsText(const IniFile& ini) {
  std::string text = "; Effective settings: every key, defaults filled in, the password hidden.\n";
  std::string_view section;
  for (const SettingKey& key : SettingKeys()) {
    if (key.section != section) {
      section = key.section;
      text += "\n[" + std::string(section) + "]\n";
    }
    text += std::string(key.key) + "=" +
            EffectiveValue(key, ini.ReadString(key.section, key.key, "")) + "\n";
  }
  return text;
}

}  // namespace qv
