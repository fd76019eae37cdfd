// Entry point of the Quorvale Web Server: creates the service object, then
// installs or uninstalls the service (-install, -uninstall, -silent) or runs it
// in the foreground until SIGTERM or SIGINT.
#include <cstdio>
#include <cstdlib>
#include <string_view>
#include <vector>

#include "service/qv_web_service.h"
#include "service/service_application.h"

int main(int argc, char* argv[]) {
  // Before any thread exists, so that every thread leaves the stop signals to
  // the service application.
  qv::TServiceApplication::BlockStopSignals();

  qv::TqvWebService service;
  service.Create();

  std::vector<std::string_view> args(argv + 1, argv + argc);
  qv::TServiceApplication application(service);
  const int result = application.Run(args);
  // The pool and its attachments end with the process: closing them one by
  // one could wait on a database that no longer answers, and calls a stop
  // abandoned may still be running.
  std::fflush(nullptr);
  std::_Exit(result);
}
