#include "service/settings_changes.h"

#include "platform/profile.h"

namespace qv {

namespace {

std::string StoreText(const TServiceSettings& settings) {
  return settings.SessionStore ? settings.SessionStore->Text() : std::string("memory");
}

}  // namespace

std::string DatabaseSettingsText(const TIniFile& ini) {
  std::string text;
  for (const char* key : {"DBName", "User", "Pass", "ConnectTimeout"}) {
    text += ini.ReadString("DB", key, "");
    text += '\n';
  }
  return text;
}

std::vector<std::string> KeepWhatNeedsARestart(const TServiceSettings& running,
                                               TServiceSettings& next) {
  std::vector<std::string> kept;
  if ((running.SessionTimeOut == 0) != (next.SessionTimeOut == 0)) {
    kept.push_back(std::string("[APP] LoginTimeout: switching sessions ") +
                   (next.SessionTimeOut == 0 ? "off" : "on") +
                   " needs a restart; sessions stay " + (running.SessionTimeOut == 0 ? "off" : "on"));
    next.SessionTimeOut = running.SessionTimeOut;
  }
  if (StoreText(running) != StoreText(next)) {
    kept.push_back("[SESSIONS] Store: " + StoreText(next) +
                   " needs a restart; sessions stay in " + StoreText(running));
    next.SessionStore = running.SessionStore;
  }
  return kept;
}

}  // namespace qv
