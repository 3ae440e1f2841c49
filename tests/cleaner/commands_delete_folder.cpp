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
