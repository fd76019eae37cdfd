// Date-time values and the system's fixed text formats for dates and times.
// A date-time is a count of days since 30 December 1899, the time of day as
// its fraction; every date and time text of the system is formatted here.
#pragma once

#include <cstdint>
#include <string>

namespace qv {

using DateTime = double;

struct DateTimeParts {
  int year = 1899;
  int month = 12;
  int day = 30;
  int hour = 0;
  int minute = 0;
  int second = 0;
  int millisecond = 0;
};

// The one place where the regional formats of the system are fixed.
inline constexpr char kDateSeparator = '/';
inline constexpr char kTimeSeparator = ':';
inline constexpr char kDecimalSeparator = '.';
inline constexpr const char* kTimeAM = "AM";
inline constexpr const char* kTimePM = "PM";

// Days from 30 December 1899 to the given civil date (proleptic Gregorian).
int64_t DaysFromCivil(int year, int month, int day);
// The civil date of a count of days since 30 December 1899.
void CivilFromDays(int64_t days, int& year, int& month, int& day);
DateTime EncodeDateTime(const DateTimeParts& parts);
DateTimeParts DecodeDateTime(DateTime value);

// Hour of a 12-hour clock: 12 for the hours 0 and 12.
int Hour12(int hour);
const char* AmPm(int hour);

// "m/d/yyyy": month and day without leading zeros.
std::string ShortDateText(const DateTimeParts& parts);
// "h:mm:ss AM": 12-hour clock, hour without leading zero.
std::string LongTimeText(const DateTimeParts& parts);
// "mm/dd/yyyy": two-digit month and day.
std::string PaddedDateText(const DateTimeParts& parts);

}  // namespace qv
