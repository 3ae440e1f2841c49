// Code pages: UTF-8 locales pass text through; a legacy 8-bit locale converts through iconv,
// checked against the iconv command.
//
// The code pages are read from the locale once per process, so every case runs in a fresh child
// process (a "threadsafe" death test re-executes this program) that sets its locale first. The
// legacy locales are compiled into a temporary folder with localedef, since a machine usually
// has none installed; without localedef or its sources the cases are skipped.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iostream>
#include <iterator>
#include <sstream>
#include <string>

#include "platform/platform.h"

namespace {

namespace fs = std::filesystem;

std::string MakeTempFolder() {
  const char* base = std::getenv("TMPDIR");
  std::string pattern = std::string(base && *base ? base : "/tmp") + "/text_test.XXXXXX";
  return mkdtemp(pattern.data()) ? pattern : std::string();
}

bool RunShell(const std::string& command) { return std::system(command.c_str()) == 0; }

// The bytes the iconv command makes of `input`; false when it refuses.
bool IconvCommand(const std::string& from, const std::string& to, const std::string& input,
                  std::string* output) {
  const std::string folder = MakeTempFolder();
  const std::string in = folder + "/in", out = folder + "/out";
  std::ofstream(in, std::ios::binary) << input;
  const bool ok =
      RunShell("iconv -f " + from + " -t " + to + " " + in + " > " + out + " 2>/dev/null");
  std::ifstream file(out, std::ios::binary);
  output->assign(std::istreambuf_iterator<char>(file), {});
  fs::remove_all(folder);
  return ok;
}

// Collects failed checks of a child process; the child exits 0 only when there were none.
struct ChildChecks {
  int failures = 0;
  void Equal(const std::string& what, const std::string& actual, const std::string& expected) {
    if (actual == expected) return;
    ++failures;
    std::cerr << what << ": got [" << actual << "], expected [" << expected << "]\n";
  }
  void True(const std::string& what, bool value) {
    if (value) return;
    ++failures;
    std::cerr << what << " is false\n";
  }
};

// Runs `checks` in the locale `name` (looked up in `locale_folder` too) and ends the process.
[[noreturn]] void CheckInLocale(const std::string& locale_folder, const char* name,
                                const std::function<void(ChildChecks&)>& checks) {
  if (!locale_folder.empty()) setenv("LOCPATH", locale_folder.c_str(), 1);
  if (std::setlocale(LC_ALL, name) == nullptr) {
    std::cerr << "locale " << name << " cannot be set\n";
    std::_Exit(3);
  }
  ChildChecks result;
  checks(result);
  std::cerr.flush();
  std::_Exit(result.failures == 0 ? 0 : 1);
}

// The compiled locales are shared by the whole suite. A child process finds the parent's folder
// through the environment, so it neither compiles them again nor leaves a folder behind.
constexpr const char* kLocaleFolderVariable = "SWEEPWELL_TEXT_TEST_LOCALES";

class CodePageTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    if (const char* inherited = std::getenv(kLocaleFolderVariable)) {
      locale_folder_ = inherited;
      return;
    }
    locale_folder_ = MakeTempFolder();
    owns_folder_ = true;
    setenv(kLocaleFolderVariable, locale_folder_.c_str(), 1);
  }
  static void TearDownTestSuite() {
    if (!owns_folder_) return;
    fs::remove_all(locale_folder_);
    unsetenv(kLocaleFolderVariable);
  }
  void SetUp() override { GTEST_FLAG_SET(death_test_style, "threadsafe"); }

  // Compiles the locale `language`.`charset` once; "" when the tools or sources for it are
  // missing.
  static std::string BuildLocale(const std::string& language, const std::string& charset) {
    const std::string name = language + "." + charset;
    const std::string path = locale_folder_ + "/" + name;
    if (fs::exists(path)) return name;
    if (!RunShell("localedef -i " + language + " -f " + charset + " " + path +
                  " >/dev/null 2>&1")) {
      return {};
    }
    return name;
  }

  static inline std::string locale_folder_;
  static inline bool owns_folder_ = false;
};

#define SKIP_WITHOUT(locale)                                                  \
  if ((locale).empty()) {                                                     \
    GTEST_SKIP() << "cannot compile a legacy locale with localedef: skipped"; \
  }

}  // namespace

TEST_F(CodePageTest, CAndUtf8LocalesPassTextThroughUnchanged) {
  const std::string text = "Привет \xFF\xC3 日本";  // invalid bytes too: nothing is touched
  for (const char* name : {"C", "POSIX", "C.UTF-8"}) {
    EXPECT_EXIT(CheckInLocale("", name,
                              [&](ChildChecks& c) {
                                c.True("AnsiIsUtf8", platform::AnsiIsUtf8());
                                c.True("OemIsUtf8", platform::OemIsUtf8());
                                c.Equal("Utf8ToAnsi", platform::Utf8ToAnsi(text), text);
                                c.Equal("AnsiToUtf8", platform::AnsiToUtf8(text), text);
                                c.Equal("Utf8ToOem", platform::Utf8ToOem(text), text);
                                c.Equal("OemToUtf8", platform::OemToUtf8(text), text);
                              }),
                ::testing::ExitedWithCode(0), "")
        << name;
  }
}

