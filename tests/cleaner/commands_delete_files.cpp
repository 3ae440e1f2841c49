// "delete-files" and "delete-files-recursive" run by the real program.
#include <gtest/gtest.h>

#include <set>

#include "cleaner/sweepwell_runner.h"

namespace sweepwell_test {
namespace {

using Lines = std::multiset<std::string>;

Lines AsSet(const std::vector<std::string>& lines) { return Lines(lines.begin(), lines.end()); }

class DeleteFilesCommand : public ::testing::Test {
 protected:
  Sandbox box;
};

TEST_F(DeleteFilesCommand, TrailingSlashDeletesEveryFileDirectlyInside) {
  std::string t = box.Work("t");
  box.MakeFile(t + "/a.txt", 3);
  box.MakeFile(t + "/noext", 5);
  box.MakeFile(t + "/.hidden", 1);
  box.MakeFile(t + "/sub/c.txt", 7);

  RunResult run =
      box.RunScript(std::string(kPermanently) + Assign("delete-files", t + "/") + "cleaner.done\n");

  EXPECT_EQ(run.exit_code, 0) << run.err;
  EXPECT_EQ(AsSet(EntryLines(run.out)), (Lines{FileLine(t + "/a.txt", 3), FileLine(t + "/noext", 5),
                                               FileLine(t + "/.hidden", 1)}));
  EXPECT_EQ(box.List(t), std::vector<std::string>{"sub"});
  EXPECT_TRUE(box.Exists(t + "/sub/c.txt"));
  Totals totals = ParseTotals(run.out);
  EXPECT_EQ(totals.files_deleted, 3);
  EXPECT_EQ(totals.files_left, 0);
  EXPECT_EQ(totals.bytes_freed, 9);
  EXPECT_EQ(totals.folders_deleted, 0);
}

TEST_F(DeleteFilesCommand, NameWithoutSlashIsAPatternInTheParentFolder) {
  // The folder "Temp" is never touched; the file "TEMP" beside it matches the pattern "Temp".
  std::string p = box.Work("p");
  box.MakeFile(p + "/Temp/inside.txt", 2);
  box.MakeFile(p + "/TEMP", 4);
  box.MakeFile(p + "/other", 1);

  RunResult run = box.RunScript(std::string(kPermanently) + Assign("delete-files", p + "/Temp"));

  EXPECT_EQ(run.exit_code, 0) << run.err;
  EXPECT_EQ(EntryLines(run.out), std::vector<std::string>{FileLine(p + "/TEMP", 4)});
  EXPECT_TRUE(box.Exists(p + "/Temp/inside.txt"));
  EXPECT_TRUE(box.Exists(p + "/other"));
  EXPECT_FALSE(box.Exists(p + "/TEMP"));
}

TEST_F(DeleteFilesCommand, RecursiveDeletesAtEveryDepthAndKeepsFoldersThatMatch) {
  std::string r = box.Work("r");
  box.MakeFile(r + "/x.bak", 1);
  box.MakeFile(r + "/keep.txt", 1);
  box.MakeFile(r + "/a.bak/y.BAK", 2);
  box.MakeFile(r + "/deep/er/z.bak", 3);
  box.MakeFolder(r + "/deep/empty.bak");

  RunResult run = box.RunScript(std::string(kPermanently) +
                                Assign("delete-files-recursive", r + "/*.bak") + "cleaner.done\n");

  EXPECT_EQ(run.exit_code, 0) << run.err;
  std::vector<std::string> lines = EntryLines(run.out);
  EXPECT_EQ(AsSet(lines), (Lines{FileLine(r + "/x.bak", 1), FileLine(r + "/a.bak/y.BAK", 2),
                                 FileLine(r + "/deep/er/z.bak", 3)}));
  // The files of a folder come before anything of its subfolders.
  ASSERT_FALSE(lines.empty());
  EXPECT_EQ(lines.front(), FileLine(r + "/x.bak", 1));
  EXPECT_TRUE(box.IsFolder(r + "/a.bak"));
  EXPECT_TRUE(box.IsFolder(r + "/deep/empty.bak"));
  EXPECT_TRUE(box.IsFolder(r + "/deep/er"));
  EXPECT_TRUE(box.Exists(r + "/keep.txt"));
  EXPECT_EQ(ParseTotals(run.out).bytes_freed, 6);
}

TEST_F(DeleteFilesCommand, PatternListSeparatedBySemicolons) {
  std::string m = box.Work("m");
  box.MakeFile(m + "/a.tmp", 1);
  box.MakeFile(m + "/b.LOG", 2);
  box.MakeFile(m + "/c.txt", 3);

  RunResult run =
      box.RunScript(std::string(kPermanently) + Assign("delete-files", m + "/*.tmp;*.log"));

  EXPECT_EQ(AsSet(EntryLines(run.out)),
            (Lines{FileLine(m + "/a.tmp", 1), FileLine(m + "/b.LOG", 2)}));
  EXPECT_EQ(box.List(m), std::vector<std::string>{"c.txt"});
}

TEST_F(DeleteFilesCommand, JunctionBelowIsEnteredOnlyWithGoBelowJunctions) {
  std::string j = box.Work("j"), target = box.Work("target");
  box.MakeFile(target + "/t.bak", 4);
  box.MakeFile(j + "/own.bak", 2);
  box.MakeLink(j + "/link", target);
  std::string command = Assign("delete-files-recursive", j + "/*.bak");

  RunResult off = box.RunScript(std::string(kPermanently) + command);
  EXPECT_EQ(EntryLines(off.out), std::vector<std::string>{FileLine(j + "/own.bak", 2)});
  EXPECT_TRUE(box.Exists(target + "/t.bak"));

  RunResult on =
      box.RunScript(std::string(kPermanently) + "cleaner.go-below-junctions = True\n" + command);
  EXPECT_EQ(EntryLines(on.out), std::vector<std::string>{FileLine(j + "/link/t.bak", 4)});
  EXPECT_FALSE(box.Exists(target + "/t.bak"));
  EXPECT_TRUE(box.Exists(j + "/link"));  // the link itself stays
}

TEST_F(DeleteFilesCommand, NamedJunctionIsEnteredOnlyWithGoBelowJunctions) {
  std::string target = box.Work("target"), link = box.Work("link");
  box.MakeFile(target + "/t.txt", 4);
  box.MakeLink(link, target);

  RunResult off = box.RunScript(std::string(kPermanently) + Assign("delete-files", link + "/"));
  EXPECT_TRUE(EntryLines(off.out).empty()) << off.out;
  EXPECT_TRUE(box.Exists(target + "/t.txt"));

  RunResult on = box.RunScript(std::string(kPermanently) + "cleaner.go-below-junctions = 1\n" +
                               Assign("delete-files", link + "/"));
  EXPECT_EQ(EntryLines(on.out), std::vector<std::string>{FileLine(link + "/t.txt", 4)});
  EXPECT_FALSE(box.Exists(target + "/t.txt"));
}

TEST_F(DeleteFilesCommand, MissingFolderOrFileAsFolderWritesNothing) {
  box.MakeFile(box.Work("file.txt"), 3);
  RunResult run =
      box.RunScript(std::string(kPermanently) + Assign("delete-files", box.Work("none/*.*")) +
                    Assign("delete-files-recursive", box.Work("none/")) +
                    Assign("delete-files-recursive", box.Work("file.txt/*.*")) + "cleaner.done\n");
  EXPECT_EQ(run.exit_code, 0) << run.err;
  EXPECT_TRUE(EntryLines(run.out).empty()) << run.out;
  EXPECT_TRUE(box.Exists(box.Work("file.txt")));
  Totals totals = ParseTotals(run.out);
  EXPECT_EQ(totals.files_deleted + totals.files_left + totals.folders_left, 0);
}

TEST_F(DeleteFilesCommand, PathExpandsEnvironmentVariables) {
  box.SetEnv("SWEEP_TEST_DIR", box.Work("env"));
  box.MakeFile(box.Work("env/a.tmp"), 2);
  box.MakeFile(box.Work("env/b.txt"), 2);
  RunResult run = box.RunScript(std::string(kPermanently) +
                                Assign("delete-files", "  %SWEEP_TEST_DIR%/*.tmp  "));
  EXPECT_EQ(EntryLines(run.out), std::vector<std::string>{FileLine(box.Work("env/a.tmp"), 2)});
  EXPECT_EQ(box.List(box.Work("env")), std::vector<std::string>{"b.txt"});
}

}  // namespace
}  // namespace sweepwell_test
