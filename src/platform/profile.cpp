#include "platform/profile.h"

#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <limits.h>

namespace qv {

namespace {

bool IsBlank(char c) { return static_cast<unsigned char>(c) <= ' '; }

std::string_view Trim(std::string_view s) {
  while (!s.empty() && IsBlank(s.front())) s.remove_prefix(1);
  while (!s.empty() && IsBlank(s.back())) s.remove_suffix(1);
  return s;
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

}  // namespace

bool EqualsIgnoreCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    char x = a[i], y = b[i];
    if (x >= 'a' && x <= 'z') x = static_cast<char>(x - 32);
    if (y >= 'a' && y <= 'z') y = static_cast<char>(y - 32);
    if (x != y) return false;
  }
  return true;
}

IniFile::IniFile(std::string path) : path_(std::move(path)) {
  std::error_code ignored;
  if (std::filesystem::is_directory(path_, ignored)) {
    open_error_ = EISDIR;
    return;
  }
  errno = 0;
  std::ifstream in(path_, std::ios::binary);
  if (!in) {
    open_error_ = errno != 0 ? errno : ENOENT;
    return;
  }
  std::string line, section;
  int number = 0;
  while (std::getline(in, line)) {
    ++number;
    std::string_view l = line;
    if (number == 1 && l.substr(0, 3) == "\xEF\xBB\xBF") l.remove_prefix(3);
    l = Trim(l);
    if (l.empty() || l.front() == ';' || l.front() == '#') continue;
    if (l.front() == '[') {
      const size_t close = l.find(']');
      section = std::string(Trim(l.substr(1, close == std::string_view::npos ? l.size() - 1 : close - 1)));
      sections_.push_back({number, section});
      if (close == std::string_view::npos) unclosed_headings_.push_back({number, std::string(l)});
      continue;
    }
    const size_t eq = l.find('=');
    if (eq == std::string_view::npos) {
      stray_lines_.push_back({number, std::string(l)});
      continue;
    }
    std::string_view value = Trim(l.substr(eq + 1));
    if (value.size() > kMaxValueLength) value = value.substr(0, kMaxValueLength);
    entries_.push_back({section, std::string(Trim(l.substr(0, eq))), std::string(value), number});
  }
}

std::optional<std::string> IniFile::Find(std::string_view section, std::string_view key) const {
  // The last one given wins.
  for (auto e = entries_.rbegin(); e != entries_.rend(); ++e) {
    if (EqualsIgnoreCase(e->section, section) && EqualsIgnoreCase(e->key, key)) return e->value;
  }
  return std::nullopt;
}

std::string IniFile::ReadString(std::string_view section, std::string_view key,
                                 const std::string& default_value) const {
  std::optional<std::string> v = Find(section, key);
  return v ? *v : default_value;
}

int IniFile::ReadInteger(std::string_view section, std::string_view key, int default_value) const {
  std::optional<std::string> v = Find(section, key);
  if (!v) return default_value;
  return ParseProfileInteger(*v).value_or(default_value);
}

bool IniFile::ReadBool(std::string_view section, std::string_view key, bool default_value) const {
  return ReadInteger(section, key, default_value ? 1 : 0) != 0;
}

std::optional<int> ParseProfileInteger(std::string_view text) {
  std::string_view s = Trim(text);
  bool negative = false;
  if (!s.empty() && (s.front() == '-' || s.front() == '+')) {
    negative = s.front() == '-';
    s.remove_prefix(1);
  }
  int base = 10;
  if (s.size() > 1 && s[0] == '0' && (s[1] == 'x' || s[1] == 'X')) {
    base = 16;
    s.remove_prefix(2);
  } else if (!s.empty() && s[0] == '$') {
    base = 16;
    s.remove_prefix(1);
  }
  if (s.empty()) return std::nullopt;
  uint64_t value = 0;
  for (char c : s) {
    const int d = base == 16 ? HexDigit(c) : (c >= '0' && c <= '9' ? c - '0' : -1);
    if (d < 0) return std::nullopt;
    value = value * base + d;
    if (base == 16 ? value > 0xFFFFFFFFull : value > 0x80000000ull) return std::nullopt;
  }
  if (base == 16) {
    // A 32-bit pattern; a sign negates it modulo 2^32, so "-0x80000000" is the
    // smallest integer and "-0xFFFFFFFF" is 1.
    uint32_t pattern = static_cast<uint32_t>(value);
    if (negative) pattern = 0u - pattern;
    return static_cast<int32_t>(pattern);
  }
  if (!negative && value > 0x7FFFFFFFull) return std::nullopt;
  return static_cast<int>(negative ? -static_cast<int64_t>(value) : static_cast<int64_t>(value));
}

std::string ExecutablePath() {
  char buf[PATH_MAX];
  const ssize_t n = readlink("/proc/self/exe", buf, sizeof buf - 1);
  if (n <= 0) return {};
  return std::string(buf, static_cast<size_t>(n));
}

std::string ChangeFileExt(std::string_view path, std::string_view ext) {
  const size_t slash = path.rfind('/');
  const size_t dot = path.rfind('.');
  if (dot != std::string_view::npos && (slash == std::string_view::npos || dot > slash)) {
    path = path.substr(0, dot);
  }
  return std::string(path) + std::string(ext);
}

std::string ExecutableIniPath() { return ChangeFileExt(ExecutablePath(), ".ini"); }

}  // namespace qv
