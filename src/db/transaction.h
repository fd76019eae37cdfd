// A transaction on one connection: its parameter block, start and commit, and
// the implicit transaction a cursor starts when none was started explicitly.
#pragma once

#include <cstdint>
#include <vector>

#include "db/connection.h"

namespace qv {

enum class IsolationLevel { kConcurrency, kConsistency, kReadCommitted };

class Transaction {
 public:
  explicit Transaction(DbConnection& connection);
  ~Transaction();  // commits a transaction still open; errors are swallowed
  Transaction(const Transaction&) = delete;
  Transaction& operator=(const Transaction&) = delete;

  DbConnection& Connection() const { return connection_; }

  void SetReadOnly(bool value) { read_only_ = value; }
  bool ReadOnly() const { return read_only_; }
  void SetIsolation(IsolationLevel value) { isolation_ = value; }
  IsolationLevel Isolation() const { return isolation_; }
  void SetLockWait(bool value) { lock_wait_ = value; }
  bool LockWait() const { return lock_wait_; }
  void SetRecVersion(bool value) { rec_version_ = value; }
  bool RecVersion() const { return rec_version_; }
  void SetServerAutoCommit(bool value) { server_auto_commit_ = value; }
  bool ServerAutoCommit() const { return server_auto_commit_; }

  // The bytes sent to the client library when the transaction starts.
  std::vector<uint8_t> ParameterBlock() const;

  // True from StartTransaction until the next Commit.
  bool InTransaction() const { return in_transaction_; }
  // True while a transaction is open on the server (explicit or implicit).
  bool Started() const { return handle_ != 0; }

  // Raises "Transaction has already been started" when InTransaction. An
  // implicit transaction still open is committed and a fresh one started.
  void StartTransaction();
  // Commits whatever is open (explicit or implicit); nothing when idle.
  void Commit();
  // Rolls back whatever is open; nothing when idle. The handle is given up
  // even when the server call fails (a lost attachment), and the failure raised.
  void Rollback();
  // Starts the implicit transaction when nothing is open yet (used by cursors).
  void EnsureStarted();

  // The transaction handle of the client library (0 while nothing is open).
  IscHandle& Handle() { return handle_; }
  // Counts the server transactions started: a value names one of them, so a
  // cursor can tell whether rows it holds belong to the transaction now open.
  uint64_t Serial() const { return serial_; }

 private:
  friend class Statement;
  friend class DbConnection;
  void StartPhysical();
  void CloseCursors();
  // Commits (true) or rolls back (false) what is open.
  void End(bool commit);
  // Ends an open transaction before the attachment goes away.
  void EndForDetach();

  DbConnection& connection_;
  bool read_only_ = false;
  IsolationLevel isolation_ = IsolationLevel::kConcurrency;
  bool lock_wait_ = false;
  bool rec_version_ = true;
  bool server_auto_commit_ = false;
  bool in_transaction_ = false;
  IscHandle handle_ = 0;
  uint64_t serial_ = 0;
  std::vector<Statement*> statements_;
  bool connection_gone_ = false;  // the connection was destroyed first
};

}  // namespace qv
