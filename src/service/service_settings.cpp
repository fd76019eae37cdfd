#include "service/service_settings.h"

#include <algorithm>
#include <limits>
#include <optional>
#include <stdexcept>
#include <string>

#include "platform/ascii_text.h"
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
int32_t ReadChecked(const IniFile& ini, const char* section, const char* key) {
  const SettingKey& known = *FindSettingKey(section, key);
  return ReadWholeNumberSetting(ini, section, key, ParseProfileInteger(known.default_value).value_or(0),
                                static_cast<int>(known.min), static_cast<int>(known.max));
}

}  // namespace

ServiceSettings ReadServiceSettings(const IniFile& ini) {
  ServiceSettings settings;
  settings.htdocs = ini.ReadString(kSection, "HtDocs", "");
  settings.session_timeout =
      ClampToInt32(static_cast<int64_t>(ini.ReadInteger(kSection, "LoginTimeout", 10)) * 60000);
  settings.port = static_cast<uint16_t>(ini.ReadInteger(kSection, "Port", 80) & 0xFFFF);
  settings.start = ini.ReadBool(kSection, "Start", false);
  int64_t read_timeout_seconds = ini.ReadInteger(kSection, "ReadTimeout", 60);
  if (read_timeout_seconds < 0) read_timeout_seconds = 60;
  settings.read_timeout = ClampToInt32(read_timeout_seconds * 1000);
  settings.logon_failures = ReadChecked(ini, kSection, "LogonFailures");
  settings.tls_port = ReadChecked(ini, "TLS", "Port");
  settings.tls_certificate = ini.ReadString("TLS", "Certificate", "");
  settings.tls_key = ini.ReadString("TLS", "Key", "");
  if (settings.tls_port > 0 && (settings.tls_certificate.empty() || settings.tls_key.empty()))
    throw Exception(ini.FileName() + ": [TLS] Port is set but Certificate or Key is not");
  settings.tls_handshake_timeout_seconds = ReadSecondsSetting(ini, "TLS", "HandshakeTimeout", 10, 3600);
  settings.tls_redirect_http = ReadChecked(ini, "TLS", "RedirectHttp") != 0;
  if (settings.tls_redirect_http && settings.tls_port == 0)
    throw Exception(ini.FileName() + ": [TLS] RedirectHttp: set, but [TLS] Port is not");
  try {
    settings.trusted_proxies = TrustedProxies::Parse(ini.ReadString(kSection, "TrustedProxies", ""));
  } catch (const std::invalid_argument& e) {
    throw Exception(ini.FileName() + ": [" + kSection + "] TrustedProxies: " + e.what());
  }
  const std::string store = ini.ReadString("SESSIONS", "Store", "memory");
  if (!ascii::EqualsNoCase(store, "memory") && !store.empty()) {
    try {
      settings.session_store = RedisLocation::Parse(store);
    } catch (const std::invalid_argument& e) {
      throw Exception(ini.FileName() + ": [SESSIONS] Store: " + e.what());
    }
  }
  settings.workers = ReadChecked(ini, kSection, "Workers");
  settings.max_connections_per_address = ReadChecked(ini, kSection, "MaxConnectionsPerAddress");
  settings.request_timeout = ReadChecked(ini, kSection, "RequestTimeout") * 1000;
  settings.max_request_memory_mib = ReadChecked(ini, kSection, "MaxRequestMemory");
  settings.max_sessions = ReadChecked(ini, kSection, "MaxSessions");
  settings.listen_queue = ReadChecked(ini, kSection, "ListenQueue");
  settings.keep_alive = ReadChecked(ini, kSection, "KeepAlive") != 0;
  settings.keep_alive_timeout = ReadChecked(ini, kSection, "KeepAliveTimeout") * 1000;
  settings.stop_timeout_seconds = ReadChecked(ini, kSection, "StopTimeout");
  settings.query_timeout_seconds = ReadChecked(ini, "DB", "QueryTimeout");
  settings.addresses = SplitAddressList(ini.ReadString(kSection, "Address", ""));
  // An empty value keeps the default, standard output.
  std::string access_log = ini.ReadString("LOG", "AccessLog", "");
  if (!access_log.empty()) settings.access_log = std::move(access_log);
  settings.admin_port = static_cast<uint16_t>(ini.ReadInteger("ADMIN", "Port", 0) & 0xFFFF);
  const std::vector<std::string> admin = SplitAddressList(ini.ReadString("ADMIN", "Address", ""));
  if (!admin.empty()) settings.admin_addresses = admin;
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

ServiceSettings ReadServiceSettings(const std::string& ini_path) {
  return ReadServiceSettings(IniFile(ini_path));
}

}  // namespace qv
