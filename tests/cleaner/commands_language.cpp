// The program's language: the console, the usage and the errors on standard error follow the
// user's locale (English from the build tree's catalogue), while the monthly log keeps the
// program's own Russian texts byte for byte whatever the locale, since readers parse it.
//
// English is asked for the GNU way: LC_ALL=en_US.UTF-8, compiled with localedef into the
// sandbox (LOCPATH) so that no locale need be installed, else LANGUAGE=en beside C.UTF-8
// (which glibc honours, unlike the plain C locale). Without a built catalogue the English
// tests skip.
#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <vector>

#include "cleaner/sweepwell_runner.h"

namespace sweepwell_test {
namespace {

bool HasCyrillic(std::string_view text) {
  // Every Cyrillic letter of the program's texts starts with the UTF-8 lead byte D0 or D1.
  return text.find('\xD0') != std::string_view::npos || text.find('\xD1') != std::string_view::npos;
}

// The log's lines without those that change from run to run (date, time, duration).
std::vector<std::string> StableLines(const std::string& log) {
  std::vector<std::string> kept;
  for (const std::string& line : SplitLines(log)) {
    if (line.rfind("Текущая дата:", 0) == 0 || line.rfind("Текущее время:", 0) == 0 ||
        line.rfind("Процесс занял:", 0) == 0) {
      continue;
    }
    kept.push_back(line);
  }
  return kept;
}

class Language : public ::testing::Test {
 protected:
  Sandbox box;

  // Later runs ask for English; false (the test skips) when that cannot be had here.
  bool UseEnglish() {
    if (std::string(SWEEPWELL_TEST_LOCALEDIR).empty()) return false;
    const std::string folder = box.Root() + "/locales";
    box.MakeFolder(folder);
    RunResult made = box.RunTool(
        {"localedef", "-i", "en_US", "-f", "UTF-8", "--no-archive", folder + "/en_US.UTF-8"});
    std::ifstream check(folder + "/en_US.UTF-8/LC_CTYPE");
    if ((made.exit_code == 0 || made.exit_code == 1) && check) {
      box.SetEnv("LOCPATH", folder);
      box.SetEnv("LC_ALL", "en_US.UTF-8");
    } else {
      box.SetEnv("LANGUAGE", "en");
    }
    return true;
  }

