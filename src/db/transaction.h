// A transaction on one connection: its parameter block, start and commit, and
// the implicit transaction a cursor starts when none was started explicitly.
#pragma once

#include <cstdint>
#include <vector>

#include "db/connection.h"

namespace qv {

enum class TIB_Isolation { tiConcurrency, tiConsistency, tiCommitted };

class TIB_Transaction {
 public:
  explicit TIB_Transaction(TIB_Connection& connection);
  ~TIB_Transaction();  // commits a transaction still open; errors are swallowed
  TIB_Transaction(const TIB_Transaction&) = delete;
  TIB_Transaction& operator=(const TIB_Transaction&) = delete;

  TIB_Connection& Connection() const { return connection_; }

  void SetReadOnly(bool value) { readOnly_ = value; }
  bool ReadOnly() const { return readOnly_; }
  void SetIsolation(TIB_Isolation value) { isolation_ = value; }
  TIB_Isolation Isolation() const { return isolation_; }
  void SetLockWait(bool value) { lockWait_ = value; }
  bool LockWait() const { return lockWait_; }
  void SetRecVersion(bool value) { recVersion_ = value; }
  bool RecVersion() const { return recVersion_; }
  void SetServerAutoCommit(bool value) { serverAutoCommit_ = value; }
  bool ServerAutoCommit() const { return serverAutoCommit_; }

  // The bytes sent to the client library when the transaction starts.
  std::vector<uint8_t> ParameterBlock() const;

  // True from StartTransaction until the next Commit.
  bool InTransaction() const { return inTransaction_; }
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
  friend class TIB_Statement;
  friend class TIB_Connection;
  void StartPhysical();
  void CloseCursors();
  // Ends an open transaction before the attachment goes away.
  void EndForDetach();

  TIB_Connection& connection_;
  bool readOnly_ = false;
  TIB_Isolation isolation_ = TIB_Isolation::tiConcurrency;
  bool lockWait_ = false;
  bool recVersion_ = true;
  bool serverAutoCommit_ = false;
  bool inTransaction_ = false;
  IscHandle handle_ = 0;
  uint64_t serial_ = 0;
  std::vector<TIB_Statement*> statements_;
  bool connectionGone_ = false;  // the connection was destroyed first
};

}  // namespace qv
