// The month's log under legacy 8-bit locales, run by the real program: UTF-8 with its mark where
// the locale's page cannot hold the program's messages, the page itself where it can, and an
// existing log kept in the encoding it was made in.
//
// The locales are compiled for the test with localedef into the sandbox (LOCPATH), so the test
// needs no locale installed on the machine; without localedef or its sources it skips.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <sstream>

#include "cleaner/sweepwell_runner.h"

namespace sweepwell_test {
namespace {

constexpr char kMark[] = "\xEF\xBB\xBF";

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream bytes;
  bytes << in.rdbuf();
  return bytes.str();
}

class LogEncoding : public ::testing::Test {
 protected:
  Sandbox box;

  // Compiles `locale` (e.g. "en_US.ISO-8859-1") from `source` and `charmap` into the sandbox
  // and makes later runs use it; false when that cannot be done here.
  bool UseLocale(const std::string& locale, const std::string& source, const std::string& charmap) {
    const std::string folder = box.Root() + "/locales";
    box.MakeFolder(folder);
    RunResult made = box.RunTool(
        {"localedef", "-i", source, "-f", charmap, "--no-archive", folder + "/" + locale});
    // localedef warns (exit 1) about things the test does not use; the compiled locale counts.
    if (made.exit_code != 0 && made.exit_code != 1) return false;
    std::ifstream check(folder + "/" + locale + "/LC_CTYPE");
    if (!check) return false;
    box.SetEnv("LOCPATH", folder);
    box.SetEnv("LC_ALL", locale);
    return true;
  }

  RunResult DeleteFolderFiles(const std::string& folder) {
    return box.RunScript(std::string(kPermanently) + Assign("delete-files", folder + "/") +
                         "cleaner.done\n");
  }
};

// ISO-8859-1 cannot hold Russian: a new log is UTF-8 from its mark on, a second run adds no
// second mark, and a Latin-1 file name is read in the locale's page (é is E9 on disk). The
// terminal still gets the locale's page (its language is another matter).
TEST_F(LogEncoding, LatinOnePageMakesANewLogUtf8WithItsMark) {
  if (!UseLocale("en_US.ISO-8859-1", "en_US", "ISO-8859-1")) {
    GTEST_SKIP() << "localedef cannot compile en_US.ISO-8859-1 here";
  }
  const std::string t = box.Work("t");
  box.MakeFile(t + "/caf\xE9.txt", 3);
  RunResult first = DeleteFolderFiles(t);
  ASSERT_EQ(first.exit_code, 0) << first.err;
  box.MakeFile(t + "/again.txt", 1);
  RunResult second = DeleteFolderFiles(t);
  ASSERT_EQ(second.exit_code, 0) << second.err;

  const std::string log = ReadFile(box.LogPath());
  ASSERT_EQ(log.substr(0, 3), kMark);
  EXPECT_EQ(log.find(kMark, 3), std::string::npos) << "one mark, at the start only";
  EXPECT_NE(log.find(t + "/caf\xC3\xA9.txt"), std::string::npos) << log;
  EXPECT_NE(log.find("Всего удалено файлов:  1"), std::string::npos) << log;
  EXPECT_NE(log.find(t + "/again.txt"), std::string::npos);
  EXPECT_NE(first.out.find(t + "/caf\xE9.txt"), std::string::npos) << first.out;
  EXPECT_EQ(first.out.find("\xD0"), std::string::npos) << "the terminal gets no UTF-8";
}

// A log made before (no mark) stays in the page: what the page lacks is escaped, what it has
// is written as the page writes it.
TEST_F(LogEncoding, ExistingLogWithoutAMarkStaysInThePageWithEscapes) {
  if (!UseLocale("en_US.ISO-8859-1", "en_US", "ISO-8859-1")) {
    GTEST_SKIP() << "localedef cannot compile en_US.ISO-8859-1 here";
  }
  box.WriteText(box.LogPath(), "an older run\n");
  const std::string t = box.Work("t");
  box.MakeFile(t + "/caf\xE9.txt", 3);
  RunResult run = DeleteFolderFiles(t);
  ASSERT_EQ(run.exit_code, 0) << run.err;

  const std::string log = ReadFile(box.LogPath());
  EXPECT_EQ(log.rfind("an older run\n", 0), 0u);
  EXPECT_EQ(log.find(kMark), std::string::npos);
  EXPECT_NE(log.find(t + "/caf\xE9.txt"), std::string::npos) << log;
  // "Всего" in escapes.
  EXPECT_NE(log.find("<U+0412><U+0441><U+0435><U+0433><U+043E>"), std::string::npos) << log;
}

// CP1251 and KOI8-R hold Russian: the log is in the page, without a mark.
TEST_F(LogEncoding, CyrillicPagesKeepTheLogInThePage) {
  struct Case {
    const char* locale;
    const char* charmap;
    const char* words;  // "Всего удалено" in the page
  };
  for (const Case& c :
       {Case{"ru_RU.CP1251", "CP1251", "\xC2\xF1\xE5\xE3\xEE \xF3\xE4\xE0\xEB\xE5\xED\xEE"},
        Case{"ru_RU.KOI8-R", "KOI8-R", "\xF7\xD3\xC5\xC7\xCF \xD5\xC4\xC1\xCC\xC5\xCE\xCF"}}) {
    SCOPED_TRACE(c.locale);
    if (!UseLocale(c.locale, "ru_RU", c.charmap)) {
      GTEST_SKIP() << "localedef cannot compile " << c.locale << " here";
    }
    std::remove(box.LogPath().c_str());
    const std::string t = box.Work(std::string("t-") + c.charmap);
    box.MakeFile(t + "/a.txt", 3);
    RunResult run = DeleteFolderFiles(t);
    ASSERT_EQ(run.exit_code, 0) << run.err;

    const std::string log = ReadFile(box.LogPath());
    EXPECT_EQ(log.find(kMark), std::string::npos);
    EXPECT_NE(log.find(c.words), std::string::npos);
    EXPECT_EQ(log.find("\xD0\x92"), std::string::npos) << "no UTF-8 in the page's log";
  }
}

}  // namespace
}  // namespace sweepwell_test
