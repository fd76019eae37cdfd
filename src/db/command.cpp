// Statements without result rows, database creation and scripts.
#include "db/command.h"

#include <cctype>

#include <optional>

#include "db/client_library.h"
#include "db/sql_text.h"

namespace qv {
namespace {

std::string Quoted(const std::string& text) {
  std::string result = "'";
  for (char c : text) {
    result += c;
    if (c == '\'') result += '\'';
  }
  return result + "'";
}

std::string FirstWord(std::string_view sql) {
  size_t i = 0;
  while (i < sql.size() && std::isspace(static_cast<unsigned char>(sql[i]))) ++i;
  std::string word;
  while (i < sql.size() && std::isalpha(static_cast<unsigned char>(sql[i])))
    word += static_cast<char>(std::toupper(static_cast<unsigned char>(sql[i++])));
  return word;
}

bool IsDefinition(std::string_view sql) {
  std::string word = FirstWord(sql);
  return word == "CREATE" || word == "ALTER" || word == "DROP" || word == "RECREATE" ||
         word == "COMMENT" || word == "GRANT" || word == "REVOKE" || word == "DECLARE";
}

}  // namespace

Command::Command(Transaction& transaction, std::string_view sql)
    : transaction_(transaction), statement_(transaction.Connection(), sql) {}

void Command::Run(std::span<const ParamValue> values) {
  statement_.Prepare(transaction_);
  statement_.Bind(values, transaction_, TextFit::kAsGiven);
  statement_.Execute(transaction_);
}

void CreateDatabase(const std::string& database_name, const std::string& user,
                    const std::string& password, int page_size, const std::string& charset) {
  std::string sql = "CREATE DATABASE " + Quoted(database_name);
  if (!user.empty()) sql += " USER " + Quoted(user);
  if (!password.empty()) sql += " PASSWORD " + Quoted(password);
  sql += " PAGE_SIZE " + std::to_string(page_size);
  if (!charset.empty()) sql += " DEFAULT CHARACTER SET " + charset;
  ISC_STATUS_ARRAY status{};
  isc_db_handle database = 0;
  isc_tr_handle transaction = 0;
  QV_FB(isc_dsql_execute_immediate)(status, &database, &transaction,
                                    static_cast<unsigned short>(sql.size()), sql.c_str(),
                                    SQL_DIALECT_V6, nullptr);
  CheckStatus(status, sql);
  QV_FB(isc_detach_database)(status, &database);
  CheckStatus(status);
}

void SetForcedWrites(const std::string& database_name, const std::string& user,
                     const std::string& password, bool on) {
  std::string dpb(1, static_cast<char>(isc_dpb_version1));
  auto add = [&dpb](char tag, const std::string& value) {
    dpb += tag;
    dpb += static_cast<char>(value.size());
    dpb += value;
  };
  if (!user.empty()) add(isc_dpb_user_name, user);
  if (!password.empty()) add(isc_dpb_password, password);
  dpb += static_cast<char>(isc_dpb_force_write);
  dpb += static_cast<char>(1);
  dpb += static_cast<char>(on ? 1 : 0);
  ISC_STATUS_ARRAY status{};
  isc_db_handle database = 0;
  QV_FB(isc_attach_database)(status, static_cast<short>(database_name.size()),
                             database_name.c_str(), &database, static_cast<short>(dpb.size()),
                             dpb.data());
  CheckStatus(status);
  QV_FB(isc_detach_database)(status, &database);
  CheckStatus(status);
}

void ExecuteImmediate(Transaction& transaction, std::string_view sql) {
  const std::string text(sql);
  ISC_STATUS_ARRAY status{};
  isc_db_handle database = transaction.Connection().Handle();
  isc_tr_handle tr = transaction.Handle();
  QV_FB(isc_dsql_execute_immediate)(status, &database, &tr, 0, text.c_str(), SQL_DIALECT_V6,
                                    nullptr);
  CheckStatus(status, text);
}

void ExecuteScript(DbConnection& connection, std::string_view script) {
  std::optional<Transaction> data;  // the statements since the last DDL statement
  for (const std::string& statement : SplitSqlScript(script)) {
    if (IsDefinition(statement)) {
      if (data) data->Commit();
      data.reset();
      Transaction definition(connection);
      ExecuteImmediate(definition, statement);
      definition.Commit();
      continue;
    }
    if (!data) data.emplace(connection);
    ExecuteImmediate(*data, statement);
  }
  if (data) data->Commit();
}

}  // namespace qv
