#include "service/command_line.h"

#include "platform/profile.h"
#include "service/service_switches.h"

namespace qv {

namespace {

bool IsServiceSwitch(std::string_view arg) {
  for (std::string_view word : {"INSTALL", "UNINSTALL", "SILENT"}) {
    if (FindCmdLineSwitch({arg}, word)) return true;
  }
  return false;
}

}  // namespace

CommandLine ParseCommandLine(const std::vector<std::string_view>& args) {
  CommandLine line;
  bool help = false, version = false, check = false, print_config = false;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string_view arg = args[i];
    if (arg == "--help" || arg == "-h") {
      help = true;
    } else if (arg == "--version") {
      version = true;
    } else if (arg == "-t" || arg == "--check") {
      check = true;
    } else if (arg == "--print-config") {
      print_config = true;
    } else if (arg == "--settings-only") {
      line.settings_only = true;
    } else if (arg == "-c" || arg == "--config" || arg == "--pid-file") {
      if (i + 1 >= args.size() || args[i + 1].empty()) {
        line.mode = RunMode::Usage;
        line.error = "option " + std::string(arg) + " needs a file name";
        return line;
      }
      (arg == "--pid-file" ? line.pid_file : line.config_path) = std::string(args[++i]);
    } else if (arg.rfind("--config=", 0) == 0 && arg.size() > 9) {
      line.config_path = std::string(arg.substr(9));
    } else if (arg.rfind("--pid-file=", 0) == 0 && arg.size() > 11) {
      line.pid_file = std::string(arg.substr(11));
    } else if (!IsServiceSwitch(arg)) {
      line.mode = RunMode::Usage;
      line.error = "unknown argument \"" + std::string(arg) + "\"";
      return line;
    }
  }
  const ServiceSwitches switches = ParseServiceSwitches(args);
  line.silent = switches.silent;
  if (help)
    line.mode = RunMode::Help;
  else if (version)
    line.mode = RunMode::Version;
  else if (check)
    line.mode = RunMode::Check;
  else if (print_config)
    line.mode = RunMode::PrintConfig;
  else if (switches.install)
    line.mode = RunMode::Install;
  else if (switches.uninstall)
    line.mode = RunMode::Uninstall;
  if (line.settings_only && line.mode != RunMode::Check && line.mode != RunMode::Help) {
    line.mode = RunMode::Usage;
    line.error = "option --settings-only goes with -t";
  }
  return line;
}

std::string UsageText(std::string_view program) {
  const std::string p(program);
  return "Usage: " + p + " [-c FILE] [--pid-file FILE] [-install | -uninstall] [-silent]\n"
         "       " + p + " [-c FILE] -t [--settings-only] | --print-config\n"
         "       " + p + " --help | --version\n"
         "Serves the Quorvale property pages over HTTP until SIGTERM or SIGINT.\n"
         "  -c, --config FILE  read the settings from FILE (default: " + DefaultSettingsDescription() + ")\n"
         "  -t, --check        check the settings, the database and the logo, then exit\n"
         "                     (0: all well, 1: something is wrong)\n"
         "  --settings-only    with -t: check the settings without attaching the database\n"
         "                     (what the service runs before each start)\n"
         "  --print-config     print the settings in effect (defaults filled in, the\n"
         "                     password hidden) as a settings file, then exit\n"
         "  --pid-file FILE    write the server's process id to FILE while it runs\n"
         "  -install           install the systemd unit and enable it at boot\n"
         "  -uninstall         remove the systemd unit\n"
         "  -silent            with -install or -uninstall: no success message\n"
         "  --help             this text\n"
         "  --version          the program's and the Firebird client's versions\n"
         "Signals: SIGTERM/SIGINT stop, SIGHUP re-reads the settings, SIGUSR1 reopens\n"
         "the access log.\n";
}

std::string DefaultSettingsDescription() {
#ifdef QV_DEFAULT_SETTINGS_FILE
  return QV_DEFAULT_SETTINGS_FILE;
#else
  return "qvweb.ini beside the executable";
#endif
}

std::string DefaultSettingsFilePath() {
#ifdef QV_DEFAULT_SETTINGS_FILE
  return QV_DEFAULT_SETTINGS_FILE;
#else
  return ExecutableIniPath();
#endif
}

}  // namespace qv
