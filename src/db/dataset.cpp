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
  count_.Drop();
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
    } catch (const EIB_Error&) {
      // The fetch's failure is the one raised; the cursor goes either way.
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
  isc_stmt_handle handle = handle_.Get();
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
  handle_.CloseCursor();
}

void TIB_Dataset::CloseForChange() { Close(); }

int32_t TIB_Dataset::RecordCount() {
  Prepare();
  transaction_.EnsureStarted();
  std::vector<std::string> names;
  std::string text = CountStatementText(ReplaceParameterNames(sql_.Text(), names));
  // One output value: the count, read as a 64-bit integer.
  alignas(XSQLDA) char area[XSQLDA_LENGTH(1)] = {};
  auto* out = reinterpret_cast<XSQLDA*>(area);
  out->version = SQLDA_VERSION1;
  out->sqln = 1;
  if (countText_ != text) {
    countText_.clear();
    count_.Prepare(connection_, transaction_, text, out, text);
    countText_ = text;
  }
  ISC_STATUS_ARRAY status{};
  isc_tr_handle tr = transaction_.Handle();
  isc_stmt_handle handle = count_.Get();
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
  if (result != 0 && result != 100) {
    try {
      count_.CloseCursor();
    } catch (const EIB_Error&) {
      // The fetch's failure is the one raised.
    }
    RaiseIscError(status, text);
  }
  count_.CloseCursor();
  if (result == 100 || indicator < 0) return 0;
  return static_cast<int32_t>(count);
}

TIB_Cursor::TIB_Cursor(TIB_Connection& connection, TIB_Transaction& transaction)
    : TIB_Dataset(connection, transaction) {}

}  // namespace qv
