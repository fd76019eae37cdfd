// Ordered lists of text lines used by the database layer: the SQL text of a
// statement (which tells its owner about every change) and NAME=VALUE lists.
#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace qv {

// A list of lines. The owner may set a callback that runs before every change.
class SqlLines {
 public:
  SqlLines() = default;
  SqlLines(const SqlLines&) = delete;
  SqlLines& operator=(const SqlLines&) = delete;

  void Clear();
  void Add(std::string line);
  void Assign(const std::vector<std::string>& lines);
  size_t Count() const { return lines_.size(); }
  const std::string& operator[](size_t index) const { return lines_.at(index); }
  const std::vector<std::string>& Lines() const { return lines_; }
  // The lines joined by a carriage return and a line feed (none after the last).
  std::string Text() const;

  void SetOnChange(std::function<void()> callback) { on_change_ = std::move(callback); }

 private:
  void Changing();

  std::vector<std::string> lines_;
  std::function<void()> on_change_;
};

// NAME=VALUE lines; names are matched without regard to letter case.
class ParamStrings {
 public:
  size_t Count() const { return lines_.size(); }
  const std::string& operator[](size_t index) const { return lines_.at(index); }
  void Clear() { lines_.clear(); }
  void Add(std::string line) { lines_.push_back(std::move(line)); }
  // Position of the first line with that name, or -1.
  int IndexOfName(std::string_view name) const;
  // The value of the first line with that name; empty when there is none.
  std::string Value(std::string_view name) const;
  // Replaces the first line with that name (or adds one); empty text removes it.
  void SetValue(std::string_view name, const std::string& value);
  std::string Text() const;

 private:
  std::vector<std::string> lines_;
};

}  // namespace qv
