// Calendar arithmetic for the automation Date (variant.h): whole days counted from 1970-01-01
// in the proleptic Gregorian calendar, both ways (Howard Hinnant's days_from_civil and
// civil_from_days), exact for every year an int64_t day count can hold.
#pragma once

#include <cstdint>

namespace automation {

struct CivilDate {
  int64_t year = 1970;
  int64_t month = 1;  // 1..12
  int64_t day = 1;    // 1..31
};

// Days from 1970-01-01 to `year`-`month`-`day` (negative before it).
constexpr int64_t DaysFromCivil(int64_t year, int64_t month, int64_t day) {
  year -= month <= 2;
  const int64_t era = (year >= 0 ? year : year - 399) / 400;
  const int64_t year_of_era = year - era * 400;
  const int64_t day_of_year = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
  const int64_t day_of_era = year_of_era * 365 + year_of_era / 4 - year_of_era / 100 + day_of_year;
  return era * 146097 + day_of_era - 719468;
}

// The date `days` after 1970-01-01.
constexpr CivilDate CivilFromDays(int64_t days) {
  days += 719468;
  const int64_t era = (days >= 0 ? days : days - 146096) / 146097;
  const int64_t day_of_era = days - era * 146097;
  const int64_t year_of_era =
      (day_of_era - day_of_era / 1460 + day_of_era / 36524 - day_of_era / 146096) / 365;
  const int64_t day_of_year =
      day_of_era - (365 * year_of_era + year_of_era / 4 - year_of_era / 100);
  const int64_t month_index = (5 * day_of_year + 2) / 153;  // March is 0
  CivilDate date;
  date.day = day_of_year - (153 * month_index + 2) / 5 + 1;
  date.month = month_index < 10 ? month_index + 3 : month_index - 9;
  date.year = year_of_era + era * 400 + (date.month <= 2);
  return date;
}

// Day 0 of the automation Date, 1899-12-30, as a day count of DaysFromCivil.
inline constexpr int64_t kDateEpochDays = DaysFromCivil(1899, 12, 30);

static_assert(kDateEpochDays == -25569);
static_assert(CivilFromDays(kDateEpochDays).year == 1899 &&
              CivilFromDays(kDateEpochDays).day == 30);

}  // namespace automation
