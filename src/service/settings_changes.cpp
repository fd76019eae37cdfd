#include "service/settings_changes.h"

#include "platform/profile.h"

namespace qv {

namespace {

std::string StoreText(const ServiceSettings& settings) {
  return settings.session_store ? settings.session_store->Text() : std::string("memory");
}

}  // namespace

std::string DatabaseSettingsText(const IniFile& ini) {
  std::string text;
  for (const char* key : {"DBName", "User", "Pass", "ConnectTimeout"}) {
    text += ini.ReadString("DB", key, "");
    text += '\n';
  }
  return text;
}

std::vector<std::string> KeepWhatNeedsARestart(const ServiceSettings& running,
                                               ServiceSettings& next) {
  std::vector<std::string> kept;
  if ((running.session_timeout == 0) != (next.session_timeout == 0)) {
    kept.push_back(std::string("[APP] LoginTimeout: switching sessions ") +
                   (next.session_timeout == 0 ? "off" : "on") +
                   " needs a restart; sessions stay " + (running.session_timeout == 0 ? "off" : "on"));
    next.session_timeout = running.session_timeout;
  }
  if (StoreText(running) != StoreText(next)) {
    kept.push_back("[SESSIONS] Store: " + StoreText(next) +
                   " needs a restart; sessions stay in " + StoreText(running));
    next.session_store = running.session_store;
  }
  return kept;
}

}  // namespace qv
