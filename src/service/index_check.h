// The indexes the pages rely on, checked against the database's own list:
// a page whose look-up has no index reads a whole table for every visitor.
#pragma once

#include <ostream>

namespace qv {

class DbConnection;

// Writes one "warning:" line for each index the pages need that the
// (connected) database lacks, naming the table, the columns and what would
// read the whole table; writes nothing when all are there. Raises what the
// database layer raises.
void WarnMissingIndexes(DbConnection& connection, std::ostream& out);

}  // namespace qv
