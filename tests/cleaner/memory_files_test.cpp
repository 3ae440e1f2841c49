// Files opened through the file system, relative to an open folder: the in-memory file system
// answers the opening rules as the machine's does (checked side by side on a real temporary
// folder), and gives the cases a real disk gives only to root or on a special volume: a full
// volume, a quota, a largest file, a read-only volume.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>

#include "common/memory_file_system.h"
#include "common/test_files.h"
#include "platform/file.h"
#include "platform/file_system.h"
#include "temp_folder.h"

namespace {

using orvanel::testing::MemoryFileSystem;
using platform::File;
using platform::FileOpening;
using platform::Folder;
namespace error = platform::error;

uint32_t OpenIn(platform::FileSystem& files, const Folder& folder, const std::string& name,
                FileOpening how, File* file = nullptr) {
  File opened;
  const uint32_t code = files.OpenEntryFile(folder, name, how, &opened);
  EXPECT_EQ(opened.IsOpen(), code == error::kSuccess) << name;
  if (file != nullptr) *file = std::move(opened);
  return code;
}

// The same tree on the machine and in memory; every opening rule must give the same answer.
TEST(FilesInFolders, MemoryAndMachineAgreeOnEveryOpeningRule) {
  orvanel::testing::TempFolder temp;
  MemoryFileSystem disk;
  const std::string real_root = temp.path();
  ASSERT_EQ(mkdir((real_root + "/sub").c_str(), 0755), 0);
  orvanel::testing::WriteBytes(temp / "plain", "data");
  ASSERT_EQ(symlink("plain", (real_root + "/link").c_str()), 0);
  ASSERT_EQ(symlink("missing", (real_root + "/dangling").c_str()), 0);
  ASSERT_EQ(mkfifo((real_root + "/fifo").c_str(), 0644), 0);
  disk.AddFolder("/t/sub");
  disk.AddFile("/t/plain", "data");
  disk.AddLink("/t/link", "plain");
  disk.AddLink("/t/dangling", "missing");
  disk.AddSpecial("/t/fifo", MemoryFileSystem::Kind::kFifo);

  struct Case {
    const char* name;
    FileOpening how;
    uint32_t expected;
  };
  const Case cases[] = {
      {"plain", FileOpening::kRead, error::kSuccess},
      {"link", FileOpening::kRead, error::kSuccess},  // followed
      {"link", FileOpening::kAppendExisting, error::kBadFileType},
      {"link", FileOpening::kReplace, error::kBadFileType},
      {"plain", FileOpening::kCreateNew, error::kFileExists},
      {"link", FileOpening::kCreateNew, error::kFileExists},
      {"missing", FileOpening::kRead, error::kFileNotFound},
      {"missing", FileOpening::kAppendExisting, error::kFileNotFound},
      {"sub", FileOpening::kRead, error::kBadFileType},
      {"sub", FileOpening::kAppend, error::kBadFileType},
      {".", FileOpening::kRead, error::kBadFileType},
      {"fifo", FileOpening::kRead, error::kBadFileType},  // and never waits for a writer
      {"fifo", FileOpening::kAppend, error::kBadFileType},
      {"sub/x", FileOpening::kAppend, error::kInvalidName},
  };
  platform::FileSystem& machine = platform::RealFileSystem();
  uint32_t code = 0;
  const Folder real = machine.OpenFolder(real_root, &code, true);
  const Folder memory = disk.OpenFolder("/t", &code, true);
  ASSERT_TRUE(real.IsOpen());
  ASSERT_TRUE(memory.IsOpen());
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.name) + " as " + std::to_string(static_cast<int>(c.how)));
    EXPECT_EQ(OpenIn(machine, real, c.name, c.how), c.expected);
    EXPECT_EQ(OpenIn(disk, memory, c.name, c.how), c.expected);
  }
  // A NUL inside a name is refused before any call sees it.
  const std::string with_nul("pl\0ain", 6);
  EXPECT_EQ(OpenIn(machine, real, with_nul, FileOpening::kRead), error::kInvalidName);
  EXPECT_EQ(OpenIn(disk, memory, with_nul, FileOpening::kRead), error::kInvalidName);

  // kAppend through a dangling link makes the file it leads to; kReplace cuts to nothing.
  for (platform::FileSystem* files : {&machine, static_cast<platform::FileSystem*>(&disk)}) {
    const Folder& folder = files == &machine ? real : memory;
    File file;
    ASSERT_EQ(OpenIn(*files, folder, "dangling", FileOpening::kAppend, &file), error::kSuccess);
    ASSERT_EQ(file.Write("made"), error::kSuccess);
    file.Close();
    std::string data;
    EXPECT_EQ(files->ReadEntryFile(folder, "missing", &data), error::kSuccess);
    EXPECT_EQ(data, "made");
    ASSERT_EQ(OpenIn(*files, folder, "plain", FileOpening::kReplace, &file), error::kSuccess);
    ASSERT_EQ(file.Write("new"), error::kSuccess);
    file.Close();
    EXPECT_EQ(files->ReadEntryFile(folder, "plain", &data), error::kSuccess);
    EXPECT_EQ(data, "new");
    EXPECT_EQ(files->CreateEntryDirectory(folder, "made"), error::kSuccess);
    EXPECT_EQ(files->CreateEntryDirectory(folder, "made"), error::kAlreadyExists);
    EXPECT_EQ(files->CreateEntryDirectory(folder, "plain"), error::kAlreadyExists);
  }

  // A file without the owner's write bit (root may write it anyway).
  if (geteuid() != 0) {
    ASSERT_EQ(chmod((real_root + "/plain").c_str(), 0444), 0);
    disk.SetMode("/t/plain", 0444);
    EXPECT_EQ(OpenIn(machine, real, "plain", FileOpening::kAppend), error::kAccessDenied);
    EXPECT_EQ(OpenIn(disk, memory, "plain", FileOpening::kAppend), error::kAccessDenied);
    EXPECT_EQ(OpenIn(disk, memory, "plain", FileOpening::kRead), error::kSuccess);
  }
}

