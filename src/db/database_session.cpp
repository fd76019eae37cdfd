#include "db/database_session.h"

#include <string>

namespace qv {

DatabaseSession::DatabaseSession() : transaction_(connection_) {
  connection_.SetParam("PATH", kBuiltInDatabasePath);
  transaction_.SetReadOnly(true);
  transaction_.SetIsolation(IsolationLevel::kReadCommitted);
}

DatabaseSession::~DatabaseSession() = default;

Cursor& DatabaseSession::Statement(const StatementText& text) {
  std::unique_ptr<Cursor>& slot = statements_[&text];
  if (!slot) {
    slot = std::make_unique<Cursor>(connection_, transaction_);
    std::string_view rest = text.lines;
    while (!rest.empty()) {
      const size_t end = rest.find('\n');
      slot->SQL().Add(std::string(rest.substr(0, end)));
      rest = end == std::string_view::npos ? std::string_view() : rest.substr(end + 1);
    }
  }
  return *slot;
}

void DatabaseSession::ForEachStatement(const std::function<void(Cursor&)>& visit) {
  for (auto& [text, statement] : statements_) visit(*statement);
}

}  // namespace qv
