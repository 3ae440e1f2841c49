// The selection commands run by the real program: by mask, by recorded list and by age.
#include <gtest/gtest.h>

#include <set>

#include "cleaner/sweepwell_runner.h"

namespace sweepwell_test {
namespace {

using Lines = std::multiset<std::string>;

Lines AsSet(const std::vector<std::string>& lines) { return Lines(lines.begin(), lines.end()); }

class ByMaskCommands : public ::testing::Test {
 protected:
  Sandbox box;
};

TEST_F(ByMaskCommands, MasksDifferingOnlyInCaseAreKeptOnce) {
  std::string m = box.Work("m");
  box.MakeFile(m + "/a.tmp", 2);
  RunResult run = box.RunScript(std::string(kPermanently) + Assign("by-mask-add-mask", "*.tmp") +
                                Assign("by-mask-add-mask", "*.TMP") +
                                Assign("by-mask-delete-files", m) + "cleaner.done\n");
  EXPECT_EQ(run.exit_code, 0) << run.err;
  EXPECT_EQ(EntryLines(run.out), std::vector<std::string>{FileLine(m + "/a.tmp", 2)});
  EXPECT_EQ(ParseTotals(run.out).files_deleted, 1);
}

TEST_F(ByMaskCommands, FileMatchingTwoMasksIsAttemptedAgainAndNotFound) {
  std::string m = box.Work("m");
  box.MakeFile(m + "/a.tmp", 2);
  box.MakeFile(m + "/b.tmp", 3);
  RunResult run = box.RunScript(std::string(kPermanently) + Assign("by-mask-add-mask", "*.tmp") +
                                Assign("by-mask-add-mask", "a.*") +
                                Assign("by-mask-delete-files", m) + "cleaner.done\n");
  std::vector<std::string> lines = EntryLines(run.out);
  ASSERT_EQ(lines.size(), 3u) << run.out;
  EXPECT_EQ(AsSet({lines[0], lines[1]}),
            (Lines{FileLine(m + "/a.tmp", 2), FileLine(m + "/b.tmp", 3)}));
  EXPECT_EQ(lines[2], m + "/a.tmp" + kFileNotFound);
  Totals totals = ParseTotals(run.out);
  EXPECT_EQ(totals.files_deleted, 2);
  EXPECT_EQ(totals.bytes_freed, 5);
  EXPECT_TRUE(box.List(m).empty());
}

TEST_F(ByMaskCommands, NoMasksDeletesNothingEvenRecursively) {
  std::string m = box.Work("m");
  box.MakeFile(m + "/a.tmp", 1);
  box.MakeFile(m + "/sub/b.tmp", 1);
  RunResult run = box.RunScript(std::string(kPermanently) +
                                Assign("by-mask-delete-files-recursive", m) + "cleaner.done\n");
  EXPECT_EQ(run.exit_code, 0) << run.err;
  EXPECT_TRUE(EntryLines(run.out).empty()) << run.out;
  EXPECT_TRUE(box.Exists(m + "/a.tmp"));
  EXPECT_TRUE(box.Exists(m + "/sub/b.tmp"));
}

TEST_F(ByMaskCommands, MasksNeverSelectFolders) {
  std::string m = box.Work("m");
  box.MakeFile(m + "/x.d/inner.txt", 1);
  box.MakeFile(m + "/y.d", 4);
  RunResult run = box.RunScript(std::string(kPermanently) + Assign("by-mask-add-mask", "*.d") +
                                Assign("by-mask-delete-files-recursive", m));
  EXPECT_EQ(EntryLines(run.out), std::vector<std::string>{FileLine(m + "/y.d", 4)});
  EXPECT_TRUE(box.Exists(m + "/x.d/inner.txt"));
}

TEST_F(ByMaskCommands, RecursiveFormWalksSubfoldersAndClearingForgetsTheMasks) {
  std::string m = box.Work("m");
  box.MakeFile(m + "/a.log", 1);
  box.MakeFile(m + "/s/t/b.LOG", 2);
  box.MakeFile(m + "/s/c.txt", 3);
  box.MakeFile(m + "/later.log", 4);
  RunResult run =
      box.RunScript(std::string(kPermanently) + Assign("by-mask-add-mask", "*.log") +
                    Assign("by-mask-delete-files-recursive", m + "/s") +
                    "cleaner.by-mask-clear-masks\n" + Assign("by-mask-delete-files-recursive", m));
  EXPECT_EQ(EntryLines(run.out), std::vector<std::string>{FileLine(m + "/s/t/b.LOG", 2)});
  EXPECT_TRUE(box.Exists(m + "/a.log"));
  EXPECT_TRUE(box.Exists(m + "/s/c.txt"));
}

TEST_F(ByMaskCommands, AddedMaskStaysLiteralWhileTheFolderIsExpanded) {
  std::string m = box.Work("m");
  box.SetEnv("X", "expanded");
  box.SetEnv("SWEEP_MASK_DIR", m);
  box.MakeFile(m + "/%X%", 1);
  box.MakeFile(m + "/expanded", 2);
  RunResult run = box.RunScript(std::string(kPermanently) + Assign("by-mask-add-mask", "%X%") +
                                Assign("by-mask-delete-files", "%SWEEP_MASK_DIR%"));
  EXPECT_EQ(EntryLines(run.out), std::vector<std::string>{FileLine(m + "/%X%", 1)});
  EXPECT_EQ(box.List(m), std::vector<std::string>{"expanded"});
}

class ByListCommands : public ::testing::Test {
 protected:
  Sandbox box;
};

TEST_F(ByListCommands, RecordingWritesNothingAndDeletesOnlyRecordedFiles) {
  std::string l = box.Work("l");
  box.MakeFile(l + "/a.txt", 1);
  box.MakeFile(l + "/sub/b.txt", 2);
  box.MakeFile(box.Work("outside.txt"), 3);
  RunResult run =
      box.RunScript(std::string(kPermanently) + Assign("by-list-add-files-list-recursive", l) +
                    Assign("by-list-delete-files", "*.*") + "cleaner.done\n");
  EXPECT_EQ(run.exit_code, 0) << run.err;
  EXPECT_EQ(AsSet(EntryLines(run.out)),
            (Lines{FileLine(l + "/a.txt", 1), FileLine(l + "/sub/b.txt", 2)}));
  EXPECT_TRUE(box.IsFolder(l + "/sub"));
  EXPECT_TRUE(box.Exists(box.Work("outside.txt")));
}

TEST_F(ByListCommands, FilesThatAppearAfterTheRecordingSurvive) {
  // The script itself makes a new file after recording: the file it moves into the trash.
  std::string trash = box.TrashFiles();
  box.MakeFile(trash + "/old.txt", 3);
  box.MakeFile(box.Work("new.txt"), 4);
  RunResult run = box.RunScript(Assign("by-list-add-files-list", trash) +
                                Assign("delete-files", box.Work("new.txt")) + kPermanently +
                                Assign("by-list-delete-files", "*.*"));
  EXPECT_EQ(run.exit_code, 0) << run.err;
  EXPECT_EQ(EntryLines(run.out), (std::vector<std::string>{FileLine(box.Work("new.txt"), 4),
                                                           FileLine(trash + "/old.txt", 3)}));
  EXPECT_EQ(box.List(trash), std::vector<std::string>{"new.txt"});
}

TEST_F(ByListCommands, SecondOverlappingDeletionAttemptsTheSameFilesAgain) {
  std::string l = box.Work("l");
  box.MakeFile(l + "/a.txt", 1);
  box.MakeFile(l + "/b.dat", 2);
  RunResult run = box.RunScript(std::string(kPermanently) + Assign("by-list-add-files-list", l) +
                                Assign("by-list-delete-files", "*.txt") +
                                Assign("by-list-delete-files", "a.*") + "cleaner.done\n");
  std::vector<std::string> lines = EntryLines(run.out);
  ASSERT_EQ(lines.size(), 2u) << run.out;
  EXPECT_EQ(lines[0], FileLine(l + "/a.txt", 1));
  EXPECT_EQ(lines[1], l + "/a.txt" + kFileNotFound);
  EXPECT_TRUE(box.Exists(l + "/b.dat"));
  EXPECT_EQ(ParseTotals(run.out).files_deleted, 1);
}

TEST_F(ByListCommands, FolderPathAsMaskMatchesNothing) {
  std::string l = box.Work("l");
  box.MakeFile(l + "/a.txt", 1);
  RunResult run = box.RunScript(std::string(kPermanently) + Assign("by-list-add-files-list", l) +
                                Assign("by-list-delete-files", l) +
                                Assign("by-list-delete-files", l + "/a.txt"));
  EXPECT_TRUE(EntryLines(run.out).empty()) << run.out;
  EXPECT_TRUE(box.Exists(l + "/a.txt"));
}

TEST_F(ByListCommands, RecordingTwiceKeepsEachFileOnce) {
  std::string l = box.Work("l");
  box.MakeFile(l + "/a.txt", 1);
  box.MakeFile(l + "/sub/b.txt", 2);
  RunResult run = box.RunScript(std::string(kPermanently) + Assign("by-list-add-files-list", l) +
                                Assign("by-list-add-files-list-recursive", l) +
                                Assign("by-list-add-files-list", l + "/") +
                                Assign("by-list-delete-files", "*"));
  EXPECT_EQ(AsSet(EntryLines(run.out)),
            (Lines{FileLine(l + "/a.txt", 1), FileLine(l + "/sub/b.txt", 2)}));
}

TEST_F(ByListCommands, NamesDifferingOnlyInLetterCaseAreTwoFiles) {
  std::string l = box.Work("l");
  box.MakeFile(l + "/A.txt", 1);
  box.MakeFile(l + "/a.txt", 2);
  RunResult run = box.RunScript(std::string(kPermanently) + Assign("by-list-add-files-list", l) +
                                Assign("by-list-delete-files", "*.TXT"));
  EXPECT_EQ(AsSet(EntryLines(run.out)),
            (Lines{FileLine(l + "/A.txt", 1), FileLine(l + "/a.txt", 2)}));
  EXPECT_TRUE(box.List(l).empty());
}

TEST_F(ByListCommands, ClearingForgetsTheRecordedFiles) {
  std::string l = box.Work("l");
  box.MakeFile(l + "/a.txt", 1);
  RunResult run =
      box.RunScript(std::string(kPermanently) + Assign("by-list-add-files-list", l) +
                    "cleaner.by-list-clear-files-list()\n" + Assign("by-list-delete-files", "*.*"));
  EXPECT_TRUE(EntryLines(run.out).empty()) << run.out;
  EXPECT_TRUE(box.Exists(l + "/a.txt"));
}

TEST_F(ByListCommands, RecordedFileRemovedMeanwhileIsReportedNotFound) {
  std::string l = box.Work("l");
  box.MakeFile(l + "/a.txt", 1);
  box.MakeFile(l + "/b.txt", 2);
  RunResult run = box.RunScript(std::string(kPermanently) + Assign("by-list-add-files-list", l) +
                                Assign("delete-files", l + "/a.txt") +
                                Assign("by-list-delete-files", "*.txt") + "cleaner.done\n");
  EXPECT_EQ(run.exit_code, 0) << run.err;
  std::vector<std::string> lines = EntryLines(run.out);
  ASSERT_EQ(lines.size(), 3u) << run.out;
  EXPECT_EQ(lines[0], FileLine(l + "/a.txt", 1));
  std::string again = lines[1].starts_with(l + "/a.txt") ? lines[1] : lines[2];
  std::string other = lines[1].starts_with(l + "/a.txt") ? lines[2] : lines[1];
  EXPECT_EQ(again, l + "/a.txt" + kFileNotFound);
  EXPECT_EQ(other, FileLine(l + "/b.txt", 2));
  Totals totals = ParseTotals(run.out);
  EXPECT_EQ(totals.files_deleted, 2);
  EXPECT_TRUE(box.List(l).empty());
}

TEST_F(ByListCommands, RecordedFilesDeeperThanPathMaxAreDeleted) {
  constexpr int kLevels = 2000;  // "/ab" per level: about 6000 bytes of path
  std::string base = box.FastFolder() + "/deep";
  box.MakeChain(base, kLevels, "ab", {{"x.txt", 5}, {"y.dat", 3}});
  std::string deepest = base;
  for (int i = 0; i < kLevels; ++i) deepest += "/ab";

  RunResult run =
      box.RunScript(std::string(kPermanently) + Assign("by-list-add-files-list-recursive", base) +
                    Assign("by-list-delete-files", "*.txt") +
                    Assign("by-list-delete-files", "*.txt") + "cleaner.done\n");

  EXPECT_EQ(run.exit_code, 0) << run.err;
  EXPECT_EQ(EntryLines(run.out), (std::vector<std::string>{FileLine(deepest + "/x.txt", 5),
                                                           deepest + "/x.txt" + kFileNotFound}));
  std::vector<std::string> bottom;
  EXPECT_EQ(box.ChainDepth(base, "ab", &bottom), kLevels);
  EXPECT_EQ(bottom, std::vector<std::string>{"y.dat"});
}

class ByAgeCommands : public ::testing::Test {
 protected:
  Sandbox box;
};

TEST_F(ByAgeCommands, TheLaterOfWriteAndAccessDecides) {
  std::string a = box.Work("a");
  box.MakeFile(a + "/read-yesterday", 1);
  box.MakeFile(a + "/untouched", 2);
  box.MakeFile(a + "/written-yesterday", 3);
  box.MakeFile(a + "/new", 4);
  box.SetAges(a + "/read-yesterday", 40, 1);
  box.SetAges(a + "/untouched", 40, 40);
  box.SetAges(a + "/written-yesterday", 1, 40);
  RunResult run = box.RunScript(std::string(kPermanently) + "cleaner.by-age-set-days = 30\n" +
                                Assign("by-age-delete-files", a) + "cleaner.done\n");
  EXPECT_EQ(run.exit_code, 0) << run.err;
  EXPECT_EQ(EntryLines(run.out), std::vector<std::string>{FileLine(a + "/untouched", 2)});
  EXPECT_EQ(box.List(a), (std::vector<std::string>{"new", "read-yesterday", "written-yesterday"}));
}

TEST_F(ByAgeCommands, ZeroDaysTakesEverythingBeforeTheCommandButNothingInTheFuture) {
  std::string a = box.Work("a");
  box.MakeFile(a + "/minute-ago", 1);
  box.MakeFile(a + "/in-an-hour", 2);
  box.MakeFolder(a + "/old-folder");
  box.SetAges(a + "/minute-ago", 1.0 / 1440, 1.0 / 1440);
  box.SetAges(a + "/in-an-hour", -1.0 / 24, -1.0 / 24);
  box.SetAges(a + "/old-folder", 100, 100);
  RunResult run = box.RunScript(std::string(kPermanently) + "cleaner.by-age-set-days = 0\n" +
                                Assign("by-age-delete-files", a));
  EXPECT_EQ(EntryLines(run.out), std::vector<std::string>{FileLine(a + "/minute-ago", 1)});
  EXPECT_EQ(box.List(a), (std::vector<std::string>{"in-an-hour", "old-folder"}));
}

TEST_F(ByAgeCommands, NegativeDaysReachIntoTheFuture) {
  std::string a = box.Work("a");
  box.MakeFile(a + "/now", 1);
  box.MakeFile(a + "/in-half-a-day", 2);
  box.MakeFile(a + "/in-ten-days", 3);
  box.SetAges(a + "/in-half-a-day", -0.5, -0.5);
  box.SetAges(a + "/in-ten-days", -10, -10);
  RunResult run = box.RunScript(std::string(kPermanently) + "cleaner.by-age-set-days = -1\n" +
                                Assign("by-age-delete-files", a));
  EXPECT_EQ(AsSet(EntryLines(run.out)),
            (Lines{FileLine(a + "/now", 1), FileLine(a + "/in-half-a-day", 2)}));
  EXPECT_EQ(box.List(a), std::vector<std::string>{"in-ten-days"});
}

TEST_F(ByAgeCommands, FractionalDaysRoundToTheEvenNeighbour) {
  // 2.5 days means 2: a file 2.3 days old goes, one 1.7 days old stays.
  std::string a = box.Work("a"), b = box.Work("b");
  box.MakeFile(a + "/2.3", 1);
  box.MakeFile(a + "/1.7", 1);
  box.SetAges(a + "/2.3", 2.3, 2.3);
  box.SetAges(a + "/1.7", 1.7, 1.7);
  // 3.5 days means 4: a file 3.7 days old stays, one 4.3 days old goes.
  box.MakeFile(b + "/3.7", 1);
  box.MakeFile(b + "/4.3", 1);
  box.SetAges(b + "/3.7", 3.7, 3.7);
  box.SetAges(b + "/4.3", 4.3, 4.3);
  RunResult run =
      box.RunScript(std::string(kPermanently) + "cleaner.by-age-set-days = 2.5\n" +
                    Assign("by-age-delete-files", a) + "cleaner.by-age-set-days = 3.5\n" +
                    Assign("by-age-delete-files", b));
  EXPECT_EQ(EntryLines(run.out),
            (std::vector<std::string>{FileLine(a + "/2.3", 1), FileLine(b + "/4.3", 1)}));
  EXPECT_EQ(box.List(a), std::vector<std::string>{"1.7"});
  EXPECT_EQ(box.List(b), std::vector<std::string>{"3.7"});
}

TEST_F(ByAgeCommands, WithoutSetDaysNothingQualifies) {
  std::string a = box.Work("a");
  box.MakeFile(a + "/ancient", 1);
  box.MakeFile(a + "/sub/ancient", 1);
  box.SetAges(a + "/ancient", 3000, 3000);
  box.SetAges(a + "/sub/ancient", 3000, 3000);
  RunResult run =
      box.RunScript(std::string(kPermanently) + Assign("by-age-delete-files-recursive", a));
  EXPECT_EQ(run.exit_code, 0) << run.err;
  EXPECT_TRUE(EntryLines(run.out).empty()) << run.out;
  EXPECT_TRUE(box.Exists(a + "/sub/ancient"));
}

TEST_F(ByAgeCommands, RecursiveFormTakesOldFilesOfEverySubfolderAndNoFolder) {
  std::string a = box.Work("a");
  box.MakeFile(a + "/old", 1);
  box.MakeFile(a + "/s/.hidden-old", 2);
  box.MakeFile(a + "/s/t/old", 3);
  box.MakeFile(a + "/s/t/young", 4);
  box.SetAges(a + "/old", 10, 10);
  box.SetAges(a + "/s/.hidden-old", 10, 10);
  box.SetAges(a + "/s/t/old", 10, 10);
  box.SetAges(a + "/s/t", 10, 10);
  box.SetAges(a + "/s", 10, 10);
  RunResult run = box.RunScript(std::string(kPermanently) + "cleaner.by-age-set-days = 5\n" +
                                Assign("by-age-delete-files-recursive", a) + "cleaner.done\n");
  EXPECT_EQ(AsSet(EntryLines(run.out)),
            (Lines{FileLine(a + "/old", 1), FileLine(a + "/s/.hidden-old", 2),
                   FileLine(a + "/s/t/old", 3)}));
  EXPECT_EQ(box.List(a + "/s/t"), std::vector<std::string>{"young"});
  EXPECT_EQ(ParseTotals(run.out).folders_deleted, 0);
}

}  // namespace
}  // namespace sweepwell_test
