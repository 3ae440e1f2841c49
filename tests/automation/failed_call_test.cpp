// The one map from a failed call's result code to the error its caller raises.

#include <gtest/gtest.h>

#include "automation/component.h"
#include "automation/date.h"

namespace automation {
namespace {

TEST(ErrorOfFailedCallTest, EachBadCallHasItsStandardError) {
  const ExcepInfo none;
  EXPECT_EQ(ErrorOfFailedCall(hr::kBadParamCount, none).number(), 450);
  EXPECT_EQ(ErrorOfFailedCall(hr::kParamNotOptional, none).number(), 449);
  EXPECT_EQ(ErrorOfFailedCall(hr::kTypeMismatch, none).number(), 13);
  EXPECT_EQ(ErrorOfFailedCall(hr::kMemberNotFound, none).number(), 438);
  EXPECT_EQ(ErrorOfFailedCall(hr::kFail, none).number(), 438);
}

TEST(ErrorOfFailedCallTest, ARaisedErrorComesBackAsTheMemberRaisedIt) {
  const ExcepInfo excep{76, "orvFSO", "Path not found"};
  const support::Error error = ErrorOfFailedCall(hr::kException, excep);
  EXPECT_EQ(error.number(), 76);
  EXPECT_EQ(error.source(), "orvFSO");
  EXPECT_EQ(error.description(), "Path not found");
}

TEST(CalendarTest, DayCountsRoundTripAcrossTheCenturies) {
  for (int64_t days : {-719162LL, -25569LL, -1LL, 0LL, 11016LL, 2932896LL}) {
    const CivilDate date = CivilFromDays(days);
    EXPECT_EQ(DaysFromCivil(date.year, date.month, date.day), days) << days;
  }
  EXPECT_EQ(DaysFromCivil(2000, 2, 29) + 1, DaysFromCivil(2000, 3, 1));
  EXPECT_EQ(DaysFromCivil(1900, 2, 28) + 1, DaysFromCivil(1900, 3, 1));  // 1900 is no leap year
}

}  // namespace
}  // namespace automation
