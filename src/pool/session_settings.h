// A new database session set up from section "DB" of the settings file: the
// database, the user name and password, and how long an attach may take.
#pragma once

#include <memory>
#include <string>

#include "db/database_session.h"
#include "platform/error_sink.h"

namespace qv {

// Seconds an attach may take when [DB] ConnectTimeout is not set.
inline constexpr int kDefaultConnectTimeout = 10;

// Not attached yet. DBName (empty keeps the built-in path), User and Pass
// as given; ConnectTimeout in seconds (default 10). A value that cannot be
// applied is reported to `errors` and the rest still is.
std::unique_ptr<DatabaseSession> NewDatabaseSession(const std::string& ini_path,
                                                    ErrorSink& errors);

}  // namespace qv