  // A script that deletes a file, names a missing folder and is refused a ".." folder: a
  // total, an error in brackets and a refusal's reason.
  std::string MixedScript() {
    box.MakeFile(box.Work("t/old.tmp"), 5);
    return std::string(kPermanently) + Assign("delete-files", box.Work("t/*.tmp")) +
           Assign("delete-folder", box.Work("missing")) +
           Assign("delete-folder", box.Work("t/..")) + "cleaner.done\n";
  }
};

TEST_F(Language, EnglishConsoleKeepsTheLogInTheProgramsOwnTexts) {
  RunResult russian = box.RunScript(MixedScript(), {"--no-pause"});
  ASSERT_EQ(russian.exit_code, 1) << russian.err;  // the refused command
  if (!UseEnglish()) GTEST_SKIP() << "no message catalogue was built (msgfmt missing)";
  RunResult english = box.RunScript(MixedScript(), {"--no-pause"});
  ASSERT_EQ(english.exit_code, 1) << english.err;

  // The console and standard error speak English, with no Russian word left...
  EXPECT_NE(english.out.find("Files deleted:         1  [left: 0]"), std::string::npos)
      << english.out;
  EXPECT_NE(english.out.find(DirLine(box.Work("missing")) + "  [Path not found]"),
            std::string::npos)
      << english.out;
  EXPECT_NE(english.out.find("[The folder \"..\" is not deleted]"), std::string::npos)
      << english.out;
  EXPECT_NE(english.out.find("Time taken:    0 h 00 min "), std::string::npos) << english.out;
  EXPECT_FALSE(HasCyrillic(english.out)) << english.out;
  EXPECT_NE(english.err.find("sweepwell: commands refused: 1 ("), std::string::npos) << english.err;
  EXPECT_FALSE(HasCyrillic(english.err)) << english.err;

  // ...while the log gets the very lines a Russian run writes (the paths are the same).
  EXPECT_NE(english.log.find("Всего удалено файлов:  1  [осталось: 0]"), std::string::npos)
      << english.log;
  EXPECT_NE(english.log.find(std::string(kPathNotFound)), std::string::npos) << english.log;
  EXPECT_EQ(StableLines(english.log), StableLines(russian.log));
  EXPECT_NE(english.log.find(" ч 00 мин "), std::string::npos) << english.log;
}

TEST_F(Language, UsageAndCommandLineErrorsFollowTheLocale) {
  RunResult russian = box.Run({"--bogus"});
  EXPECT_EQ(russian.exit_code, 2);
  EXPECT_NE(russian.err.find("sweepwell: неизвестный ключ \"--bogus\""), std::string::npos)
      << russian.err;
  EXPECT_NE(russian.err.find("Использование:"), std::string::npos) << russian.err;

  // The C locale is Russian too, whatever LANGUAGE says (as glibc has it).
  box.SetEnv("LC_ALL", "C");
  box.SetEnv("LANGUAGE", "en");
  RunResult plain_c = box.Run({"--bogus"});
  EXPECT_NE(plain_c.err.find("неизвестный ключ"), std::string::npos) << plain_c.err;

  box.SetEnv("LC_ALL", "C.UTF-8");
  box.SetEnv("LANGUAGE", "");
  if (!UseEnglish()) GTEST_SKIP() << "no message catalogue was built (msgfmt missing)";
  RunResult english = box.Run({"--bogus"});
  EXPECT_EQ(english.exit_code, 2);
  EXPECT_NE(english.err.find("sweepwell: unknown option \"--bogus\""), std::string::npos)
      << english.err;
  EXPECT_NE(english.err.find("Usage:"), std::string::npos) << english.err;
  // Every paragraph of the usage has its translation (the switches' names aside).
  EXPECT_FALSE(HasCyrillic(english.err)) << english.err;
  RunResult extra = box.Run({"a.loom", "b.loom"});
  EXPECT_NE(extra.err.find("extra argument \"b.loom\""), std::string::npos) << extra.err;
}

// A value that holds "%s" (here a file name) is put in as it stands, never taken for a place
// of another value, on the console and in the log.
TEST_F(Language, PercentInAPathStaysAsItIs) {
  if (!UseEnglish()) GTEST_SKIP() << "no message catalogue was built (msgfmt missing)";
  const std::string script = box.Work("100%s.loom");
  box.WriteText(script, "cleaner.no-such-thing = 1\n");
  RunResult run = box.Run({"--no-pause", script});
  EXPECT_NE(run.exit_code, 0);
  EXPECT_NE(run.err.find("the script \"" + script + "\" was stopped by an error: "),
            std::string::npos)
      << run.err;
}

// The script engine's errors: a syntax error, a value the check refuses and a file that does
// not load, each in the user's language on the console and on standard error, while the log
// keeps the line a Russian run writes.
TEST_F(Language, ScriptErrorsFollowTheLocaleAndTheLogKeepsThemRussian) {
  const std::string syntax = box.Work("syntax.loom");
  box.WriteText(syntax, "cleaner.done\ncleaner done\n");
  const std::string value = box.Work("value.loom");
  box.WriteText(value, "cleaner.by-age-set-days = \"30%s days\"\n");
  const std::string missing = box.Work("missing.loom");

  // The C locale keeps the program's own texts, whatever LANGUAGE says.
  box.SetEnv("LC_ALL", "C");
  box.SetEnv("LANGUAGE", "en");
  RunResult plain_c = box.Run({"--no-pause", syntax});
  EXPECT_EQ(plain_c.exit_code, 1);
  const std::string russian_line = "Ошибка в скрипте \"" + syntax +
                                   "\", строка 2, столбец 9: неожиданный символ \"d\", ожидается "
                                   "\".\" и имя члена после имени объекта";
  EXPECT_NE(plain_c.out.find(russian_line), std::string::npos) << plain_c.out;
  EXPECT_NE(plain_c.err.find(russian_line), std::string::npos) << plain_c.err;

  box.SetEnv("LC_ALL", "C.UTF-8");
  box.SetEnv("LANGUAGE", "");
  if (!UseEnglish()) GTEST_SKIP() << "no message catalogue was built (msgfmt missing)";
  RunResult english = box.Run({"--no-pause", syntax});
  EXPECT_EQ(english.exit_code, 1);
  const std::string english_line = "Error in the script \"" + syntax +
                                   "\", line 2, column 9: unexpected character \"d\", expected "
                                   "\".\" and a member name after the object name";
  EXPECT_NE(english.out.find(english_line), std::string::npos) << english.out;
  EXPECT_NE(
      english.err.find("the script \"" + syntax + "\" was stopped by an error: " + english_line),
      std::string::npos)
      << english.err;
  EXPECT_FALSE(HasCyrillic(english.out)) << english.out;
  EXPECT_FALSE(HasCyrillic(english.err)) << english.err;
  EXPECT_NE(english.log.find(russian_line), std::string::npos) << english.log;
  EXPECT_EQ(english.log.find("Error in the script"), std::string::npos) << english.log;

  // A "%s" in the script's own text goes in as it stands in both forms.
  RunResult refused = box.Run({"--no-pause", value});
  EXPECT_NE(refused.out.find("column 27: the value \"30%s days\" does not suit the property "
                             "\"by-age-set-days\" of the object \"cleaner\": it takes a number"),
            std::string::npos)
      << refused.out;
  EXPECT_NE(refused.log.find("столбец 27: значение \"30%s days\" не подходит для свойства "
                             "\"by-age-set-days\" объекта \"cleaner\": нужно число"),
            std::string::npos)
      << refused.log;

  RunResult not_loaded = box.Run({"--no-pause", missing});
  EXPECT_EQ(not_loaded.exit_code, 1);
  EXPECT_NE(not_loaded.out.find("The file was not found or is empty."), std::string::npos)
      << not_loaded.out;
  EXPECT_FALSE(HasCyrillic(not_loaded.out)) << not_loaded.out;
  EXPECT_NE(not_loaded.log.find("Файл не найден или пуст."), std::string::npos) << not_loaded.log;
}

TEST_F(Language, UndoSpeaksEnglishAndLogsRussian) {
  box.MakeFile(box.Work("u/a.tmp"), 3);
  RunResult trashed =
      box.RunScript(Assign("delete-files", box.Work("u/*.tmp")) + "cleaner.done\n", {"--no-pause"});
  ASSERT_EQ(trashed.exit_code, 0) << trashed.err;
  if (!UseEnglish()) GTEST_SKIP() << "no message catalogue was built (msgfmt missing)";
  RunResult list = box.Run({"--undo", "--list"});
  EXPECT_NE(list.out.find("Runs that can be undone (sweepwell --undo RUN):"), std::string::npos)
      << list.out;
  RunResult undo = box.Run({"--undo"});
  ASSERT_EQ(undo.exit_code, 0) << undo.err;
  EXPECT_TRUE(box.Exists(box.Work("u/a.tmp")));
  EXPECT_NE(undo.out.find("Undoing the run "), std::string::npos) << undo.out;
  EXPECT_NE(undo.out.find("Files restored:        1  [left in the trash: 0]"), std::string::npos)
      << undo.out;
  EXPECT_NE(undo.log.find("Отмена запуска "), std::string::npos) << undo.log;
  EXPECT_NE(undo.log.find("Восстановлено файлов:  1  [осталось в корзине: 0]"), std::string::npos)
      << undo.log;
  EXPECT_FALSE(HasCyrillic(undo.out)) << undo.out;
}

}  // namespace
}  // namespace sweepwell_test
