// What the program checks before it runs: the settings file at start (errors
// stop the start, warnings are logged), the operator's -t check, which fails on
// any finding and also attaches to the database, and --print-config.
#pragma once

#include <ostream>
#include <string>

namespace qv {

class WebService;

// The settings file: config_path made absolute, or qvweb.ini beside the
// executable when config_path is empty.
std::string SettingsFilePath(const std::string& config_path);

// Checks the service's settings file and logs every finding (errors as error
// events, the rest as warnings). False when the server must not start.
// named_on_command_line: the file was given with -c, so it must exist.
bool ValidateSettingsAtStart(const WebService& service, bool named_on_command_line);

// The -t check: one line per finding on out ("error: " and the text the start
// would log), run as root also what the service's account cannot read, the
// logo, the database (when attach_database), then a summary line. Returns
// the exit status: 0 when all is well, 1 otherwise. A settings file that
// cannot be read ends the check at once. The embedded database of a server
// that runs cannot be attached: that is said and does not fail the check.
int CheckConfiguration(const std::string& ini_path, bool named_on_command_line, bool attach_database,
                       std::ostream& out);

// --print-config: the effective settings on out; findings on err ("error: " or
// "warning: "). Returns 1 when the settings have errors (nothing is printed
// then), else 0.
int PrintConfiguration(const std::string& ini_path, bool named_on_command_line, std::ostream& out,
                       std::ostream& err);

}  // namespace qv
