// PathMatchSpec: wildcards, letter case, pattern lists and the Windows "*.*" habits.
#include <gtest/gtest.h>

#include <chrono>
#include <string>

#include "platform/platform.h"

using platform::PathMatchSpec;

TEST(PathMatchSpec, StarMatchesAnyRunIncludingAnEmptyOne) {
  EXPECT_TRUE(PathMatchSpec("report.bak", "*.bak"));
  EXPECT_TRUE(PathMatchSpec(".bak", "*.bak"));
  EXPECT_TRUE(PathMatchSpec("a.bak.bak", "*.bak"));
  EXPECT_TRUE(PathMatchSpec("abc", "a*c"));
  EXPECT_TRUE(PathMatchSpec("ac", "a*c"));
  EXPECT_FALSE(PathMatchSpec("report.bak.txt", "*.bak"));
  EXPECT_FALSE(PathMatchSpec("abcd", "a*c"));
}

TEST(PathMatchSpec, QuestionMarkTakesExactlyOneCharacter) {
  EXPECT_TRUE(PathMatchSpec("a1.txt", "a?.txt"));
  EXPECT_FALSE(PathMatchSpec("a.txt", "a?.txt"));
  EXPECT_FALSE(PathMatchSpec("a12.txt", "a?.txt"));
}

TEST(PathMatchSpec, QuestionMarkTakesAWholeUtf8Character) {
  EXPECT_TRUE(PathMatchSpec("файл", "фа?л"));  // "й" is two bytes
  EXPECT_TRUE(PathMatchSpec("x€y", "x?y"));    // three bytes
  EXPECT_TRUE(PathMatchSpec("x😀y", "x?y"));    // four bytes
  EXPECT_FALSE(PathMatchSpec("x€y", "x??y"));
}

TEST(PathMatchSpec, InvalidUtf8BytesAreSingleCharacters) {
  const std::string name = "a\xFF\xC3z";  // a stray byte and a cut-off sequence
  EXPECT_TRUE(PathMatchSpec(name, "a??z"));
  EXPECT_FALSE(PathMatchSpec(name, "a?z"));
  EXPECT_TRUE(PathMatchSpec(name, "a*"));
  EXPECT_TRUE(PathMatchSpec(name, name));
  // A stray byte is not the character that a valid sequence would encode (0xE9 is not "é").
  EXPECT_FALSE(PathMatchSpec("caf\xE9", "café"));
}

TEST(PathMatchSpec, AsciiLetterCaseIsIgnored) {
  EXPECT_TRUE(PathMatchSpec("README.TXT", "readme.txt"));
  EXPECT_TRUE(PathMatchSpec("Thumbs.db", "THUMBS.DB"));
  EXPECT_FALSE(PathMatchSpec("[x]", "{x}"));  // the bytes next to letters are not letters
}

TEST(PathMatchSpec, CyrillicAndLatin1LetterCaseIsIgnored) {
  EXPECT_TRUE(PathMatchSpec("ОТЧЁТ.DOC", "отчёт.doc"));
  EXPECT_TRUE(PathMatchSpec("отчёт.doc", "ОТЧЁТ.*"));
  EXPECT_TRUE(PathMatchSpec("Їжак", "їЖАК"));
  EXPECT_TRUE(PathMatchSpec("ÉTÉ.txt", "été.txt"));
  EXPECT_TRUE(PathMatchSpec("ÿ", "Ÿ"));
  EXPECT_TRUE(PathMatchSpec("Ґанок", "ґанок"));
  EXPECT_FALSE(PathMatchSpec("×", "÷"));  // signs, not letters
  EXPECT_FALSE(PathMatchSpec("е", "ё"));
}

