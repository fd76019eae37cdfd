// Prepared statements: describe, bind, execute, fetch, close.
#include "db/prepared_statement.h"

#include <algorithm>
#include <cctype>
#include <cstring>

#include "db/client_library.h"
#include "db/sql_text.h"

namespace qv {
namespace {

constexpr short kInitialColumns = 24;

XSQLDA* Area(const std::unique_ptr<char[]>& storage) {
  return reinterpret_cast<XSQLDA*>(storage.get());
}

// Makes room for n variables in a descriptor area.
XSQLDA* ReserveArea(std::unique_ptr<char[]>& storage, short n) {
  XSQLDA* current = Area(storage);
  if (current == nullptr || current->sqln < n) {
    const short room = std::max(n, kInitialColumns);
    storage = std::make_unique<char[]>(XSQLDA_LENGTH(room));
    current = Area(storage);
    std::memset(current, 0, XSQLDA_LENGTH(room));
    current->sqln = room;
  }
  current->version = SQLDA_VERSION1;
  return current;
}

size_t ValueSize(const XSQLVAR& var) {
  const int type = var.sqltype & ~1;
  if (type == SQL_VARYING) return static_cast<size_t>(var.sqllen) + 2;
  if (type == SQL_NULL) return 0;
  return static_cast<size_t>(var.sqllen);
}

// Lays out one buffer for every value and NULL indicator of an area, points
// the area's variables into it, and describes each as a column slot.
std::vector<ColumnSlot> LayOut(XSQLDA* area, std::vector<char>& buffer) {
  std::vector<size_t> offsets(static_cast<size_t>(area->sqld));
  size_t size = 0;
  for (short i = 0; i < area->sqld; ++i) {
    size = (size + 7) & ~size_t{7};
    offsets[i] = size;
    size += ValueSize(area->sqlvar[i]) + sizeof(int16_t) + 8;
  }
  buffer.assign(std::max<size_t>(size, 8), 0);
  std::vector<ColumnSlot> slots;
  slots.reserve(offsets.size());
  for (short i = 0; i < area->sqld; ++i) {
    XSQLVAR& var = area->sqlvar[i];
    char* data = buffer.data() + offsets[i];
    const size_t value_size = ValueSize(var);
    auto* indicator = reinterpret_cast<int16_t*>(data + ((value_size + 1) & ~size_t{1}));
    var.sqltype = static_cast<ISC_SHORT>(var.sqltype | 1);  // always use the NULL indicator
    var.sqldata = data;
    var.sqlind = indicator;
    *indicator = -1;
    ColumnSlot slot;
    slot.sql_type = static_cast<int16_t>(var.sqltype & ~1);
    slot.scale = var.sqlscale;
    slot.length = var.sqllen;
    slot.type = ColumnTypeOf(slot.sql_type, var.sqlsubtype, slot.scale);
    slot.data = data;
    slot.indicator = indicator;
    slots.push_back(slot);
  }
  return slots;
}

bool SameName(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return std::toupper(static_cast<unsigned char>(x)) ==
                  std::toupper(static_cast<unsigned char>(y));
         });
}

// The text with its lines ended by CR LF.
std::string WithCrLf(std::string_view text) {
  std::string lines;
  lines.reserve(text.size() + 32);
  for (char c : text) {
    if (c == '\n' && (lines.empty() || lines.back() != '\r')) lines += '\r';
    lines += c;
  }
  return lines;
}

// The text as the server gets it: parameter markers as "?".
std::string ServerText(const std::string& shown) { return ReplaceParameterNames(shown); }

// A new BLOB holding the text, in the transaction; its id.
ISC_QUAD CreateTextBlob(DbConnection& connection, Transaction& transaction,
                        std::string_view text) {
  isc_db_handle database = connection.Handle();
  isc_tr_handle tr = transaction.Handle();
  ISC_STATUS_ARRAY status{};
  isc_blob_handle blob = 0;
  ISC_QUAD id{};
  QV_FB(isc_create_blob2)(status, &database, &tr, &blob, &id, 0, nullptr);
  CheckStatus(status);
  for (size_t offset = 0; offset < text.size(); offset += 32768) {
    const size_t length = std::min<size_t>(32768, text.size() - offset);
    QV_FB(isc_put_segment)(status, &blob, static_cast<unsigned short>(length),
                           text.data() + offset);
    if (status[0] == 1 && status[1] != 0) {
      ISC_STATUS_ARRAY ignored{};
      QV_FB(isc_close_blob)(ignored, &blob);
      RaiseIscError(status);
    }
  }
  QV_FB(isc_close_blob)(status, &blob);
  CheckStatus(status);
  return id;
}

}  // namespace

