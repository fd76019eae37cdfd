// A prepared statement that returns no rows (INSERT, UPDATE, DDL), for tools
// and test fixtures that fill a database; pages read through Cursor only.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "db/cursor.h"

namespace qv {

class SqlCommand : public Statement {
 public:
  SqlCommand(DbConnection& connection, qv::Transaction& transaction);
  SqlCommand(DbConnection& connection, qv::Transaction& transaction, std::string_view sql);
  // Prepares when needed and executes once with the current Params values.
  void Execute();
};

// Creates a database file (embedded when the path is local) and leaves it detached.
void CreateDatabase(const std::string& database_name, const std::string& user,
                    const std::string& password, int page_size = 8192,
                    const std::string& charset = "ISO8859_1");
// Switches synchronous page writes of a database on or off (attaches on its own,
// so no other attachment may be open). Bulk loads run much faster without them.
void SetForcedWrites(const std::string& database_name, const std::string& user,
                     const std::string& password, bool on);
// Runs one statement without preparing it for reuse, in the given transaction
// (the transaction is started when nothing is open).
void ExecuteImmediate(DbConnection& connection, qv::Transaction& transaction,
                      std::string_view sql);
// Splits a script into statements at ";" outside quotes and comments.
std::vector<std::string> SplitSqlScript(std::string_view script);
// Runs every statement of a script; commits after each DDL statement and at the end.
void ExecuteScript(DbConnection& connection, qv::Transaction& transaction,
                   std::string_view script);

}  // namespace qv
