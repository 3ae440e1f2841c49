#include <gtest/gtest.h>

#include <fstream>
#include <string>

#include "common/test_files.h"
#include "support/ov_ini.h"

namespace {

using support::DeleteIniKey;
using support::IsIniKeyPresent;
using support::ReadIniInteger;
using support::ReadIniValue;
using support::WriteIniValue;

TEST(IniText, ReadsAKeyWithoutRegardToCaseOrBlanks) {
  const std::string text =
      "; comment\r\n[Other]\r\nZoneId=9\r\n [zonetransfer] \r\n  zoneid = 3 \r\n";
  EXPECT_EQ(ReadIniValue(text, "ZoneTransfer", "ZoneId"), "3");
  EXPECT_EQ(ReadIniInteger(text, "ZoneTransfer", "ZoneId", 0), 3);
  EXPECT_FALSE(IsIniKeyPresent(text, "ZoneTransfer", "Missing"));
  EXPECT_FALSE(IsIniKeyPresent(text, "Missing", "ZoneId"));
}

TEST(IniText, NamesWithBlanksAroundThemReadWhatTheyWrote) {
  // A write trims the names it is given; the readers must find the key by the same names.
  std::string text = "[Other]\r\nA=1\r\n";
  ASSERT_TRUE(WriteIniValue(&text, " ZoneTransfer ", "\tZoneId ", "3"));
  EXPECT_EQ(text, "[Other]\r\nA=1\r\n[ZoneTransfer]\r\nZoneId=3\r\n");
  EXPECT_EQ(ReadIniValue(text, " ZoneTransfer ", "\tZoneId "), "3");
  EXPECT_EQ(ReadIniInteger(text, " ZoneTransfer\t", " ZoneId", 0), 3);
  EXPECT_TRUE(IsIniKeyPresent(text, "  zonetransfer", "zoneid  "));
  ASSERT_TRUE(DeleteIniKey(&text, " ZoneTransfer ", "\tZoneId "));
  EXPECT_FALSE(IsIniKeyPresent(text, " ZoneTransfer ", "\tZoneId "));
}

TEST(IniText, CommentsAndLinesWithoutEqualsAreNoKeys) {
  const std::string text = "[S]\n;Key=1\nKey\n";
  EXPECT_FALSE(IsIniKeyPresent(text, "S", "Key"));
  EXPECT_FALSE(IsIniKeyPresent(text, "S", ";Key"));
}

TEST(IniText, DuplicateSectionsAndKeysGiveTheFirstValue) {
  const std::string text = "[S]\nA=1\n[T]\nB=2\n[s]\nB=3\nA=4\n";
  EXPECT_EQ(ReadIniValue(text, "S", "A"), "1");
  EXPECT_EQ(ReadIniValue(text, "S", "B"), "3");  // found in the second part of the section
}

TEST(IniText, QuotedValuesLoseTheirQuotes) {
  EXPECT_EQ(ReadIniValue("[S]\nA=\"x y\"\nB='z'\nC=\"w\n", "S", "A"), "x y");
  EXPECT_EQ(ReadIniValue("[S]\nB='z'\n", "S", "B"), "z");
  EXPECT_EQ(ReadIniValue("[S]\nC=\"w\n", "S", "C"), "\"w");
}

TEST(IniText, IntegerReadsALeadingDecimalNumberLikeWindows) {
  const auto read = [](const std::string& value) {
    return ReadIniInteger("[S]\r\nK=" + value + "\r\n", "S", "K", 77);
  };
  EXPECT_EQ(read("3"), 3);
  EXPECT_EQ(read("  -12abc"), -12);
  EXPECT_EQ(read("+4"), 4);
  EXPECT_EQ(read("abc"), 0);
  EXPECT_EQ(read("0x10"), 0);
  EXPECT_EQ(read(""), 77);
  EXPECT_EQ(read("4294967299"), 3);  // wraps at 32 bits
  EXPECT_EQ(read("2147483648"), INT32_MIN);
  EXPECT_EQ(ReadIniInteger("", "S", "K", 5), 5);
}

TEST(IniText, WriteCreatesTheSectionAtTheEndWithCrLf) {
  std::string text;
  ASSERT_TRUE(WriteIniValue(&text, "ZoneTransfer", "ZoneId", "3"));
  EXPECT_EQ(text, "[ZoneTransfer]\r\nZoneId=3\r\n");

  text = "[Other]\r\nX=1";  // no line end at the end
  ASSERT_TRUE(WriteIniValue(&text, "ZoneTransfer", "ZoneId", "3"));
  EXPECT_EQ(text, "[Other]\r\nX=1\r\n[ZoneTransfer]\r\nZoneId=3\r\n");
}

TEST(IniText, WriteReplacesTheKeyInPlaceAndKeepsEverythingElse) {
  std::string text = "; note\n[zonetransfer]\n zoneid = 3\nReferrerUrl=http://x/\n\n[Z]\r\nA=1\r\n";
  ASSERT_TRUE(WriteIniValue(&text, "ZoneTransfer", "ZoneId", "4"));
  EXPECT_EQ(text, "; note\n[zonetransfer]\nzoneid=4\nReferrerUrl=http://x/\n\n[Z]\r\nA=1\r\n");
}

TEST(IniText, WriteAddsAKeyAfterTheLastKeyOfTheSection) {
  std::string text = "[S]\r\nA=1\r\n\r\n[T]\r\nB=2\r\n";
  ASSERT_TRUE(WriteIniValue(&text, "s", "C", "3"));
  EXPECT_EQ(text, "[S]\r\nA=1\r\nC=3\r\n\r\n[T]\r\nB=2\r\n");

  text = "[S]";
  ASSERT_TRUE(WriteIniValue(&text, "S", "C", "3"));
  EXPECT_EQ(text, "[S]\r\nC=3\r\n");
}

TEST(IniText, WriteRefusesNamesThatWouldNotReadBack) {
  std::string text = "[S]\r\n";
  EXPECT_FALSE(WriteIniValue(&text, "", "K", "1"));
  EXPECT_FALSE(WriteIniValue(&text, "S]", "K", "1"));
  EXPECT_FALSE(WriteIniValue(&text, "S", "K=", "1"));
  EXPECT_FALSE(WriteIniValue(&text, "S", ";K", "1"));
  EXPECT_FALSE(WriteIniValue(&text, "S", "K", "1\r\n[Evil]"));
  EXPECT_FALSE(WriteIniValue(&text, "S\n", "K", "1"));
  EXPECT_EQ(text, "[S]\r\n");
}

TEST(IniText, DeleteRemovesEveryLineOfTheKeyAndKeepsTheSection) {
  std::string text = "[S]\r\nK=1\r\nA=2\r\n[s]\r\nk=3\r\n[T]\r\nK=4\r\n";
  ASSERT_TRUE(DeleteIniKey(&text, "S", "K"));
  EXPECT_EQ(text, "[S]\r\nA=2\r\n[s]\r\n[T]\r\nK=4\r\n");
  EXPECT_FALSE(IsIniKeyPresent(text, "S", "K"));
  EXPECT_FALSE(DeleteIniKey(&text, "S", "K"));
}

TEST(IniText, TextThatIsNoIniHoldsNoKeyAndSurvivesAWrite) {
  std::string garbage;
  for (int i = 0; i < 4096; ++i) garbage += static_cast<char>((i * 7919) % 256);
  garbage += std::string("\0[ZoneTransfer\0]\nZoneId=1", 25);
  EXPECT_FALSE(IsIniKeyPresent(garbage, "ZoneTransfer", "ZoneId"));
  std::string text = garbage;
  ASSERT_TRUE(WriteIniValue(&text, "ZoneTransfer", "ZoneId", "3"));
  ASSERT_EQ(text.compare(0, garbage.size(), garbage), 0) << "the old bytes stay in front";
  EXPECT_EQ(ReadIniInteger(text, "ZoneTransfer", "ZoneId", 0), 3);
}

TEST(IniText, AVeryLongLineWithoutLineEndIsOneLine) {
  const std::string line(1 << 20, 'x');
  EXPECT_FALSE(IsIniKeyPresent(line, "S", "K"));
  std::string text = "[S]\r\n" + line;  // a 1 MiB line without '=' in the section
  ASSERT_TRUE(WriteIniValue(&text, "S", "K", "1"));
  EXPECT_EQ(text, "[S]\r\nK=1\r\n" + line);
  std::string long_key = "[S]\r\n" + line + "=5\r\n";
  EXPECT_EQ(ReadIniInteger(long_key, "S", line, 0), 5);
}

TEST(IniFile, KeyExistsReadsTheFile) {
  orvanel::testing::TempFolder folder;
  const std::string path = folder / "a.ini";
  std::ofstream(path, std::ios::binary) << "[Main]\r\nKey=\r\n";
  EXPECT_TRUE(support::ovIsINIKeyExist2("main", "KEY", path, 0, 0));
  EXPECT_FALSE(support::ovIsINIKeyExist2("Main", "Other", path, 0, 0));
  EXPECT_FALSE(support::ovIsINIKeyExist2("Main", "Key", folder / "missing.ini", 0, 0));
}

}  // namespace
