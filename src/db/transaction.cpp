// Transaction: parameter block, explicit and implicit start, commit.
#include "db/transaction.h"

#include <algorithm>

#include "db/client_library.h"
#include "db/cursor.h"

namespace qv {
namespace {

// One entry of the client's multi-database start call.
struct TransactionElement {
  isc_db_handle* database;
  long length;
  const char* block;
};

// The server's commit or rollback of an open transaction, its answer in
// status; true when it succeeded. The handle stays for the caller to give up.
bool AskServerToEnd(IscHandle open, bool commit, ISC_STATUS* status) {
  isc_tr_handle handle = open;
  if (commit) {
    QV_FB(isc_commit_transaction)(status, &handle);
  } else {
    QV_FB(isc_rollback_transaction)(status, &handle);
  }
  return !(status[0] == 1 && status[1] != 0);
}

}  // namespace

Transaction::Transaction(DbConnection& connection) : connection_(connection) {
  connection_.transactions_.push_back(this);
}

Transaction::~Transaction() {
  if (!connection_gone_) {
    try {
      if (handle_ != 0) Commit();
    } catch (...) {
    }
    auto& list = connection_.transactions_;
    list.erase(std::remove(list.begin(), list.end(), this), list.end());
  }
  for (Statement* statement : statements_) {
    statement->TransactionEnding();
    statement->transaction_gone_ = true;
  }
}

std::vector<uint8_t> Transaction::ParameterBlock() const {
  std::vector<uint8_t> block;
  block.push_back(isc_tpb_version3);
  block.push_back(read_only_ ? isc_tpb_read : isc_tpb_write);
  switch (isolation_) {
    case IsolationLevel::kConcurrency: block.push_back(isc_tpb_concurrency); break;
    case IsolationLevel::kConsistency: block.push_back(isc_tpb_consistency); break;
    case IsolationLevel::kReadCommitted:
      block.push_back(isc_tpb_read_committed);
      block.push_back(rec_version_ ? isc_tpb_rec_version : isc_tpb_no_rec_version);
      break;
  }
  block.push_back(lock_wait_ ? isc_tpb_wait : isc_tpb_nowait);
  if (server_auto_commit_) block.push_back(isc_tpb_autocommit);
  return block;
}

void Transaction::StartPhysical() {
  std::vector<uint8_t> block = ParameterBlock();
  isc_db_handle database = connection_.Handle();
  TransactionElement element{&database, static_cast<long>(block.size()),
                             reinterpret_cast<const char*>(block.data())};
  ISC_STATUS_ARRAY status{};
  isc_tr_handle handle = 0;
  QV_FB(isc_start_multiple)(status, &handle, 1, &element);
  CheckStatus(status);
  handle_ = handle;
  ++serial_;
}

void Transaction::StartTransaction() {
  if (in_transaction_) throw DbError("Transaction has already been started");
  if (server_auto_commit_) throw DbError("Explicit trans. not allowed with ServerAutoCommit");
  // An implicit transaction still open ends here, so the new one reads a fresh snapshot.
  if (handle_ != 0) Commit();
  StartPhysical();
  in_transaction_ = true;
}

void Transaction::EnsureStarted() {
  if (handle_ == 0) StartPhysical();
}

void Transaction::CloseCursors() {
  for (Statement* statement : statements_) statement->TransactionEnding();
}

void Transaction::Commit() { End(true); }

void Transaction::Rollback() { End(false); }

void Transaction::End(bool commit) {
  if (handle_ == 0) {
    in_transaction_ = false;
    return;
  }
  CloseCursors();
  ISC_STATUS_ARRAY status{};
  // A commit the server refuses leaves the transaction open, to be rolled
  // back; a rollback gives the handle up whatever the server says.
  if (AskServerToEnd(handle_, commit, status) || !commit) {
    handle_ = 0;
    in_transaction_ = false;
  }
  CheckStatus(status);
}

void Transaction::EndForDetach() {
  if (handle_ == 0) {
    in_transaction_ = false;
    return;
  }
  CloseCursors();
  ISC_STATUS_ARRAY status{};
  if (!AskServerToEnd(handle_, true, status)) {
    ISC_STATUS_ARRAY ignored{};
    AskServerToEnd(handle_, false, ignored);
  }
  handle_ = 0;
  in_transaction_ = false;
}

}  // namespace qv
