#include "service/configuration_check.h"

#include <filesystem>

#include "db/connection.h"
#include "pages/page_module.h"
#include "platform/profile.h"
#include "service/database_probe.h"
#include "service/qv_web_service.h"
#include "service/service.h"
#include "service/service_settings.h"
#include "service/settings_check.h"
#include "web/request_router.h"

namespace qv {

std::string SettingsFilePath(const std::string& configPath) {
  if (configPath.empty()) return ExecutableIniPath();
  std::error_code error;
  const std::filesystem::path absolute = std::filesystem::absolute(configPath, error);
  return error ? configPath : absolute.lexically_normal().string();
}

bool ValidateSettingsAtStart(const TqvWebService& service, bool namedOnCommandLine) {
  const TEventLogger& logger = service.Host().Logger;
  const std::string& iniPath = service.IniPath();
  std::error_code error;
  if (!std::filesystem::is_regular_file(iniPath, error)) {
    if (namedOnCommandLine) {
      logger.LogMessage(iniPath + ": settings file not found");
      return false;
    }
    logger.LogWarning(iniPath + ": settings file not found, the defaults apply");
  }
  const TIniFile ini(iniPath);
  std::vector<TSettingsFinding> findings = CheckSettingsValues(ini);
  if (!HasErrors(findings)) {
    for (TSettingsFinding& finding : CheckDocuments(ReadServiceSettings(ini), iniPath))
      findings.push_back(std::move(finding));
  }
  for (const TSettingsFinding& finding : findings) {
    if (finding.Error)
      logger.LogMessage(finding.Text);
    else
      logger.LogWarning(finding.Text);
  }
  return !HasErrors(findings);
}

int CheckConfiguration(const std::string& iniPath, std::ostream& out) {
  bool ok = true;
  std::error_code error;
  if (!std::filesystem::is_regular_file(iniPath, error)) {
    out << "error: " << iniPath << ": settings file not found\n";
    out << "check failed\n";
    return 1;
  }
  const TIniFile ini(iniPath);
  for (const TSettingsFinding& finding : CheckSettingsValues(ini)) {
    out << (finding.Error ? "error: " : "warning: ") << finding.Text << "\n";
    ok = ok && !finding.Error;
  }
  // Without its logo the main menu shows a broken image: not well.
  const TServiceSettings settings = ReadServiceSettings(ini);
  const std::vector<TSettingsFinding> documents = CheckDocuments(settings, iniPath);
  for (const TSettingsFinding& finding : documents) out << "error: " << finding.Text << "\n";
  if (documents.empty())
    out << "ok: logo " << TRequestRouter::LogoFileName(settings.HtDocs) << "\n";
  ok = ok && documents.empty();

  std::string database = ini.ReadString("DB", "DBName", "");
  if (database.empty()) database = kBuiltInDatabasePath;
  try {
    TIB_Connection connection;
    connection.SetUsername(ini.ReadString("DB", "User", ""));
    connection.SetPassword(ini.ReadString("DB", "Pass", ""));
    connection.SetDatabaseName(database);
    connection.Connect();
    RunTrivialStatement(connection);
    connection.Disconnect();
    out << "ok: database " << database << "\n";
  } catch (const std::exception& e) {
    out << "error: " << iniPath << ": [DB] DBName: database " << database << ": "
        << OneLine(ExceptionMessage(e)) << "\n";
    ok = false;
  }
  out << (ok ? "check passed" : "check failed") << "\n";
  return ok ? 0 : 1;
}

}  // namespace qv