TEST_F(CodePageTest, RussianLegacyLocaleConvertsLikeIconv) {
  const std::string locale = BuildLocale("ru_RU", "CP1251");
  SKIP_WITHOUT(locale);
  const std::string text = "Привет, мир! Ёлка, ёж. Всего удалено файлов: 1 234";
  std::string ansi, oem;
  ASSERT_TRUE(IconvCommand("UTF-8", "CP1251", text, &ansi));
  ASSERT_TRUE(IconvCommand("UTF-8", "CP866", text, &oem));
  EXPECT_EXIT(CheckInLocale(locale_folder_, locale.c_str(),
                            [&](ChildChecks& c) {
                              c.True("!AnsiIsUtf8", !platform::AnsiIsUtf8());
                              c.True("!OemIsUtf8", !platform::OemIsUtf8());
                              c.Equal("Utf8ToAnsi", platform::Utf8ToAnsi(text), ansi);
                              c.Equal("AnsiToUtf8", platform::AnsiToUtf8(ansi), text);
                              c.Equal("Utf8ToOem", platform::Utf8ToOem(text), oem);
                              c.Equal("OemToUtf8", platform::OemToUtf8(oem), text);
                            }),
              ::testing::ExitedWithCode(0), "");
}

TEST_F(CodePageTest, EveryAnsiByteDecodesLikeIconv) {
  const std::string locale = BuildLocale("ru_RU", "CP1251");
  SKIP_WITHOUT(locale);
  std::string bytes;
  for (int b = 1; b < 256; ++b) {
    if (b != 0x98) bytes += static_cast<char>(b);  // 0x98 is unassigned in code page 1251
  }
  std::string utf8;
  ASSERT_TRUE(IconvCommand("CP1251", "UTF-8", bytes, &utf8));
  EXPECT_EXIT(CheckInLocale(locale_folder_, locale.c_str(),
                            [&](ChildChecks& c) {
                              c.Equal("AnsiToUtf8", platform::AnsiToUtf8(bytes), utf8);
                              c.Equal("round trip", platform::Utf8ToAnsi(utf8), bytes);
                              c.Equal("unassigned", platform::AnsiToUtf8("a\x98z"), "a?z");
                            }),
              ::testing::ExitedWithCode(0), "");
}

TEST_F(CodePageTest, UnconvertibleAndInvalidCharactersBecomeOneQuestionMarkEach) {
  const std::string locale = BuildLocale("ru_RU", "CP1251");
  SKIP_WITHOUT(locale);
  EXPECT_EXIT(CheckInLocale(locale_folder_, locale.c_str(),
                            [&](ChildChecks& c) {
                              c.Equal("CJK", platform::Utf8ToAnsi("日本 Я"), "?? \xDF");
                              c.Equal("emoji", platform::Utf8ToAnsi("a😀b"), "a?b");
                              c.Equal("stray bytes", platform::Utf8ToAnsi("a\xFF\x80z"), "a??z");
                              c.Equal("cut at the end", platform::Utf8ToAnsi("ab\xD0"), "ab?");
                              c.Equal("cut inside", platform::Utf8ToAnsi("a\xE2\x82z"), "a??z");
                              c.Equal("OEM lacks it", platform::Utf8ToOem("№ é"), "\xFC ?");
                              c.Equal("empty", platform::Utf8ToAnsi(""), "");
                            }),
              ::testing::ExitedWithCode(0), "");
}

TEST_F(CodePageTest, LongTextsConvertWhole) {
  const std::string locale = BuildLocale("ru_RU", "CP1251");
  SKIP_WITHOUT(locale);
  std::string text;
  for (int i = 0; i < 5000; ++i) text += i % 100 == 99 ? "\n" : "Ж";
  std::string ansi;
  ASSERT_TRUE(IconvCommand("UTF-8", "CP1251", text, &ansi));
  ASSERT_GT(text.size(), 8192u);
  EXPECT_EXIT(CheckInLocale(locale_folder_, locale.c_str(),
                            [&](ChildChecks& c) {
                              c.Equal("Utf8ToAnsi", platform::Utf8ToAnsi(text), ansi);
                              c.Equal("AnsiToUtf8", platform::AnsiToUtf8(ansi), text);
                            }),
              ::testing::ExitedWithCode(0), "");
}

TEST_F(CodePageTest, WesternLegacyLocaleUsesDosPage850) {
  const std::string locale = BuildLocale("de_DE", "ISO-8859-1");
  SKIP_WITHOUT(locale);
  std::string ansi;
  ASSERT_TRUE(IconvCommand("UTF-8", "ISO-8859-1", "Größe ø", &ansi));
  EXPECT_EXIT(CheckInLocale(locale_folder_, locale.c_str(),
                            [&](ChildChecks& c) {
                              c.Equal("Utf8ToAnsi", platform::Utf8ToAnsi("Größe ø"), ansi);
                              // "ø" is 0x9B in page 850; page 437 has no such letter.
                              c.Equal("Utf8ToOem", platform::Utf8ToOem("ø"), "\x9B");
                              c.Equal("Cyrillic", platform::Utf8ToAnsi("Я"), "?");
                            }),
              ::testing::ExitedWithCode(0), "");
}
