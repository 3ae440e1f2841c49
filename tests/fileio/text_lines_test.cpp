// The line splitter both line readers share, under each of its two rules.

#include <gtest/gtest.h>

#include <string_view>
#include <vector>

#include "fileio/text_lines.h"

namespace quern {
namespace {

using Lines = std::vector<std::string_view>;

TEST(SplitLinesTest, CrLfAndALoneCrEndALineUnderBothRules) {
  for (bool lone_lf : {false, true}) {
    EXPECT_EQ(SplitLines("a\r\nb\rc", lone_lf), (Lines{"a", "b", "c"})) << lone_lf;
    EXPECT_EQ(SplitLines("a\r\n", lone_lf), (Lines{"a"})) << lone_lf;
    EXPECT_EQ(SplitLines("\r\n\r\n", lone_lf), (Lines{"", ""})) << lone_lf;
    EXPECT_TRUE(SplitLines("", lone_lf).empty()) << lone_lf;
  }
}

TEST(SplitLinesTest, ALoneLfEndsALineOnlyWhenAskedTo) {
  EXPECT_EQ(SplitLines("a\nb\n\rc", true), (Lines{"a", "b", "", "c"}));
  EXPECT_EQ(SplitLines("a\nb\n\rc", false), (Lines{"a\nb\n", "c"}));
}

}  // namespace
}  // namespace quern
