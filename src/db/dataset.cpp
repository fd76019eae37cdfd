// Cursor: open, fetch forward, close, and the row count of a query.
#include <cstring>

#include "db/client_library.h"
#include "db/cursor.h"
#include "db/sql_text.h"

namespace qv {

Dataset::~Dataset() {
  if (connection_gone_ || transaction_gone_ || !connection_.Connected()) return;
  try {
    CloseForChange();
  } catch (...) {
  }
  FreeExtraHandles();
}

void Dataset::FreeExtraHandles() {
  count_.Drop();
  count_text_.clear();
}

void Dataset::Execute() {
  ExecuteStatement();
  executed_in_ = transaction_.Serial();
  params_changed_ = false;
  active_ = true;
  cursor_open_ = IsSelect();
  if (!cursor_open_) {
    // A single row of values or none: it is current right away.
    eof_ = fields_.ColumnCount() == 0;
    at_first_row_ = !eof_;
    return;
  }
  try {
    Fetch();
  } catch (...) {
    try {
      Close();
    } catch (const DbError&) {
      // The fetch's failure is the one raised; the cursor goes either way.
    }
    throw;
  }
  at_first_row_ = true;
}

void Dataset::Open() {
  if (active_) return;
  Prepare();
  Execute();
}

void Dataset::First() {
  // Right after Open the first row is current. A read-only snapshot gives the
  // same rows again for the same parameter values, so such a query is not run
  // a second time; any other transaction may see new rows, even its own.
  if (active_ && at_first_row_ && !params_changed_ && transaction_.ReadOnly() &&
      transaction_.Isolation() != IsolationLevel::kReadCommitted)
    return;
  Close();
  Open();
}

void Dataset::Fetch() {
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

void Dataset::Next() {
  if (eof_) throw DbError("At end of Dataset");
  at_first_row_ = false;
  if (!cursor_open_) {
    eof_ = true;
    fields_.SetAllNull();
    return;
  }
  Fetch();
}

void Dataset::Close() {
  if (!active_) return;
  active_ = false;
  eof_ = true;
  at_first_row_ = false;
  if (!cursor_open_) return;
  cursor_open_ = false;
  handle_.CloseCursor();
}

void Dataset::CloseForChange() { Close(); }

int32_t Dataset::RecordCount() {
  Prepare();
  transaction_.EnsureStarted();
  std::vector<std::string> names;
  std::string text = CountStatementText(ReplaceParameterNames(sql_.Text(), names));
  // One output value: the count, read as a 64-bit integer.
  alignas(XSQLDA) char area[XSQLDA_LENGTH(1)] = {};
  auto* out = reinterpret_cast<XSQLDA*>(area);
  out->version = SQLDA_VERSION1;
  out->sqln = 1;
  if (count_text_ != text) {
    count_text_.clear();
    count_.Prepare(connection_, transaction_, text, out, text);
    count_text_ = text;
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
  connection_.CountExecute();
  QV_FB(isc_dsql_execute)(status, &tr, &handle, SQLDA_VERSION1, in);
  CheckStatus(status, text);
  ISC_STATUS result = QV_FB(isc_dsql_fetch)(status, &handle, SQLDA_VERSION1, out);
  if (result != 0 && result != 100) {
    try {
      count_.CloseCursor();
    } catch (const DbError&) {
      // The fetch's failure is the one raised.
    }
    RaiseIscError(status, text);
  }
  count_.CloseCursor();
  if (result == 100 || indicator < 0) return 0;
  return static_cast<int32_t>(count);
}

Cursor::Cursor(DbConnection& connection, qv::Transaction& transaction)
    : Dataset(connection, transaction) {}

}  // namespace qv
