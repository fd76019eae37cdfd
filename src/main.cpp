// Entry point of the Quorvale Web Server: creates the service object, then
// installs or uninstalls the service (-install, -uninstall, -silent) or runs it
// in the foreground until SIGTERM or SIGINT.
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
  return application.Run(args);
}
