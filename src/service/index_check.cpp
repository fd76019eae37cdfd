#include "service/index_check.h"

#include <algorithm>
#include <cctype>
#include <map>
#include <string>
#include <vector>

#include "db/connection.h"
#include "db/cursor.h"
#include "db/prepared_statement.h"
#include "db/query.h"
#include "db/transaction.h"

namespace qv {

namespace {

struct NeededIndex {
  const char* table;
  // The leading columns of the index, separated by ", "; or, for an index on
  // an expression, the expression without blanks.
  const char* columns;
  bool expression;
  const char* use;
};

// Primary keys (every table's id) are not listed: a table has them by its
// definition, and they come with the key.
constexpr NeededIndex kNeeded[] = {
    {"PROPERTY", "PROPERTY_NAME", false, "the property list walks it in name order"},
    {"PROPERTY", "UPPER(PROPERTY_NAME)", true, "the name search"},
    {"PROPERTY", "PRIMARY_PROP_ADDRESS_ID", false, "the address search, from each address"},
    {"PROPERTY", "AREA_ID", false, "the area filter, for the area's properties,"},
    {"PROPERTY", "PROPERTY_ID", false, "every property tab"},
    {"PROP_ADDRESS", "PROP_ADDRESS_ID", false, "the property list and tabs"},
    {"PROP_ADDRESS", "PROPERTY_ID", false, "the Access Info tab, by property"},
    {"AREA", "AREA_ID", false, "the area filter"},
    {"GEN_PHONES", "SOURCE_TABLE, SOURCE_KEY", false,
     "phones and access entries, by source table and key"},
    {"GEN_NOTES", "SOURCE_TABLE, SOURCE_KEY", false, "the Notes tab, by source table and key"},
    {"ENTITY", "PROPERTY_ID", false, "the People tab, by property"},
    {"AUTHORIZATIONS", "AUTH_PROPERTY_ID", false, "the Authorizations tab, by property"},
    {"CPTED_INSPECS", "PROPERTY_ID", false, "the CPTED tab, by property"},
    {"VIOLATIONS", "PROPERTY_ID", false, "the Violations tab, by property"},
    {"VIOLATORS", "VIOLATION_ID", false, "the violation detail page, by violation"},
    {"DB_USERS", "UPPER(DB_USER_NAME)", true, "the log-on check"},
};

std::string WithoutBlanks(std::string text) {
  text.erase(std::remove_if(text.begin(), text.end(),
                            [](unsigned char c) { return std::isspace(c) != 0; }),
             text.end());
  std::transform(text.begin(), text.end(), text.begin(),
                 [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
  return text;
}

// What the active indexes of the database cover, as "TABLE|columns" (columns
// of an index in order, and each leading part of them) and "TABLE|=expr".
enum class IndexColumn { kTable, kIndex, kField, kExpression, kCount };
constexpr QueryText<IndexColumn> kIndexQuery{
    "SELECT TRIM(I.RDB$RELATION_NAME), TRIM(I.RDB$INDEX_NAME),\n"
    "TRIM(S.RDB$FIELD_NAME), I.RDB$EXPRESSION_SOURCE\n"
    "FROM RDB$INDICES I\n"
    "LEFT JOIN RDB$INDEX_SEGMENTS S ON S.RDB$INDEX_NAME = I.RDB$INDEX_NAME\n"
    "WHERE COALESCE(I.RDB$INDEX_INACTIVE, 0) = 0\n"
    "ORDER BY I.RDB$INDEX_NAME, S.RDB$FIELD_POSITION"};

std::vector<std::string> IndexedColumns(DbConnection& connection) {
  Transaction transaction(connection, TransactionMode{true, IsolationLevel::kReadCommitted});
  PreparedStatement statement(connection, kIndexQuery.sql);
  statement.Prepare(transaction, kIndexQuery.names, kColumnCount<IndexColumn>);
  statement.Execute(transaction);
  std::vector<std::string> covered;
  std::string index;
  std::string columns;
  for (Cursor<IndexColumn> row(
           RowCursor(statement, BlobSource{connection.Handle(), transaction.Handle()}));
       !row.AtEnd(); row.Next()) {
    using enum IndexColumn;
    const std::string table(row.Text(kTable));
    if (row.Text(kIndex) != index) {
      index = row.Text(kIndex);
      columns.clear();
    }
    if (!row.IsNull(kExpression)) {
      std::string expression = WithoutBlanks(std::string(row.Text(kExpression)));
      // The source may keep the parentheses the definition was written in.
      if (expression.size() > 2 && expression.front() == '(' && expression.back() == ')') {
        covered.push_back(table + "|=" + expression.substr(1, expression.size() - 2));
      }
      covered.push_back(table + "|=" + expression);
    } else {
      columns += (columns.empty() ? "" : ", ") + std::string(row.Text(kField));
      covered.push_back(table + "|" + columns);
    }
  }
  transaction.Commit();
  return covered;
}

}  // namespace

void WarnMissingIndexes(DbConnection& connection, std::ostream& out) {
  const std::vector<std::string> covered = IndexedColumns(connection);
  for (const NeededIndex& needed : kNeeded) {
    const std::string key = std::string(needed.table) + "|" +
                            (needed.expression ? "=" + WithoutBlanks(needed.columns)
                                               : std::string(needed.columns));
    if (std::find(covered.begin(), covered.end(), key) != covered.end()) continue;
    out << "warning: database " << connection.DatabaseName() << ": no index on "
        << needed.table << " (" << needed.columns << "): " << needed.use
        << " reads the whole table\n";
  }
}

}  // namespace qv
