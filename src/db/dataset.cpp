// Cursor: open, fetch forward, close, and the row count of a query.
#include <cstring>

#include "db/client_library.h"
#include "db/cursor.h"
#include "db/sql_text.h"

namespace qv {

TIB_Dataset::~TIB_Dataset() {
  if (connectionGone_ || transactionGone_ || !connection_.Connected()) return;
  try {
    CloseForChange();
  } catch (...) {
  }
  FreeExtraHandles();
}

void TIB_Dataset::FreeExtraHandles() {
  if (countHandle_ == 0) return;
  ISC_STATUS_ARRAY status{};
  isc_stmt_handle handle = countHandle_;
  QV_FB(isc_dsql_free_statement)(status, &handle, DSQL_drop);
  countHandle_ = 0;
  countText_.clear();
}

void TIB_Dataset::Execute() {
  ExecuteStatement();
  executedIn_ = transaction_.Serial();
  paramsChanged_ = false;
  active_ = true;
  cursorOpen_ = IsSelect();
  if (!cursorOpen_) {
    // A single row of values or none: it is current right away.
    eof_ = fields_.ColumnCount() == 0;
    atFirstRow_ = !eof_;
    return;
  }
  try {
    Fetch();
  } catch (...) {
    try {
      Close();
    } catch (...) {
    }
    throw;
  }
  atFirstRow_ = true;
}

void TIB_Dataset::Open() {
  if (active_) return;
  Prepare();
  Execute();
}

void TIB_Dataset::First() {
  // Right after Open the first row is current. A read-only snapshot gives the
  // same rows again for the same parameter values, so such a query is not run
  // a second time; any other transaction may see new rows, even its own.
  if (active_ && atFirstRow_ && !paramsChanged_ && transaction_.ReadOnly() &&
      transaction_.Isolation() != TIB_Isolation::tiCommitted)
    return;
  Close();
  Open();
}

void TIB_Dataset::Fetch() {
  ISC_STATUS_ARRAY status{};
  isc_stmt_handle handle = handle_;
  ISC_STATUS result = QV_FB(isc_dsql_fetch)(status, &handle, SQLDA_VERSION1,
                                            reinterpret_cast<XSQLDA*>(fields_.descriptor_.get()));
  if (result == 100) {
    eof_ = true;
    fields_.SetAllNull();
    return;
  }
  CheckStatus(status, sql_.Text());
  eof_ = false;
}

void TIB_Dataset::Next() {
  if (eof_) throw EIB_Error("At end of Dataset");
  atFirstRow_ = false;
  if (!cursorOpen_) {
    eof_ = true;
    fields_.SetAllNull();
    return;
  }
  Fetch();
}

void TIB_Dataset::Close() {
  if (!active_) return;
  active_ = false;
  eof_ = true;
  atFirstRow_ = false;
  if (!cursorOpen_) return;
  cursorOpen_ = false;
  ISC_STATUS_ARRAY status{};
  isc_stmt_handle handle = handle_;
  QV_FB(isc_dsql_free_statement)(status, &handle, DSQL_close);
  CheckStatus(status);
}

void TIB_Dataset::CloseForChange() { Close(); }

int32_t TIB_Dataset::RecordCount() {
  Prepare();
  transaction_.EnsureStarted();
  std::vector<std::string> names;
  std::string text = CountStatementText(ReplaceParameterNames(sql_.Text(), names));
  // The client reads the length as 16 bits: a longer text would be cut short.
  if (text.size() > 65535) throw EIB_Error("Statement text too long");
  ISC_STATUS_ARRAY status{};
  isc_db_handle database = connection_.Handle();
  isc_tr_handle tr = transaction_.Handle();
  if (countHandle_ == 0) {
    isc_stmt_handle handle = 0;
    QV_FB(isc_dsql_allocate_statement)(status, &database, &handle);
    CheckStatus(status, text);
    countHandle_ = handle;
    countText_.clear();
  }
  isc_stmt_handle handle = countHandle_;
  // One output value: the count, read as a 64-bit integer.
  alignas(XSQLDA) char area[XSQLDA_LENGTH(1)] = {};
  auto* out = reinterpret_cast<XSQLDA*>(area);
  out->version = SQLDA_VERSION1;
  out->sqln = 1;
  if (countText_ != text) {
    countText_.clear();
    QV_FB(isc_dsql_prepare)(status, &tr, &handle, static_cast<unsigned short>(text.size()),
                            text.c_str(), SQL_DIALECT_V6, out);
    CheckStatus(status, text);
    countText_ = text;
  }
  int64_t count = 0;
  int16_t indicator = 0;
  out->sqld = 1;
  out->sqlvar[0].sqltype = SQL_INT64 + 1;
  out->sqlvar[0].sqlscale = 0;
  out->sqlvar[0].sqllen = sizeof count;
  out->sqlvar[0].sqldata = reinterpret_cast<char*>(&count);
  out->sqlvar[0].sqlind = &indicator;
  XSQLDA* in = params_.ColumnCount() == 0 ? nullptr
                                          : reinterpret_cast<XSQLDA*>(params_.descriptor_.get());
  QV_FB(isc_dsql_execute)(status, &tr, &handle, SQLDA_VERSION1, in);
  CheckStatus(status, text);
  ISC_STATUS result = QV_FB(isc_dsql_fetch)(status, &handle, SQLDA_VERSION1, out);
  ISC_STATUS_ARRAY closeStatus{};
  if (result != 0 && result != 100) {
    QV_FB(isc_dsql_free_statement)(closeStatus, &handle, DSQL_close);
    RaiseIscError(status, text);
  }
  QV_FB(isc_dsql_free_statement)(closeStatus, &handle, DSQL_close);
  CheckStatus(closeStatus, text);
  if (result == 100 || indicator < 0) return 0;
  return static_cast<int32_t>(count);
}

TIB_Cursor::TIB_Cursor(TIB_Connection& connection, TIB_Transaction& transaction)
    : TIB_Dataset(connection, transaction) {}

}  // namespace qv
