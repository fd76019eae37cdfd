#include "service/service_settings.h"

#include <algorithm>
#include <limits>

#include "platform/profile.h"

namespace qv {

namespace {

constexpr const char* kSection = "APP";

int32_t ClampToInt32(int64_t value) {
  return static_cast<int32_t>(std::clamp<int64_t>(value, std::numeric_limits<int32_t>::min(),
                                                  std::numeric_limits<int32_t>::max()));
}

}  // namespace

TServiceSettings ReadServiceSettings(const TIniFile& ini) {
  TServiceSettings settings;
  settings.HtDocs = ini.ReadString(kSection, "HtDocs", "");
  settings.SessionTimeOut =
      ClampToInt32(static_cast<int64_t>(ini.ReadInteger(kSection, "LoginTimeout", 10)) * 60000);
  settings.Port = static_cast<uint16_t>(ini.ReadInteger(kSection, "Port", 80) & 0xFFFF);
  settings.Start = ini.ReadBool(kSection, "Start", false);
  int64_t readTimeoutSeconds = ini.ReadInteger(kSection, "ReadTimeout", 60);
  if (readTimeoutSeconds < 0) readTimeoutSeconds = 60;
  settings.ReadTimeout = ClampToInt32(readTimeoutSeconds * 1000);
  return settings;
}

TServiceSettings ReadServiceSettings(const std::string& iniPath) {
  return ReadServiceSettings(TIniFile(iniPath));
}

}  // namespace qv
