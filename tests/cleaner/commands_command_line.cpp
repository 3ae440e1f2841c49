// The command line, script loading and the log, as a user of the real program sees them.
#include <gtest/gtest.h>
#include <unistd.h>

#include "cleaner/sweepwell_runner.h"

namespace sweepwell_test {
namespace {

const std::string kRule = std::string(78, '=');

class CommandLine : public ::testing::Test {
 protected:
  Sandbox box;
};

TEST_F(CommandLine, BadCommandLinesShowUsageOnStandardErrorAndExit2) {
  box.WriteText(box.Work("a.loom"), "cleaner.done\n");
  for (const std::vector<std::string>& arguments :
       std::vector<std::vector<std::string>>{{},
                                             {"a.loom", "b.loom"},
                                             {"/NoLong", "a.loom", "extra"},
                                             {"-x", "a.loom"},
                                             {"--bogus"},
                                             {"/Bogus", box.Work("a.loom")},
                                             {"--no-pause"}}) {
    RunResult run = box.Run(arguments);
    EXPECT_EQ(run.exit_code, 2) << arguments.size();
    EXPECT_TRUE(run.out.empty()) << run.out;
    EXPECT_TRUE(run.err.starts_with("sweepwell: ")) << run.err;
    EXPECT_NE(run.err.find("[--] ScriptFileName"), std::string::npos) << run.err;
  }
  // Nothing is written for a bad command line: not even the log's folder is made.
  EXPECT_FALSE(box.Exists(box.DataHome() + "/Greyfen Works"));
}

TEST_F(CommandLine, HelpNeverRunsAScriptOrWritesALog) {
  // A script named like the option is there to be (wrongly) found.
  box.WriteText(box.Root() + "/-h", std::string(kPermanently) + "cleaner.done\n");
  for (const char* argument : {"-h", "--help", "/?"}) {
    RunResult run = box.Run({argument});
    EXPECT_EQ(run.exit_code, 0) << argument;
    EXPECT_TRUE(run.out.starts_with("Orvanel - Sweep well\n\nИспользование:")) << run.out;
    EXPECT_EQ(CountTotalsBlocks(run.out), 0);
    EXPECT_TRUE(run.err.empty()) << run.err;
  }
  EXPECT_FALSE(box.Exists(box.DataHome() + "/Greyfen Works"));
}

TEST_F(CommandLine, AfterDoubleDashAnOptionLikeNameIsTheScript) {
  box.MakeFile(box.Work("x"), 1);
  box.WriteText(box.Root() + "/-x",
                std::string(kPermanently) + Assign("delete-files", box.Work("x")));
  RunResult run = box.Run({"--", "-x"});
  EXPECT_EQ(run.exit_code, 0) << run.err;
  EXPECT_EQ(EntryLines(run.out), std::vector<std::string>{FileLine(box.Work("x"), 1)});
  EXPECT_FALSE(box.Exists(box.Work("x")));
}

TEST_F(CommandLine, UsageNamesTheProgramAsItWasCalled) {
  std::string link = box.Root() + "/sweep";
  box.MakeLink(link, SWEEPWELL_BINARY);
  RunResult run = box.RunTool({link, "--bogus"});
  EXPECT_EQ(run.exit_code, 2);
  EXPECT_TRUE(run.err.starts_with("sweep: неизвестный ключ \"--bogus\"\n")) << run.err;
  EXPECT_NE(run.err.find("\nsweep [/NoLong]"), std::string::npos) << run.err;
  EXPECT_NE(run.err.find("\nsweep /?\n"), std::string::npos) << run.err;
}

TEST_F(CommandLine, ALogThatCannotBeWrittenStopsTheRunBeforeItStarts) {
  box.MakeFolder(box.DataHome() + "/Greyfen Works/Sweep Well");
  ASSERT_EQ(symlink("/dev/full", box.LogPath().c_str()), 0);  // every write: no space left
  box.MakeFile(box.Work("x"), 1);
  box.WriteText(box.Work("a.loom"), std::string(kPermanently) +
                                        Assign("delete-files", box.Work("x")) + "cleaner.done\n");
  RunResult run = box.Run({box.Work("a.loom")});
  EXPECT_EQ(run.exit_code, 1);
  EXPECT_TRUE(run.out.empty()) << run.out;
  EXPECT_TRUE(box.Exists(box.Work("x")));
  EXPECT_NE(run.err.find("не записан: это не обычный файл"), std::string::npos) << run.err;
}

// The lines of a script that did not load, before the totals.
std::vector<std::string> NotLoaded(const std::string& name) {
  return {"Файл скрипта \"" + name + "\" не загружен.", "Файл не найден или пуст."};
}

TEST_F(CommandLine, SwitchAloneIsAScriptName) {
  RunResult run = box.Run({"/NOLONG"});
  EXPECT_EQ(run.exit_code, 1);
  EXPECT_EQ(EntryLines(run.out), NotLoaded("/NOLONG"));
  RunResult twice = box.Run({"/NOLONG", "/NOLONG"});
  EXPECT_EQ(twice.exit_code, 1);
  EXPECT_EQ(EntryLines(twice.out), NotLoaded("/NOLONG"));
}

TEST_F(CommandLine, ScriptsThatDoNotLoadWriteTwoLinesAndTotals) {
  box.WriteText(box.Work("empty.loom"), "");
  box.MakeFolder(box.Work("folder.loom"));
  for (const std::string& name : {box.Work("missing.loom"), box.Work("empty.loom"),
                                  box.Work("folder.loom"), std::string("relative-missing")}) {
    RunResult run = box.Run({name});
    EXPECT_EQ(run.exit_code, 1) << name;
    EXPECT_EQ(EntryLines(run.out), NotLoaded(name));
    Totals totals = ParseTotals(run.out);
    EXPECT_TRUE(totals.found) << run.out;
    EXPECT_EQ(totals.files_deleted + totals.folders_deleted + totals.bytes_freed, 0);
    EXPECT_EQ(run.log, kRule + "\n" + run.out);
  }
}

TEST_F(CommandLine, RelativeScriptNameIsReadFromTheCurrentFolder) {
  box.MakeFile(box.Work("x"), 1);
  box.WriteText(box.Root() + "/here.loom",
                std::string(kPermanently) + Assign("delete-files", box.Work("x")));
  RunResult run = box.Run({"here.loom"});
  EXPECT_EQ(run.exit_code, 0) << run.out << run.err;
  EXPECT_FALSE(box.Exists(box.Work("x")));
}

TEST_F(CommandLine, BinaryScriptIsRefusedBeforeAnythingRuns) {
  box.MakeFile(box.Work("x"), 1);
  std::string script = std::string(kPermanently) + Assign("delete-files", box.Work("x"));
  script += std::string(
      "\x7f"
      "ELF\x02\x01\x01\x00\x00garbage",
      16);
  RunResult run = box.RunScript(script);
  EXPECT_EQ(run.exit_code, 1);
  std::vector<std::string> lines = EntryLines(run.out);
  ASSERT_EQ(lines.size(), 1u) << run.out;
  EXPECT_NE(lines[0].find(box.ScriptPath()), std::string::npos) << lines[0];
  EXPECT_NE(lines[0].find("строка 3"), std::string::npos) << lines[0];
  EXPECT_TRUE(box.Exists(box.Work("x")));
}

TEST_F(CommandLine, SyntaxErrorOnTheLastLineStopsTheWholeScript) {
  std::string d = box.Work("d");
  box.MakeFile(d + "/a", 1);
  box.MakeFolder(d + "/e");
  RunResult run = box.RunScript(std::string(kPermanently) + Assign("delete-files", d + "/") +
                                Assign("delete-empty-folders", d) + "cleaner.done\n" +
                                "cleaner.delete-folder = \"unterminated\n");
  EXPECT_EQ(run.exit_code, 1);
  std::vector<std::string> lines = EntryLines(run.out);
  ASSERT_EQ(lines.size(), 1u) << run.out;
  EXPECT_NE(lines[0].find("строка 5"), std::string::npos) << lines[0];
  EXPECT_EQ(CountTotalsBlocks(run.out), 0);
  EXPECT_TRUE(box.Exists(d + "/a"));
  EXPECT_TRUE(box.Exists(d + "/e"));
}

TEST_F(CommandLine, UnknownMemberStopsTheScriptBeforeItStarts) {
  box.MakeFile(box.Work("x"), 1);
  RunResult run = box.RunScript(std::string(kPermanently) + Assign("delete-files", box.Work("x")) +
                                "cleaner.delete-everything = \"/\"\n");
  EXPECT_EQ(run.exit_code, 1);
  EXPECT_TRUE(box.Exists(box.Work("x")));
  EXPECT_NE(run.out.find("delete-everything"), std::string::npos) << run.out;
}

TEST_F(CommandLine, LogGetsARuleLinePerRunAndExactlyWhatTheConsoleShowed) {
  box.MakeFile(box.Work("a"), 2);
  RunResult first = box.RunScript(std::string(kPermanently) +
                                  Assign("delete-files", box.Work("a")) + "cleaner.done\n");
  RunResult second = box.RunScript(Assign("begin-group", "Nothing"));
  EXPECT_EQ(first.exit_code, 0) << first.err;
  EXPECT_EQ(first.log, kRule + "\n" + first.out);
  EXPECT_EQ(second.log, kRule + "\n" + second.out);
  EXPECT_EQ(second.out, "Nothing.. \n");
  // Nothing else went to the log between the runs: no closing prompt.
  std::string whole;
  for (const std::string& line : SplitLines(first.log + second.log)) whole += line + "\n";
  EXPECT_EQ(whole.find("Нажмите"), std::string::npos);
  EXPECT_EQ(first.out.find("Нажмите"), std::string::npos);  // standard input is no terminal
}

TEST_F(CommandLine, TotalsOnlyWhereTheScriptCallsDone) {
  box.MakeFile(box.Work("a"), 2);
  box.MakeFile(box.Work("b"), 3);
  RunResult none = box.RunScript(Assign("create-folder", box.Work("n")));
  EXPECT_EQ(CountTotalsBlocks(none.log), 0);
  EXPECT_EQ(CountTotalsBlocks(none.out), 0);

  RunResult twice =
      box.RunScript(std::string(kPermanently) + Assign("delete-files", box.Work("a")) +
                    "cleaner.done\n" + Assign("delete-files", box.Work("b")) + "cleaner.done()\n");
  EXPECT_EQ(CountTotalsBlocks(twice.log), 2);
  Totals running = ParseTotals(twice.out);  // the second block: the counters go on
  EXPECT_EQ(running.files_deleted, 2);
  EXPECT_EQ(running.bytes_freed, 5);
  std::vector<std::string> lines = twice.OutLines();
  ASSERT_GE(lines.size(), 2u);
  EXPECT_TRUE(lines[lines.size() - 2].starts_with("Процесс занял: ")) << lines[lines.size() - 2];
  EXPECT_EQ(lines.back(), "");
}

TEST_F(CommandLine, TotalsBlockLabelsLineUp) {
  RunResult run = box.RunScript("cleaner.done\n");
  std::vector<std::string> lines = run.OutLines();
  ASSERT_EQ(lines.size(), 10u) << run.out;
  EXPECT_EQ(lines[0], "");
  EXPECT_EQ(lines[1], "Всего удалено файлов:  0  [осталось: 0]");
  EXPECT_EQ(lines[2], "Всего удалено папок:   0  [осталось: 0]");
  EXPECT_EQ(lines[3], "Всего удалено ссылок:  0  [осталось: 0]");
  EXPECT_EQ(lines[4], "Освобождено на дисках: 0 bytes  [осталось: 0 bytes]");
  EXPECT_EQ(lines[5], "");
  EXPECT_TRUE(lines[6].starts_with("Текущая дата:  ")) << lines[6];
  EXPECT_TRUE(lines[7].starts_with("Текущее время: ")) << lines[7];
  EXPECT_TRUE(lines[8].starts_with("Процесс занял: ")) << lines[8];
  EXPECT_EQ(lines[9], "");
}

}  // namespace
}  // namespace sweepwell_test
