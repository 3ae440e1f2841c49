// "delete-folder" and "create-folder" run by the real program.
#include <gtest/gtest.h>

#include <algorithm>
#include <set>

#include "cleaner/sweepwell_runner.h"

namespace sweepwell_test {
namespace {

using Lines = std::multiset<std::string>;

Lines AsSet(const std::vector<std::string>& lines) { return Lines(lines.begin(), lines.end()); }

// Position of `line` in `lines`; lines.size() when missing.
size_t IndexOf(const std::vector<std::string>& lines, const std::string& line) {
  return static_cast<size_t>(std::find(lines.begin(), lines.end(), line) - lines.begin());
}

class DeleteFolderCommand : public ::testing::Test {
 protected:
  Sandbox box;
};

TEST_F(DeleteFolderCommand, RemovesTheWholeTreeFilesFirstThenFoldersBottomUp) {
  std::string f = box.Work("f");
  box.MakeFile(f + "/a", 1);
  box.MakeFile(f + "/.hidden", 1);
  box.MakeFile(f + "/s1/b", 2);
  box.MakeFile(f + "/s1/s2/c", 3);
  box.MakeFolder(f + "/s3");

  RunResult run =
      box.RunScript(std::string(kPermanently) + Assign("delete-folder", f) + "cleaner.done\n");

  EXPECT_EQ(run.exit_code, 0) << run.err;
  std::vector<std::string> lines = EntryLines(run.out);
  EXPECT_EQ(AsSet(lines),
            (Lines{FileLine(f + "/a", 1), FileLine(f + "/.hidden", 1), FileLine(f + "/s1/b", 2),
                   FileLine(f + "/s1/s2/c", 3), DirLine(f + "/s1/s2"), DirLine(f + "/s1"),
                   DirLine(f + "/s3"), DirLine(f)}));
  // Post-order: the files of a folder, then each subfolder's subtree and the subfolder, the
  // named folder last.
  ASSERT_EQ(lines.size(), 8u);
  EXPECT_LT(IndexOf(lines, FileLine(f + "/a", 1)), IndexOf(lines, DirLine(f + "/s3")));
  EXPECT_LT(IndexOf(lines, FileLine(f + "/.hidden", 1)), IndexOf(lines, FileLine(f + "/s1/b", 2)));
  EXPECT_LT(IndexOf(lines, FileLine(f + "/s1/b", 2)), IndexOf(lines, FileLine(f + "/s1/s2/c", 3)));
  EXPECT_LT(IndexOf(lines, FileLine(f + "/s1/s2/c", 3)), IndexOf(lines, DirLine(f + "/s1/s2")));
  EXPECT_LT(IndexOf(lines, DirLine(f + "/s1/s2")), IndexOf(lines, DirLine(f + "/s1")));
  EXPECT_EQ(lines.back(), DirLine(f));
  EXPECT_FALSE(box.Exists(f));
  Totals totals = ParseTotals(run.out);
  EXPECT_EQ(totals.files_deleted, 4);
  EXPECT_EQ(totals.folders_deleted, 4);
  EXPECT_EQ(totals.folders_left, 0);
  EXPECT_EQ(totals.bytes_freed, 7);
}

TEST_F(DeleteFolderCommand, JunctionInsideIsRemovedNotEntered) {
  std::string f = box.Work("f"), target = box.Work("target");
  box.MakeFile(target + "/t.txt", 5);
  box.MakeLink(f + "/link", target);

  RunResult run = box.RunScript(std::string(kPermanently) +
                                "cleaner.go-below-junctions = True\n" +  // still never entered
                                Assign("delete-folder", f) + "cleaner.done\n");

  EXPECT_EQ(EntryLines(run.out), (std::vector<std::string>{JunctionLine(f + "/link"), DirLine(f)}));
  EXPECT_FALSE(box.Exists(f));
  EXPECT_TRUE(box.Exists(target + "/t.txt"));
  Totals totals = ParseTotals(run.out);
  EXPECT_EQ(totals.links_deleted, 1);
  EXPECT_EQ(totals.folders_deleted, 1);
  EXPECT_EQ(totals.files_deleted, 0);
}

TEST_F(DeleteFolderCommand, NamedJunctionRemovesOnlyTheLink) {
  std::string link = box.Work("link"), target = box.Work("target");
  box.MakeFile(target + "/t.txt", 5);
  box.MakeLink(link, target);

  RunResult run =
      box.RunScript(std::string(kPermanently) + Assign("delete-folder", link) + "cleaner.done\n");

  EXPECT_EQ(EntryLines(run.out), std::vector<std::string>{JunctionLine(link)});
  EXPECT_FALSE(box.Exists(link));
  EXPECT_TRUE(box.Exists(target + "/t.txt"));
  EXPECT_EQ(ParseTotals(run.out).links_deleted, 1);
  EXPECT_EQ(ParseTotals(run.out).links_left, 0);
}

TEST_F(DeleteFolderCommand, MissingFolderOrAFileGivesOneCountedLine) {
  std::string file = box.Work("file.txt");
  box.MakeFile(file, 3);

  RunResult run =
      box.RunScript(std::string(kPermanently) + Assign("delete-folder", box.Work("none")) +
                    Assign("delete-folder", file) + "cleaner.done\n");

  EXPECT_EQ(run.exit_code, 0) << run.err;
  EXPECT_EQ(EntryLines(run.out),
            (std::vector<std::string>{DirLine(box.Work("none")) + kPathNotFound,
                                      DirLine(file) + kPathNotFound}));
  EXPECT_TRUE(box.Exists(file));
  Totals totals = ParseTotals(run.out);
  EXPECT_EQ(totals.folders_deleted, 0);
  EXPECT_EQ(totals.folders_left, 2);
  EXPECT_EQ(totals.files_left, 0);
}

TEST_F(DeleteFolderCommand, UndeletableFileKeepsExactlyTheFoldersAboveIt) {
  std::string f = box.Work("f");
  box.MakeFile(f + "/a", 1);
  box.MakeFile(f + "/keep/sub/locked", 6);
  box.MakeFile(f + "/keep/sub/other", 2);
  box.MakeFile(f + "/keep/sibling/x", 3);
  box.MakeFolder(f + "/gone");
  if (!box.MakeImmutable(f + "/keep/sub/locked")) {
    GTEST_SKIP() << "needs root and chattr +i on the temporary folder's file system";
  }

  RunResult run =
      box.RunScript(std::string(kPermanently) + Assign("delete-folder", f) + "cleaner.done\n");

  EXPECT_EQ(run.exit_code, 0) << run.err;
  EXPECT_EQ(AsSet(EntryLines(run.out)),
            (Lines{FileLine(f + "/a", 1), FileLine(f + "/keep/sub/locked", 6) + kAccessDenied,
                   FileLine(f + "/keep/sub/other", 2), FileLine(f + "/keep/sibling/x", 3),
                   DirLine(f + "/keep/sibling"), DirLine(f + "/gone")}));
  EXPECT_EQ(box.List(f), std::vector<std::string>{"keep"});
  EXPECT_EQ(box.List(f + "/keep"), std::vector<std::string>{"sub"});
  EXPECT_EQ(box.List(f + "/keep/sub"), std::vector<std::string>{"locked"});
  Totals totals = ParseTotals(run.out);
  EXPECT_EQ(totals.files_deleted, 3);
  EXPECT_EQ(totals.files_left, 1);
  EXPECT_EQ(totals.folders_deleted, 2);
  EXPECT_EQ(totals.folders_left, 0);  // the kept folders were never reported
  EXPECT_EQ(totals.bytes_freed, 6);
  EXPECT_EQ(totals.bytes_left, 6);
}

// A large folder goes in batches whose lines are written before the files go: a file refused in
// the middle of one keeps one line with its error, in its place, and the lines after it stay
// true, in the log as on the console.
TEST_F(DeleteFolderCommand, RefusalsInsideLargeBatchesKeepEveryLineTrueAndInOrder) {
  std::string f = box.Work("f");
  std::set<std::string> expected;
  for (int i = 0; i < 400; ++i) {
    const std::string name = f + "/file" + std::to_string(i);
    box.MakeFile(name, static_cast<size_t>(i % 7));
    if (i != 150 && i != 151 && i != 333) expected.insert(FileLine(name, i % 7));
  }
  for (int i : {150, 151, 333}) {
    const std::string name = f + "/file" + std::to_string(i);
    if (!box.MakeImmutable(name)) {
      GTEST_SKIP() << "needs root and chattr +i on the temporary folder's file system";
    }
    expected.insert(FileLine(name, i % 7) + kAccessDenied);
  }

  RunResult run =
      box.RunScript(std::string(kPermanently) + Assign("delete-folder", f) + "cleaner.done\n");

  EXPECT_EQ(run.exit_code, 0) << run.err;
  const std::vector<std::string> lines = EntryLines(run.out);
  EXPECT_EQ(std::set<std::string>(lines.begin(), lines.end()), expected);
  EXPECT_EQ(lines.size(), expected.size());
  // The log holds the same lines in the same order (its first line is the run's rule line).
  std::vector<std::string> logged = EntryLines(run.log);
  ASSERT_FALSE(logged.empty());
  logged.erase(logged.begin());
  EXPECT_EQ(logged, lines);
  EXPECT_EQ(box.List(f), (std::vector<std::string>{"file150", "file151", "file333"}));
  Totals totals = ParseTotals(run.out);
  EXPECT_EQ(totals.files_deleted, 397);
  EXPECT_EQ(totals.files_left, 3);
}

TEST_F(DeleteFolderCommand, UndeletableFileAlsoFailsWhenTrashing) {
  std::string f = box.Work("f");
  box.MakeFile(f + "/locked", 4);
  if (!box.MakeImmutable(f + "/locked")) {
    GTEST_SKIP() << "needs root and chattr +i on the temporary folder's file system";
  }
  RunResult run = box.RunScript(Assign("delete-folder", f) + "cleaner.done\n");
  EXPECT_EQ(EntryLines(run.out),
            std::vector<std::string>{FileLine(f + "/locked", 4) + kAccessDenied});
  EXPECT_TRUE(box.Exists(f + "/locked"));
  EXPECT_EQ(ParseTotals(run.out).files_left, 1);
}

TEST_F(DeleteFolderCommand, MountPointInsideIsNeitherEnteredNorRemoved) {
  std::string f = box.Work("f");
  box.MakeFile(f + "/a", 1);
  if (!box.MountTmpfs(f + "/m")) GTEST_SKIP() << "needs root to mount a tmpfs";
  box.MakeFile(f + "/m/inner", 2);

  RunResult run = box.RunScript(std::string(kPermanently) + Assign("delete-folder", f) +
                                Assign("delete-junctions-recursive", f) + "cleaner.done\n");

  EXPECT_EQ(run.exit_code, 0) << run.err;
  std::vector<std::string> lines = EntryLines(run.out);
  ASSERT_EQ(lines.size(), 3u) << run.out;
  EXPECT_EQ(lines[0], FileLine(f + "/a", 1));
  EXPECT_TRUE(lines[1].starts_with(JunctionLine(f + "/m") + "  [")) << lines[1];
  EXPECT_EQ(lines[2], lines[1]);
  EXPECT_TRUE(box.Exists(f + "/m/inner"));
  Totals totals = ParseTotals(run.out);
  EXPECT_EQ(totals.links_deleted, 0);
  EXPECT_EQ(totals.links_left, 2);
  EXPECT_EQ(totals.folders_left, 0);
}

class CreateFolderCommand : public ::testing::Test {
 protected:
  Sandbox box;
};

TEST_F(CreateFolderCommand, MakesEveryMissingLevelAndCountsTheFolderAsLeft) {
  std::string n = box.Work("n/a/b");
  RunResult run = box.RunScript(Assign("create-folder", n) + "cleaner.done\n");
  EXPECT_EQ(run.exit_code, 0) << run.err;
  EXPECT_EQ(EntryLines(run.out), std::vector<std::string>{"*NEW* " + DirLine(n)});
  EXPECT_TRUE(box.IsFolder(n));
  Totals totals = ParseTotals(run.out);
  EXPECT_EQ(totals.folders_deleted, 0);
  EXPECT_EQ(totals.folders_left, 1);
}

TEST_F(CreateFolderCommand, ExistingFolderIsNoError) {
  std::string n = box.Work("there");
  box.MakeFile(n + "/inside", 1);
  RunResult run = box.RunScript(Assign("create-folder", n));
  EXPECT_EQ(EntryLines(run.out), std::vector<std::string>{"*NEW* " + DirLine(n)});
  EXPECT_TRUE(box.Exists(n + "/inside"));
}

TEST_F(CreateFolderCommand, FileInTheWayEndsTheLineWithAnError) {
  std::string file = box.Work("file");
  box.MakeFile(file, 2);
  RunResult run = box.RunScript(Assign("create-folder", file + "/sub") +
                                Assign("create-folder", file) + "cleaner.done\n");
  EXPECT_EQ(run.exit_code, 0) << run.err;
  std::vector<std::string> lines = EntryLines(run.out);
  ASSERT_EQ(lines.size(), 2u) << run.out;
  EXPECT_EQ(lines[0], "*NEW* " + DirLine(file + "/sub") + kPathNotFound);
  EXPECT_TRUE(lines[1].starts_with("*NEW* " + DirLine(file) + "  [")) << lines[1];
  EXPECT_TRUE(lines[1].ends_with("]")) << lines[1];
  EXPECT_FALSE(box.IsFolder(file));
  EXPECT_EQ(ParseTotals(run.out).folders_left, 2);
}

}  // namespace
}  // namespace sweepwell_test