TEST(FilesInFolders, ByPathOpensTheFolderAboveOnceAndNamesWhatIsMissing) {
  MemoryFileSystem disk;
  disk.AddFile("/a/b/log", "x\n");
  File file;
  ASSERT_EQ(platform::OpenFileByPath(disk, "/a/b/log", FileOpening::kAppend, &file),
            error::kSuccess);
  EXPECT_EQ(file.Size(), 2u);
  EXPECT_EQ(platform::OpenFileByPath(disk, "/a/missing/log", FileOpening::kAppend, &file),
            error::kPathNotFound);
  EXPECT_FALSE(file.IsOpen());
  EXPECT_EQ(platform::OpenFileByPath(disk, "/a/b/", FileOpening::kRead, &file),
            error::kInvalidName);
  ASSERT_EQ(platform::OpenFileByPath(disk, "/top", FileOpening::kCreateNew, &file),
            error::kSuccess);
  EXPECT_TRUE(disk.Exists("/top"));
}

// The volume's room: a write takes what fits and fails as disk full, cutting back gives room,
// and a file removed while open keeps its room until it is closed.
TEST(FilesInFolders, WritesStopWhereTheVolumeRunsOutAndRoomComesBack) {
  MemoryFileSystem disk;
  disk.AddFolder("/v");
  uint32_t code = 0;
  const Folder folder = disk.OpenFolder("/v", &code, true);
  disk.SetFreeBytes(10);
  File file;
  ASSERT_EQ(OpenIn(disk, folder, "f", FileOpening::kAppend, &file), error::kSuccess);
  size_t written = 99;
  EXPECT_EQ(file.Write("0123456789abcdef", &written), error::kDiskFull);
  EXPECT_EQ(written, 10u);
  EXPECT_EQ(disk.Contents("/v/f"), "0123456789");
  EXPECT_EQ(disk.FreeBytes(), 0u);
  EXPECT_EQ(file.Write("x", &written), error::kDiskFull);
  EXPECT_EQ(written, 0u);
  ASSERT_EQ(file.Truncate(4), error::kSuccess);
  EXPECT_EQ(disk.FreeBytes(), 6u);
  EXPECT_EQ(file.Write("45"), error::kSuccess);  // appends go to the new end
  uint64_t position = 0;
  ASSERT_EQ(file.GetPosition(&position), error::kSuccess);
  EXPECT_EQ(position, 6u);

  ASSERT_EQ(disk.DeleteEntryFile(folder, "f"), error::kSuccess);
  EXPECT_FALSE(disk.Exists("/v/f"));
  EXPECT_EQ(disk.FreeBytes(), 4u);  // still held by the open file
  EXPECT_EQ(file.Write("6"), error::kSuccess);
  std::string data;
  ASSERT_EQ(file.ReadAll(&data), error::kSuccess);
  EXPECT_EQ(data, "0123456");
  ASSERT_EQ(file.Close(), error::kSuccess);
  EXPECT_EQ(disk.FreeBytes(), 10u);
}

