// Every key of the settings file in one table: its section, what kind of
// value it takes, the value it has when left out, and the range of a number.
// The settings check, the unknown-key warnings and --print-config read it.
#pragma once

#include <cstdint>
#include <span>
#include <string_view>

namespace qv {

enum class SettingKind {
  Text,       // any text
  Number,     // a whole number from Min to Max
  Flag,       // a whole number, set when not 0
  Folder,     // a folder that must exist (HtDocs)
  Addresses,  // IPv4 and IPv6 addresses, comma-separated
  Proxies,    // addresses and CIDR ranges
  Store,      // "memory" or redis://host:port/N
  File,       // a file that must be readable (TLS certificate and key)
  LogTarget,  // "-", "off" or a file in a folder that exists
  Database,   // a database file or alias, or host:path
  Secret,     // text never printed (the password)
};

struct SettingKey {
  std::string_view section;
  std::string_view key;
  SettingKind kind;
  // The value taken when the key is missing or empty, as the file would give it.
  std::string_view default_value;
  int64_t min = 0;
  int64_t max = 0;
};

// The keys in the order --print-config writes them, section by section.
std::span<const SettingKey> SettingKeys();

// The key, its section and name compared ignoring case; null when unknown.
const SettingKey* FindSettingKey(std::string_view section, std::string_view key);
// Whether any key lives in the section (compared ignoring case).
bool IsSettingsSection(std::string_view section);

}  // namespace qv
