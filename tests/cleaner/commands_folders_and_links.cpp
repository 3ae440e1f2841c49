// The empty-folder and junction families run by the real program.
#include <gtest/gtest.h>

#include <set>

#include "cleaner/sweepwell_runner.h"

namespace sweepwell_test {
namespace {

using Lines = std::multiset<std::string>;

Lines AsSet(const std::vector<std::string>& lines) { return Lines(lines.begin(), lines.end()); }

class EmptyFolderCommands : public ::testing::Test {
 protected:
  // A holds only B, B holds only the empty folder C.
  std::string MakeChainABC() {
    std::string a = box.Work("A");
    box.MakeFolder(a + "/B/C");
    return a;
  }
  Sandbox box;
};

TEST_F(EmptyFolderCommands, PlainFormTestsOnlyTheDirectSubfolders) {
  std::string a = MakeChainABC();
  RunResult run = box.RunScript(Assign("delete-empty-folders", a) + "cleaner.done\n");
  EXPECT_EQ(run.exit_code, 0) << run.err;
  EXPECT_TRUE(EntryLines(run.out).empty()) << run.out;
  EXPECT_TRUE(box.IsFolder(a + "/B/C"));
}

TEST_F(EmptyFolderCommands, RecursiveFormRemovesTheChainBottomUp) {
  std::string a = MakeChainABC();
  RunResult run = box.RunScript(Assign("delete-empty-folders-recursive", a) + "cleaner.done\n");
  EXPECT_EQ(EntryLines(run.out),
            (std::vector<std::string>{DirLine(a + "/B/C"), DirLine(a + "/B")}));
  EXPECT_TRUE(box.IsFolder(a));
  EXPECT_TRUE(box.List(a).empty());
  EXPECT_EQ(ParseTotals(run.out).folders_deleted, 2);
}

TEST_F(EmptyFolderCommands, WithBaseRecursiveFormRemovesTheNamedFolderLast) {
  std::string a = MakeChainABC();
  RunResult run = box.RunScript(Assign("delete-empty-folders-with-base-recursive", a));
  EXPECT_EQ(EntryLines(run.out),
            (std::vector<std::string>{DirLine(a + "/B/C"), DirLine(a + "/B"), DirLine(a)}));
  EXPECT_FALSE(box.Exists(a));
}

TEST_F(EmptyFolderCommands, WithBaseOnAnEmptyFolderRemovesIt) {
  std::string e = box.Work("E");
  box.MakeFolder(e);
  RunResult run = box.RunScript(Assign("delete-empty-folders-with-base", e));
  EXPECT_EQ(EntryLines(run.out), std::vector<std::string>{DirLine(e)});
  EXPECT_FALSE(box.Exists(e));
}

TEST_F(EmptyFolderCommands, HiddenFileKeepsItsFolder) {
  std::string a = box.Work("A");
  box.MakeFile(a + "/h/.hidden", 0);
  box.MakeFolder(a + "/e");
  RunResult run = box.RunScript(Assign("delete-empty-folders-with-base-recursive", a));
  EXPECT_EQ(EntryLines(run.out), std::vector<std::string>{DirLine(a + "/e")});
  EXPECT_TRUE(box.Exists(a + "/h/.hidden"));
}

TEST_F(EmptyFolderCommands, MissingFolderLineIsNotCountedUnlikeDeleteFolder) {
  std::string none = box.Work("none");
  RunResult run =
      box.RunScript(Assign("delete-empty-folders", none) + Assign("delete-junctions", none) +
                    Assign("delete-folder", none) + "cleaner.done\n");
  EXPECT_EQ(run.exit_code, 0) << run.err;
  std::string line = DirLine(none) + kPathNotFound;
  EXPECT_EQ(EntryLines(run.out), (std::vector<std::string>{line, line, line}));
  Totals totals = ParseTotals(run.out);
  EXPECT_EQ(totals.folders_deleted, 0);
  EXPECT_EQ(totals.folders_left, 1);  // only the line of delete-folder counts
}

TEST_F(EmptyFolderCommands, JunctionIsLeftAloneUnlessGoBelowJunctions) {
  std::string a = box.Work("A"), target = box.Work("T");
  box.MakeFolder(target + "/empty");
  box.MakeLink(a + "/j", target);

  RunResult off = box.RunScript(Assign("delete-empty-folders-recursive", a));
  EXPECT_TRUE(EntryLines(off.out).empty()) << off.out;
  EXPECT_TRUE(box.IsFolder(target + "/empty"));

  RunResult on = box.RunScript("cleaner.go-below-junctions = True\n" +
                               Assign("delete-empty-folders-recursive", a) + "cleaner.done\n");
  EXPECT_EQ(EntryLines(on.out),
            (std::vector<std::string>{DirLine(a + "/j/empty"), JunctionLine(a + "/j")}));
  EXPECT_FALSE(box.Exists(a + "/j"));
  EXPECT_TRUE(box.IsFolder(target));
  Totals totals = ParseTotals(on.out);
  EXPECT_EQ(totals.links_deleted, 1);
  EXPECT_EQ(totals.folders_deleted, 1);
}

class JunctionCommands : public ::testing::Test {
 protected:
  Sandbox box;
};

TEST_F(JunctionCommands, RecursiveFormRemovesEveryLinkInRealFoldersAndFollowsNone) {
  std::string r = box.Work("R"), target = box.Work("T"), other = box.Work("O");
  box.MakeFile(target + "/t.txt", 1);
  box.MakeFolder(other);
  box.MakeLink(target + "/inner", other);  // inside a link's target: never reached
  box.MakeLink(r + "/l1", target);
  box.MakeFile(r + "/sub/f.txt", 2);
  box.MakeLink(r + "/sub/l2", target);
  box.MakeLink(r + "/sub/deeper/l3", other);
  box.MakeLink(r + "/file-link", target + "/t.txt");  // a link to a file is no junction

  RunResult run = box.RunScript(Assign("delete-junctions-recursive", r) + "cleaner.done\n");

  EXPECT_EQ(run.exit_code, 0) << run.err;
  EXPECT_EQ(AsSet(EntryLines(run.out)), (Lines{JunctionLine(r + "/l1"), JunctionLine(r + "/sub/l2"),
                                               JunctionLine(r + "/sub/deeper/l3")}));
  EXPECT_EQ(box.List(r), (std::vector<std::string>{"file-link", "sub"}));
  EXPECT_EQ(box.List(r + "/sub"), (std::vector<std::string>{"deeper", "f.txt"}));
  EXPECT_TRUE(box.List(r + "/sub/deeper").empty());
  EXPECT_TRUE(box.Exists(target + "/inner"));
  EXPECT_TRUE(box.Exists(target + "/t.txt"));
  Totals totals = ParseTotals(run.out);
  EXPECT_EQ(totals.links_deleted, 3);
  EXPECT_EQ(totals.links_left, 0);
  EXPECT_EQ(totals.folders_deleted, 0);
}

TEST_F(JunctionCommands, WithBaseOnAJunctionRemovesOnlyIt) {
  std::string j = box.Work("J"), target = box.Work("T");
  box.MakeLink(target + "/tl", box.Work("X"));
  box.MakeFolder(box.Work("X"));
  box.MakeLink(j, target);
  RunResult run = box.RunScript(Assign("delete-junctions-with-base", j));
  EXPECT_EQ(EntryLines(run.out), std::vector<std::string>{JunctionLine(j)});
  EXPECT_FALSE(box.Exists(j));
  EXPECT_TRUE(box.Exists(target + "/tl"));
}

TEST_F(JunctionCommands, WithBaseOnARealFolderRemovesOnlyTheLinksDirectlyInside) {
  std::string r = box.Work("R"), target = box.Work("T");
  box.MakeFolder(target);
  box.MakeLink(r + "/l1", target);
  box.MakeLink(r + "/sub/l2", target);
  RunResult run = box.RunScript(Assign("delete-junctions-with-base", r));
  EXPECT_EQ(EntryLines(run.out), std::vector<std::string>{JunctionLine(r + "/l1")});
  EXPECT_TRUE(box.Exists(r + "/sub/l2"));
  EXPECT_TRUE(box.IsFolder(r));
}

TEST_F(JunctionCommands, WithoutBaseOnAJunctionCleansTheTargetsTopLevel) {
  std::string j = box.Work("J"), target = box.Work("T"), x = box.Work("X");
  box.MakeFolder(x);
  box.MakeLink(target + "/tl", x);
  box.MakeLink(target + "/sub/tl2", x);
  box.MakeLink(j, target);
  RunResult run = box.RunScript(Assign("delete-junctions", j));
  EXPECT_EQ(EntryLines(run.out), std::vector<std::string>{JunctionLine(j + "/tl")});
  EXPECT_FALSE(box.Exists(target + "/tl"));
  EXPECT_TRUE(box.Exists(target + "/sub/tl2"));
  EXPECT_TRUE(box.Exists(j));
}

TEST_F(JunctionCommands, NamedJunctionWithATrailingSlashIsStillOnlyALink) {
  std::string target = box.Work("T"), x = box.Work("X");
  box.MakeFile(target + "/t.txt", 1);
  box.MakeFolder(x);
  box.MakeLink(target + "/tl", x);
  box.MakeLink(box.Work("l1"), target);
  box.MakeLink(box.Work("l2"), target);
  RunResult run =
      box.RunScript(std::string(kPermanently) + Assign("delete-folder", box.Work("l1/")) +
                    Assign("delete-junctions-with-base", box.Work("l2/")));
  EXPECT_EQ(EntryLines(run.out), (std::vector<std::string>{JunctionLine(box.Work("l1/")),
                                                           JunctionLine(box.Work("l2/"))}));
  EXPECT_FALSE(box.Exists(box.Work("l1")));
  EXPECT_FALSE(box.Exists(box.Work("l2")));
  EXPECT_EQ(box.List(target), (std::vector<std::string>{"t.txt", "tl"}));
}

TEST_F(JunctionCommands, LinksToFilesAreDeletedAsFilesWithoutTouchingTheirTargets) {
  std::string f = box.Work("f"), g = box.Work("g"), target = box.Work("target.txt");
  box.MakeFile(target, 9);
  box.MakeLink(f + "/to-file", target);
  box.MakeLink(f + "/dangling", box.Work("nowhere"));
  box.MakeLink(g + "/to-file", target);
  RunResult run =
      box.RunScript(std::string(kPermanently) + Assign("delete-folder", f) +
                    "cleaner.delete-to-recycle-bin = True\n" + Assign("delete-files", g + "/"));
  std::vector<std::string> lines = EntryLines(run.out);
  EXPECT_EQ(AsSet(lines), (Lines{FileLine(f + "/to-file", 0), FileLine(f + "/dangling", 0),
                                 DirLine(f), FileLine(g + "/to-file", 0)}));
  EXPECT_FALSE(box.Exists(f));
  EXPECT_TRUE(box.List(g).empty());
  EXPECT_EQ(box.List(box.TrashFiles()), std::vector<std::string>{"to-file"});
  EXPECT_TRUE(box.Exists(target));
}

// A link that leads back to a folder above it makes an endless tree once links are entered;
// every recursive walk must still end.
TEST_F(JunctionCommands, LoopThroughALinkEndsEveryRecursiveWalk) {
  std::string r = box.Work("R");
  box.MakeFile(r + "/a.bak", 1);
  box.MakeFile(r + "/sub/b.bak", 2);
  box.MakeLink(r + "/sub/up", r);
  box.SetTimeout(3);
  RunResult run = box.RunScript(
      std::string(kPermanently) + "cleaner.go-below-junctions = True\n" +
      Assign("delete-files-recursive", r + "/*.bak") + Assign("by-mask-add-mask", "*.none") +
      Assign("by-mask-delete-files-recursive", r) + Assign("by-list-add-files-list-recursive", r) +
      "cleaner.by-age-set-days = 1000\n" + Assign("by-age-delete-files-recursive", r) +
      Assign("delete-empty-folders-recursive", r) + "cleaner.done\n");
  EXPECT_EQ(run.exit_code, 0) << run.out.substr(0, 2000);
  EXPECT_EQ(CountTotalsBlocks(run.out), 1);
  EXPECT_FALSE(box.Exists(r + "/a.bak"));
  EXPECT_FALSE(box.Exists(r + "/sub/b.bak"));
  EXPECT_TRUE(box.Exists(r + "/sub/up"));
}

}  // namespace
}  // namespace sweepwell_test
