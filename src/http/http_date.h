// Date-times of the HTTP headers: a count of days since 30 December 1899 with
// the time of day as its fraction; GMT texts in and out.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/datetime.h"

namespace qv {

// The current time in GMT.
DateTime NowGmt();
DateTime EncodeGmt(int year, int month, int day, int hour, int minute, int second);

// "Sun, 06 Nov 1994 08:49:37 GMT" (the value is written as it is, no zone change).
std::string FormatHttpDate(DateTime value);
// "Sun, 06-Nov-1994 08:49:37 GMT": the form of a cookie's expiry.
std::string FormatCookieDate(DateTime value);

// Reads the RFC 1123, RFC 850 and asctime forms; 0 when the text is none of them.
DateTime ParseHttpDate(std::string_view text);

}  // namespace qv
