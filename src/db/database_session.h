// One database connection with its read-only read-committed transaction and
// the statements run on it, each prepared once for its fixed text: the unit a pool
// place holds and a page runs its queries on.
#pragma once

#include <functional>
#include <memory>
#include <string_view>
#include <unordered_map>

#include "db/connection.h"
#include "db/cursor.h"
#include "db/transaction.h"

namespace qv {

// The database a session attaches to when the settings name none.
inline constexpr const char* kBuiltInDatabasePath = "/var/lib/quorvale/qvmain.gdb";

// A fixed statement text, its lines separated by line feeds. Values reach it
// only as parameters, so a session keeps one cursor per text (one object for
// the whole program: the cursor is found by the text's address).
struct StatementText {
  std::string_view lines;
};

class DatabaseSession {
 public:
  // Not attached; the connection names the built-in database path and the
  // transaction is read-only and read committed (record versions, no wait):
  // it holds no snapshot, so it may stay open between pages.
  DatabaseSession();
  // Commits a transaction still open and detaches; failures are swallowed
  // (an owner that wants them told ends both itself first).
  ~DatabaseSession();
  DatabaseSession(const DatabaseSession&) = delete;
  DatabaseSession& operator=(const DatabaseSession&) = delete;

  DbConnection& Connection() { return connection_; }
  qv::Transaction& Transaction() { return transaction_; }

  // The session's cursor for a fixed text, made on first use. It is prepared
  // when it first opens and stays prepared across pages while the session
  // stays attached; a new attachment prepares it again.
  Cursor& Statement(const StatementText& text);
  // Calls `visit` for every statement the session has made so far.
  void ForEachStatement(const std::function<void(Cursor&)>& visit);

 private:
  // Declared in the order they are built; the statements go first.
  DbConnection connection_;
  qv::Transaction transaction_;
  std::unordered_map<const StatementText*, std::unique_ptr<Cursor>> statements_;
};

}  // namespace qv
