// The switches (recycle bin, junctions, /NoLong) and group headings, run by the real program.
#include <gtest/gtest.h>

#include "cleaner/sweepwell_runner.h"

namespace sweepwell_test {
namespace {

class SwitchCommands : public ::testing::Test {
 protected:
  Sandbox box;
};

TEST_F(SwitchCommands, RecycleBinIsOnByDefault) {
  std::string file = box.Work("d/a.txt");
  box.MakeFile(file, 7);
  RunResult run = box.RunScript(Assign("delete-files", box.Work("d/")) + "cleaner.done\n");
  EXPECT_EQ(run.exit_code, 0) << run.err;
  EXPECT_EQ(EntryLines(run.out), std::vector<std::string>{FileLine(file, 7)});
  EXPECT_FALSE(box.Exists(file));
  EXPECT_EQ(box.List(box.TrashFiles()), std::vector<std::string>{"a.txt"});
  EXPECT_TRUE(box.Exists(box.DataHome() + "/Trash/info/a.txt.trashinfo"));
  EXPECT_EQ(ParseTotals(run.out).bytes_freed, 7);  // trashed bytes count as freed

  RunResult list = box.RunTool({"trash-list"});
  if (list.exit_code == 127) GTEST_SKIP() << "trash-list (trash-cli) is not installed";
  EXPECT_NE(list.out.find(" " + file + "\n"), std::string::npos) << list.out << list.err;
}

TEST_F(SwitchCommands, TrashKeepsFilesOfTheSameNameApart) {
  std::string d = box.Work("d");
  box.MakeFile(d + "/a.txt", 1);
  box.MakeFile(d + "/sub/a.txt", 2);
  RunResult run = box.RunScript(Assign("delete-files-recursive", d + "/a.txt") + "cleaner.done\n");
  EXPECT_EQ(EntryLines(run.out),
            (std::vector<std::string>{FileLine(d + "/a.txt", 1), FileLine(d + "/sub/a.txt", 2)}));
  EXPECT_EQ(box.List(box.TrashFiles()).size(), 2u);
  EXPECT_EQ(box.List(box.DataHome() + "/Trash/info").size(), 2u);
  EXPECT_EQ(ParseTotals(run.out).bytes_freed, 3);
  RunResult list = box.RunTool({"trash-list"});
  if (list.exit_code == 127) GTEST_SKIP() << "trash-list (trash-cli) is not installed";
  EXPECT_NE(list.out.find(" " + d + "/a.txt\n"), std::string::npos) << list.out;
  EXPECT_NE(list.out.find(" " + d + "/sub/a.txt\n"), std::string::npos) << list.out;
}

TEST_F(SwitchCommands, RecycleBinOffDeletesForGood) {
  std::string file = box.Work("d/a.txt");
  box.MakeFile(file, 7);
  RunResult run = box.RunScript(std::string(kPermanently) + Assign("delete-files", file));
  EXPECT_EQ(EntryLines(run.out), std::vector<std::string>{FileLine(file, 7)});
  EXPECT_FALSE(box.Exists(file));
  EXPECT_TRUE(box.List(box.TrashFiles()).empty());
}

TEST_F(SwitchCommands, EveryRunStartsWithTheRecycleBinOn) {
  box.MakeFile(box.Work("first"), 1);
  box.MakeFile(box.Work("second"), 1);
  box.RunScript(std::string(kPermanently) + Assign("delete-files", box.Work("first")));
  RunResult run = box.RunScript(Assign("delete-files", box.Work("second")));
  EXPECT_EQ(run.exit_code, 0) << run.err;
  EXPECT_EQ(box.List(box.TrashFiles()), std::vector<std::string>{"second"});
}

// Every "-long" twin with a harmless value that would change something if it ran.
std::string AllLongTwins(const Sandbox& box) {
  std::string d = box.Work("d");
  std::string script;
  for (const char* command :
       {"delete-files", "delete-files-recursive", "delete-folder", "create-folder",
        "by-mask-delete-files", "by-mask-delete-files-recursive", "by-list-add-files-list",
        "by-list-add-files-list-recursive", "by-age-delete-files", "by-age-delete-files-recursive",
        "delete-empty-folders", "delete-empty-folders-recursive", "delete-empty-folders-with-base",
        "delete-empty-folders-with-base-recursive", "delete-junctions",
        "delete-junctions-recursive", "delete-junctions-with-base",
        "delete-junctions-with-base-recursive"}) {
    std::string value = std::string_view(command) == "create-folder" ? d + "/new" : d;
    script += Assign(std::string(command) + "-long", value);
  }
  script += Assign("by-list-delete-files-long", "*.*");
  return script;
}

TEST_F(SwitchCommands, NoLongRejectsEveryLongTwinAndKeepsTheBaseCommands) {
  std::string d = box.Work("d");
  box.MakeFile(d + "/a.txt", 3);
  box.MakeFolder(d + "/empty");
  box.MakeLink(d + "/link", box.Work("elsewhere"));
  box.MakeFolder(box.Work("elsewhere"));
  std::string script = std::string(kPermanently) + Assign("by-mask-add-mask", "*.*") +
                       "cleaner.by-age-set-days = -10\n" + AllLongTwins(box) +
                       Assign("delete-files", d + "/a.txt") + "cleaner.done\n";

  RunResult run = box.RunScript(script, {"/NoLong"});

  EXPECT_EQ(run.exit_code, 0) << run.err;
  std::vector<std::string> expected(19, "*Rejected*");
  expected.push_back(FileLine(d + "/a.txt", 3));
  EXPECT_EQ(EntryLines(run.out), expected);
  EXPECT_EQ(box.List(d), (std::vector<std::string>{"empty", "link"}));
  EXPECT_FALSE(box.Exists(d + "/new"));
}

TEST_F(SwitchCommands, NoLongSwitchFormsAllWork) {
  std::string d = box.Work("d");
  box.MakeFile(d + "/a.txt", 3);
  std::string script = Assign("delete-files-long", d + "/");
  for (const std::vector<std::string>& before :
       std::vector<std::vector<std::string>>{{"/NoLong"}, {"/nolong"}, {"--no-long"}}) {
    RunResult run = box.RunScript(script, before);
    EXPECT_EQ(run.exit_code, 0) << before[0] << run.err;
    EXPECT_EQ(EntryLines(run.out), std::vector<std::string>{"*Rejected*"}) << before[0];
  }
  // The switch after the script name.
  RunResult after = box.Run({box.ScriptPath(), "/NOLONG"});
  EXPECT_EQ(EntryLines(after.out), std::vector<std::string>{"*Rejected*"});
  EXPECT_TRUE(box.Exists(d + "/a.txt"));
}

TEST_F(SwitchCommands, WithoutNoLongTheTwinsActLikeTheirBase) {
  std::string d = box.Work("d");
  box.MakeFile(d + "/a.txt", 3);
  box.MakeFolder(d + "/e");
  RunResult run = box.RunScript(std::string(kPermanently) + Assign("delete-files-long", d + "/") +
                                Assign("delete-empty-folders-with-base-recursive-long", d));
  EXPECT_EQ(EntryLines(run.out),
            (std::vector<std::string>{FileLine(d + "/a.txt", 3), DirLine(d + "/e"), DirLine(d)}));
  EXPECT_FALSE(box.Exists(d));
}

TEST_F(SwitchCommands, GoBelowJunctionsRefusesAWordAndRunsNothing) {
  std::string file = box.Work("a.txt");
  box.MakeFile(file, 1);
  RunResult run = box.RunScript(std::string(kPermanently) + Assign("delete-files", file) +
                                "cleaner.go-below-junctions = \"yes\"\ncleaner.done\n");
  EXPECT_EQ(run.exit_code, 1);
  std::vector<std::string> lines = EntryLines(run.out);
  ASSERT_EQ(lines.size(), 1u) << run.out;
  EXPECT_NE(lines[0].find(box.ScriptPath()), std::string::npos) << lines[0];
  EXPECT_NE(lines[0].find("строка 3"), std::string::npos) << lines[0];
  EXPECT_NE(lines[0].find("столбец"), std::string::npos) << lines[0];
  EXPECT_NE(lines[0].find("go-below-junctions"), std::string::npos) << lines[0];
  EXPECT_TRUE(box.Exists(file));
  EXPECT_EQ(CountTotalsBlocks(run.out), 0);
}

class GroupHeadings : public ::testing::Test {
 protected:
  Sandbox box;
};

TEST_F(GroupHeadings, BlankLineBeforeEveryGroupButTheFirstOutput) {
  std::string file = box.Work("a.txt");
  box.MakeFile(file, 2);
  RunResult run = box.RunScript(std::string(kPermanently) + Assign("begin-group", "Temp files") +
                                Assign("begin-group", "Second") + Assign("delete-files", file) +
                                Assign("begin-group", "Third %HOME%"));
  EXPECT_EQ(run.exit_code, 0) << run.err;
  EXPECT_EQ(run.out, "Temp files.. \n\nSecond.. \n" + FileLine(file, 2) + "\n\nThird %HOME%.. \n");
}

TEST_F(GroupHeadings, GroupAfterOtherOutputStartsWithABlankLine) {
  RunResult run =
      box.RunScript(Assign("create-folder", box.Work("n")) + Assign("begin-group", "After"));
  EXPECT_EQ(run.out, "*NEW* " + DirLine(box.Work("n")) + "\n\nAfter.. \n");
}

}  // namespace
}  // namespace sweepwell_test