PreparedStatement::PreparedStatement(DbConnection& connection, std::string_view text)
    : connection_(connection), text_(text), shown_(WithCrLf(text)), sent_(ServerText(shown_)) {}

PreparedStatement::~PreparedStatement() {
  // A handle of an attachment that has ended went with it.
  if (connection_.Connected() && attachment_ == connection_.Attachment()) {
    handle_.Drop();
  } else {
    handle_.Forget();
  }
}

bool PreparedStatement::Prepared() const {
  return prepared_ && attachment_ == connection_.Attachment() && connection_.Connected();
}

void PreparedStatement::Prepare(Transaction& transaction, std::span<const std::string_view> names,
                                size_t count) {
  if (Prepared()) return;
  if (attachment_ != connection_.Attachment()) handle_.Forget();
  prepared_ = false;
  cursor_open_ = false;
  XSQLDA* out = ReserveArea(out_area_, kInitialColumns);
  ++prepares_;
  attachment_ = connection_.Attachment();
  handle_.Prepare(connection_, transaction, sent_, out, shown_);
  ISC_STATUS_ARRAY status{};
  isc_stmt_handle handle = handle_.Get();
  if (out->sqld > out->sqln) {
    out = ReserveArea(out_area_, out->sqld);
    QV_FB(isc_dsql_describe)(status, &handle, SQLDA_VERSION1, out);
    CheckStatus(status, shown_);
  }
  // The statement type tells a query (a server cursor) from other statements.
  static const char kTypeItem[] = {isc_info_sql_stmt_type};
  char info[16] = {};
  QV_FB(isc_dsql_sql_info)(status, &handle, sizeof kTypeItem, kTypeItem, sizeof info, info);
  CheckStatus(status, shown_);
  int type = 0;
  if (info[0] == isc_info_sql_stmt_type) {
    const auto length = static_cast<short>(QV_FB(isc_vax_integer)(info + 1, 2));
    type = static_cast<int>(QV_FB(isc_vax_integer)(info + 3, length));
  }
  is_query_ = type == isc_info_sql_stmt_select || type == isc_info_sql_stmt_select_for_upd;
  XSQLDA* in = ReserveArea(in_area_, kInitialColumns);
  QV_FB(isc_dsql_describe_bind)(status, &handle, SQLDA_VERSION1, in);
  CheckStatus(status, shown_);
  if (in->sqld > in->sqln) {
    in = ReserveArea(in_area_, in->sqld);
    QV_FB(isc_dsql_describe_bind)(status, &handle, SQLDA_VERSION1, in);
    CheckStatus(status, shown_);
  }
  Describe(names, count);
  prepared_ = true;
}

void PreparedStatement::Describe(std::span<const std::string_view> names, size_t count) {
  XSQLDA* out = Area(out_area_);
  columns_ = LayOut(out, out_buffer_);
  positions_.clear();
  if (!names.empty()) {
    // Each name: the first column of that name.
    for (std::string_view name : names) {
      size_t found = columns_.size();
      for (short i = 0; i < out->sqld && found == columns_.size(); ++i) {
        const XSQLVAR& var = out->sqlvar[i];
        const std::string_view alias(var.aliasname,
                                     static_cast<size_t>(std::max<short>(var.aliasname_length, 0)));
        if (SameName(alias, name)) found = static_cast<size_t>(i);
      }
      if (found == columns_.size()) {
        throw DbError("FieldName: " + std::string(name) + " not found");
      }
      positions_.push_back(found);
    }
  } else {
    if (count != 0 && count != columns_.size()) {
      throw DbError("The statement yields " + std::to_string(columns_.size()) +
                    " columns where " + std::to_string(count) + " are named:\r\n" + text_);
    }
    for (size_t i = 0; i < columns_.size(); ++i) positions_.push_back(i);
  }
  scratch_.resize(positions_.size());

  XSQLDA* in = Area(in_area_);
  LayOut(in, in_buffer_);
  param_types_.clear();
  param_lengths_.clear();
  for (short i = 0; i < in->sqld; ++i) {
    param_types_.push_back(static_cast<int16_t>(in->sqlvar[i].sqltype & ~1));
    param_lengths_.push_back(in->sqlvar[i].sqllen);
  }
  param_text_.resize(param_types_.size());
}

