// Statement: prepare and describe through the client library, the row
// buffers of Fields and Params, execution.
#include <algorithm>
#include <cstring>

#include "db/client_library.h"
#include "db/cursor.h"
#include "db/sql_text.h"

namespace qv {
namespace {

constexpr int kDialect = SQL_DIALECT_V6;
constexpr short kInitialColumns = 24;

XSQLDA* Descriptor(std::unique_ptr<char[]>& storage) {
  return reinterpret_cast<XSQLDA*>(storage.get());
}

// Makes room for n variables in a row's descriptor area.
XSQLDA* ReserveDescriptor(std::unique_ptr<char[]>& storage, short n) {
  XSQLDA* current = Descriptor(storage);
  if (current == nullptr || current->sqln < n) {
    short room = std::max(n, kInitialColumns);
    storage = std::make_unique<char[]>(XSQLDA_LENGTH(room));
    current = Descriptor(storage);
    std::memset(current, 0, XSQLDA_LENGTH(room));
    current->sqln = room;
  }
  current->version = SQLDA_VERSION1;
  return current;
}

std::unique_ptr<Column> MakeColumn(Statement& statement, ColumnInfo info) {
  switch (info.sql_type) {
    case SQL_TEXT:
      return std::make_unique<TextColumn>(statement, std::move(info));
    case SQL_VARYING:
      return std::make_unique<VarTextColumn>(statement, std::move(info));
    case SQL_SHORT:
      if (info.scale < 0) return std::make_unique<NumericColumn>(statement, std::move(info));
      return std::make_unique<SmallIntColumn>(statement, std::move(info));
    case SQL_LONG:
      if (info.scale < 0) return std::make_unique<NumericColumn>(statement, std::move(info));
      return std::make_unique<IntegerColumn>(statement, std::move(info));
    case SQL_INT64:
      return std::make_unique<NumericColumn>(statement, std::move(info));
    case SQL_FLOAT:
      return std::make_unique<FloatColumn>(statement, std::move(info));
    case SQL_DOUBLE:
    case SQL_D_FLOAT:
      return std::make_unique<DoubleColumn>(statement, std::move(info));
    case SQL_TYPE_DATE:
      return std::make_unique<DateColumn>(statement, std::move(info));
    case SQL_TYPE_TIME:
      return std::make_unique<TimeColumn>(statement, std::move(info));
    case SQL_TIMESTAMP:
      return std::make_unique<TimestampColumn>(statement, std::move(info));
    case SQL_BLOB:
      if (info.sub_type == 1) return std::make_unique<MemoColumn>(statement, std::move(info));
      return std::make_unique<BlobColumn>(statement, std::move(info));
    default:
      return std::make_unique<Column>(statement, std::move(info));
  }
}

size_t ValueSize(const XSQLVAR& var) {
  int type = var.sqltype & ~1;
  if (type == SQL_VARYING) return static_cast<size_t>(var.sqllen) + 2;
  if (type == SQL_NULL) return 0;
  return static_cast<size_t>(var.sqllen);
}

}  // namespace

Statement::Statement(DbConnection& connection, qv::Transaction& transaction)
    : connection_(connection), transaction_(transaction) {
  connection_.statements_.push_back(this);
  transaction_.statements_.push_back(this);
  sql_.SetOnChange([this] { Unprepare(); });
}

Statement::~Statement() {
  if (!connection_gone_) {
    if (connection_.Connected()) {
      try {
        FreeHandle();
      } catch (...) {
      }
    }
    auto& own = connection_.statements_;
    own.erase(std::remove(own.begin(), own.end(), this), own.end());
  }
  if (!transaction_gone_) {
    auto& in_transaction = transaction_.statements_;
    in_transaction.erase(std::remove(in_transaction.begin(), in_transaction.end(), this),
                        in_transaction.end());
  }
}

void Statement::FreeHandle() {
  prepared_ = false;
  handle_.Drop();
}

bool Statement::IsSelect() const {
  return statement_type_ == isc_info_sql_stmt_select ||
         statement_type_ == isc_info_sql_stmt_select_for_upd;
}

void Statement::Prepare() {
  if (prepared_) return;
  std::vector<std::string> names;
  std::string sql = sql_.Text();
  text_ = ReplaceParameterNames(sql, names);
  transaction_.EnsureStarted();
  XSQLDA* out = ReserveDescriptor(fields_.descriptor_, kInitialColumns);
  handle_.Prepare(connection_, transaction_, text_, out, sql);
  ISC_STATUS_ARRAY status{};
  isc_stmt_handle handle = handle_.Get();
  if (out->sqld > out->sqln) {
    out = ReserveDescriptor(fields_.descriptor_, out->sqld);
    QV_FB(isc_dsql_describe)(status, &handle, SQLDA_VERSION1, out);
    CheckStatus(status, sql);
  }
  // The statement type tells a query (a server cursor) from other statements.
  static const char kTypeItem[] = {isc_info_sql_stmt_type};
  char info[16] = {};
  QV_FB(isc_dsql_sql_info)(status, &handle, sizeof kTypeItem, kTypeItem, sizeof info, info);
  CheckStatus(status, sql);
  statement_type_ = 0;
  if (info[0] == isc_info_sql_stmt_type) {
    short length = static_cast<short>(QV_FB(isc_vax_integer)(info + 1, 2));
    statement_type_ = static_cast<int>(QV_FB(isc_vax_integer)(info + 3, length));
  }
  DescribeFields();
  // Parameters.
  XSQLDA* in = ReserveDescriptor(params_.descriptor_, kInitialColumns);
  QV_FB(isc_dsql_describe_bind)(status, &handle, SQLDA_VERSION1, in);
  CheckStatus(status, sql);
  if (in->sqld > in->sqln) {
    in = ReserveDescriptor(params_.descriptor_, in->sqld);
    QV_FB(isc_dsql_describe_bind)(status, &handle, SQLDA_VERSION1, in);
    CheckStatus(status, sql);
  }
  DescribeParams();
  for (size_t i = 0; i < params_.columns_.size() && i < names.size(); ++i)
    params_.columns_[i]->info_.name = names[i];
  prepared_ = true;
}

// Lays out one buffer for every value and NULL indicator of a row and
// creates the row's columns by SQL type.
static void BuildRow(Statement& statement, Row& row, XSQLDA* area,
                     std::vector<std::unique_ptr<Column>>& columns,
                     std::unique_ptr<char[]>& buffer, size_t& buffer_size, bool params) {
  columns.clear();
  size_t size = 0;
  std::vector<size_t> offsets(area->sqld);
  for (short i = 0; i < area->sqld; ++i) {
    size = (size + 7) & ~size_t{7};
    offsets[i] = size;
    size += ValueSize(area->sqlvar[i]) + sizeof(int16_t) + 8;
  }
  size = std::max<size_t>(size, 8);
  if (buffer_size < size) {
    buffer = std::make_unique<char[]>(size);
    buffer_size = size;
  }
  std::memset(buffer.get(), 0, buffer_size);
  for (short i = 0; i < area->sqld; ++i) {
    XSQLVAR& var = area->sqlvar[i];
    char* data = buffer.get() + offsets[i];
    size_t value_size = ValueSize(var);
    auto* indicator = reinterpret_cast<int16_t*>(data + ((value_size + 1) & ~size_t{1}));
    var.sqltype = static_cast<ISC_SHORT>(var.sqltype | 1);  // always use the NULL indicator
    var.sqldata = data;
    var.sqlind = indicator;
    *indicator = -1;
    ColumnInfo info;
    info.sql_type = static_cast<int16_t>(var.sqltype & ~1);
    info.sub_type = var.sqlsubtype;
    info.scale = var.sqlscale;
    info.length = var.sqllen;
    info.nullable = true;
    if (!params) {
      info.name.assign(var.aliasname, static_cast<size_t>(std::max<short>(var.aliasname_length, 0)));
      info.relation.assign(var.relname, static_cast<size_t>(std::max<short>(var.relname_length, 0)));
    }
    auto column = MakeColumn(statement, std::move(info));
    column->Bind(&var, data, indicator, params);
    columns.push_back(std::move(column));
  }
  (void)row;
}

void Statement::DescribeFields() {
  BuildRow(*this, fields_, Descriptor(fields_.descriptor_), fields_.columns_, fields_.buffer_,
           fields_.buffer_size_, false);
}

void Statement::DescribeParams() {
  BuildRow(*this, params_, Descriptor(params_.descriptor_), params_.columns_, params_.buffer_,
           params_.buffer_size_, true);
}

void Statement::Unprepare() {
  if (!prepared_) return;
  CloseForChange();
  prepared_ = false;
  fields_.columns_.clear();
  params_.columns_.clear();
  // Keep the handle for the next text; release the server's request.
  if (connection_.Connected()) handle_.Unprepare();
}

Column& Statement::FieldByName(std::string_view name) {
  Column* column = FindField(name);
  if (column == nullptr) throw DbError("FieldName: " + std::string(name) + " not found");
  return *column;
}

Column* Statement::FindField(std::string_view name) {
  Prepare();
  return fields_.ByName(name);
}

Column& Statement::ParamByName(std::string_view name) {
  Prepare();
  Column* column = params_.ByName(name);
  if (column == nullptr) throw DbError("ParamName: " + std::string(name) + " not found");
  return *column;
}

void Statement::ExecuteStatement() {
  transaction_.EnsureStarted();
  connection_.CountExecute();
  ISC_STATUS_ARRAY status{};
  isc_tr_handle tr = transaction_.Handle();
  isc_stmt_handle handle = handle_.Get();
  XSQLDA* in = params_.columns_.empty() ? nullptr : Descriptor(params_.descriptor_);
  if (!IsSelect() && !fields_.columns_.empty()) {
    // A statement that returns one row of values (EXECUTE PROCEDURE, RETURNING).
    QV_FB(isc_dsql_execute2)(status, &tr, &handle, SQLDA_VERSION1, in, Descriptor(fields_.descriptor_));
  } else {
    QV_FB(isc_dsql_execute)(status, &tr, &handle, SQLDA_VERSION1, in);
  }
  CheckStatus(status, sql_.Text());
}

std::string Statement::Plan() {
  Prepare();
  static const char kPlanItem[] = {isc_info_sql_get_plan};
  std::string info(16384, '\0');
  ISC_STATUS_ARRAY status{};
  isc_stmt_handle handle = handle_.Get();
  QV_FB(isc_dsql_sql_info)(status, &handle, sizeof kPlanItem, kPlanItem,
                           static_cast<short>(info.size()), info.data());
  CheckStatus(status, sql_.Text());
  if (static_cast<unsigned char>(info[0]) != isc_info_sql_get_plan) return {};
  const auto length = static_cast<size_t>(QV_FB(isc_vax_integer)(info.data() + 1, 2));
  std::string plan = info.substr(3, std::min(length, info.size() - 3));
  // The server starts the plan with a line break.
  while (!plan.empty() && (plan.front() == '\n' || plan.front() == ' ')) plan.erase(0, 1);
  return plan;
}

void Statement::DetachNotice() {
  try {
    CloseForChange();
  } catch (const DbError&) {
    // The attachment ends: its cursors end with it whatever the server says.
  }
  prepared_ = false;
  fields_.columns_.clear();
  params_.columns_.clear();
  FreeExtraHandles();
  handle_.Drop();
}

void Statement::TransactionEnding() {
  try {
    CloseForChange();
  } catch (const DbError&) {
    // The transaction ends: its cursors end with it whatever the server says.
  }
}

}  // namespace qv
