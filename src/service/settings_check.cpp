#include "service/settings_check.h"

#include <arpa/inet.h>

#include <filesystem>
#include <string_view>

#include "platform/profile.h"
#include "service/service_settings.h"
#include "web/request_router.h"

namespace qv {

namespace {

enum class TValueKind { Text, Integer, Port, Addresses };

struct TKnownKey {
  std::string_view Section;
  std::string_view Key;
  TValueKind Kind;
};

// Every key the server reads.
constexpr TKnownKey kKnownKeys[] = {
    {"APP", "HtDocs", TValueKind::Text},
    {"APP", "LoginTimeout", TValueKind::Integer},
    {"APP", "Port", TValueKind::Port},
    {"APP", "ReadTimeout", TValueKind::Integer},
    {"APP", "Start", TValueKind::Integer},
    {"APP", "Address", TValueKind::Addresses},
    {"APP", "LogonFailures", TValueKind::Integer},
    {"APP", "TrustedProxies", TValueKind::Text},
    {"APP", "Workers", TValueKind::Integer},
    {"APP", "MaxConnectionsPerAddress", TValueKind::Integer},
    {"APP", "RequestTimeout", TValueKind::Integer},
    {"APP", "MaxSessions", TValueKind::Integer},
    {"APP", "ListenQueue", TValueKind::Integer},
    {"APP", "KeepAlive", TValueKind::Integer},
    {"APP", "KeepAliveTimeout", TValueKind::Integer},
    {"APP", "StopTimeout", TValueKind::Integer},
    {"SESSIONS", "Store", TValueKind::Text},
    {"TLS", "Port", TValueKind::Port},
    {"TLS", "Certificate", TValueKind::Text},
    {"TLS", "Key", TValueKind::Text},
    {"TLS", "HandshakeTimeout", TValueKind::Integer},
    {"DB", "DBName", TValueKind::Text},
    {"DB", "User", TValueKind::Text},
    {"DB", "Pass", TValueKind::Text},
    {"DB", "ConnectTimeout", TValueKind::Integer},
    {"DB", "QueryTimeout", TValueKind::Integer},
    {"LOG", "AccessLog", TValueKind::Text},
    {"ADMIN", "Port", TValueKind::Port},
    {"ADMIN", "Address", TValueKind::Addresses},
};

const TKnownKey* FindKey(const std::string& section, const std::string& key) {
  for (const TKnownKey& known : kKnownKeys) {
    if (EqualsIgnoreCase(known.Section, section) && EqualsIgnoreCase(known.Key, key)) return &known;
  }
  return nullptr;
}

bool IsAddress(const std::string& text) {
  unsigned char buffer[sizeof(in6_addr)];
  return inet_pton(AF_INET, text.c_str(), buffer) == 1 ||
         inet_pton(AF_INET6, text.c_str(), buffer) == 1;
}

std::string Where(const TIniFile& ini, const std::string& section, const std::string& key) {
  return ini.FileName() + ": [" + section + "] " + key;
}

}  // namespace

std::vector<TSettingsFinding> CheckSettingsValues(const TIniFile& ini) {
  std::vector<TSettingsFinding> findings;
  for (const TIniFile::Entry& entry : ini.Entries()) {
    const TKnownKey* known = FindKey(entry.section, entry.key);
    const std::string where = Where(ini, entry.section, entry.key);
    if (!known) {
      findings.push_back({false, where + ": unknown setting, ignored"});
      continue;
    }
    // A key given twice counts where it first stands, as the reader takes it.
    if (ini.ReadString(entry.section, entry.key, "") != entry.value) continue;
    // An empty value keeps the default.
    if (entry.value.empty()) continue;
    switch (known->Kind) {
      case TValueKind::Text:
        break;
      case TValueKind::Integer:
        if (!ParseProfileInteger(entry.value))
          findings.push_back({true, where + ": \"" + entry.value + "\" is not a number"});
        break;
      case TValueKind::Port: {
        const std::optional<int> port = ParseProfileInteger(entry.value);
        if (!port)
          findings.push_back({true, where + ": \"" + entry.value + "\" is not a number"});
        else if (*port < 0 || *port > 65535)
          findings.push_back(
              {true, where + ": " + entry.value + " is not a port number (0 to 65535)"});
        break;
      }
      case TValueKind::Addresses:
        for (const std::string& address : SplitAddressList(entry.value)) {
          if (!IsAddress(address))
            findings.push_back(
                {true, where + ": \"" + address + "\" is not an IPv4 or IPv6 address"});
        }
        break;
    }
  }
  return findings;
}

std::vector<TSettingsFinding> CheckDocuments(const TServiceSettings& settings,
                                             const std::string& iniPath) {
  std::vector<TSettingsFinding> findings;
  const std::string where = iniPath + ": [APP] HtDocs";
  std::error_code error;
  if (settings.HtDocs.empty()) {
    findings.push_back({false, where + ": not set, the logo cannot be served"});
  } else if (!std::filesystem::is_directory(settings.HtDocs, error)) {
    findings.push_back({false, where + ": folder " + settings.HtDocs + " not found"});
  } else {
    const std::string logo = TRequestRouter::LogoFileName(settings.HtDocs);
    if (!std::filesystem::is_regular_file(logo, error))
      findings.push_back({false, where + ": logo " + logo + " not found"});
  }
  return findings;
}

bool HasErrors(const std::vector<TSettingsFinding>& findings) {
  for (const TSettingsFinding& finding : findings) {
    if (finding.Error) return true;
  }
  return false;
}

}  // namespace qv
