#include "service/settings_keys.h"

#include <limits>

#include "db/database_session.h"
#include "platform/profile.h"

namespace qv {

namespace {

constexpr int64_t kNoLimit = std::numeric_limits<int32_t>::max();

constexpr SettingKey kKeys[] = {
    {"APP", "Port", SettingKind::Number, "80", 0, 65535},
    {"APP", "Address", SettingKind::Addresses, ""},
    {"APP", "HtDocs", SettingKind::Folder, ""},
    {"APP", "LoginTimeout", SettingKind::Number, "10", 0, kNoLimit},
    {"APP", "ReadTimeout", SettingKind::Number, "60", 0, kNoLimit},
    {"APP", "Start", SettingKind::Flag, "0"},
    {"APP", "LogonFailures", SettingKind::Number, "5", 0, kNoLimit},
    {"APP", "TrustedProxies", SettingKind::Proxies, ""},
    {"APP", "Workers", SettingKind::Number, "32", 1, 4096},
    {"APP", "MaxConnectionsPerAddress", SettingKind::Number, "256", 0, 1000000},
    {"APP", "RequestTimeout", SettingKind::Number, "30", 0, 86400},
    {"APP", "MaxRequestMemory", SettingKind::Number, "64", 1, 65536},
    {"APP", "MaxSessions", SettingKind::Number, "100000", 0, 100000000},
    {"APP", "ListenQueue", SettingKind::Number, "511", 1, 65535},
    {"APP", "KeepAlive", SettingKind::Number, "0", 0, 1},
    {"APP", "KeepAliveTimeout", SettingKind::Number, "5", 1, 3600},
    {"APP", "StopTimeout", SettingKind::Number, "10", 0, 3600},
    {"SESSIONS", "Store", SettingKind::Store, "memory"},
    {"TLS", "Port", SettingKind::Number, "0", 0, 65535},
    {"TLS", "Certificate", SettingKind::File, ""},
    {"TLS", "Key", SettingKind::File, ""},
    {"TLS", "HandshakeTimeout", SettingKind::Number, "10", 0, 3600},
    {"TLS", "RedirectHttp", SettingKind::Number, "0", 0, 1},
    {"DB", "DBName", SettingKind::Database, kBuiltInDatabasePath},
    {"DB", "User", SettingKind::Text, ""},
    {"DB", "Pass", SettingKind::Secret, ""},
    {"DB", "ConnectTimeout", SettingKind::Number, "10", 0, 86400},
    {"DB", "QueryTimeout", SettingKind::Number, "60", 0, 86400},
    {"LOG", "AccessLog", SettingKind::LogTarget, "-"},
    {"ADMIN", "Port", SettingKind::Number, "0", 0, 65535},
    {"ADMIN", "Address", SettingKind::Addresses, "127.0.0.1"},
};

}  // namespace

std::span<const SettingKey> SettingKeys() { return kKeys; }

const SettingKey* FindSettingKey(std::string_view section, std::string_view key) {
  for (const SettingKey& known : kKeys) {
    if (EqualsIgnoreCase(known.section, section) && EqualsIgnoreCase(known.key, key)) return &known;
  }
  return nullptr;
}

bool IsSettingsSection(std::string_view section) {
  for (const SettingKey& known : kKeys) {
    if (EqualsIgnoreCase(known.section, section)) return true;
  }
  return false;
}

}  // namespace qv
