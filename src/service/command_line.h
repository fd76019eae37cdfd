// The program's command line: the service switches ("-" or "/" and a word, case
// ignored) and the operator's options (--help, --version, -t, --print-config,
// -c FILE).
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace qv {

enum class RunMode {
  Service,    // run in the foreground until SIGTERM or SIGINT
  Install,    // -install
  Uninstall,  // -uninstall
  Help,       // --help: usage on standard output
  Version,    // --version
  Check,      // -t / --check: validate the settings and the database, then exit
  PrintConfig,  // --print-config: the effective settings on standard output
  Usage,      // an argument not understood: usage on standard error, exit 2
};

struct CommandLine {
  RunMode mode = RunMode::Service;
  bool silent = false;     // -silent: no success message
  std::string config_path;  // -c FILE / --config FILE; empty: the default settings file
  bool settings_only = false;  // -t --settings-only: the database is not attached
  std::string pid_file;    // --pid-file FILE: the running server's process id is kept there
  std::string error;       // what was not understood (mode Usage)
};

// Reads the program arguments (without the program name).
CommandLine ParseCommandLine(const std::vector<std::string_view>& args);

// The usage text, ending with a line break.
std::string UsageText(std::string_view program = "qvweb");

// The settings file read without -c: the one the build names (the Debian
// package's /etc/quorvale/qvweb.ini), else qvweb.ini beside the executable.
std::string DefaultSettingsFilePath();
// The same as the usage text says it.
std::string DefaultSettingsDescription();

}  // namespace qv
