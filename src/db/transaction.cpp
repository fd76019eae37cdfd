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

}  // namespace

TIB_Transaction::TIB_Transaction(TIB_Connection& connection) : connection_(connection) {
  connection_.transactions_.push_back(this);
}

TIB_Transaction::~TIB_Transaction() {
  if (!connectionGone_) {
    try {
      if (handle_ != 0) Commit();
    } catch (...) {
    }
    auto& list = connection_.transactions_;
    list.erase(std::remove(list.begin(), list.end(), this), list.end());
  }
  for (TIB_Statement* statement : statements_) {
    statement->TransactionEnding();
    statement->transactionGone_ = true;
  }
}

std::vector<uint8_t> TIB_Transaction::ParameterBlock() const {
  std::vector<uint8_t> block;
  block.push_back(isc_tpb_version3);
  block.push_back(readOnly_ ? isc_tpb_read : isc_tpb_write);
  switch (isolation_) {
    case TIB_Isolation::tiConcurrency: block.push_back(isc_tpb_concurrency); break;
    case TIB_Isolation::tiConsistency: block.push_back(isc_tpb_consistency); break;
    case TIB_Isolation::tiCommitted:
      block.push_back(isc_tpb_read_committed);
      block.push_back(recVersion_ ? isc_tpb_rec_version : isc_tpb_no_rec_version);
      break;
  }
  block.push_back(lockWait_ ? isc_tpb_wait : isc_tpb_nowait);
  if (serverAutoCommit_) block.push_back(isc_tpb_autocommit);
  return block;
}

void TIB_Transaction::StartPhysical() {
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

void TIB_Transaction::StartTransaction() {
  if (inTransaction_) throw EIB_Error("Transaction has already been started");
  if (serverAutoCommit_) throw EIB_Error("Explicit trans. not allowed with ServerAutoCommit");
  // An implicit transaction still open ends here, so the new one reads a fresh snapshot.
  if (handle_ != 0) Commit();
  StartPhysical();
  inTransaction_ = true;
}

void TIB_Transaction::EnsureStarted() {
  if (handle_ == 0) StartPhysical();
}

void TIB_Transaction::CloseCursors() {
  for (TIB_Statement* statement : statements_) statement->TransactionEnding();
}

void TIB_Transaction::Commit() {
  if (handle_ == 0) {
    inTransaction_ = false;
    return;
  }
  CloseCursors();
  ISC_STATUS_ARRAY status{};
  isc_tr_handle handle = handle_;
  QV_FB(isc_commit_transaction)(status, &handle);
  CheckStatus(status);
  handle_ = 0;
  inTransaction_ = false;
}

void TIB_Transaction::Rollback() {
  if (handle_ == 0) {
    inTransaction_ = false;
    return;
  }
  CloseCursors();
  ISC_STATUS_ARRAY status{};
  isc_tr_handle handle = handle_;
  QV_FB(isc_rollback_transaction)(status, &handle);
  handle_ = 0;
  inTransaction_ = false;
  CheckStatus(status);
}

void TIB_Transaction::EndForDetach() {
  if (handle_ == 0) {
    inTransaction_ = false;
    return;
  }
  CloseCursors();
  ISC_STATUS_ARRAY status{};
  isc_tr_handle handle = handle_;
  QV_FB(isc_commit_transaction)(status, &handle);
  if (status[0] == 1 && status[1] != 0) {
    ISC_STATUS_ARRAY ignored{};
    handle = handle_;
    QV_FB(isc_rollback_transaction)(ignored, &handle);
  }
  handle_ = 0;
  inTransaction_ = false;
}

}  // namespace qv
