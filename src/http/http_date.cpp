#include "http/http_date.h"

#include <chrono>
#include <cmath>
#include <cstdio>
#include <vector>

#include "platform/ascii_text.h"
#include "platform/datetime.h"

namespace qv {

namespace {

constexpr const char* kDays[7] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
constexpr const char* kMonths[12] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                     "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
// Days from 1970-01-01 back to 1899-12-30.
constexpr int64_t kUnixEpochDays = 25569;

struct Parts {
  int year, month, day, hour, minute, second, weekday;
};

Parts Decode(DateTime value) {
  const int64_t total = std::llround(value * 86400.0);  // seconds since 1899-12-30
  int64_t days = total / 86400;
  int64_t secs = total % 86400;
  if (secs < 0) {
    secs += 86400;
    --days;
  }
  Parts p{};
  const int64_t unix_days = days - kUnixEpochDays;
  CivilFromDays(days, p.year, p.month, p.day);
  p.hour = static_cast<int>(secs / 3600);
  p.minute = static_cast<int>(secs / 60 % 60);
  p.second = static_cast<int>(secs % 60);
  p.weekday = static_cast<int>(((unix_days % 7) + 7 + 4) % 7);  // 1970-01-01 was a Thursday
  return p;
}

std::string Format(DateTime value, char separator, int year_digits) {
  const Parts p = Decode(value);
  char buf[64];
  std::snprintf(buf, sizeof buf, "%s, %.2d%c%s%c%.*d %.2d:%.2d:%.2d GMT", kDays[p.weekday], p.day,
                separator, kMonths[p.month - 1], separator, year_digits, p.year, p.hour, p.minute,
                p.second);
  return buf;
}

int MonthIndex(std::string_view token) {
  if (token.size() < 3) return -1;
  for (int i = 0; i < 12; ++i)
    if (ascii::EqualsNoCase(token.substr(0, 3), kMonths[i])) return i + 1;
  return -1;
}

bool AllDigits(std::string_view s) {
  if (s.empty() || s.size() > 4) return false;
  for (char c : s)
    if (c < '0' || c > '9') return false;
  return true;
}

int ToInt(std::string_view s) {
  int v = 0;
  for (char c : s) v = v * 10 + (c - '0');
  return v;
}

}  // namespace

DateTime EncodeGmt(int year, int month, int day, int hour, int minute, int second) {
  const double days = static_cast<double>(DaysFromCivil(year, month, day));
  return days + (hour * 3600 + minute * 60 + second) / 86400.0;
}

DateTime NowGmt() {
  const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(
                      std::chrono::system_clock::now().time_since_epoch())
                      .count();
  return static_cast<double>(ms) / 86400000.0 + kUnixEpochDays;
}

std::string FormatHttpDate(DateTime value) { return Format(value, ' ', 4); }
std::string FormatCookieDate(DateTime value) { return Format(value, '-', 2); }

DateTime ParseHttpDate(std::string_view text) {
  std::vector<std::string_view> tokens;
  size_t i = 0;
  while (i < text.size()) {
    while (i < text.size() && (text[i] == ' ' || text[i] == ',' || text[i] == '-' || text[i] == '\t')) ++i;
    const size_t start = i;
    while (i < text.size() && text[i] != ' ' && text[i] != ',' && text[i] != '-' && text[i] != '\t') ++i;
    if (i > start) tokens.push_back(text.substr(start, i - start));
  }
  int day = -1, month = -1, year = -1, hour = -1, minute = -1, second = -1;
  for (std::string_view t : tokens) {
    if (t.find(':') != std::string_view::npos) {
      if (t.size() != 8 || t[2] != ':' || t[5] != ':' || !AllDigits(t.substr(0, 2)) ||
          !AllDigits(t.substr(3, 2)) || !AllDigits(t.substr(6, 2)))
        return 0;
      hour = ToInt(t.substr(0, 2));
      minute = ToInt(t.substr(3, 2));
      second = ToInt(t.substr(6, 2));
    } else if (AllDigits(t)) {
      if (day < 0)
        day = ToInt(t);
      else if (year < 0)
        year = t.size() <= 2 ? ToInt(t) + (ToInt(t) >= 70 ? 1900 : 2000) : ToInt(t);
    } else if (month < 0 && MonthIndex(t) > 0 && t.size() == 3) {
      month = MonthIndex(t);
    }
  }
  if (day < 1 || day > 31 || month < 1 || year < 1 || hour < 0 || hour > 23 || minute > 59 ||
      second > 60)
    return 0;
  return EncodeGmt(year, month, day, hour, minute, second);
}

}  // namespace qv
