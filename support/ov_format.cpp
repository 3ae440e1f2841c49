#include "support/ov_format.h"

#include <charconv>
#include <cmath>
#include <cstdio>

#include "support/ov_messages.h"

namespace support {

double ovLargeIntegerToDouble(uint64_t value) { return static_cast<double>(value); }

// "%.0f" prints the exact decimal value of a whole double, however large, so no integer type
// limits the range; only what a double itself holds does.
std::string ovFormatInt64(double value) {
  if (!std::isfinite(value)) return "0";
  const double whole = std::round(value);
  if (whole == 0) return "0";  // also -0.4, which must not read "-0"
  char digits[400];
  const double magnitude = std::fabs(whole);
  // Every size of a file is an exact integer well below 2^63: the integer printer is many times
  // faster than the floating-point one, and this runs once per deleted file.
  if (magnitude < 9.2e18) {
    *std::to_chars(digits, digits + sizeof(digits), static_cast<uint64_t>(magnitude)).ptr = '\0';
  } else {
    std::snprintf(digits, sizeof(digits), "%.0f", magnitude);
  }
  const std::string plain(digits);

  std::string result = whole < 0 ? "-" : "";
  for (size_t i = 0; i < plain.size(); ++i) {
    if (i > 0 && (plain.size() - i) % 3 == 0) result += ' ';
    result += plain[i];
  }
  return result;
}

// Hours are not wrapped into days: a clean-up that ran 30 hours reads "30 ч 00 мин 00.000 сек".
std::string ovFormatTimeInterval(double seconds) { return ovFormatTimeInterval(seconds, false); }

std::string ovFormatTimeInterval(double seconds, bool translated) {
  if (!std::isfinite(seconds) || seconds < 0) seconds = 0;
  if (seconds > 1e12) seconds = 1e12;  // keeps the millisecond count inside long long
  const auto total_ms = static_cast<long long>(std::llround(seconds * 1000.0));
  const long long hours = total_ms / 3'600'000;
  const long long minutes = total_ms / 60'000 % 60;
  const long long secs = total_ms / 1000 % 60;
  const long long ms = total_ms % 1000;
  char h[24], m[8], s[8], f[8];
  std::snprintf(h, sizeof(h), "%lld", hours);
  std::snprintf(m, sizeof(m), "%02lld", minutes);
  std::snprintf(s, sizeof(s), "%02lld", secs);
  std::snprintf(f, sizeof(f), "%03lld", ms);
  // The numbers are filled in after the words are translated, never read from a catalogue.
  const char* format = N_("%s ч %s мин %s.%s сек");
  return Fill(translated ? Tr(format) : std::string(format), {h, m, s, f});
}

std::string ovSystemTimeToStringDate(const platform::SystemTime& time, bool long_year) {
  char text[64];
  if (long_year) {
    std::snprintf(text, sizeof(text), "%02d.%02d.%04d", time.day, time.month, time.year);
  } else {
    std::snprintf(text, sizeof(text), "%02d.%02d.%02d", time.day, time.month, time.year % 100);
  }
  return text;
}

std::string ovSystemTimeToStringTime(const platform::SystemTime& time) {
  char text[64];
  std::snprintf(text, sizeof(text), "%02d:%02d:%02d", time.hour, time.minute, time.second);
  return text;
}

}  // namespace support
