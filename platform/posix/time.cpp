#include <sys/stat.h>

#include <cstdint>
#include <ctime>
#include <limits>

#include "platform/platform.h"
#include "platform/posix/internal.h"

namespace platform {

namespace posix {

namespace {
// Seconds from 1601-01-01 to 1970-01-01, and FILETIME ticks per second.
constexpr int64_t kSecondsFrom1601To1970 = 11644473600;
constexpr int64_t kTicksPerSecond = 10'000'000;
constexpr int64_t kMaxTicks = std::numeric_limits<int64_t>::max();
}  // namespace

FileTime FileTimeFromUnix(int64_t seconds, uint32_t nanoseconds) {
  if (seconds < -kSecondsFrom1601To1970) return 0;
  // Windows treats FILETIME as a signed count, so its range ends at the largest int64.
  if (seconds > (kMaxTicks - kTicksPerSecond) / kTicksPerSecond - kSecondsFrom1601To1970) {
    return static_cast<FileTime>(kMaxTicks);
  }
  return static_cast<FileTime>((seconds + kSecondsFrom1601To1970) * kTicksPerSecond +
                               nanoseconds / 100);
}

FileTime FileTimeFromStatx(const struct statx_timestamp& time) {
  return FileTimeFromUnix(time.tv_sec, time.tv_nsec);
}

}  // namespace posix

FileTime GetSystemTimeAsFileTime() {
  timespec now{};
  clock_gettime(CLOCK_REALTIME, &now);
  return posix::FileTimeFromUnix(now.tv_sec, static_cast<uint32_t>(now.tv_nsec));
}

SystemTime GetLocalTime() {
  timespec now{};
  clock_gettime(CLOCK_REALTIME, &now);
  tm local{};
  localtime_r(&now.tv_sec, &local);
  SystemTime result;
  result.year = local.tm_year + 1900;
  result.month = local.tm_mon + 1;
  result.day_of_week = local.tm_wday;
  result.day = local.tm_mday;
  result.hour = local.tm_hour;
  result.minute = local.tm_min;
  // A leap second (tm_sec 60) has no place in a SYSTEMTIME.
  result.second = local.tm_sec > 59 ? 59 : local.tm_sec;
  result.milliseconds = static_cast<int>(now.tv_nsec / 1'000'000);
  return result;
}

double MonotonicSeconds() {
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC, &now);
  return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) / 1e9;
}

}  // namespace platform
