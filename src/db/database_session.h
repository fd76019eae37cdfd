// One database connection, the transaction its queries run in, and one
// prepared statement per statement text: the unit a pool place holds and a
// page runs its queries on. The session owns all three; nothing points back.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "db/connection.h"
#include "db/cursor.h"
#include "db/prepared_statement.h"
#include "db/query.h"
#include "db/transaction.h"

namespace qv {

// The database a session attaches to when the settings name none.
inline constexpr const char* kBuiltInDatabasePath = "/var/lib/quorvale/qvmain.gdb";

// The transaction of a session's queries: read-only and read committed. It
// holds no snapshot (each statement reads what is committed when it runs),
// the engine counts it neither as an active transaction nor as one that
// keeps old record versions, and so it may stay open from page to page.
inline constexpr TransactionMode kSessionTransaction{true, IsolationLevel::kReadCommitted};

class DatabaseSession {
 public:
  // Not attached; the connection names the built-in database path.
  DatabaseSession();
  // Ends what is open and detaches; failures are swallowed (an owner that
  // wants them told calls Detach first).
  ~DatabaseSession();
  DatabaseSession(const DatabaseSession&) = delete;
  DatabaseSession& operator=(const DatabaseSession&) = delete;

  // The connection's settings are made before Attach; other threads may ask
  // it to cancel a call (DbConnection::CancelOperation).
  DbConnection& Connection() { return connection_; }
  void Attach() { connection_.Connect(); }
  // Rolls back the transaction and detaches; the statements are prepared
  // again on the next attachment.
  // Raises the first failure; the session is detached afterwards all the same.
  void Detach();
  bool Attached() const { return connection_.Connected(); }

  // Runs the query with the values as its parameters, in order, and returns
  // its cursor on the first row. The statement is prepared once per text and
  // attachment; the transaction starts when none is open. A text value that
  // cannot fit its parameter is sent as NULL, which matches nothing. One
  // cursor per text may be open at a time.
  template <ColumnList Column, typename... Values>
  Cursor<Column> Query(const QueryText<Column>& query, const Values&... values) {
    const std::array<ParamValue, sizeof...(Values)> params{ParamValue(values)...};
    return Query(query, std::span<const ParamValue>(params));
  }
  template <ColumnList Column>
  Cursor<Column> Query(const QueryText<Column>& query, std::span<const ParamValue> values) {
    return Cursor<Column>(Run(query.sql, values, query.names, kColumnCount<Column>));
  }
  // A query whose columns are read by their described positions.
  RowCursor QueryRows(std::string_view sql, std::span<const ParamValue> values = {}) {
    return Run(sql, values, {}, 0);
  }

  // Ends the transaction the queries run in. Commit raises what the server
  // reports (the transaction then stays open); Rollback ends it whatever the
  // server says and raises what it says. Nothing when none is open.
  void Commit();
  void Rollback();
  bool InTransaction() const { return transaction_.has_value(); }

  // The server's plan of a text, prepared in the session's transaction.
  std::string Plan(std::string_view sql);
  // The plan of the statement the session runs for the query: prepared as
  // Query prepares it (once per text and attachment) and kept for it.
  template <ColumnList Column>
  std::string QueryPlan(const QueryText<Column>& query) {
    return PreparedPlan(query.sql, query.names, kColumnCount<Column>);
  }
  // What the session has prepared so far: each text and its parameters' SQL types.
  struct PreparedText {
    std::string_view text;
    std::vector<int16_t> parameter_types;
  };
  std::vector<PreparedText> PreparedTexts() const;
  // What the session has asked of the server: statements prepared and executed.
  struct StatementCounts {
    uint64_t prepared = 0;
    uint64_t executed = 0;
  };
  StatementCounts Counts() const;

 private:
  RowCursor Run(std::string_view sql, std::span<const ParamValue> values,
                std::span<const std::string_view> names, size_t count);
  PreparedStatement& Statement(std::string_view sql);
  std::string PreparedPlan(std::string_view sql, std::span<const std::string_view> names,
                           size_t count);
  Transaction& OpenTransaction();
  void CloseCursors() noexcept;

  // Declared in the order they are built; the statements and the
  // transaction go before the connection.
  DbConnection connection_;
  std::optional<Transaction> transaction_;
  // Keyed by a view of the statement's own copy of its text.
  std::unordered_map<std::string_view, std::unique_ptr<PreparedStatement>> statements_;
};

}  // namespace qv