TEST(FilesInFolders, QuotaLargestFileAndReadOnlyVolumeGiveTheirOwnCodes) {
  MemoryFileSystem disk;
  disk.AddFile("/v/quota", "ab");
  disk.AddFile("/v/large", "");
  disk.LimitFile("/v/quota", 5, error::kDiskQuotaExceeded);
  disk.LimitFile("/v/large", 3, error::kFileTooLarge);
  uint32_t code = 0;
  const Folder folder = disk.OpenFolder("/v", &code, true);
  File file;
  size_t written = 0;
  ASSERT_EQ(OpenIn(disk, folder, "quota", FileOpening::kAppendExisting, &file), error::kSuccess);
  EXPECT_EQ(file.Write("cdef", &written), error::kDiskQuotaExceeded);
  EXPECT_EQ(written, 3u);
  EXPECT_EQ(disk.Contents("/v/quota"), "abcde");
  ASSERT_EQ(OpenIn(disk, folder, "large", FileOpening::kAppend, &file), error::kSuccess);
  EXPECT_EQ(file.Write("1234", &written), error::kFileTooLarge);
  EXPECT_EQ(disk.Contents("/v/large"), "123");

  disk.SetReadOnly(true);
  EXPECT_EQ(OpenIn(disk, folder, "large", FileOpening::kAppend), error::kWriteProtect);
  EXPECT_EQ(OpenIn(disk, folder, "new", FileOpening::kCreateNew), error::kWriteProtect);
  EXPECT_EQ(disk.CreateEntryDirectory(folder, "new"), error::kAccessDenied);
  EXPECT_EQ(OpenIn(disk, folder, "large", FileOpening::kRead), error::kSuccess);
  EXPECT_FALSE(disk.Exists("/v/new"));
}

// The lock of File::TryLock is one holder's until it closes; a mounted volume keeps no limits.
TEST(FilesInFolders, LockGoesWithTheCloseAndAMountedVolumeIsUnlimited) {
  MemoryFileSystem disk;
  disk.AddMountPoint("/other");
  uint32_t code = 0;
  const Folder folder = disk.OpenFolder("/other", &code, true);
  disk.SetFreeBytes(0);
  disk.SetReadOnly(true);
  File first;
  File second;
  ASSERT_EQ(OpenIn(disk, folder, "record", FileOpening::kCreateNew, &first), error::kSuccess);
  ASSERT_EQ(first.Write("plenty of room here"), error::kSuccess);
  ASSERT_EQ(OpenIn(disk, folder, "record", FileOpening::kAppendExisting, &second), error::kSuccess);
  bool locked = false;
  ASSERT_EQ(first.TryLock(&locked), error::kSuccess);
  EXPECT_TRUE(locked);
  ASSERT_EQ(second.TryLock(&locked), error::kSuccess);
  EXPECT_FALSE(locked);
  first.Close();
  ASSERT_EQ(second.TryLock(&locked), error::kSuccess);
  EXPECT_TRUE(locked);
}

}  // namespace
