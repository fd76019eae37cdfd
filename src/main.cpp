// Entry point of the Quorvale Web Server: reads the command line, then prints
// usage or versions, checks the settings (-t) or prints them (--print-config),
// installs or uninstalls the service (-install, -uninstall, -silent) or runs
// it in the foreground until SIGTERM or SIGINT.
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <optional>
#include <string_view>
#include <vector>

#include "service/command_line.h"
#include "service/program_log.h"
#include "service/configuration_check.h"
#include "service/pid_file.h"
#include "service/qv_web_service.h"
#include "service/service.h"
#include "service/service_application.h"
#include "service/version.h"

namespace {

int Run(int argc, char* argv[]) {
  // Before any thread exists, so that every thread leaves the stop signals to
  // the service application.
  qv::ServiceApplication::BlockStopSignals();

  const std::vector<std::string_view> args(argv + 1, argv + argc);
  const qv::CommandLine command_line = qv::ParseCommandLine(args);
  switch (command_line.mode) {
    case qv::RunMode::Usage:
      std::cerr << "qvweb: " << command_line.error << "\n" << qv::UsageText();
      return 2;
    case qv::RunMode::Help:
      std::cout << qv::UsageText();
      return 0;
    case qv::RunMode::Version:
      std::cout << qv::VersionText();
      return 0;
    default:
      break;
  }

  const std::string ini_path = qv::SettingsFilePath(command_line.config_path);
  const bool named_file = !command_line.config_path.empty();
  if (command_line.mode == qv::RunMode::Check)
    return qv::CheckConfiguration(ini_path, named_file, !command_line.settings_only, std::cout);
  if (command_line.mode == qv::RunMode::PrintConfig)
    return qv::PrintConfiguration(ini_path, named_file, std::cout, std::cerr);

  qv::WebService service(qv::DefaultServiceHost(), ini_path);
  // A settings file the server cannot run with stops it before anything starts.
  if (command_line.mode == qv::RunMode::Service && !qv::ValidateSettingsAtStart(service, named_file))
    return 1;
  // Where tools without a service manager find the running server.
  std::optional<qv::PidFile> pid_file;
  if (command_line.mode == qv::RunMode::Service && !command_line.pid_file.empty()) {
    try {
      pid_file.emplace(command_line.pid_file);
    } catch (const std::exception& e) {
      service.Host().logger.LogMessage("PID file " + command_line.pid_file +
                                       " cannot be written: " + qv::ExceptionMessage(e));
      qv::ProgramLog::FlushAtExit();
      return 1;
    }
  }
  service.Create();

  qv::ServiceApplication application(service);
  application.SetSettingsPath(ini_path);
  const int result = application.Run(args);
  if (pid_file) pid_file->Remove();
  // The pool and its attachments end with the process: closing them one by
  // one could wait on a database that no longer answers, and calls a stop
  // abandoned may still be running. The log's last lines go out first, within
  // about half a second even when nobody reads standard error.
  qv::ProgramLog::FlushAtExit();
  std::fflush(nullptr);
  std::_Exit(result);
}

}  // namespace

int main(int argc, char* argv[]) {
  // Whatever escapes is reported as one line and ends the program with 1,
  // never with an abort.
  try {
    return Run(argc, argv);
  } catch (const std::exception& e) {
    std::cerr << "qvweb: " << qv::ExceptionMessage(e) << std::endl;
  } catch (...) {
    std::cerr << "qvweb: unexpected failure" << std::endl;
  }
  return 1;
}
