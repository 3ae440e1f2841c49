// Number, duration, date and time formats.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>

#include "support/ov_format.h"

using namespace support;

TEST(OvFormatInt64, GroupsDigitsByThreesWithABlank) {
  EXPECT_EQ(ovFormatInt64(0), "0");
  EXPECT_EQ(ovFormatInt64(7), "7");
  EXPECT_EQ(ovFormatInt64(999), "999");
  EXPECT_EQ(ovFormatInt64(1000), "1 000");
  EXPECT_EQ(ovFormatInt64(1234567), "1 234 567");
  EXPECT_EQ(ovFormatInt64(100000), "100 000");
}

TEST(OvFormatInt64, NegativeNumbersAndRounding) {
  EXPECT_EQ(ovFormatInt64(-5), "-5");
  EXPECT_EQ(ovFormatInt64(-1234), "-1 234");
  EXPECT_EQ(ovFormatInt64(2.5), "3");
  EXPECT_EQ(ovFormatInt64(1999.4), "1 999");
  EXPECT_EQ(ovFormatInt64(-0.3), "0");
}

TEST(OvFormatInt64, HugeValuesKeepEveryDigitADoubleHolds) {
  EXPECT_EQ(ovFormatInt64(9007199254740992.0), "9 007 199 254 740 992");           // 2^53
  EXPECT_EQ(ovFormatInt64(9223372036854775808.0), "9 223 372 036 854 775 808");    // 2^63
  EXPECT_EQ(ovFormatInt64(18446744073709551616.0), "18 446 744 073 709 551 616");  // 2^64
}

TEST(OvLargeIntegerToDouble, ReadsTheWholeUnsignedRange) {
  EXPECT_EQ(ovLargeIntegerToDouble(0), 0.0);
  EXPECT_EQ(ovLargeIntegerToDouble(uint64_t{1} << 40), 1099511627776.0);
  EXPECT_EQ(ovLargeIntegerToDouble(UINT64_MAX), 18446744073709551616.0);
}

TEST(OvFormatTimeInterval, ShowsHoursMinutesAndSecondsWithMilliseconds) {
  EXPECT_EQ(ovFormatTimeInterval(0), "0 ч 00 мин 00.000 сек");
  EXPECT_EQ(ovFormatTimeInterval(1.25), "0 ч 00 мин 01.250 сек");
  EXPECT_EQ(ovFormatTimeInterval(65.25), "0 ч 01 мин 05.250 сек");
  EXPECT_EQ(ovFormatTimeInterval(3600 * 30 + 61.001), "30 ч 01 мин 01.001 сек");
  EXPECT_EQ(ovFormatTimeInterval(59.9996), "0 ч 01 мин 00.000 сек");  // rounding carries over
}

TEST(OvFormatTimeInterval, NonsenseDurationsReadAsZero) {
  EXPECT_EQ(ovFormatTimeInterval(-3), "0 ч 00 мин 00.000 сек");
  EXPECT_EQ(ovFormatTimeInterval(std::nan("")), "0 ч 00 мин 00.000 сек");
}

TEST(OvSystemTimeToString, DateAndTimeOfDayArePadded) {
  platform::SystemTime time;
  time.year = 2026, time.month = 12, time.day = 7;
  time.hour = 4, time.minute = 5, time.second = 9, time.milliseconds = 999;
  EXPECT_EQ(ovSystemTimeToStringDate(time, true), "07.12.2026");
  EXPECT_EQ(ovSystemTimeToStringDate(time, false), "07.12.26");
  EXPECT_EQ(ovSystemTimeToStringTime(time), "04:05:09");
  time.year = 2005, time.month = 1, time.day = 31;
  EXPECT_EQ(ovSystemTimeToStringDate(time, false), "31.01.05");
}
