// Statement handles: allocate and prepare, close, drop.
#include "db/statement_handle.h"

#include "db/client_library.h"
#include "db/errors.h"
#include "db/transaction.h"

namespace qv {

void StatementHandle::Prepare(DbConnection& connection, Transaction& transaction,
                               const std::string& text, void* out, std::string_view shown) {
  // The client reads the length as 16 bits: a longer text would be cut short.
  if (text.size() > 65535) throw DbError("Statement text too long");
  ISC_STATUS_ARRAY status{};
  if (handle_ == 0) {
    isc_db_handle database = connection.Handle();
    isc_stmt_handle handle = 0;
    QV_FB(isc_dsql_allocate_statement)(status, &database, &handle);
    CheckStatus(status, shown);
    handle_ = handle;
  }
  isc_tr_handle tr = transaction.Handle();
  isc_stmt_handle handle = handle_;
  QV_FB(isc_dsql_prepare)(status, &tr, &handle, static_cast<unsigned short>(text.size()),
                          text.c_str(), SQL_DIALECT_V6, static_cast<XSQLDA*>(out));
  CheckStatus(status, shown);
}

void StatementHandle::CloseCursor() {
  if (handle_ == 0) return;
  ISC_STATUS_ARRAY status{};
  isc_stmt_handle handle = handle_;
  QV_FB(isc_dsql_free_statement)(status, &handle, DSQL_close);
  CheckStatus(status);
}

void StatementHandle::Drop() noexcept {
  if (handle_ == 0) return;
  ISC_STATUS_ARRAY status{};
  isc_stmt_handle handle = handle_;
  QV_FB(isc_dsql_free_statement)(status, &handle, DSQL_drop);
  handle_ = 0;
}

}  // namespace qv
