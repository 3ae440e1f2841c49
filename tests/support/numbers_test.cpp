// Numbers turned into integers: halves to the even neighbour in any rounding mode, and nothing
// outside the target type.

#include <gtest/gtest.h>

#include <cfenv>
#include <cmath>
#include <cstdint>
#include <limits>

#include "support/ov_numbers.h"

namespace support {
namespace {

TEST(RoundToIntegerTest, HalvesGoToTheEvenNeighbourWhateverTheRoundingMode) {
  const int saved = std::fegetround();
  for (int mode : {FE_TONEAREST, FE_UPWARD, FE_DOWNWARD, FE_TOWARDZERO}) {
    std::fesetround(mode);
    EXPECT_EQ(RoundHalfToEven(2.5), 2.0) << mode;
    EXPECT_EQ(RoundHalfToEven(3.5), 4.0) << mode;
    EXPECT_EQ(RoundHalfToEven(-2.5), -2.0) << mode;
    EXPECT_EQ(RoundHalfToEven(-0.49999999999999994), 0.0) << mode;
    EXPECT_EQ(RoundHalfToEven(0.5000000000000001), 1.0) << mode;
  }
  std::fesetround(saved);
}

TEST(RoundToIntegerTest, EdgesOfInt32) {
  int32_t out = 7;
  EXPECT_TRUE(RoundToInteger(2147483647.0, &out));
  EXPECT_EQ(out, 2147483647);
  EXPECT_TRUE(RoundToInteger(-2147483648.5, &out));  // to the even -2147483648
  EXPECT_EQ(out, -2147483648);
  out = 7;
  for (double bad : {2147483647.5, -2147483649.0, 1e300, -1e300,
                     std::numeric_limits<double>::infinity(),
                     -std::numeric_limits<double>::infinity(),
                     std::numeric_limits<double>::quiet_NaN()}) {
    EXPECT_FALSE(RoundToInteger(bad, &out)) << bad;
  }
  EXPECT_EQ(out, 7);  // untouched by a failure
}

TEST(RoundToIntegerTest, NarrowTypesKeepTheirOwnLimits) {
  uint8_t byte = 0;
  EXPECT_TRUE(RoundToInteger(-0.5, &byte));  // to the even 0
  EXPECT_EQ(byte, 0);
  EXPECT_TRUE(RoundToInteger(255.4, &byte));
  EXPECT_EQ(byte, 255);
  EXPECT_FALSE(RoundToInteger(255.5, &byte));
  int16_t integer = 0;
  EXPECT_FALSE(RoundToInteger(32767.5, &integer));
  EXPECT_TRUE(RoundToInteger(-32768.5, &integer));
  EXPECT_EQ(integer, -32768);
}

}  // namespace
}  // namespace support
