// SQL text scanning: parameter markers and the statements of a script.
#include "db/sql_text.h"

#include <cctype>

namespace qv {
namespace {

bool IsWordStart(char c) { return std::isalpha(static_cast<unsigned char>(c)) || c == '_'; }
bool IsWordChar(char c) {
  return std::isalnum(static_cast<unsigned char>(c)) || c == '_' || c == '$';
}

// Length of the quoted text or comment starting at position i, or 0.
size_t SkipQuotedOrComment(std::string_view sql, size_t i) {
  char c = sql[i];
  if (c == '\'' || c == '"') {
    size_t j = i + 1;
    while (j < sql.size()) {
      if (sql[j] == c) {
        if (j + 1 < sql.size() && sql[j + 1] == c) {
          j += 2;  // a doubled quote stays inside
          continue;
        }
        return j + 1 - i;
      }
      ++j;
    }
    return sql.size() - i;
  }
  if (c == '-' && i + 1 < sql.size() && sql[i + 1] == '-') {
    size_t end = sql.find('\n', i);
    return (end == std::string_view::npos ? sql.size() : end) - i;
  }
  if (c == '/' && i + 1 < sql.size() && sql[i + 1] == '*') {
    size_t end = sql.find("*/", i + 2);
    return (end == std::string_view::npos ? sql.size() : end + 2) - i;
  }
  return 0;
}

}  // namespace

std::string ReplaceParameterNames(std::string_view sql) {
  std::string result;
  result.reserve(sql.size());
  for (size_t i = 0; i < sql.size();) {
    if (size_t skip = SkipQuotedOrComment(sql, i)) {
      result.append(sql.substr(i, skip));
      i += skip;
      continue;
    }
    const char c = sql[i];
    if (c == ':' && i + 1 < sql.size() && IsWordStart(sql[i + 1])) {
      size_t j = i + 1;
      while (j < sql.size() && IsWordChar(sql[j])) ++j;
      result += '?';
      i = j;
      continue;
    }
    result += c;
    ++i;
  }
  return result;
}

std::vector<std::string> SplitSqlScript(std::string_view script) {
  std::vector<std::string> statements;
  std::string current;
  bool meaningful = false;  // the statement holds more than blanks and comments
  auto finish = [&] {
    if (meaningful) {
      size_t begin = current.find_first_not_of(" \t\r\n");
      size_t end = current.find_last_not_of(" \t\r\n");
      statements.push_back(current.substr(begin, end - begin + 1));
    }
    current.clear();
    meaningful = false;
  };
  for (size_t i = 0; i < script.size();) {
    if (size_t skip = SkipQuotedOrComment(script, i)) {
      char c = script[i];
      if (c == '\'' || c == '"') meaningful = true;
      // Comments are dropped; quoted text is kept.
      if (c == '\'' || c == '"') current.append(script.substr(i, skip));
      else current += ' ';
      i += skip;
      continue;
    }
    char c = script[i++];
    if (c == ';') {
      finish();
      continue;
    }
    if (!std::isspace(static_cast<unsigned char>(c))) meaningful = true;
    current += c;
  }
  finish();
  return statements;
}

}  // namespace qv
