#include "service/index_check.h"

#include <algorithm>
#include <cctype>
#include <map>
#include <string>
#include <vector>

#include "db/connection.h"
#include "db/cursor.h"
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
    {"PROPERTY", "AREA_ID", false, "the area filter, for a page far into an area,"},
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
std::vector<std::string> IndexedColumns(DbConnection& connection) {
  Transaction transaction(connection);
  transaction.SetReadOnly(true);
  transaction.SetIsolation(IsolationLevel::kReadCommitted);
  transaction.StartTransaction();
  Cursor query(connection, transaction);
  query.SQL().Add("SELECT TRIM(I.RDB$RELATION_NAME), TRIM(I.RDB$INDEX_NAME),");
  query.SQL().Add("TRIM(S.RDB$FIELD_NAME), I.RDB$EXPRESSION_SOURCE");
  query.SQL().Add("FROM RDB$INDICES I");
  query.SQL().Add("LEFT JOIN RDB$INDEX_SEGMENTS S ON S.RDB$INDEX_NAME = I.RDB$INDEX_NAME");
  query.SQL().Add("WHERE COALESCE(I.RDB$INDEX_INACTIVE, 0) = 0");
  query.SQL().Add("ORDER BY I.RDB$INDEX_NAME, S.RDB$FIELD_POSITION");
  query.Open();
  std::vector<std::string> covered;
  std::string index;
  std::string columns;
  while (!query.Eof()) {
    Row& row = query.Fields();
    const std::string table = row[0].AsString();
    if (row[1].AsString() != index) {
      index = row[1].AsString();
      columns.clear();
    }
    if (!row[3].IsNull()) {
      std::string expression = WithoutBlanks(row[3].AsString());
      // The source may keep the parentheses the definition was written in.
      if (expression.size() > 2 && expression.front() == '(' && expression.back() == ')') {
        covered.push_back(table + "|=" + expression.substr(1, expression.size() - 2));
      }
      covered.push_back(table + "|=" + expression);
    } else {
      columns += (columns.empty() ? "" : ", ") + row[2].AsString();
      covered.push_back(table + "|" + columns);
    }
    query.Next();
  }
  query.Close();
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
