// Commands run in-process through a run of their own over a temporary tree: what they delete,
// what they count, and that masks, recorded files, the age threshold and the switches of one
// run never reach another.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "cleaner/COutput.h"
#include "cleaner/C_LOOM_cleaner.h"
#include "cleaner/RunContext.h"
#include "cleaner/modByAge.h"
#include "cleaner/modByList.h"
#include "cleaner/modByMask.h"
#include "cleaner/modDelTree.h"
#include "temp_folder.h"

namespace sweepwell {
namespace {

namespace fs = std::filesystem;
using orvanel::testing::ReadBytes;
using orvanel::testing::WriteBytes;

class RunContextTest : public ::testing::Test {
 protected:
  void SetUp() override { Open(run, "run.log"); }

  void Open(RunContext& r, const std::string& log) {
    r.OpenOutput(temp / log, nullptr);
    r.DeleteToRecycleBin = false;
  }
  bool Exists(const std::string& name) { return fs::exists(fs::symlink_status(temp / name)); }
  void Make(std::initializer_list<const char*> folders, std::initializer_list<const char*> files) {
    for (const char* folder : folders) fs::create_directories(temp / folder);
    for (const char* file : files) WriteBytes(temp / file, std::string(10, 'x'));
  }

  orvanel::testing::TempFolder temp;
  orvanel::testing::QuietStdout quiet;
  RunContext run;
};

TEST_F(RunContextTest, DeleteFilesRecursiveDeletesTheMatchesOfEveryFolderAndCountsThem) {
  Make({"t/s"}, {"t/a.tmp", "t/b.txt", "t/s/c.tmp"});
  DeleteFiles(run, temp / "t/*.tmp", true);
  EXPECT_FALSE(Exists("t/a.tmp"));
  EXPECT_FALSE(Exists("t/s/c.tmp"));
  EXPECT_TRUE(Exists("t/b.txt"));
  EXPECT_EQ(run.Output->Totals().ReportedFiles, 2);
  EXPECT_EQ(run.Output->Totals().DeletedFiles, 2);
  EXPECT_EQ(run.Output->Totals().FreedBytes, 20);
  run.Output->CloseLog();
  EXPECT_NE(ReadBytes(temp / "run.log").find(temp / "t/s/c.tmp  :: 10 bytes\n"), std::string::npos);
}

TEST_F(RunContextTest, MasksBelongToTheRunThatCollectedThem) {
  Make({"m"}, {"m/a.tmp", "m/b.log"});
  RunContext other;
  Open(other, "other.log");
  AddMask(other, "*.tmp");
  DeleteFilesByMask(run, temp / "m", false);  // this run has no masks
  EXPECT_TRUE(Exists("m/a.tmp"));
  DeleteFilesByMask(other, temp / "m", false);
  EXPECT_FALSE(Exists("m/a.tmp"));
  EXPECT_TRUE(Exists("m/b.log"));
  EXPECT_EQ(run.Output->Totals().ReportedFiles, 0);
  EXPECT_EQ(other.Output->Totals().DeletedFiles, 1);
}

TEST_F(RunContextTest, RecordedFilesBelongToTheRunAndLaterFilesAreKept) {
  Make({"l"}, {"l/old.txt"});
  AddFilesList(run, temp / "l", false);
  Make({}, {"l/new.txt"});
  RunContext other;
  Open(other, "other.log");
  DeleteFilesByList(other, "*.*");
  EXPECT_TRUE(Exists("l/old.txt"));
  DeleteFilesByList(run, "*.*");
  EXPECT_FALSE(Exists("l/old.txt"));
  EXPECT_TRUE(Exists("l/new.txt"));
  ClearFilesList(run);
  EXPECT_TRUE(run.FilesList.paths.empty());
}

TEST_F(RunContextTest, AgeThresholdIsTheRunsOwn) {
  Make({"a"}, {"a/f"});
  RunContext other;
  Open(other, "other.log");
  SetAgeDays(other, -1);                     // a day ahead: every file is older than that
  DeleteFilesByAge(run, temp / "a", false);  // no threshold set in this run: nothing qualifies
  EXPECT_TRUE(Exists("a/f"));
  DeleteFilesByAge(other, temp / "a", false);
  EXPECT_FALSE(Exists("a/f"));
}

TEST_F(RunContextTest, JunctionSwitchOfOneRunLeadsNoOtherBelowALink) {
  Make({"outside", "t"}, {"outside/keep.tmp"});
  fs::create_directory_symlink(temp / "outside", temp / "t/link");
  RunContext other;
  Open(other, "other.log");
  other.GoBelowJunctions = true;
  DeleteFiles(run, temp / "t/*.tmp", true);
  EXPECT_TRUE(Exists("outside/keep.tmp"));
  DeleteFiles(other, temp / "t/*.tmp", true);
  EXPECT_FALSE(Exists("outside/keep.tmp"));
}

TEST_F(RunContextTest, ScriptObjectSetsTheSwitchesOfItsRun) {
  RunContext other;
  Open(other, "other.log");
  C_LOOM_cleaner cleaner(run);
  loom::ScriptError error;
  ASSERT_TRUE(cleaner.InvokeProperty("go-below-junctions", loom::Value(true), error));
  ASSERT_TRUE(cleaner.InvokeProperty("delete-to-recycle-bin", loom::Value(false), error));
  EXPECT_TRUE(run.GoBelowJunctions);
  EXPECT_FALSE(run.DeleteToRecycleBin);
  EXPECT_FALSE(other.GoBelowJunctions);
  Make({"c"}, {"c/x.tmp"});
  ASSERT_TRUE(cleaner.InvokeProperty("delete-files", loom::Value(temp / "c/*.tmp"), error));
  EXPECT_FALSE(Exists("c/x.tmp"));
  EXPECT_EQ(run.Output->Totals().DeletedFiles, 1);
}

}  // namespace
}  // namespace sweepwell
