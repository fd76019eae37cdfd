// The program's command-line switches: a word after "-" or "/", case ignored.
#pragma once

#include <string_view>
#include <vector>

namespace qv {

struct ServiceSwitches {
  bool install = false;    // "INSTALL": install the service
  bool uninstall = false;  // "UNINSTALL": remove it (ignored when Install is given)
  bool silent = false;     // "SILENT": no success message
};

// True when one of the arguments is "-" or "/" followed by the switch word.
bool FindCmdLineSwitch(const std::vector<std::string_view>& args, std::string_view word);

// Reads the switches from the program arguments (without the program name).
ServiceSwitches ParseServiceSwitches(const std::vector<std::string_view>& args);

}  // namespace qv
