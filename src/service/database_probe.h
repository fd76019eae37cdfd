// The smallest proof that a database answers: one trivial statement in a
// read-only transaction of its own, used by the health check and by -t.
#pragma once

#include <string>

namespace qv {

class DbConnection;

// Runs SELECT 1 FROM RDB$DATABASE on the (connected) connection; raises what
// the database layer raises.
void RunTrivialStatement(DbConnection& connection);

// A failure message on one line: its non-empty lines joined by "; " (database
// errors run over several lines).
std::string OneLine(const std::string& message);

}  // namespace qv
