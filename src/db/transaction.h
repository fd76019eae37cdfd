// A transaction on one connection, as a scope: started when made, rolled back
// when it ends without a commit. Commit is explicit and raises its failure.
#pragma once

#include <cstdint>
#include <vector>

#include "db/connection.h"

namespace qv {

enum class IsolationLevel { kConcurrency, kConsistency, kReadCommitted };

// What a transaction may do and what it sees. Read committed reads record
// versions; no mode waits for locks.
struct TransactionMode {
  bool read_only = false;
  IsolationLevel isolation = IsolationLevel::kConcurrency;
};

// The bytes sent to the client library when a transaction of that mode starts.
std::vector<uint8_t> ParameterBlock(TransactionMode mode);

class Transaction {
 public:
  // Starts the transaction on the (attached) connection, which must outlive it.
  explicit Transaction(DbConnection& connection, TransactionMode mode = {});
  // Rolls back what is still open. Pages only read, so nothing is lost; a
  // writer that wants its work kept commits. A failure here is not raised
  // (the server ends the transaction with the attachment).
  ~Transaction();
  Transaction(const Transaction&) = delete;
  Transaction& operator=(const Transaction&) = delete;

  DbConnection& Connection() const { return connection_; }

  // Commits; raises what the server reports, the transaction then still open
  // (to be rolled back). Nothing when it has ended already.
  void Commit();
  // Commits, then starts a new transaction of the same mode in its place (a
  // bulk load that keeps its work in batches).
  void CommitAndRestart();
  // Rolls back; the transaction ends whatever the server says (a lost
  // attachment), and what it says is raised. Nothing when it has ended.
  void Rollback();
  // True until it is committed or rolled back.
  bool Open() const { return handle_ != 0; }

  // The transaction handle of the client library (0 once ended).
  IscHandle Handle() const { return handle_; }

 private:
  void Start();

  DbConnection& connection_;
  const TransactionMode mode_;
  IscHandle handle_ = 0;
};

}  // namespace qv
