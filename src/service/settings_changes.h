// What a reload finds changed between the settings the server runs with and
// those just read: what cannot change while it runs, and the database
// settings the pooled database sessions are made with.
#pragma once

#include <string>
#include <vector>

#include "service/service_settings.h"

namespace qv {

class IniFile;

// The keys of section "DB" that a database session reads when it is made
// (DBName, User, Pass, ConnectTimeout), as one text to compare.
std::string DatabaseSettingsText(const IniFile& ini);

// The settings of next that only a restart brings into force (sessions
// switched on or off, another session store), each as its section and key
// with what stays meanwhile; next keeps the running values for them.
std::vector<std::string> KeepWhatNeedsARestart(const ServiceSettings& running,
                                               ServiceSettings& next);

}  // namespace qv
