// The program's run step: install or uninstall the service when a switch asks
// for it, otherwise run the service in the foreground until SIGTERM or SIGINT.
#pragma once

#include <iostream>
#include <string>
#include <string_view>
#include <vector>

#include "service/service_installer.h"

namespace qv {

class Service;

class ServiceApplication {
 public:
  ServiceApplication(Service& service, ServiceInstaller installer = ServiceInstaller(),
                      std::ostream& out = std::cout, std::ostream& err = std::cerr);

  // Blocks the stop signals, SIGHUP and SIGUSR1 in the calling thread and
  // every thread it starts later, and ignores SIGPIPE. Call first thing in main, before any thread.
  static void BlockStopSignals();

  // The executable the installed service runs (the running program by default).
  void SetBinaryPath(std::string path) { binary_path_ = std::move(path); }
  // The settings file the installed service is told to read (-c); empty: the
  // one beside the executable.
  void SetSettingsPath(std::string path) { settings_path_ = std::move(path); }

  // Acts on the program arguments (without the program name); the result is the
  // process's exit status.
  int Run(const std::vector<std::string_view>& args);

  // Installs or uninstalls the service; prints the result. 0 on success.
  int Install(bool silent);
  int Uninstall(bool silent);

  // Runs the service until a stop signal ends it, or until its start fails;
  // meanwhile pooled sessions report their failures to the application log.
  // 0 after a clean stop, 1 when the service did not start.
  int RunService();

 private:
  Service& service_;
  ServiceInstaller installer_;
  std::ostream& out_;
  std::ostream& err_;
  std::string binary_path_;
  std::string settings_path_;
};

}  // namespace qv
