#include "platform/datetime.h"

#include <cmath>
#include <cstdio>

namespace qv {

namespace {
// Days from 1970-01-01 to 1899-12-30.
constexpr int64_t kEpochShift = -25569;

void CivilFromUnixDays(int64_t z, int& y, int& m, int& d) {
  z += 719468;
  const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const int64_t doe = z - era * 146097;
  const int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const int64_t mp = (5 * doy + 2) / 153;
  d = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
  m = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
  y = static_cast<int>(yoe + era * 400 + (m <= 2 ? 1 : 0));
}
}  // namespace

void CivilFromDays(int64_t days, int& year, int& month, int& day) {
  CivilFromUnixDays(days + kEpochShift, year, month, day);
}

int64_t DaysFromCivil(int year, int month, int day) {
  const int64_t y = year - (month <= 2 ? 1 : 0);
  const int64_t era = (y >= 0 ? y : y - 399) / 400;
  const int64_t yoe = y - era * 400;
  const int64_t mp = month > 2 ? month - 3 : month + 9;
  const int64_t doy = (153 * mp + 2) / 5 + day - 1;
  const int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + doe - 719468 - kEpochShift;
}

DateTime EncodeDateTime(const DateTimeParts& p) {
  const double days = static_cast<double>(DaysFromCivil(p.year, p.month, p.day));
  const double ms = ((p.hour * 60.0 + p.minute) * 60.0 + p.second) * 1000.0 + p.millisecond;
  const double frac = ms / 86400000.0;
  // Before the epoch the fraction counts away from zero, as the day count does.
  return days >= 0 ? days + frac : days - frac;
}

DateTimeParts DecodeDateTime(DateTime value) {
  DateTimeParts p;
  const double whole = std::trunc(value);
  int64_t ms = std::llround(std::fabs(value - whole) * 86400000.0);
  int64_t days = static_cast<int64_t>(whole);
  if (ms >= 86400000) {  // rounding reached the next day
    ms -= 86400000;
    days += value >= 0 ? 1 : -1;
  }
  CivilFromDays(days, p.year, p.month, p.day);
  p.hour = static_cast<int>(ms / 3600000);
  p.minute = static_cast<int>(ms / 60000 % 60);
  p.second = static_cast<int>(ms / 1000 % 60);
  p.millisecond = static_cast<int>(ms % 1000);
  return p;
}

int Hour12(int hour) {
  const int h = hour % 12;
  return h == 0 ? 12 : h;
}

const char* AmPm(int hour) { return hour < 12 ? kTimeAM : kTimePM; }

std::string ShortDateText(const DateTimeParts& p) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%d%c%d%c%04d", p.month, kDateSeparator, p.day, kDateSeparator,
                p.year);
  return buf;
}

std::string LongTimeText(const DateTimeParts& p) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%d%c%02d%c%02d %s", Hour12(p.hour), kTimeSeparator, p.minute,
                kTimeSeparator, p.second, AmPm(p.hour));
  return buf;
}

std::string PaddedDateText(const DateTimeParts& p) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%02d%c%02d%c%04d", p.month, kDateSeparator, p.day,
                kDateSeparator, p.year);
  return buf;
}

}  // namespace qv

#include <chrono>
#include <ctime>

#include "platform/clock.h"

namespace qv {

DateTimeParts SystemClock::Now() const {
  const auto now = std::chrono::system_clock::now();
  const std::time_t t = std::chrono::system_clock::to_time_t(now);
  std::tm tm{};
  localtime_r(&t, &tm);
  DateTimeParts p;
  p.year = tm.tm_year + 1900;
  p.month = tm.tm_mon + 1;
  p.day = tm.tm_mday;
  p.hour = tm.tm_hour;
  p.minute = tm.tm_min;
  p.second = tm.tm_sec;
  p.millisecond = static_cast<int>(
      std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count() % 1000);
  return p;
}

const SystemClock& SystemClock::Instance() {
  static const SystemClock clock;
  return clock;
}

}  // namespace qv
