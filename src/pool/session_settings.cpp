#include "pool/session_settings.h"

#include <exception>

#include "platform/profile.h"
#include "platform/seconds_setting.h"

namespace qv {

std::unique_ptr<DatabaseSession> NewDatabaseSession(const std::string& ini_path,
                                                    ErrorSink& errors) {
  auto session = std::make_unique<DatabaseSession>();
  DbConnection& connection = session->Connection();
  const IniFile ini(ini_path);  // a missing file reads as empty
  try {
    connection.SetUsername(ini.ReadString("DB", "User", ""));
    connection.SetPassword(ini.ReadString("DB", "Pass", ""));
    const std::string database_name = ini.ReadString("DB", "DBName", "");
    if (!database_name.empty()) connection.SetDatabaseName(database_name);
  } catch (const std::exception& error) {
    errors.Report(error.what());
  }
  connection.SetConnectTimeout(kDefaultConnectTimeout);
  try {
    connection.SetConnectTimeout(
        ReadSecondsSetting(ini, "DB", "ConnectTimeout", kDefaultConnectTimeout));
  } catch (const std::exception& error) {
    errors.Report(error.what());  // the default stays
  }
  return session;
}

}  // namespace qv
