// The session: its statements, its transaction, attach and detach.
#include "db/database_session.h"

#include <exception>

#include "db/errors.h"

namespace qv {

DatabaseSession::DatabaseSession() { connection_.SetParam("PATH", kBuiltInDatabasePath); }

DatabaseSession::~DatabaseSession() {
  try {
    Detach();
  } catch (...) {
  }
}

void DatabaseSession::Detach() {
  std::exception_ptr failure;
  try {
    Rollback();
  } catch (...) {
    failure = std::current_exception();
  }
  // The statements' handles end with the attachment; a new one prepares them again.
  try {
    connection_.Disconnect();
  } catch (...) {
    if (!failure) failure = std::current_exception();
  }
  if (failure) std::rethrow_exception(failure);
}

PreparedStatement& DatabaseSession::Statement(std::string_view sql) {
  const auto found = statements_.find(sql);
  if (found != statements_.end()) return *found->second;
  auto statement = std::make_unique<PreparedStatement>(connection_, sql);
  const std::string_view key = statement->Text();
  return *statements_.emplace(key, std::move(statement)).first->second;
}

Transaction& DatabaseSession::OpenTransaction() {
  if (!transaction_) transaction_.emplace(connection_, kSessionTransaction);
  return *transaction_;
}

RowCursor DatabaseSession::Run(std::string_view sql, std::span<const ParamValue> values,
                               std::span<const std::string_view> names, size_t count) {
  PreparedStatement& statement = Statement(sql);
  if (statement.CursorOpen()) throw DbError("The statement's cursor is open already:\r\n" + statement.Text());
  Transaction& transaction = OpenTransaction();
  statement.Prepare(transaction, names, count);
  statement.Bind(values, transaction, TextFit::kNullWhenLonger);
  statement.Execute(transaction);
  return RowCursor(statement, BlobSource{connection_.Handle(), transaction.Handle()});
}

void DatabaseSession::CloseCursors() noexcept {
  for (auto& [text, statement] : statements_) {
    try {
      statement->CloseCursor();
    } catch (const DbError&) {
      // The transaction ends: its cursors end with it whatever the server says.
    }
  }
}

void DatabaseSession::Commit() {
  if (!transaction_) return;
  CloseCursors();
  transaction_->Commit();
  transaction_.reset();
}

void DatabaseSession::Rollback() {
  if (!transaction_) return;
  CloseCursors();
  try {
    transaction_->Rollback();
  } catch (...) {
    transaction_.reset();
    throw;
  }
  transaction_.reset();
}

std::string DatabaseSession::Plan(std::string_view sql) {
  PreparedStatement statement(connection_, sql);
  statement.Prepare(OpenTransaction());
  return statement.Plan();
}

std::string DatabaseSession::PreparedPlan(std::string_view sql,
                                          std::span<const std::string_view> names,
                                          size_t count) {
  PreparedStatement& statement = Statement(sql);
  statement.Prepare(OpenTransaction(), names, count);
  return statement.Plan();
}

std::vector<DatabaseSession::PreparedText> DatabaseSession::PreparedTexts() const {
  std::vector<PreparedText> texts;
  for (const auto& [text, statement] : statements_) {
    texts.push_back({text, statement->ParameterTypes()});
  }
  return texts;
}

DatabaseSession::StatementCounts DatabaseSession::Counts() const {
  StatementCounts counts;
  for (const auto& [text, statement] : statements_) {
    counts.prepared += statement->Prepares();
    counts.executed += statement->Executions();
  }
  return counts;
}

}  // namespace qv
