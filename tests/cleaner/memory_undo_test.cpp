// An undo over a volume in memory: the entries a run trashed come back through the file system
// they went from, and what is in their way back now (a new file in their place, a link put where
// a folder was) keeps them in the trash, as on a real disk.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "cleaner/Undo.h"
#include "cleaner/UndoRecord.h"
#include "cleaner/modDelTree.h"
#include "cleaner/modMain.h"
#include "memory_run_fixture.h"
#include "support/ov_paths.h"

namespace sweepwell {
namespace {

class MemoryUndoTest : public MemoryRunTest {
 protected:
  MemoryUndoTest() { open_output_ = false; }
  void SetUp() override {
    MemoryRunTest::SetUp();
    // The log's name is the real one (its folder made in the temporary data folder); the log,
    // the records and the undo's own log are written in memory under the same name.
    ASSERT_TRUE(PrepareLogFile(run));
    disk.AddFolder(support::ovGetFilePath(run.LogFileName));
    run.OpenOutput(run.LogFileName, nullptr);
    run.DeleteToRecycleBin = true;
    disk.AddFile(Path("f/a"), "aaa");
    disk.AddFile(Path("f/sub/b"), "bb");
  }

  // Deletes the folder `f` to the trash, its moves written down as a run writes them.
  void TrashUnderRecord() {
    {
      UndoRecord record(files, UndoFolderBeside(run.LogFileName), "/s.loom",
                        platform::GetLocalTime());
      run.Output->Deletion().RecordTrashMovesIn(&record);
      DeleteFolder(run, Path("f"));
      run.Output->Deletion().RecordTrashMovesIn(nullptr);
    }
    run.Output->CloseLog();
    ASSERT_FALSE(disk.Exists(Path("f")));
    ASSERT_EQ(disk.Trashed().size(), 2u);
  }

  int Undo() {
    RunContext undo;
    undo.file_system = &files;
    return RunUndo(UndoRequest{}, undo);
  }
};

TEST_F(MemoryUndoTest, EveryTrashedFileComesBackWithTheFoldersAboveIt) {
  TrashUnderRecord();
  EXPECT_EQ(Undo(), kExitOk);
  EXPECT_EQ(disk.Contents(Path("f/a")), "aaa");
  EXPECT_EQ(disk.Contents(Path("f/sub/b")), "bb");
  EXPECT_TRUE(disk.List("/trash/files").empty());
  // A second undo of the same run finds nothing left to bring back and moves nothing.
  Undo();
  EXPECT_EQ(disk.Contents(Path("f/a")), "aaa");
}

TEST_F(MemoryUndoTest, WhatIsInTheWayBackKeepsTheEntryInTheTrash) {
  TrashUnderRecord();
  disk.AddFile(Path("f/a"), "new");  // a file took the place
  disk.AddFolder("/elsewhere");
  disk.AddLink(Path("f/sub"), "/elsewhere");  // a link where a folder was
  // The undo ran: what stays behind is reported per entry, not as a failed run.
  EXPECT_EQ(Undo(), kExitOk);
  EXPECT_EQ(disk.Contents(Path("f/a")), "new");
  EXPECT_TRUE(disk.List("/elsewhere").empty());
  EXPECT_EQ(disk.List("/trash/files").size(), 2u);
}

}  // namespace
}  // namespace sweepwell
