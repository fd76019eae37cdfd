#include "service/database_probe.h"

#include "db/connection.h"
#include "db/prepared_statement.h"
#include "db/transaction.h"

namespace qv {

void RunTrivialStatement(DbConnection& connection) {
  Transaction transaction(connection, TransactionMode{.read_only = true});
  PreparedStatement statement(connection, "SELECT 1 FROM RDB$DATABASE");
  statement.Prepare(transaction);
  statement.Execute(transaction);
  statement.Fetch();
  statement.CloseCursor();
  transaction.Commit();
}

std::string OneLine(const std::string& message) {
  std::string text;
  size_t begin = 0;
  while (begin < message.size()) {
    size_t end = message.find_first_of("\r\n", begin);
    if (end == std::string::npos) end = message.size();
    std::string line = message.substr(begin, end - begin);
    const size_t first = line.find_first_not_of(" \t");
    const size_t last = line.find_last_not_of(" \t");
    line = first == std::string::npos ? std::string() : line.substr(first, last - first + 1);
    // The heading before a database error's message lines says nothing itself.
    if (!line.empty() && line != "ISC ERROR MESSAGE:") {
      if (!text.empty()) text += "; ";
      text += line;
    }
    begin = end + 1;
  }
  return text;
}

}  // namespace qv
