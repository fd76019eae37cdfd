// SQL text scanning: parameter markers and the count statement of a query.
#include "db/sql_text.h"

#include <cctype>
#include <optional>

#include "db/cursor.h"

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

std::string Upper(std::string_view text) {
  std::string result(text);
  for (char& c : result) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return result;
}

struct Token {
  std::string word;  // upper-case word, or the single character of a symbol
  size_t begin;
  size_t end;
  int depth;  // parenthesis depth at the token
};

std::vector<Token> Tokens(std::string_view sql) {
  std::vector<Token> tokens;
  int depth = 0;
  for (size_t i = 0; i < sql.size();) {
    if (size_t skip = SkipQuotedOrComment(sql, i)) {
      tokens.push_back({sql[i] == '\'' || sql[i] == '"' ? "'" : "", i, i + skip, depth});
      if (tokens.back().word.empty()) tokens.pop_back();
      i += skip;
      continue;
    }
    char c = sql[i];
    if (IsWordStart(c)) {
      size_t j = i;
      while (j < sql.size() && IsWordChar(sql[j])) ++j;
      tokens.push_back({Upper(sql.substr(i, j - i)), i, j, depth});
      i = j;
      continue;
    }
    if (std::isspace(static_cast<unsigned char>(c))) {
      ++i;
      continue;
    }
    if (c == ')') --depth;
    tokens.push_back({std::string(1, c), i, i + 1, depth});
    if (c == '(') ++depth;
    ++i;
  }
  return tokens;
}

bool IsAggregate(const std::string& word) {
  return word == "COUNT" || word == "SUM" || word == "MIN" || word == "MAX" || word == "AVG" ||
         word == "LIST";
}

std::string TrimRight(std::string_view text) {
  size_t end = text.size();
  while (end > 0 && std::isspace(static_cast<unsigned char>(text[end - 1]))) --end;
  return std::string(text.substr(0, end));
}

// Position where the trailing PLAN / ORDER BY / ROWS / FOR UPDATE / WITH LOCK
// clauses begin (after `from`), or the end of the text.
size_t TailStart(const std::vector<Token>& tokens, size_t from, size_t text_size,
                 bool include_order) {
  for (size_t k = from; k < tokens.size(); ++k) {
    const Token& t = tokens[k];
    if (t.depth != 0) continue;
    const std::string next = k + 1 < tokens.size() ? tokens[k + 1].word : std::string();
    if (include_order && (t.word == "PLAN" || (t.word == "ORDER" && next == "BY")))
      return t.begin;
    if ((t.word == "FOR" && next == "UPDATE") || (t.word == "WITH" && next == "LOCK"))
      return t.begin;
  }
  return text_size;
}

}  // namespace

std::string ReplaceParameterNames(std::string_view sql, std::vector<std::string>& names) {
  names.clear();
  std::string result;
  result.reserve(sql.size());
  for (size_t i = 0; i < sql.size();) {
    if (size_t skip = SkipQuotedOrComment(sql, i)) {
      result.append(sql.substr(i, skip));
      i += skip;
      continue;
    }
    char c = sql[i];
    if (c == '?') {
      names.emplace_back();
      result += '?';
      ++i;
      continue;
    }
    if (c == ':' && i + 1 < sql.size() && IsWordStart(sql[i + 1])) {
      size_t j = i + 1;
      while (j < sql.size() && IsWordChar(sql[j])) ++j;
      names.push_back(Upper(sql.substr(i + 1, j - i - 1)));
      result += '?';
      i = j;
      continue;
    }
    result += c;
    ++i;
  }
  return result;
}

std::string CountStatementText(std::string_view sql) {
  std::vector<Token> tokens = Tokens(sql);
  // The simple form: SELECT <list> FROM <rest>, counted as SELECT COUNT( * ) FROM <rest>.
  bool simple = !tokens.empty() && tokens[0].word == "SELECT";
  size_t from_index = 0;
  if (simple) {
    for (size_t k = 1; k < tokens.size(); ++k) {
      const Token& t = tokens[k];
      if (t.depth == 0 && t.word == "FROM") {
        from_index = k;
        break;
      }
      if (k == 1 && (t.word == "DISTINCT" || t.word == "FIRST" || t.word == "SKIP")) simple = false;
      if (t.word == "?") simple = false;
      if (t.depth == 0 && IsAggregate(t.word) && k + 1 < tokens.size() && tokens[k + 1].word == "(")
        simple = false;
    }
    if (from_index == 0) simple = false;
  }
  if (simple) {
    for (size_t k = from_index; k < tokens.size(); ++k) {
      const Token& t = tokens[k];
      if (t.depth == 0 && (t.word == "UNION" || t.word == "GROUP" || t.word == "HAVING" ||
                           t.word == "ROWS")) {
        simple = false;
        break;
      }
    }
  }
  if (simple) {
    size_t begin = tokens[from_index].begin;
    size_t end = TailStart(tokens, from_index, sql.size(), true);
    return "SELECT COUNT( * )\r\n" + TrimRight(sql.substr(begin, end - begin));
  }
  // Otherwise the query itself is counted as a derived table.
  size_t end = TailStart(tokens, 0, sql.size(), false);
  return "SELECT COUNT( * ) FROM (\r\n" + TrimRight(sql.substr(0, end)) + "\r\n)";
}

}  // namespace qv

namespace qv {

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
