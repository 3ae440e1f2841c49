// %NAME% expansion and the per-user data and configuration folders.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "common/scoped_environment.h"
#include "platform/platform.h"

using platform::ExpandEnvironmentStrings;

namespace {

// Sets and unsets variables for one test and puts every touched one back afterwards.
class EnvironmentTest : public ::testing::Test {
 protected:
  void Set(const std::string& name, const std::string& value) { environment_.Set(name, value); }
  void Unset(const std::string& name) { environment_.Unset(name); }

 private:
  orvanel::testing::ScopedEnvironment environment_;
};

}  // namespace

TEST_F(EnvironmentTest, KnownNamesAreReplaced) {
  Set("SWEEPWELL_TEST_A", "/data/a");
  Set("SWEEPWELL_TEST_B", "b");
  EXPECT_EQ(ExpandEnvironmentStrings("%SWEEPWELL_TEST_A%/x/%SWEEPWELL_TEST_B%.txt"),
            "/data/a/x/b.txt");
  EXPECT_EQ(ExpandEnvironmentStrings("%SWEEPWELL_TEST_A%%SWEEPWELL_TEST_B%"), "/data/ab");
  EXPECT_EQ(ExpandEnvironmentStrings("no references"), "no references");
  EXPECT_EQ(ExpandEnvironmentStrings(""), "");
}

TEST_F(EnvironmentTest, ValuesAreNotExpandedAgain) {
  Set("SWEEPWELL_TEST_A", "%SWEEPWELL_TEST_B%");
  Set("SWEEPWELL_TEST_B", "wrong");
  EXPECT_EQ(ExpandEnvironmentStrings("%SWEEPWELL_TEST_A%"), "%SWEEPWELL_TEST_B%");
}

TEST_F(EnvironmentTest, UnknownNamesStayAsWritten) {
  Unset("SWEEPWELL_NO_SUCH");
  Set("SWEEPWELL_TEST_A", "a");
  EXPECT_EQ(ExpandEnvironmentStrings("%SWEEPWELL_NO_SUCH%/x"), "%SWEEPWELL_NO_SUCH%/x");
  EXPECT_EQ(ExpandEnvironmentStrings("%SWEEPWELL_NO_SUCH%%SWEEPWELL_TEST_A%"),
            "%SWEEPWELL_NO_SUCH%a");
}

TEST_F(EnvironmentTest, LonePercentSignsAndDoublePercentStay) {
  Set("SWEEPWELL_TEST_A", "a");
  EXPECT_EQ(ExpandEnvironmentStrings("100%"), "100%");
  EXPECT_EQ(ExpandEnvironmentStrings("%SWEEPWELL_TEST_A"), "%SWEEPWELL_TEST_A");
  EXPECT_EQ(ExpandEnvironmentStrings("50%% off"), "50%% off");
  EXPECT_EQ(ExpandEnvironmentStrings("%SWEEPWELL_TEST_A%/%"), "a/%");
  EXPECT_EQ(ExpandEnvironmentStrings("%"), "%");
  EXPECT_EQ(ExpandEnvironmentStrings("%%"), "%%");
}

TEST_F(EnvironmentTest, AnEmptyValueIsStillAValue) {
  Set("SWEEPWELL_TEST_EMPTY", "");
  EXPECT_EQ(ExpandEnvironmentStrings("[%SWEEPWELL_TEST_EMPTY%]"), "[]");
}

TEST_F(EnvironmentTest, ExactNameWinsOverOtherLetterCase) {
  Set("SWEEPWELL_test_case", "exact");
  Set("SWEEPWELL_TEST_CASE", "upper");
  EXPECT_EQ(ExpandEnvironmentStrings("%SWEEPWELL_test_case%"), "exact");
  EXPECT_EQ(ExpandEnvironmentStrings("%SWEEPWELL_TEST_CASE%"), "upper");
  EXPECT_EQ(ExpandEnvironmentStrings("%Sweepwell_Test_Case%"), "upper");
}

TEST_F(EnvironmentTest, NamesInOtherLetterCaseFindTheVariable) {
  Set("SWEEPWELL_MixedName", "found");
  EXPECT_EQ(ExpandEnvironmentStrings("%sweepwell_mixedname%"), "found");
  Set("HOME", "/home/someone");
  EXPECT_EQ(ExpandEnvironmentStrings("%Home%/.cache"), "/home/someone/.cache");
}

TEST_F(EnvironmentTest, TempFallsBackToTmpdirThenSlashTmp) {
  for (const char* name : {"TEMP", "TMP", "temp", "tmp", "Temp", "Tmp"}) Unset(name);
  Set("TMPDIR", "/var/tmp/mine");
  EXPECT_EQ(ExpandEnvironmentStrings("%TEMP%/x"), "/var/tmp/mine/x");
  EXPECT_EQ(ExpandEnvironmentStrings("%temp%/x"), "/var/tmp/mine/x");
  EXPECT_EQ(ExpandEnvironmentStrings("%TMP%"), "/var/tmp/mine");
  Unset("TMPDIR");
  EXPECT_EQ(ExpandEnvironmentStrings("%TEMP%"), "/tmp");
  Set("TEMP", "/custom");
  EXPECT_EQ(ExpandEnvironmentStrings("%TEMP%"), "/custom");
  EXPECT_EQ(ExpandEnvironmentStrings("%TEMPDIR%"), "%TEMPDIR%");
}

TEST_F(EnvironmentTest, UserDataFolderPrefersAbsoluteXdgDataHome) {
  Set("XDG_DATA_HOME", "/xdg/data/");
  Set("HOME", "/home/someone");
  EXPECT_EQ(platform::GetUserDataFolder(), "/xdg/data");
  Set("XDG_DATA_HOME", "relative/data");
  EXPECT_EQ(platform::GetUserDataFolder(), "/home/someone/.local/share");
  Unset("XDG_DATA_HOME");
  EXPECT_EQ(platform::GetUserDataFolder(), "/home/someone/.local/share");
  Set("HOME", "/home/trailing/");
  EXPECT_EQ(platform::GetUserDataFolder(), "/home/trailing/.local/share");
}

TEST_F(EnvironmentTest, UserConfigFolderFollowsTheSameRulesAsTheDataFolder) {
  Set("HOME", "/home/someone");
  Set("XDG_CONFIG_HOME", "/xdg/config//");
  EXPECT_EQ(platform::GetUserConfigFolder(), "/xdg/config");
  Set("XDG_CONFIG_HOME", "./config");  // relative: ignored, never taken from the current folder
  EXPECT_EQ(platform::GetUserConfigFolder(), "/home/someone/.config");
  Set("XDG_CONFIG_HOME", "");
  EXPECT_EQ(platform::GetUserConfigFolder(), "/home/someone/.config");
}

TEST_F(EnvironmentTest, UserDataFolderWithoutHomeUsesTheAccountEntry) {
  Unset("XDG_DATA_HOME");
  Unset("HOME");
  const std::string folder = platform::GetUserDataFolder();
  ASSERT_FALSE(folder.empty());
  EXPECT_EQ(folder.front(), '/');
  EXPECT_TRUE(folder.ends_with("/.local/share")) << folder;
}
