// A number turned into an integer the way every part of the product does it (VB's CLng, CInt
// and CByte): to the nearest integer, halves to the even neighbour, and nothing outside the
// target type. One rule, so that a value the script checker accepts is one the cleaner and the
// objects accept too.
#pragma once

#include <cmath>
#include <concepts>
#include <limits>

namespace support {

// `value` rounded to the nearest integer, halves to the even one (2.5 -> 2, 3.5 -> 4,
// -2.5 -> -2), whatever rounding mode the floating-point environment is in. NaN and the
// infinities come back unchanged.
inline double RoundHalfToEven(double value) {
  if (!std::isfinite(value)) return value;
  const double floor = std::floor(value);
  // Exact for every double: above 2^52 there is no fraction, and below it value - floor needs
  // no more bits than the value has (for -0.5 < value < 0 it may round up to exactly 0.5, but
  // floor is then -1, odd, and the result is 0 either way).
  const double fraction = value - floor;
  if (fraction > 0.5 || (fraction == 0.5 && std::fmod(floor, 2.0) != 0.0)) return floor + 1;
  return floor;
}

// `value` rounded (RoundHalfToEven) into `*out`; false, `*out` untouched, when the rounded
// value is NaN or outside T (2147483647.5 rounds to 2147483648 and does not fit an int32_t;
// -2147483648.5 rounds to -2147483648 and does). T is at most 32 bits wide, so that its
// limits are exact doubles.
template <std::integral T>
  requires(sizeof(T) <= 4)
bool RoundToInteger(double value, T* out) {
  const double rounded = RoundHalfToEven(value);
  if (!(rounded >= static_cast<double>(std::numeric_limits<T>::min()) &&
        rounded <= static_cast<double>(std::numeric_limits<T>::max()))) {
    return false;
  }
  *out = static_cast<T>(rounded);
  return true;
}

}  // namespace support