void PreparedStatement::Bind(std::span<const ParamValue> values, Transaction& transaction,
                             TextFit fit) {
  if (values.size() != param_types_.size()) {
    throw DbError("The statement takes " + std::to_string(param_types_.size()) +
                  " parameters, " + std::to_string(values.size()) + " given:\r\n" + text_);
  }
  XSQLDA* in = Area(in_area_);
  for (size_t i = 0; i < values.size(); ++i) {
    XSQLVAR& var = in->sqlvar[i];
    const ParamValue& value = values[i];
    std::string& storage = param_text_[i];
    const auto point = [&](int16_t sql_type, size_t size) {
      storage.resize(std::max<size_t>(size, 16));
      var.sqltype = static_cast<ISC_SHORT>(sql_type | 1);
      var.sqlscale = 0;
      var.sqlsubtype = 0;
      var.sqldata = storage.data();
      *var.sqlind = 0;
      return storage.data();
    };
    switch (value.Type()) {
      case ParamValue::Kind::kNull:
        *var.sqlind = -1;
        break;
      case ParamValue::Kind::kInteger: {
        const int32_t number = value.Integer();
        var.sqllen = sizeof number;
        std::memcpy(point(SQL_LONG, sizeof number), &number, sizeof number);
        break;
      }
      case ParamValue::Kind::kBigInteger: {
        const int64_t number = value.BigInteger();
        var.sqllen = sizeof number;
        std::memcpy(point(SQL_INT64, sizeof number), &number, sizeof number);
        break;
      }
      case ParamValue::Kind::kText: {
        const std::string_view text = value.Text();
        if (param_types_[i] == SQL_BLOB) {
          // A BLOB parameter takes the id of a new BLOB holding the text.
          const ISC_QUAD id = CreateTextBlob(connection_, transaction, text);
          var.sqllen = sizeof id;
          std::memcpy(point(SQL_BLOB, sizeof id), &id, sizeof id);
          var.sqlsubtype = 1;
          break;
        }
        if (fit == TextFit::kNullWhenLonger &&
            text.size() > static_cast<size_t>(param_lengths_[i])) {
          *var.sqlind = -1;
          break;
        }
        if (text.size() > 32765) throw DbError("Parameter text too long");
        const auto length = static_cast<uint16_t>(text.size());
        var.sqllen = static_cast<ISC_SHORT>(length);
        char* data = point(SQL_VARYING, text.size() + 2);
        std::memcpy(data, &length, sizeof length);
        std::memcpy(data + 2, text.data(), text.size());
        break;
      }
    }
  }
}

void PreparedStatement::Execute(Transaction& transaction) {
  ++executions_;
  ISC_STATUS_ARRAY status{};
  isc_tr_handle tr = transaction.Handle();
  isc_stmt_handle handle = handle_.Get();
  XSQLDA* in = param_types_.empty() ? nullptr : Area(in_area_);
  QV_FB(isc_dsql_execute)(status, &tr, &handle, SQLDA_VERSION1, in);
  CheckStatus(status, shown_);
  cursor_open_ = is_query_;
}

bool PreparedStatement::Fetch() {
  if (cursor_open_) {
    ISC_STATUS_ARRAY status{};
    isc_stmt_handle handle = handle_.Get();
    const ISC_STATUS result =
        QV_FB(isc_dsql_fetch)(status, &handle, SQLDA_VERSION1, Area(out_area_));
    if (result != 100) {
      CheckStatus(status, shown_);
      return true;
    }
  }
  std::fill(out_buffer_.begin(), out_buffer_.end(), 0);
  for (ColumnSlot& column : columns_) *column.indicator = -1;
  return false;
}

void PreparedStatement::CloseCursor() {
  if (!cursor_open_) return;
  cursor_open_ = false;
  handle_.CloseCursor();
}

std::vector<int16_t> PreparedStatement::ParameterTypes() const { return param_types_; }

std::string PreparedStatement::Plan() {
  static const char kPlanItem[] = {isc_info_sql_get_plan};
  std::string info(16384, '\0');
  ISC_STATUS_ARRAY status{};
  isc_stmt_handle handle = handle_.Get();
  QV_FB(isc_dsql_sql_info)(status, &handle, sizeof kPlanItem, kPlanItem,
                           static_cast<short>(info.size()), info.data());
  CheckStatus(status, shown_);
  if (static_cast<unsigned char>(info[0]) != isc_info_sql_get_plan) return {};
  const auto length = static_cast<size_t>(QV_FB(isc_vax_integer)(info.data() + 1, 2));
  std::string plan = info.substr(3, std::min(length, info.size() - 3));
  // The server starts the plan with a line break.
  while (!plan.empty() && (plan.front() == '\n' || plan.front() == ' ')) plan.erase(0, 1);
  return plan;
}

}  // namespace qv
