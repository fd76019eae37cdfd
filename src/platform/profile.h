// Reads settings from an INI file: sections and keys matched ignoring case,
// values trimmed, and the default wherever the file, section or key is missing.
// Lines starting with ";" or "#" are comments. A key given more than once
// (also in a section given twice) takes its last value; a UTF-8 byte-order
// mark before the first line is no part of it.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace qv {

class IniFile {
 public:
  // Reads the file now; a missing or unreadable file reads as empty.
  explicit IniFile(std::string path);

  struct Entry {
    std::string section;
    std::string key;
    std::string value;
    int line = 0;  // from 1
  };
  // A line of the file, trimmed: a section's name, or a line that is neither
  // blank, a comment, a section heading nor key=value.
  struct Line {
    int number = 0;  // from 1
    std::string text;
  };

  const std::string& FileName() const { return path_; }
  // 0 when the file was read, else the errno of opening it (ENOENT: no file).
  int OpenError() const { return open_error_; }
  // Every "key=value" line in file order, with the section it stands in.
  const std::vector<Entry>& Entries() const { return entries_; }
  // The name in every section heading, in file order, empty sections too.
  const std::vector<Line>& Sections() const { return sections_; }
  // Lines that say nothing the reader understands.
  const std::vector<Line>& StrayLines() const { return stray_lines_; }
  // Section headings without their closing "]" (the name is taken up to the
  // line's end all the same).
  const std::vector<Line>& UnclosedHeadings() const { return unclosed_headings_; }
  std::string ReadString(std::string_view section, std::string_view key,
                         const std::string& default_value) const;
  // Decimal, or hexadecimal after "0x", "0X" or "$"; anything else gives the default.
  int ReadInteger(std::string_view section, std::string_view key, int default_value) const;
  // An integer flag: non-zero is set.
  bool ReadBool(std::string_view section, std::string_view key, bool default_value) const;

  // The most characters of a value that are seen.
  static constexpr size_t kMaxValueLength = 2047;

 private:
  std::optional<std::string> Find(std::string_view section, std::string_view key) const;

  std::string path_;
  int open_error_ = 0;
  std::vector<Entry> entries_;
  std::vector<Line> sections_;
  std::vector<Line> stray_lines_;
  std::vector<Line> unclosed_headings_;
};

// Parses the integer forms the settings accept; nullopt for anything else.
std::optional<int> ParseProfileInteger(std::string_view text);
// Section and key names compare with ASCII letters in either case.
bool EqualsIgnoreCase(std::string_view a, std::string_view b);

// The full path of the running executable.
std::string ExecutablePath();
// The settings file beside the executable: its path with the extension replaced by ".ini".
std::string ExecutableIniPath();
std::string ChangeFileExt(std::string_view path, std::string_view ext);

}  // namespace qv
