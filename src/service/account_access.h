// What the service's account could not use of what the settings name: an
// administrator checks the settings as root, whom the permission bits do not
// stop, while the service runs as its own account. Judged by the permission
// bits, every folder on the way included.
#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

namespace qv {

class IniFile;

struct ServiceAccount {
  std::string name;
  uid_t uid = 0;
  gid_t gid = 0;
};

// One line for each file the account cannot use, naming the settings file,
// section and key: the settings file itself, the logo in HtDocs, the TLS
// certificate and key (when the TLS listener is on), and a local database
// file (read and written by the embedded engine).
std::vector<std::string> AccountAccessProblems(const IniFile& ini, const ServiceAccount& account);

}  // namespace qv
