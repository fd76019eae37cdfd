#include "service/service_settings.h"

#include <algorithm>
#include <limits>
#include <optional>
#include <stdexcept>
#include <string>

#include "http/text.h"
#include "platform/exception.h"
#include "platform/profile.h"
#include "platform/seconds_setting.h"
#include "service/settings_keys.h"

namespace qv {

namespace {

constexpr const char* kSection = "APP";

int32_t ClampToInt32(int64_t value) {
  return static_cast<int32_t>(std::clamp<int64_t>(value, std::numeric_limits<int32_t>::min(),
                                                  std::numeric_limits<int32_t>::max()));
}

// A key whose wrong value is an error rather than its default: empty or
// missing gives the default, anything else must be a whole number within the
// range the settings table gives the key.
int32_t ReadChecked(const TIniFile& ini, const char* section, const char* key) {
  const SettingKey& known = *FindSettingKey(section, key);
  return ReadWholeNumberSetting(ini, section, key, ParseProfileInteger(known.Default).value_or(0),
                                static_cast<int>(known.Min), static_cast<int>(known.Max));
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
  settings.LogonFailures = ReadChecked(ini, kSection, "LogonFailures");
  settings.TlsPort = ReadChecked(ini, "TLS", "Port");
  settings.TlsCertificate = ini.ReadString("TLS", "Certificate", "");
  settings.TlsKey = ini.ReadString("TLS", "Key", "");
  if (settings.TlsPort > 0 && (settings.TlsCertificate.empty() || settings.TlsKey.empty()))
    throw Exception(ini.FileName() + ": [TLS] Port is set but Certificate or Key is not");
  settings.TlsHandshakeTimeoutSeconds = ReadSecondsSetting(ini, "TLS", "HandshakeTimeout", 10, 3600);
  try {
    settings.TrustedProxies = TTrustedProxies::Parse(ini.ReadString(kSection, "TrustedProxies", ""));
  } catch (const std::invalid_argument& e) {
    throw Exception(ini.FileName() + ": [" + kSection + "] TrustedProxies: " + e.what());
  }
  const std::string store = ini.ReadString("SESSIONS", "Store", "memory");
  if (!http_text::EqualsNoCase(store, "memory") && !store.empty()) {
    try {
      settings.SessionStore = TRedisLocation::Parse(store);
    } catch (const std::invalid_argument& e) {
      throw Exception(ini.FileName() + ": [SESSIONS] Store: " + e.what());
    }
  }
  settings.Workers = ReadChecked(ini, kSection, "Workers");
  settings.MaxConnectionsPerAddress = ReadChecked(ini, kSection, "MaxConnectionsPerAddress");
  settings.RequestTimeout = ReadChecked(ini, kSection, "RequestTimeout") * 1000;
  settings.MaxSessions = ReadChecked(ini, kSection, "MaxSessions");
  settings.ListenQueue = ReadChecked(ini, kSection, "ListenQueue");
  settings.KeepAlive = ReadChecked(ini, kSection, "KeepAlive") != 0;
  settings.KeepAliveTimeout = ReadChecked(ini, kSection, "KeepAliveTimeout") * 1000;
  settings.StopTimeoutSeconds = ReadChecked(ini, kSection, "StopTimeout");
  settings.QueryTimeoutSeconds = ReadChecked(ini, "DB", "QueryTimeout");
  settings.Addresses = SplitAddressList(ini.ReadString(kSection, "Address", ""));
  // An empty value keeps the default, standard output.
  std::string accessLog = ini.ReadString("LOG", "AccessLog", "");
  if (!accessLog.empty()) settings.AccessLog = std::move(accessLog);
  settings.AdminPort = static_cast<uint16_t>(ini.ReadInteger("ADMIN", "Port", 0) & 0xFFFF);
  const std::vector<std::string> admin = SplitAddressList(ini.ReadString("ADMIN", "Address", ""));
  if (!admin.empty()) settings.AdminAddresses = admin;
  return settings;
}

std::vector<std::string> SplitAddressList(const std::string& text) {
  std::vector<std::string> items;
  size_t begin = 0;
  while (begin <= text.size()) {
    size_t end = text.find(',', begin);
    if (end == std::string::npos) end = text.size();
    std::string item = text.substr(begin, end - begin);
    const size_t first = item.find_first_not_of(" \t");
    const size_t last = item.find_last_not_of(" \t");
    item = first == std::string::npos ? std::string() : item.substr(first, last - first + 1);
    if (item.size() >= 2 && item.front() == '[' && item.back() == ']')
      item = item.substr(1, item.size() - 2);
    if (!item.empty()) items.push_back(item);
    begin = end + 1;
  }
  return items;
}

TServiceSettings ReadServiceSettings(const std::string& iniPath) {
  return ReadServiceSettings(TIniFile(iniPath));
}

}  // namespace qv
