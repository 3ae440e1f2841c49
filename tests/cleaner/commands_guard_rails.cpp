// The guard rails run by the real program: blank variables, the protected folders, "." and
// "..", --no-preserve-root, and the standard-error line of every exit status 1. Whatever could
// reach beyond the sandbox runs with --preview only; the home rule runs for real on the
// sandbox's own HOME.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "cleaner/Guard.h"
#include "cleaner/sweepwell_runner.h"

namespace sweepwell_test {
namespace {

constexpr char kPreview[] = "--preview";
constexpr char kNoPreserveRoot[] = "--no-preserve-root";

// The refusal line of `text` whose bracket holds `why`.
bool HasRefusal(const RunResult& run, const std::string& text, const std::string& why) {
  for (const std::string& line : run.OutLines()) {
    if (line.starts_with(DirLine(text) + "  [") && line.find(why) != std::string::npos) {
      return true;
    }
  }
  return false;
}

// Standard error holds exactly one line.
bool OneErrorLine(const RunResult& run) {
  return !run.err.empty() && run.err.find('\n') == run.err.size() - 1;
}

class GuardRails : public ::testing::Test {
 protected:
  Sandbox box;
};

TEST_F(GuardRails, BlankVariablesRefuseEveryDeletingCommandAndNameTheVariables) {
  std::string tree = box.Work("tree");
  box.MakeFile(tree + "/keep.tmp", 3);
  box.MakeFile(tree + "/project/old.tmp", 4);
  box.SetEnv("TREE", tree);
  box.SetEnv("EMPTY", "");
  box.SetEnv("BLANK", "  ");

  // Each of these, with the variable filled in, would have removed part of the tree.
  RunResult run =
      box.RunScript(std::string(kPermanently) + Assign("delete-folder", "%TREE%/%EMPTY%") +
                    Assign("delete-files", "%TREE%/%BLANK%/*.tmp") +
                    Assign("by-age-delete-files", "%TREE%/%EMPTY%") +
                    Assign("delete-files", "%TREE%/%BLANK%%EMPTY%keep.tmp") + "cleaner.done\n");

  EXPECT_EQ(run.exit_code, 1);
  EXPECT_TRUE(HasRefusal(run, tree + "/", "Переменная %EMPTY% пуста")) << run.out;
  EXPECT_TRUE(HasRefusal(run, tree + "/  /*.tmp", "Переменная %BLANK% пуста")) << run.out;
  // Even a narrow selection: the path no longer says what its author meant.
  EXPECT_TRUE(HasRefusal(run, tree + "/  keep.tmp", "Переменные %BLANK%, %EMPTY% пусты"))
      << run.out;
  EXPECT_EQ(EntryLines(run.out).size(), 4u) << run.out;
  EXPECT_TRUE(box.Exists(tree + "/keep.tmp"));
  EXPECT_TRUE(box.Exists(tree + "/project/old.tmp"));
  EXPECT_EQ(ParseTotals(run.out).folders_left, 4);
  EXPECT_TRUE(OneErrorLine(run)) << run.err;
  // The log keeps the refusals too.
  EXPECT_NE(run.log.find("Переменная %EMPTY% пуста"), std::string::npos) << run.log;
}

TEST_F(GuardRails, BlankVariablesThatWouldNameTheRootAreRefusedInPreview) {
  box.SetEnv("A", "");
  box.SetEnv("B", "");
  RunResult run = box.RunScript(Assign("delete-folder", "%A%/%B%") + "cleaner.done\n", {kPreview});
  EXPECT_EQ(run.exit_code, 1);
  EXPECT_TRUE(HasRefusal(run, "/", "Переменные %A%, %B% пусты")) << run.out;
  EXPECT_EQ(EntryLines(run.out).size(), 3u) << run.out;  // the preview's two lines and it
}

TEST_F(GuardRails, AnUnknownVariableStaysAsWrittenAndIsNotRefused) {
  std::string tree = box.Work("tree");
  box.MakeFile(tree + "/a.tmp", 1);
  box.SetEnv("TREE", tree);
  RunResult run =
      box.RunScript(std::string(kPermanently) +
                    Assign("delete-folder", "%TREE%/%SWEEPWELL_UNSET_NAME%") + "cleaner.done\n");
  EXPECT_EQ(run.exit_code, 0) << run.out << run.err;
  EXPECT_TRUE(run.err.empty()) << run.err;
  std::vector<std::string> lines = EntryLines(run.out);
  ASSERT_EQ(lines.size(), 1u) << run.out;
  EXPECT_EQ(lines[0], DirLine(tree + "/%SWEEPWELL_UNSET_NAME%") + kPathNotFound);
  EXPECT_TRUE(box.Exists(tree + "/a.tmp"));
}

TEST_F(GuardRails, RootAndSystemFoldersAreRefusedHoweverTheyAreSpelt) {
  std::string link = box.Work("to-root");
  box.MakeLink(link, "/");
  box.MakeLink(box.Work("to-usr"), "/usr");
  // Each a whole-tree or all-matching command over "/" or "/usr": nothing below may be listed.
  const std::vector<std::pair<std::string, std::string>> commands = {
      {"delete-folder", "/"},
      {"delete-folder", "//"},
      {"delete-folder", "/usr"},
      {"delete-folder", "/usr/../"},
      {"delete-folder", "/./usr/./"},
      {"delete-folder", link},
      {"delete-files-recursive", link + "/usr/*.none"},
      {"delete-files", "/*"},
      {"delete-files", "/etc/"},
      {"delete-files", "/etc/*.*"},
      {"delete-files", "  /etc/* "},  // the command drops the blanks: so must the guard
      {"delete-empty-folders", "/"},
      {"delete-junctions", "/"},
      {"delete-empty-folders-with-base-recursive", box.Work("to-usr")},
      {"by-age-delete-files", "/etc"},
      {"by-list-add-files-list-recursive", "/usr"},
  };
  std::string script = "cleaner.by-age-set-days = 0\n";
  for (const auto& [command, path] : commands) script += Assign(command, path);
  RunResult run = box.RunScript(script + "cleaner.done\n", {kPreview});

  EXPECT_EQ(run.exit_code, 1);
  for (const auto& [command, path] : commands) {
    EXPECT_TRUE(HasRefusal(run, path, "целиком не удаляется")) << command << " " << path;
  }
  EXPECT_TRUE(HasRefusal(run, "/usr/../", "Корень файловой системы \"/\"")) << run.out;
  EXPECT_TRUE(HasRefusal(run, link, "Корень файловой системы \"/\"")) << run.out;
  EXPECT_TRUE(HasRefusal(run, "/usr", "Системная папка \"/usr\"")) << run.out;
  EXPECT_EQ(EntryLines(run.out).size(), commands.size() + 2) << run.out;
  EXPECT_TRUE(OneErrorLine(run)) << run.err;
  EXPECT_NE(run.err.find(std::to_string(commands.size())), std::string::npos) << run.err;
}

TEST_F(GuardRails, NarrowSelectionsInsideASystemFolderStayAllowed) {
  RunResult run = box.RunScript(Assign("delete-files", "/etc/*.sweepwell-none") +
                                    Assign("delete-files", "/etc/sweepwell-none.conf") +
                                    Assign("by-mask-add-mask", "*.sweepwell-none") +
                                    Assign("by-mask-delete-files", "/etc") + "cleaner.done\n",
                                {kPreview});
  EXPECT_EQ(run.exit_code, 0) << run.out << run.err;
  EXPECT_TRUE(run.err.empty()) << run.err;
  EXPECT_EQ(run.out.find("целиком не удаляется"), std::string::npos) << run.out;
}

TEST_F(GuardRails, TheHomeFolderItselfIsKeptWhatIsInsideItIsNot) {
  std::string home = box.Home();
  box.MakeFile(home + "/notes.txt", 5);
  box.MakeFile(home + "/old.tmp", 2);
  box.MakeFile(home + "/cache/c.bin", 7);
  box.MakeFile(home + "/deep/x.tmp", 1);

  RunResult run =
      box.RunScript(std::string(kPermanently) + Assign("delete-folder", "%HOME%") +
                    Assign("delete-folder", home + "/") + Assign("delete-files", "%HOME%/*") +
                    Assign("delete-files-recursive", "%HOME%/*.tmp") +
                    Assign("delete-empty-folders-with-base", "%HOME%") +
                    Assign("by-mask-add-mask", "*.*") + Assign("by-mask-delete-files", "%HOME%") +
                    // Allowed: a narrow pattern in the home folder, and a folder below it.
                    Assign("delete-files", "%HOME%/*.tmp") +
                    Assign("delete-folder", "%HOME%/cache") + "cleaner.done\n");

  EXPECT_EQ(run.exit_code, 1);
  EXPECT_TRUE(HasRefusal(run, home, "Домашняя папка пользователя")) << run.out;
  EXPECT_TRUE(HasRefusal(run, home + "/", "Домашняя папка пользователя")) << run.out;
  EXPECT_TRUE(HasRefusal(run, home + "/*", "Домашняя папка")) << run.out;
  EXPECT_TRUE(HasRefusal(run, home + "/*.tmp", "Домашняя папка")) << run.out;
  EXPECT_TRUE(box.Exists(home + "/notes.txt"));
  EXPECT_TRUE(box.Exists(home + "/deep/x.tmp"));
  EXPECT_FALSE(box.Exists(home + "/old.tmp"));
  EXPECT_FALSE(box.Exists(home + "/cache"));
  Totals totals = ParseTotals(run.out);
  EXPECT_EQ(totals.files_deleted, 2);
  EXPECT_EQ(totals.folders_left, 6);
  EXPECT_TRUE(OneErrorLine(run)) << run.err;
}

TEST_F(GuardRails, ARecordedListUnderAMaskOfEveryNameIsRefusedInTheHomeFolder) {
  std::string home = box.Home();
  box.MakeFile(home + "/a.tmp", 1);
  box.MakeFile(home + "/b.txt", 1);
  RunResult run =
      box.RunScript(std::string(kPermanently) + Assign("by-list-add-files-list", "%HOME%") +
                    Assign("by-list-delete-files", "*") + Assign("by-list-delete-files", "*.tmp") +
                    "cleaner.done\n");
  EXPECT_EQ(run.exit_code, 1);
  EXPECT_TRUE(HasRefusal(run, home, "Домашняя папка")) << run.out;
  EXPECT_FALSE(box.Exists(home + "/a.tmp"));
  EXPECT_TRUE(box.Exists(home + "/b.txt"));
}

TEST_F(GuardRails, DotAndDotDotAreNeverTheFolderOfAWholeTreeDeletion) {
  std::string tree = box.Work("tree");
  box.MakeFile(tree + "/sub/a", 1);
  box.MakeFolder(tree + "/empty");
  RunResult run = box.RunScript(
      std::string(kPermanently) + Assign("delete-folder", tree + "/sub/..") +
          Assign("delete-folder", tree + "/sub/./") +
          Assign("delete-empty-folders-with-base", tree + "/empty/.") + "cleaner.done\n",
      {kNoPreserveRoot});
  EXPECT_EQ(run.exit_code, 1);
  EXPECT_TRUE(HasRefusal(run, tree + "/sub/..", "Папка \"..\" не удаляется")) << run.out;
  EXPECT_TRUE(HasRefusal(run, tree + "/sub/./", "Папка \".\" не удаляется")) << run.out;
  EXPECT_TRUE(HasRefusal(run, tree + "/empty/.", "Папка \".\" не удаляется")) << run.out;
  EXPECT_TRUE(box.Exists(tree + "/sub/a"));
  EXPECT_TRUE(box.Exists(tree + "/empty"));
}

TEST_F(GuardRails, NoPreserveRootLiftsTheFolderRuleOnly) {
  std::string home = box.Home();
  box.MakeFile(home + "/notes.txt", 5);
  box.SetEnv("EMPTY", "");
  for (const std::string& option : {std::string(kNoPreserveRoot), std::string("/noPRESERVEroot")}) {
    RunResult run = box.RunScript(Assign("delete-folder", "%HOME%") +
                                      Assign("delete-folder", "%HOME%/%EMPTY%") +
                                      Assign("delete-folder", home + "/..") + "cleaner.done\n",
                                  {kPreview, option});
    EXPECT_EQ(run.exit_code, 1) << option;
    std::vector<std::string> lines = EntryLines(run.out);
    EXPECT_NE(std::find(lines.begin(), lines.end(), FileLine(home + "/notes.txt", 5)), lines.end())
        << run.out;
    EXPECT_NE(std::find(lines.begin(), lines.end(), DirLine(home)), lines.end()) << run.out;
    EXPECT_TRUE(HasRefusal(run, home + "/", "Переменная %EMPTY% пуста")) << run.out;
    EXPECT_TRUE(HasRefusal(run, home + "/..", "Папка \"..\" не удаляется")) << run.out;
  }
  EXPECT_TRUE(box.Exists(home + "/notes.txt"));
}

TEST_F(GuardRails, AScriptErrorWritesOneLineOnStandardError) {
  RunResult run = box.RunScript("cleaner.Done\n");
  EXPECT_EQ(run.exit_code, 1);
  EXPECT_TRUE(OneErrorLine(run)) << run.err;
  EXPECT_TRUE(run.err.starts_with("sweepwell: ")) << run.err;
}

TEST(MatchesEveryName, StarsWithAtMostOneMarkAfterAnyTrailingDotStar) {
  for (const char* every : {"*", "*.*", "**", "?*", "*?", "*.*.*", " * ", "*.tmp;*.*", "*;"}) {
    EXPECT_TRUE(sweepwell::MatchesEveryName(every)) << every;
  }
  for (const char* some : {"*.tmp", "?", "??*", "a*", ".*", "*.", "*.?", "", ";", "*x*"}) {
    EXPECT_FALSE(sweepwell::MatchesEveryName(some)) << some;
  }
}

}  // namespace
}  // namespace sweepwell_test
