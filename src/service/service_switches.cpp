#include "service/service_switches.h"

namespace qv {

namespace {

char UpperAscii(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 32) : c; }

bool SameTextAscii(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (UpperAscii(a[i]) != UpperAscii(b[i])) return false;
  }
  return true;
}

}  // namespace

bool FindCmdLineSwitch(const std::vector<std::string_view>& args, std::string_view word) {
  for (std::string_view arg : args) {
    if (arg.size() > 1 && (arg[0] == '-' || arg[0] == '/') && SameTextAscii(arg.substr(1), word)) {
      return true;
    }
  }
  return false;
}

ServiceSwitches ParseServiceSwitches(const std::vector<std::string_view>& args) {
  ServiceSwitches switches;
  switches.install = FindCmdLineSwitch(args, "INSTALL");
  switches.uninstall = !switches.install && FindCmdLineSwitch(args, "UNINSTALL");
  switches.silent = FindCmdLineSwitch(args, "SILENT");
  return switches;
}

}  // namespace qv
