// Number, date and time formats of the support library.
#pragma once

#include <cstdint>
#include <string>

#include "platform/platform.h"

namespace support {

// A 64-bit unsigned value (low half first in memory) as a double.
double ovLargeIntegerToDouble(uint64_t value);

// The whole number as digits, grouped by threes with a blank: 1234567 -> "1 234 567";
// negative numbers carry "-". The fraction is dropped (rounded to nearest).
std::string ovFormatInt64(double value);

// A readable duration from seconds, e.g. " 0 ч 01 мин 05.250 сек" (may carry blanks at the ends).
std::string ovFormatTimeInterval(double seconds);
// The same in the user's language when `translated` (support::Tr), for the console.
std::string ovFormatTimeInterval(double seconds, bool translated);

// The date of a local time: "07.12.2026" (long_year true) or "07.12.26".
std::string ovSystemTimeToStringDate(const platform::SystemTime& time, bool long_year);

// The time of day: "04:05:09".
std::string ovSystemTimeToStringTime(const platform::SystemTime& time);

}  // namespace support
