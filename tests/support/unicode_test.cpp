#include <gtest/gtest.h>

#include <random>
#include <string>

#include "support/ov_unicode.h"

namespace support {
namespace {

// The tests run in the C locale, whose ANSI and OEM pages count as UTF-8.

TEST(Utf8, RoundTripsEveryKindOfCharacter) {
  const std::u16string text = u"plain ascii, Привет, €, 日本, \U0001F600 and \U00010080 end";
  const std::string bytes = ovUNICODEToUTF8(text);
  EXPECT_EQ(bytes,
            "plain ascii, \xD0\x9F\xD1\x80\xD0\xB8\xD0\xB2\xD0\xB5\xD1\x82, \xE2\x82\xAC, "
            "\xE6\x97\xA5\xE6\x9C\xAC, \xF0\x9F\x98\x80 and \xF0\x90\x82\x80 end");
  EXPECT_EQ(ovUTF8ToUNICODE(bytes), text);
}

TEST(Utf8, FastPathBoundariesKeepEveryCharacterInPlace) {
  // A two-, three- and four-byte character at every offset around the sixteen-byte and
  // eight-unit steps of both directions.
  const std::pair<std::u16string, std::string> samples[] = {
      {u"ж", "\xD0\xB6"}, {u"日", "\xE6\x97\xA5"}, {u"\U0001F600", "\xF0\x9F\x98\x80"}};
  for (const auto& [character, encoded] : samples) {
    for (size_t at = 0; at < 40; ++at) {
      std::u16string text(44, u'x');
      text.replace(at, character.size(), character);
      const std::string bytes = ovUNICODEToUTF8(text);
      ASSERT_EQ(bytes.size(), 44 - character.size() + encoded.size()) << at;
      EXPECT_EQ(bytes.substr(at, encoded.size()), encoded) << at;
      EXPECT_EQ(ovUTF8ToUNICODE(bytes), text) << at;
    }
  }
}

TEST(Utf8, EachMaximalInvalidSubpartBecomesOneReplacement) {
  const std::u16string r = u"\uFFFD";
  EXPECT_EQ(ovUTF8ToUNICODE("a\xC3"), u"a" + r);                  // cut off at the end
  EXPECT_EQ(ovUTF8ToUNICODE("\xE2\x82z"), r + u"z");              // cut off before a letter
  EXPECT_EQ(ovUTF8ToUNICODE("\xC0\xAF"), r + r);                  // overlong lead
  EXPECT_EQ(ovUTF8ToUNICODE("\xED\xA0\x80"), r + r + r);          // encoded surrogate
  EXPECT_EQ(ovUTF8ToUNICODE("\xF0\x80\x80"), r + r + r);          // overlong four-byte
  EXPECT_EQ(ovUTF8ToUNICODE("\xF4\x90\x80\x80"), r + r + r + r);  // above U+10FFFF
  EXPECT_EQ(ovUTF8ToUNICODE("\xF0\x9F\x98"), r);                  // one subpart of three
  EXPECT_EQ(ovUTF8ToUNICODE("\xFF\xFE"), r + r);
  EXPECT_EQ(ovUTF8ToUNICODE(std::string("a\0b", 3)), std::u16string(u"a\0b", 3));
}

TEST(Utf8, LoneSurrogatesEncodeAsReplacement) {
  EXPECT_EQ(ovUNICODEToUTF8(u"a\xD800"), "a\xEF\xBF\xBD");
  EXPECT_EQ(ovUNICODEToUTF8(std::u16string(1, 0xDC41) + u"b"),
            "\xEF\xBF\xBD"
            "b");
  EXPECT_EQ(ovUNICODEToUTF8(std::u16string{0xDBFF, 0xDFFF}), "\xF4\x8F\xBF\xBF");
}

TEST(CodePages, AnsiAndOemAreUtf8InTheCLocale) {
  EXPECT_EQ(ovStrConvB(u"Ёж"), "\xD0\x81\xD0\xB6");
  EXPECT_EQ(ovStrConvW("\xD0\x81\xD0\xB6"), u"Ёж");
  EXPECT_EQ(TextToOem(u"Ёж"), "\xD0\x81\xD0\xB6");
  EXPECT_EQ(OemToText("\xD0\x81\xD0\xB6"), u"Ёж");
  EXPECT_EQ(Utf8FromUtf16(Utf16FromUtf8("Привет")), "Привет");
}

TEST(FileNames, UndecodableBytesTravelAsLoneSurrogates) {
  const std::string native =
      "a\xFF"
      "b\xD0";
  const std::u16string name = FileNameFromNative(native);
  EXPECT_EQ(name, (std::u16string{u'a', 0xDCFF, u'b', 0xDCD0}));
  EXPECT_EQ(NativeFileName(name), native);
  // Each byte of an invalid sequence is escaped alone, so none is lost.
  EXPECT_EQ(FileNameFromNative("\xED\xA0\x80"), (std::u16string{0xDCED, 0xDCA0, 0xDC80}));
}

TEST(FileNames, ValidCharactersAreNotMistakenForEscapes) {
  // U+10080 is the pair D800 DC80; its low half must not turn into the byte 0x80.
  const std::string native = "\xF0\x90\x82\x80.txt";
  EXPECT_EQ(NativeFileName(FileNameFromNative(native)), native);
  EXPECT_EQ(NativeFileName(u"файл.txt"), "файл.txt");
}

TEST(FileNames, EveryByteStringSurvivesTheRoundTrip) {
  std::mt19937 random(12345);
  for (int round = 0; round < 2000; ++round) {
    std::string native(random() % 12, '\0');
    for (char& byte : native) byte = static_cast<char>(random() % 255 + 1);
    ASSERT_EQ(NativeFileName(FileNameFromNative(native)), native);
  }
}

}  // namespace
}  // namespace support
