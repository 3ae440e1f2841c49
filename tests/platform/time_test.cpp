// Clocks and the conversion of Unix times to FILETIME ticks.

#include <gtest/gtest.h>

#include <cstdint>
#include <ctime>
#include <limits>

#include "platform/platform.h"
#include "platform/posix/internal.h"

namespace platform {
namespace {

TEST(FileTimeTest, CountsFrom1601InHundredsOfNanoseconds) {
  using posix::FileTimeFromUnix;
  EXPECT_EQ(FileTimeFromUnix(0, 0), 116444736000000000ULL);
  EXPECT_EQ(FileTimeFromUnix(1, 999999999), 116444736000000000ULL + 19999999);
  EXPECT_EQ(FileTimeFromUnix(-11644473600, 0), 0u);
  EXPECT_EQ(FileTimeFromUnix(-11644473600, 100), 1u);
}

TEST(FileTimeTest, ClampsTimesOutsideTheFileTimeRange) {
  using posix::FileTimeFromUnix;
  EXPECT_EQ(FileTimeFromUnix(-11644473601, 999999999), 0u);
  EXPECT_EQ(FileTimeFromUnix(std::numeric_limits<int64_t>::min(), 0), 0u);
  const FileTime largest = std::numeric_limits<int64_t>::max();
  EXPECT_EQ(FileTimeFromUnix(std::numeric_limits<int64_t>::max(), 0), largest);
  EXPECT_EQ(FileTimeFromUnix(922337203685LL - 11644473600LL + 1, 0), largest);
  EXPECT_LT(FileTimeFromUnix(922337203685LL - 11644473600LL - 1, 999999999), largest);
}

TEST(ClockTest, SystemTimeIsNow) {
  const time_t before = time(nullptr);
  const FileTime now = GetSystemTimeAsFileTime();
  const time_t after = time(nullptr);
  EXPECT_GE(now, posix::FileTimeFromUnix(before, 0));
  EXPECT_LE(now, posix::FileTimeFromUnix(after + 1, 0));
}

TEST(ClockTest, LocalTimeIsTheCalendarOfNow) {
  const time_t before = time(nullptr);
  const SystemTime local = GetLocalTime();
  tm expected{};
  localtime_r(&before, &expected);
  // The two readings may straddle a second; comparing down to the minute is enough here,
  // unless that second was the last of a minute.
  if (expected.tm_sec == 59) GTEST_SKIP() << "read at a minute boundary";
  EXPECT_EQ(local.year, expected.tm_year + 1900);
  EXPECT_EQ(local.month, expected.tm_mon + 1);
  EXPECT_EQ(local.day, expected.tm_mday);
  EXPECT_EQ(local.day_of_week, expected.tm_wday);
  EXPECT_EQ(local.hour, expected.tm_hour);
  EXPECT_EQ(local.minute, expected.tm_min);
  EXPECT_GE(local.milliseconds, 0);
  EXPECT_LT(local.milliseconds, 1000);
}

TEST(ClockTest, MonotonicSecondsNeverGoBack) {
  const double first = MonotonicSeconds();
  const double second = MonotonicSeconds();
  EXPECT_GE(second, first);
}

}  // namespace
}  // namespace platform
