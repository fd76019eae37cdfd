// Writes the systemd unit of an installed server to a file: the text that
// "qvweb -install" writes, for the installed program and settings file.
//   print_unit UNIT_FILE PROGRAM SETTINGS_FILE
#include <fstream>
#include <iostream>

#include "service/qv_web_service.h"
#include "service/service_installer.h"

int main(int argc, char* argv[]) {
  if (argc != 4) {
    std::cerr << "usage: print_unit UNIT_FILE PROGRAM SETTINGS_FILE\n";
    return 2;
  }
  std::ofstream out(argv[1], std::ios::binary | std::ios::trunc);
  out << qv::ServiceUnitText({"qvweb", qv::kServiceDisplayName, argv[2], argv[3]});
  out.close();
  if (!out) {
    std::cerr << "print_unit: cannot write " << argv[1] << "\n";
    return 1;
  }
  return 0;
}
