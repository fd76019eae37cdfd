#include "service/configuration_check.h"

#include <pwd.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>

#include "db/connection.h"
#include "db/errors.h"
#include "pool/session_settings.h"
#include "platform/profile.h"
#include "platform/seconds_setting.h"
#include "service/account_access.h"
#include "service/command_line.h"
#include "service/database_probe.h"
#include "service/index_check.h"
#include "service/effective_settings.h"
#include "service/qv_web_service.h"
#include "service/service.h"
#include "service/service_installer.h"
#include "service/settings_check.h"
#include "service/settings_keys.h"
#include "web/request_router.h"

namespace qv {

namespace {

// The database line of -t; false when it is a failure.
bool CheckDatabase(const IniFile& ini, std::ostream& out) {
  std::string database = ini.ReadString("DB", "DBName", "");
  if (database.empty()) database = std::string(FindSettingKey("DB", "DBName")->default_value);
  try {
    DbConnection connection;
    connection.SetUsername(ini.ReadString("DB", "User", ""));
    connection.SetPassword(ini.ReadString("DB", "Pass", ""));
    connection.SetDatabaseName(database);
    try {
      connection.SetConnectTimeout(ReadSecondsSetting(ini, "DB", "ConnectTimeout", kDefaultConnectTimeout));
    } catch (const std::exception&) {
      // Already reported with the settings; the default stays.
    }
    connection.Connect();
    RunTrivialStatement(connection);
    WarnMissingIndexes(connection, out);
    connection.Disconnect();
    out << "ok: database " << database << "\n";
    return true;
  } catch (const DbStatusError& e) {
    if (e.HasCode(kIscAlreadyOpened)) {
      out << "note: database " << database
          << " is open in another process (a running server?), so it was not attached; "
             "the settings alone were checked\n";
      return true;
    }
    out << "error: " << ini.FileName() << ": [DB] DBName: database " << database << ": "
        << OneLine(ExceptionMessage(e)) << "\n";
  } catch (const std::exception& e) {
    out << "error: " << ini.FileName() << ": [DB] DBName: database " << database << ": "
        << OneLine(ExceptionMessage(e)) << "\n";
  }
  return false;
}

// The account whose access root's check speaks for: QV_CHECK_ACCOUNT from the
// environment when set (empty: none), else the service's own.
std::string CheckedAccount() {
  const char* name = std::getenv("QV_CHECK_ACCOUNT");
  return name != nullptr ? std::string(name) : std::string(kServiceAccount);
}

}  // namespace

std::string SettingsFilePath(const std::string& config_path) {
  if (config_path.empty()) return DefaultSettingsFilePath();
  std::error_code error;
  const std::filesystem::path absolute = std::filesystem::absolute(config_path, error);
  return error ? config_path : absolute.lexically_normal().string();
}

bool ValidateSettingsAtStart(const WebService& service, bool named_on_command_line) {
  const EventLogger& logger = service.Host().logger;
  const std::vector<SettingsFinding> findings =
      CheckSettings(IniFile(service.IniPath()), named_on_command_line);
  for (const SettingsFinding& finding : findings) {
    if (finding.error)
      logger.LogMessage(finding.text);
    else
      logger.LogWarning(finding.text);
  }
  return !HasErrors(findings);
}

int CheckConfiguration(const std::string& ini_path, bool named_on_command_line, bool attach_database,
                       std::ostream& out) {
  const IniFile ini(ini_path);
  const std::vector<SettingsFinding> findings = CheckSettings(ini, named_on_command_line);
  // What the start takes as a warning fails the check: the operator asked.
  for (const SettingsFinding& finding : findings) out << "error: " << finding.text << "\n";
  bool ok = findings.empty();
  // A file that cannot be read leaves nothing more to check (without -c, a
  // missing one is checked as the defaults it gives).
  if (ini.OpenError() != 0 && (ini.OpenError() != ENOENT || named_on_command_line)) {
    out << "check failed\n";
    return 1;
  }
  // Root reads what the service's account may not.
  const std::string account_name = CheckedAccount();
  if (geteuid() == 0 && !account_name.empty()) {
    if (const passwd* account = getpwnam(account_name.c_str())) {
      for (const std::string& problem :
           AccountAccessProblems(ini, {account_name, account->pw_uid, account->pw_gid})) {
        out << "error: " << problem << "\n";
        ok = false;
      }
    }
  }
  const std::string ht_docs = ini.ReadString("APP", "HtDocs", "");
  std::error_code error;
  if (!ht_docs.empty() && std::filesystem::is_regular_file(RequestRouter::LogoFileName(ht_docs), error))
    out << "ok: logo " << RequestRouter::LogoFileName(ht_docs) << "\n";
  if (attach_database) ok = CheckDatabase(ini, out) && ok;
  out << (ok ? "check passed" : "check failed") << "\n";
  return ok ? 0 : 1;
}

int PrintConfiguration(const std::string& ini_path, bool named_on_command_line, std::ostream& out,
                       std::ostream& err) {
  const IniFile ini(ini_path);
  const std::vector<SettingsFinding> findings = CheckSettings(ini, named_on_command_line);
  for (const SettingsFinding& finding : findings)
    err << (finding.error ? "error: " : "warning: ") << finding.text << "\n";
  if (HasErrors(findings)) return 1;
  out << EffectiveSettingsText(ini);
  return 0;
}

}  // namespace qv