TEST(PathMatchSpec, StarDotStarMatchesEveryName) {
  EXPECT_TRUE(PathMatchSpec("file.txt", "*.*"));
  EXPECT_TRUE(PathMatchSpec("Makefile", "*.*"));
  EXPECT_TRUE(PathMatchSpec(".hidden", "*.*"));
  EXPECT_TRUE(PathMatchSpec("a.b.c", "*.*"));
  EXPECT_TRUE(PathMatchSpec("x", "*"));
}

TEST(PathMatchSpec, TrailingDotOrDotStarAllowsAnEmptyExtension) {
  EXPECT_TRUE(PathMatchSpec("readme", "readme.*"));
  EXPECT_TRUE(PathMatchSpec("readme.md", "readme.*"));
  EXPECT_TRUE(PathMatchSpec("readme", "readme."));
  EXPECT_FALSE(PathMatchSpec("readme.md", "readme."));
  EXPECT_FALSE(PathMatchSpec("readmex", "readme.*"));
  EXPECT_FALSE(PathMatchSpec("readme", "readme.txt"));
  EXPECT_TRUE(PathMatchSpec("a.txt", "*.txt.*"));
}

TEST(PathMatchSpec, StarDotMatchesOnlyNamesWithoutExtension) {
  EXPECT_TRUE(PathMatchSpec("Makefile", "*."));
  EXPECT_FALSE(PathMatchSpec("a.txt", "*."));
  EXPECT_FALSE(PathMatchSpec(".hidden", "*."));
  EXPECT_TRUE(PathMatchSpec("v1.2", "v1.*."));
  EXPECT_FALSE(PathMatchSpec("v1.2.3", "v1.*."));
  EXPECT_TRUE(PathMatchSpec("odd.", "*."));  // a name that really ends in a dot
}

TEST(PathMatchSpec, SemicolonSeparatesPatternsWithBlanksIgnored) {
  EXPECT_TRUE(PathMatchSpec("a.tmp", "*.bak;*.tmp"));
  EXPECT_TRUE(PathMatchSpec("a.bak", "*.bak;*.tmp"));
  EXPECT_FALSE(PathMatchSpec("a.txt", "*.bak;*.tmp"));
  EXPECT_TRUE(PathMatchSpec("a.tmp", "  *.bak ;  *.tmp  "));
  EXPECT_TRUE(PathMatchSpec("a.bak", "\t*.bak\t;x"));
}

TEST(PathMatchSpec, EmptyPatternsMatchNothing) {
  EXPECT_FALSE(PathMatchSpec("a", ""));
  EXPECT_FALSE(PathMatchSpec("a", ";"));
  EXPECT_FALSE(PathMatchSpec("a", " ; ;  "));
  EXPECT_TRUE(PathMatchSpec("a", ";;a;"));
  // A blank is part of a name when it is inside a pattern.
  EXPECT_TRUE(PathMatchSpec("my file", " my file "));
  EXPECT_FALSE(PathMatchSpec("myfile", "my file"));
}

TEST(PathMatchSpec, PathologicalPatternsFinishQuickly) {
  const std::string name(20000, 'a');
  const auto start = std::chrono::steady_clock::now();
  EXPECT_FALSE(PathMatchSpec(name, "*a*a*a*a*a*a*a*a*a*a*a*b"));
  EXPECT_FALSE(PathMatchSpec(name, "*?*?*?*?*?*?*?*?*?*?*b"));
  EXPECT_TRUE(PathMatchSpec(name + "b", "*a*a*a*a*a*a*a*a*a*a*a*b"));
  const auto elapsed = std::chrono::steady_clock::now() - start;
  EXPECT_LT(elapsed, std::chrono::seconds(2));
}

TEST(PathMatchSpec, BacktracksPastAFalseStart) {
  EXPECT_TRUE(PathMatchSpec("abcabd", "*abd"));
  EXPECT_TRUE(PathMatchSpec("mississippi", "m*iss*ppi"));
  EXPECT_TRUE(PathMatchSpec("a.b.c", "*.c"));
  EXPECT_FALSE(PathMatchSpec("a.b.c", "*.b"));
}
