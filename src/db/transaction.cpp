// Transaction: parameter block, start, commit and rollback.
#include "db/transaction.h"

#include "db/client_library.h"

namespace qv {
namespace {

// One entry of the client's multi-database start call.
struct TransactionElement {
  isc_db_handle* database;
  long length;
  const char* block;
};

}  // namespace

std::vector<uint8_t> ParameterBlock(TransactionMode mode) {
  std::vector<uint8_t> block;
  block.push_back(isc_tpb_version3);
  block.push_back(mode.read_only ? isc_tpb_read : isc_tpb_write);
  switch (mode.isolation) {
    case IsolationLevel::kConcurrency: block.push_back(isc_tpb_concurrency); break;
    case IsolationLevel::kConsistency: block.push_back(isc_tpb_consistency); break;
    case IsolationLevel::kReadCommitted:
      block.push_back(isc_tpb_read_committed);
      block.push_back(isc_tpb_rec_version);
      break;
  }
  block.push_back(isc_tpb_nowait);
  return block;
}

Transaction::Transaction(DbConnection& connection, TransactionMode mode)
    : connection_(connection), mode_(mode) {
  Start();
}

void Transaction::Start() {
  const std::vector<uint8_t> block = ParameterBlock(mode_);
  isc_db_handle database = connection_.Handle();
  TransactionElement element{&database, static_cast<long>(block.size()),
                             reinterpret_cast<const char*>(block.data())};
  ISC_STATUS_ARRAY status{};
  isc_tr_handle handle = 0;
  QV_FB(isc_start_multiple)(status, &handle, 1, &element);
  CheckStatus(status);
  handle_ = handle;
}

Transaction::~Transaction() {
  try {
    Rollback();
  } catch (...) {
  }
}

void Transaction::Commit() {
  if (handle_ == 0) return;
  ISC_STATUS_ARRAY status{};
  isc_tr_handle handle = handle_;
  QV_FB(isc_commit_transaction)(status, &handle);
  CheckStatus(status);
  handle_ = 0;
}

void Transaction::CommitAndRestart() {
  Commit();
  Start();
}

void Transaction::Rollback() {
  if (handle_ == 0) return;
  ISC_STATUS_ARRAY status{};
  isc_tr_handle handle = handle_;
  handle_ = 0;
  QV_FB(isc_rollback_transaction)(status, &handle);
  CheckStatus(status);
}

}  // namespace qv
