// Text chores: trimming, cutting, case-insensitive keys and error descriptions.
#include <gtest/gtest.h>

#include "platform/platform.h"
#include "support/ov_error.h"
#include "support/ov_strings.h"

using namespace support;

TEST(OvTrimEx, RemovesBlanksAndTabsAtBothEndsOnly) {
  EXPECT_EQ(ovTrimEx("  \t/tmp/a b\t "), "/tmp/a b");
  EXPECT_EQ(ovTrimEx("\t\t"), "");
  EXPECT_EQ(ovTrimEx(""), "");
  EXPECT_EQ(ovTrimEx("x"), "x");
  EXPECT_EQ(ovTrimEx("\nx\n"), "\nx\n");  // only blanks and tabs count
}

TEST(OvCutLeft, DropsTheFirstNBytes) {
  EXPECT_EQ(ovCutLeft("abcdef", 2), "cdef");
  EXPECT_EQ(ovCutLeft("abcdef", 0), "abcdef");
  EXPECT_EQ(ovCutLeft("abcdef", -3), "abcdef");
  EXPECT_EQ(ovCutLeft("abcdef", 6), "");
  EXPECT_EQ(ovCutLeft("abcdef", 100), "");
}

TEST(UpperCase, UpperCasesAsciiCyrillicAndLatin1Letters) {
  EXPECT_EQ(UpperCase("readme.txt"), "README.TXT");
  EXPECT_EQ(UpperCase("отчёт за май"), "ОТЧЁТ ЗА МАЙ");
  EXPECT_EQ(UpperCase("їжак ґанок ў"), "ЇЖАК ҐАНОК Ў");
  EXPECT_EQ(UpperCase("été à çà ÿ"), "ÉTÉ À ÇÀ Ÿ");
  EXPECT_EQ(UpperCase("÷ ß µ 日本 123_[]"), "÷ ß µ 日本 123_[]");
}

TEST(UpperCase, NamesDifferingOnlyInCaseGiveTheSameKey) {
  EXPECT_EQ(UpperCase("/Tmp/Отчёт/*.Doc"), UpperCase("/tmp/ОТЧЁТ/*.DOC"));
  EXPECT_EQ(UpperCase("Ÿ"), UpperCase("ÿ"));
  EXPECT_NE(UpperCase("е"), UpperCase("ё"));
}

TEST(UpperCase, AgreesWithHowNamesMatch) {
  // Whatever PathMatchSpec takes as the same name must give one key, and the reverse.
  for (const char* pair : {"аБвГдЕёЖзИйКлМнОпРсТуФхЦчШщЪыЬэЮя", "ÀÁÂÃÄÅÆÇÈÉÊËÌÍÎÏÐÑÒÓÔÕÖØÙÚÛÜÝÞ",
                           "ЀЁЂЃЄЅІЇЈЉЊЋЌЍЎЏѢѣҐґӁӂӐӑ"}) {
    const std::string name = pair;
    std::string lower_key = UpperCase(name);
    EXPECT_TRUE(platform::PathMatchSpec(name, lower_key)) << name;
    EXPECT_EQ(UpperCase(lower_key), lower_key) << name;
  }
}

TEST(UpperCase, LeavesInvalidUtf8Alone) {
  const std::string bytes = "a\xFF\xD0z\xD0";
  EXPECT_EQ(UpperCase(bytes), "A\xFF\xD0Z\xD0");
}

TEST(StandardDescription, GivesTheRussianTextsAndANumberedFallback) {
  EXPECT_EQ(StandardDescription(5), "Неверный вызов процедуры или аргумент");
  EXPECT_EQ(StandardDescription(13), "Несоответствие типа");
  EXPECT_EQ(StandardDescription(53), "Файл не найден");
  EXPECT_EQ(StandardDescription(70), "Отказано в доступе");
  EXPECT_EQ(StandardDescription(75), "Ошибка доступа к пути или файлу");
  EXPECT_EQ(StandardDescription(76), "Путь не найден");
  EXPECT_EQ(StandardDescription(91), "Объектная переменная не задана");
  EXPECT_EQ(StandardDescription(1234), "Ошибка 1234");
  EXPECT_EQ(StandardDescription(-1), "Ошибка -1");
}

TEST(MakeError, CarriesNumberDescriptionAndSource) {
  const Error error = MakeError(76, "modDelTree");
  EXPECT_EQ(error.number(), 76);
  EXPECT_EQ(error.description(), "Путь не найден");
  EXPECT_EQ(error.source(), "modDelTree");
  EXPECT_STREQ(error.what(), "Путь не найден");
}
