// SIGHUP: the service object reads its settings again and brings them into
// force while the server goes on serving.
#include <memory>
#include <string>
#include <vector>

#include "db/database_session.h"
#include "platform/profile.h"
#include "service/qv_web_service.h"
#include "service/service_settings.h"
#include "service/settings_changes.h"
#include "service/settings_check.h"

namespace qv {

namespace {

// How long a reload lets requests in flight finish under the old settings.
constexpr int kReloadDrainMs = 10000;

const char* const kNotReloaded =
    "Settings not reloaded: the server keeps running with the settings it has";

}  // namespace

bool WebService::Reload() {
  const IniFile ini(ini_path_);
  // A file gone since the start is no reason to fall back to the defaults.
  const std::vector<SettingsFinding> findings = CheckSettings(ini, true);
  for (const SettingsFinding& finding : findings) {
    if (finding.error)
      LogMessage(finding.text);
    else
      Host().logger.LogWarning(finding.text);
  }
  if (HasErrors(findings)) {
    LogMessage(kNotReloaded);
    return false;
  }
  ServiceSettings settings;
  std::shared_ptr<TlsContext> tls;
  try {
    settings = ReadServiceSettings(ini);
    // The certificate and key are read again even when their names stayed:
    // a renewed certificate is served to connections made from now on.
    if (settings.tls_port > 0) tls = std::make_shared<TlsContext>(settings.tls_certificate, settings.tls_key);
  } catch (const std::exception& e) {
    LogMessage(ExceptionMessage(e));
    LogMessage(kNotReloaded);
    return false;
  }
  const std::vector<std::string> need_restart = KeepWhatNeedsARestart(running_, settings);

  // Listeners and connections: a new front takes over the listening sockets
  // that stay and the waiting connections; the old one finishes what runs.
  const std::shared_ptr<TlsContext> running_tls = http_server.TlsContext();
  http_server.Bindings().clear();
  ConfigureServer(settings, std::move(tls));
  http_server.SetSessionTimeOut(settings.session_timeout);
  try {
    http_server.Restart(kReloadDrainMs);
  } catch (const std::exception& e) {
    // The server put its bindings back; the rest goes back here.
    ConfigureServer(running_, running_tls);
    http_server.SetSessionTimeOut(running_.session_timeout);
    LogMessage("Settings not reloaded: " + ExceptionMessage(e) +
               "; the server goes on with the settings it had");
    return false;
  }
  running_ = settings;

  // From here on each part stands on its own: one that fails stays as it was.
  try {
    admin_->Reconfigure(settings.admin_port, settings.admin_addresses);
  } catch (const std::exception& e) {
    LogMessage("[ADMIN] not reloaded: " + ExceptionMessage(e) + "; the admin port stays as it was");
  }
  try {
    if (settings.access_log != access_log_.Target()) access_log_.Open(settings.access_log);
  } catch (const std::exception& e) {
    LogMessage(ExceptionMessage(e) + "; the access log stays as it was");
  }
  ApplyInPlace(settings);
  const std::string database = DatabaseSettingsText(ini);
  if (database != database_settings_ && pool_) {
    // Page calls running now finish on their connections, which then close.
    pool_->RetireSessions();
    database_settings_ = database;
    std::string name = ini.ReadString("DB", "DBName", "");
    if (name.empty()) name = kBuiltInDatabasePath;
    Host().logger.LogInfo("Database settings changed: open connections close as their requests "
                          "end; new ones attach to " + name);
  }
  for (const std::string& text : need_restart) Host().logger.LogWarning(text);
  Host().logger.LogInfo(std::string(need_restart.empty() ? "Settings reloaded; "
                                                        : "Settings reloaded but for what needs a restart; ") +
                        StartLine());
  return true;
}

}  // namespace qv
