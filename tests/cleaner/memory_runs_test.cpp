// The deleting commands over a volume in memory, in the cases a real disk gives only to root:
// files that cannot be deleted (chattr +i), a mount point inside the named folder, a full and a
// read-only volume. The lines, totals and what is left are the same a real run shows.
#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "cleaner/COutput.h"
#include "cleaner/RunContext.h"
#include "cleaner/modDelJunctions.h"
#include "cleaner/modDelTree.h"
#include "memory_run_fixture.h"
#include "sweepwell_runner.h"

namespace sweepwell {
namespace {

using orvanel::testing::MemoryFileSystem;
using sweepwell_test::DirLine;
using sweepwell_test::FileLine;
using sweepwell_test::JunctionLine;
using sweepwell_test::kAccessDenied;
using Lines = std::set<std::string>;

class MemoryRunsTest : public MemoryRunTest {
 protected:
  void File(const std::string& name, size_t size) { disk.AddFile(Path(name), std::string(size, 'x')); }
  Lines LogSet() {
    const std::vector<std::string> lines = LogLines();
    return Lines(lines.begin(), lines.end());
  }
};

TEST_F(MemoryRunsTest, UndeletableFileKeepsExactlyTheFoldersAboveIt) {
  File("f/a", 1);
  File("f/keep/sub/locked", 6);
  File("f/keep/sub/other", 2);
  File("f/keep/sibling/x", 3);
  disk.AddFolder(Path("f/gone"));
  disk.Lock(Path("f/keep/sub/locked"));

  DeleteFolder(run, Path("f"));

  EXPECT_EQ(LogSet(), (Lines{FileLine(Path("f/a"), 1),
                             FileLine(Path("f/keep/sub/locked"), 6) + kAccessDenied,
                             FileLine(Path("f/keep/sub/other"), 2),
                             FileLine(Path("f/keep/sibling/x"), 3), DirLine(Path("f/keep/sibling")),
                             DirLine(Path("f/gone"))}));
  EXPECT_EQ(disk.List(Path("f")), std::vector<std::string>{"keep"});
  EXPECT_EQ(disk.List(Path("f/keep")), std::vector<std::string>{"sub"});
  EXPECT_EQ(disk.List(Path("f/keep/sub")), std::vector<std::string>{"locked"});
  const DeletionTotals& totals = run.Output->Totals();
  EXPECT_EQ(totals.DeletedFiles, 3);
  EXPECT_EQ(totals.ReportedFiles, 4);
  EXPECT_EQ(totals.DeletedFolders, 2);
  EXPECT_EQ(totals.ReportedFolders, 2);  // the kept folders were never reported
  EXPECT_EQ(totals.FreedBytes, 6);
  EXPECT_EQ(totals.ReportedBytes, 12);
}

// A large folder goes in batches whose lines are written before the files go: a file refused in
// the middle of one keeps one line with its error, in its place, and the lines after it stay
// true.
TEST_F(MemoryRunsTest, RefusalsInsideLargeBatchesKeepEveryLineTrueAndInOrder) {
  std::vector<std::string> expected;
  for (int i = 0; i < 400; ++i) File("f/file" + std::to_string(i), static_cast<size_t>(i % 7));
  for (int i : {150, 151, 333}) disk.Lock(Path("f/file" + std::to_string(i)));
  // The listing order is the memory volume's (by name), which the lines must follow.
  for (const std::string& name : disk.List(Path("f"))) {
    const int i = std::stoi(name.substr(4));
    const bool locked = i == 150 || i == 151 || i == 333;
    expected.push_back(FileLine(Path("f/" + name), i % 7) + (locked ? kAccessDenied : ""));
  }

  DeleteFolder(run, Path("f"));

  EXPECT_EQ(LogLines(), expected);
  EXPECT_EQ(disk.List(Path("f")), (std::vector<std::string>{"file150", "file151", "file333"}));
  EXPECT_EQ(run.Output->Totals().DeletedFiles, 397);
  EXPECT_EQ(run.Output->Totals().ReportedFiles, 400);
}

TEST_F(MemoryRunsTest, UndeletableFileAlsoFailsWhenTrashing) {
  run.DeleteToRecycleBin = true;
  disk.SetTrashFolder(Path("trash"));
  File("f/locked", 4);
  File("f/free", 2);
  disk.Lock(Path("f/locked"));

  DeleteFolder(run, Path("f"));

  EXPECT_EQ(LogSet(), (Lines{FileLine(Path("f/locked"), 4) + kAccessDenied,
                             FileLine(Path("f/free"), 2)}));
  EXPECT_TRUE(disk.Exists(Path("f/locked")));
  EXPECT_EQ(disk.Trashed(), std::vector<std::string>{Path("f/free") + " -> free"});
  EXPECT_EQ(run.Output->Totals().DeletedFiles, 1);
}

TEST_F(MemoryRunsTest, MountPointInsideIsNeitherEnteredNorRemoved) {
  File("f/a", 1);
  disk.AddMountPoint(Path("f/m"));
  File("f/m/inner", 2);

  DeleteFolder(run, Path("f"));
  DeleteJunctions(run, Path("f"), true, false);

  const std::vector<std::string> lines = LogLines();
  ASSERT_EQ(lines.size(), 3u);
  EXPECT_EQ(lines[0], FileLine(Path("f/a"), 1));
  EXPECT_TRUE(lines[1].starts_with(JunctionLine(Path("f/m")) + "  [")) << lines[1];
  EXPECT_EQ(lines[2], lines[1]);
  EXPECT_TRUE(disk.Exists(Path("f/m/inner")));
  EXPECT_EQ(run.Output->Totals().DeletedJunctions, 0);
  EXPECT_EQ(run.Output->Totals().ReportedJunctions, 2);
  EXPECT_EQ(run.Output->Totals().ReportedFolders, 0);
}

// A volume mounted read-only refuses every deletion; a full one refuses a new folder but still
// lets files go (which is how a full disk is cleaned).
TEST_F(MemoryRunsTest, ReadOnlyAndFullVolumesRefuseWhatTheyMustAndSaySo) {
  File("ro/x", 5);
  disk.SetReadOnly(true);
  DeleteFolder(run, Path("ro"));
  EXPECT_TRUE(disk.Exists(Path("ro/x")));
  disk.SetReadOnly(false);

  File("full/y", 3);
  disk.SetFreeBytes(0);
  DeleteFolder(run, Path("full"));
  EXPECT_EQ(disk.FreeBytes(), 3 + MemoryFileSystem::kFolderBytes);  // what went is free again
  disk.SetFreeBytes(MemoryFileSystem::kFolderBytes - 1);
  run.Output->CreateFolder(Path("made/new"));
  EXPECT_FALSE(disk.Exists(Path("full")));
  EXPECT_FALSE(disk.Exists(Path("made")));

  const std::vector<std::string> lines = LogLines();
  ASSERT_EQ(lines.size(), 4u);
  EXPECT_EQ(lines[0], FileLine(Path("ro/x"), 5) + kAccessDenied);
  EXPECT_EQ(lines[1], FileLine(Path("full/y"), 3));
  EXPECT_EQ(lines[2], DirLine(Path("full")));
  EXPECT_TRUE(lines[3].starts_with("*NEW* " + DirLine(Path("made/new")) + "  [")) << lines[3];
  EXPECT_EQ(run.Output->Totals().DeletedFiles, 1);
  EXPECT_EQ(run.Output->Totals().DeletedFolders, 1);
}

}  // namespace
}  // namespace sweepwell
