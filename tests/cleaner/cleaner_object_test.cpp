// The script object: its command table, the value conversions and the "-long" rejection.
#include <gtest/gtest.h>

#include <clocale>
#include <cmath>
#include <cstdlib>
#include <string>

#include "cleaner/COutput.h"
#include "cleaner/C_LOOM_cleaner.h"
#include "cleaner/RunContext.h"
#include "cleaner/modByAge.h"
#include "cleaner/modMain.h"
#include "support/ov_error.h"
#include "temp_folder.h"

namespace sweepwell {
namespace {

int32_t ErrorNumberOf(void (*action)()) {
  try {
    action();
  } catch (const support::Error& error) {
    return error.number();
  }
  return 0;
}

TEST(CleanerObjectTest, RegistersThreeFunctionsAndFortyThreePropertiesInOrder) {
  loom::ObjectInfo info;
  RunContext run;
  C_LOOM_cleaner cleaner(run);
  ASSERT_TRUE(cleaner.Register(info));
  EXPECT_EQ(info.ObjectName(), "cleaner");
  ASSERT_EQ(info.Members().size(), 46u);
  int functions = 0;
  for (const auto& member : info.Members()) functions += member.is_function;
  EXPECT_EQ(functions, 3);
  EXPECT_EQ(info.Members()[0].name, "done");
  EXPECT_EQ(info.Members()[3].name, "begin-group");
  EXPECT_EQ(info.Members()[6].name, "delete-files");
  EXPECT_EQ(info.Members()[7].name, "delete-files-long");
  EXPECT_EQ(info.Members()[24].name, "by-list-delete-files-long");
  EXPECT_EQ(info.Members()[25].name, "by-age-set-days");
  EXPECT_EQ(info.Members()[25].value_kind, loom::kValueNumber);
  EXPECT_EQ(info.Members()[4].value_kind, loom::kValueBoolean);
  EXPECT_EQ(info.Members().back().name, "delete-junctions-with-base-recursive-long");
}

TEST(CleanerObjectTest, CreatingTheObjectResetsTheSwitches) {
  RunContext run;
  run.DeleteToRecycleBin = false;
  run.GoBelowJunctions = true;
  C_LOOM_cleaner cleaner(run);
  EXPECT_TRUE(run.DeleteToRecycleBin);
  EXPECT_FALSE(run.GoBelowJunctions);
}

TEST(ValueConversionTest, NumbersRoundHalvesToEven) {
  EXPECT_EQ(ValueToLong(loom::Value(2.5)), 2);
  EXPECT_EQ(ValueToLong(loom::Value(3.5)), 4);
  EXPECT_EQ(ValueToLong(loom::Value(-2.5)), -2);
  EXPECT_EQ(ValueToLong(loom::Value(std::string(" 30 "))), 30);
  EXPECT_EQ(ValueToLong(loom::Value(true)), -1);
  EXPECT_EQ(ValueToLong(loom::Value(2147483647.0)), 2147483647);
  EXPECT_EQ(ValueToLong(loom::Value(-2147483648.5)), -2147483648);
}

TEST(ValueConversionTest, BadNumbersRaiseTypeMismatchOrOverflow) {
  EXPECT_EQ(ErrorNumberOf([] { ValueToLong(loom::Value(std::string("abc"))); }), 13);
  EXPECT_EQ(ErrorNumberOf([] { ValueToLong(loom::Value(std::string("0x10"))); }), 13);
  EXPECT_EQ(ErrorNumberOf([] { ValueToLong(loom::Value(std::string("nan"))); }), 13);
  EXPECT_EQ(ErrorNumberOf([] { ValueToLong(loom::Value(2147483648.0)); }), 6);
  EXPECT_EQ(ErrorNumberOf([] { ValueToLong(loom::Value(1e300)); }), 6);
  EXPECT_EQ(ErrorNumberOf([] { ValueToLong(loom::Value(2147483647.5)); }), 6);
  EXPECT_EQ(ErrorNumberOf([] { ValueToLong(loom::Value(std::nan(""))); }), 6);
  EXPECT_EQ(ErrorNumberOf([] { ValueToLong(loom::Value(HUGE_VAL)); }), 6);
}

TEST(ValueConversionTest, TruthValuesAcceptWordsAndNumbersOnly) {
  EXPECT_TRUE(ValueToBoolean(loom::Value(std::string("true"))));
  EXPECT_FALSE(ValueToBoolean(loom::Value(std::string("FALSE"))));
  EXPECT_TRUE(ValueToBoolean(loom::Value(-1.0)));
  EXPECT_FALSE(ValueToBoolean(loom::Value(0.0)));
  EXPECT_TRUE(ValueToBoolean(loom::Value(std::string("2"))));
  EXPECT_EQ(ErrorNumberOf([] { ValueToBoolean(loom::Value(std::string("yes"))); }), 13);
  EXPECT_EQ(ErrorNumberOf([] { ValueToBoolean(loom::Value()); }), 13);
}

TEST(ValueConversionTest, TextOfNumbersAndTruthValues) {
  EXPECT_EQ(ValueToText(loom::Value(30.0)), "30");
  EXPECT_EQ(ValueToText(loom::Value(2.5)), "2.5");
  EXPECT_EQ(ValueToText(loom::Value(true)), "True");
  EXPECT_EQ(ValueToText(loom::Value(std::string("a\\b"))), "a\\b");
}

TEST(ValueConversionTest, DecimalPointDoesNotDependOnTheLocale) {
  // A Russian locale writes numbers with a comma; script values always use a point.
  testing::TempFolder locales;
  std::string command =
      "localedef -i ru_RU -f UTF-8 '" + locales.path() + "/ru_RU.UTF-8' >/dev/null 2>&1";
  if (std::system(command.c_str()) != 0) GTEST_SKIP() << "localedef cannot build ru_RU here";
  setenv("LOCPATH", locales.path().c_str(), 1);
  if (std::setlocale(LC_NUMERIC, "ru_RU.UTF-8") == nullptr) {
    unsetenv("LOCPATH");
    GTEST_SKIP() << "the ru_RU locale does not load";
  }
  int32_t rounded = ValueToLong(loom::Value(std::string("3.5")));
  std::string text = ValueToText(loom::Value(2.5));
  bool truth = ValueToBoolean(loom::Value(std::string("0.5")));
  std::setlocale(LC_NUMERIC, "C");
  unsetenv("LOCPATH");
  EXPECT_EQ(rounded, 4);
  EXPECT_EQ(text, "2.5");
  EXPECT_TRUE(truth);
}

class CleanerInvokeTest : public ::testing::Test {
 protected:
  void SetUp() override { run.OpenOutput(temp / "log", nullptr); }
  testing::TempFolder temp;
  RunContext run;
  C_LOOM_cleaner cleaner{run};
  loom::ScriptError error;
};

TEST_F(CleanerInvokeTest, WrongValueKindFailsTheCommandAndNamesIt) {
  EXPECT_FALSE(
      cleaner.InvokeProperty("go-below-junctions", loom::Value(std::string("yes")), error));
  EXPECT_TRUE(error.HasObjectError());
  EXPECT_EQ(error.ObjectName(), "cleaner");
  EXPECT_EQ(error.MemberName(), "go-below-junctions");
  EXPECT_EQ(error.Number(), 13);
}

TEST_F(CleanerInvokeTest, LongTwinIsRejectedOnlyInNoLongMode) {
  run.NoLongMode = true;
  EXPECT_TRUE(cleaner.InvokeProperty("by-age-set-days-long", loom::Value(5.0), error));
  EXPECT_TRUE(
      cleaner.InvokeProperty("delete-folder-long", loom::Value(temp / "does-not-matter"), error));
  EXPECT_EQ(run.Output->Totals().ReportedFolders, 0);  // rejected: not even looked at
  EXPECT_TRUE(cleaner.InvokeProperty("delete-folder", loom::Value(temp / "missing"), error));
  EXPECT_EQ(run.Output->Totals().ReportedFolders, 1);
}

TEST_F(CleanerInvokeTest, AgeDaysSetTheThresholdBackFromNow) {
  ASSERT_TRUE(cleaner.InvokeProperty("by-age-set-days", loom::Value(2.5), error));
  double now = static_cast<double>(platform::GetSystemTimeAsFileTime());
  double days = (now - run.AgeThreshold) / 864000000000.0;
  EXPECT_NEAR(days, 2.0, 0.001);
}

TEST_F(CleanerInvokeTest, UnknownNamesDoNothingAndSucceed) {
  EXPECT_TRUE(cleaner.InvokeProperty("no-such-command", loom::Value(1.0), error));
  EXPECT_TRUE(cleaner.InvokeFunction("no-such-function", error));
  EXPECT_FALSE(error.HasObjectError());
}

}  // namespace
}  // namespace sweepwell
