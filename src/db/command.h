// Statements that return no rows (INSERT, UPDATE, DDL), for the tools and test
// fixtures that fill a database; pages read through DatabaseSession::Query.
#pragma once

#include <array>
#include <span>
#include <string>
#include <string_view>

#include "db/connection.h"
#include "db/prepared_statement.h"
#include "db/query.h"
#include "db/transaction.h"

namespace qv {

// One statement prepared once and run with new values each time, in the
// transaction given (which must outlive it). Text values are sent whole; a
// text for a BLOB parameter becomes a new BLOB.
class Command {
 public:
  Command(Transaction& transaction, std::string_view sql);

  template <typename... Values>
  void Run(const Values&... values) {
    const std::array<ParamValue, sizeof...(Values)> params{ParamValue(values)...};
    Run(std::span<const ParamValue>(params));
  }
  void Run(std::span<const ParamValue> values);

 private:
  Transaction& transaction_;
  PreparedStatement statement_;
};

// Creates a database file (embedded when the path is local) and leaves it detached.
void CreateDatabase(const std::string& database_name, const std::string& user,
                    const std::string& password, int page_size = 8192,
                    const std::string& charset = "ISO8859_1");
// Switches synchronous page writes of a database on or off (attaches on its own,
// so no other attachment may be open). Bulk loads run much faster without them.
void SetForcedWrites(const std::string& database_name, const std::string& user,
                     const std::string& password, bool on);
// Runs one statement without preparing it for reuse, in the transaction.
void ExecuteImmediate(Transaction& transaction, std::string_view sql);
// Runs every statement of a script, each DDL statement in a transaction of
// its own and the rest together, and commits.
void ExecuteScript(DbConnection& connection, std::string_view script);

}  // namespace qv
