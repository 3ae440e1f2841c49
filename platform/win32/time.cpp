// Time as Windows keeps it: FILETIME is already the layer's unit.
#include "platform/win32/internal.h"

namespace platform {

FileTime GetSystemTimeAsFileTime() {
  FILETIME now;
  ::GetSystemTimeAsFileTime(&now);
  return win32::Ticks(now);
}

SystemTime GetLocalTime() {
  SYSTEMTIME now;
  ::GetLocalTime(&now);
  SystemTime result;
  result.year = now.wYear;
  result.month = now.wMonth;
  result.day_of_week = now.wDayOfWeek;
  result.day = now.wDay;
  result.hour = now.wHour;
  result.minute = now.wMinute;
  result.second = now.wSecond;
  result.milliseconds = now.wMilliseconds;
  return result;
}

double MonotonicSeconds() {
  static const double frequency = [] {
    LARGE_INTEGER value;
    QueryPerformanceFrequency(&value);
    return static_cast<double>(value.QuadPart);
  }();
  LARGE_INTEGER now;
  QueryPerformanceCounter(&now);
  return static_cast<double>(now.QuadPart) / frequency;
}

}  // namespace platform
