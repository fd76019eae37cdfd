#include "service/account_access.h"

#include <filesystem>

#include "platform/profile.h"
#include "service/service_installer.h"
#include "service/settings_keys.h"
#include "web/request_router.h"

namespace qv {

std::vector<std::string> AccountAccessProblems(const IniFile& ini, const ServiceAccount& account) {
  std::vector<std::string> problems;
  const std::string cannot = "the account " + account.name + " cannot ";
  auto where = [&](const char* section, const char* key) {
    return ini.FileName() + ": [" + section + "] " + key + ": ";
  };
  std::error_code error;
  auto readable = [&](const std::string& path) { return ReadableByAccount(path, account.uid, account.gid); };

  if (!readable(ini.FileName())) problems.push_back(ini.FileName() + ": " + cannot + "read the settings file");
  const std::string ht_docs = ini.ReadString("APP", "HtDocs", "");
  const std::string logo = RequestRouter::LogoFileName(ht_docs);
  if (!ht_docs.empty() && std::filesystem::is_regular_file(logo, error) && !readable(logo))
    problems.push_back(where("APP", "HtDocs") + cannot + "read the logo " + logo);
  if (ini.ReadInteger("TLS", "Port", 0) > 0) {
    for (const char* key : {"Certificate", "Key"}) {
      const std::string path = ini.ReadString("TLS", key, "");
      if (!path.empty() && std::filesystem::exists(path, error) && !readable(path))
        problems.push_back(where("TLS", key) + cannot + "read " + path);
    }
  }
  std::string database = ini.ReadString("DB", "DBName", "");
  if (database.empty()) database = std::string(FindSettingKey("DB", "DBName")->default_value);
  if (database.front() == '/' && std::filesystem::exists(database, error) &&
      !WritableByAccount(database, account.uid, account.gid))
    problems.push_back(where("DB", "DBName") + cannot + "read and write the database " + database);
  return problems;
}

}  // namespace qv
