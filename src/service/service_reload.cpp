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

bool TqvWebService::Reload() {
  const TIniFile ini(iniPath_);
  // A file gone since the start is no reason to fall back to the defaults.
  const std::vector<TSettingsFinding> findings = CheckSettings(ini, true);
  for (const TSettingsFinding& finding : findings) {
    if (finding.Error)
      LogMessage(finding.Text);
    else
      Host().Logger.LogWarning(finding.Text);
  }
  if (HasErrors(findings)) {
    LogMessage(kNotReloaded);
    return false;
  }
  TServiceSettings settings;
  std::shared_ptr<TTlsContext> tls;
  try {
    settings = ReadServiceSettings(ini);
    // The certificate and key are read again even when their names stayed:
    // a renewed certificate is served to connections made from now on.
    if (settings.TlsPort > 0) tls = std::make_shared<TTlsContext>(settings.TlsCertificate, settings.TlsKey);
  } catch (const std::exception& e) {
    LogMessage(ExceptionMessage(e));
    LogMessage(kNotReloaded);
    return false;
  }
  const std::vector<std::string> needRestart = KeepWhatNeedsARestart(running_, settings);

  // Listeners and connections: a new front takes over the listening sockets
  // that stay and the waiting connections; the old one finishes what runs.
  const std::shared_ptr<TTlsContext> runningTls = Server1.TlsContext();
  Server1.Bindings().clear();
  ConfigureServer(settings, std::move(tls));
  Server1.SetSessionTimeOut(settings.SessionTimeOut);
  try {
    Server1.Restart(kReloadDrainMs);
  } catch (const std::exception& e) {
    // The server put its bindings back; the rest goes back here.
    ConfigureServer(running_, runningTls);
    Server1.SetSessionTimeOut(running_.SessionTimeOut);
    LogMessage("Settings not reloaded: " + ExceptionMessage(e) +
               "; the server goes on with the settings it had");
    return false;
  }
  running_ = settings;

  // From here on each part stands on its own: one that fails stays as it was.
  try {
    admin_->Reconfigure(settings.AdminPort, settings.AdminAddresses);
  } catch (const std::exception& e) {
    LogMessage("[ADMIN] not reloaded: " + ExceptionMessage(e) + "; the admin port stays as it was");
  }
  try {
    if (settings.AccessLog != accessLog_.Target()) accessLog_.Open(settings.AccessLog);
  } catch (const std::exception& e) {
    LogMessage(ExceptionMessage(e) + "; the access log stays as it was");
  }
  ApplyInPlace(settings);
  const std::string database = DatabaseSettingsText(ini);
  if (database != databaseSettings_ && pool_) {
    // Page calls running now finish on their connections, which then close.
    pool_->RetireSessions();
    databaseSettings_ = database;
    std::string name = ini.ReadString("DB", "DBName", "");
    if (name.empty()) name = kBuiltInDatabasePath;
    Host().Logger.LogInfo("Database settings changed: open connections close as their requests "
                          "end; new ones attach to " + name);
  }
  for (const std::string& text : needRestart) Host().Logger.LogWarning(text);
  Host().Logger.LogInfo(std::string(needRestart.empty() ? "Settings reloaded; "
                                                        : "Settings reloaded but for what needs a restart; ") +
                        StartLine());
  return true;
}

}  // namespace qv
