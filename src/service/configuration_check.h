// What the program checks before it runs: the settings file's values at start
// (errors stop the start, warnings are logged), and the operator's -t check,
// which also attaches to the database and looks for the logo.
#pragma once

#include <ostream>
#include <string>

namespace qv {

class TqvWebService;

// The settings file: configPath made absolute, or qvweb.ini beside the
// executable when configPath is empty.
std::string SettingsFilePath(const std::string& configPath);

// Checks the service's settings file and logs every finding (errors as error
// events, the rest as warnings). False when the server must not start; a
// settings file named on the command line must exist.
bool ValidateSettingsAtStart(const TqvWebService& service, bool namedOnCommandLine);

// The -t check: one line per finding on out, then a summary line. Returns the
// exit status: 0 when all is well, 1 otherwise.
int CheckConfiguration(const std::string& iniPath, std::ostream& out);

}  // namespace qv
