// The one file type: what its openers take and refuse, and what its reads and writes give back.
#include "platform/file.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "common/test_files.h"
#include "platform/file_system.h"

namespace platform {
namespace {

using orvanel::testing::ReadBytes;
using orvanel::testing::TempFolder;
using orvanel::testing::WriteBytes;

// Every opener takes a regular file only. A FIFO without a writer or reader would hold a plain
// open for ever, and /dev/zero would never end a whole read: both are refused straight away,
// the same way as a folder.
TEST(FileOpeners, AnswerBadFileTypeForAllButARegularFileAndNeverWait) {
  TempFolder dir;
  ASSERT_EQ(mkfifo((dir / "fifo").c_str(), 0600), 0);
  ASSERT_EQ(mkdir((dir / "folder").c_str(), 0700), 0);
  for (const std::string& path : {dir / "fifo", dir / "folder", std::string("/dev/zero")}) {
    uint32_t code = error::kSuccess;
    EXPECT_FALSE(File::OpenForReading(path, &code).IsOpen()) << path;
    EXPECT_EQ(code, error::kBadFileType) << path;
    File file;
    EXPECT_EQ(OpenForAppend(path, &file), error::kBadFileType) << path;
    EXPECT_EQ(OpenExistingForRead(path, &file), error::kBadFileType) << path;
    EXPECT_EQ(OpenExistingForAppend(path, &file), error::kBadFileType) << path;
    EXPECT_FALSE(file.IsOpen());
    // The by-path whole-file calls keep the library's answer for the same refusal.
    std::vector<uint8_t> data;
    EXPECT_EQ(ReadWholeFile(RealFileSystem(), path, &data), error::kAccessDenied) << path;
    EXPECT_EQ(OpenWholeFile(RealFileSystem(), path, &code).IsOpen(), false);
    EXPECT_EQ(code, error::kAccessDenied) << path;
  }
  uint32_t code = error::kSuccess;
  EXPECT_FALSE(File::OpenForReading(dir / "missing", &code).IsOpen());
  EXPECT_EQ(code, error::kFileNotFound);
  EXPECT_FALSE(File::OpenForReading(std::string("a\0b", 3), &code).IsOpen());
  EXPECT_EQ(code, error::kInvalidName);
}

// Reading follows a link to a regular file; the openers of a process's own files take the
// entry itself and refuse the link, and the exclusive creators never replace a name.
TEST(FileOpeners, FollowLinksOnlyWhereTheyMayAndNeverReplaceAName) {
  TempFolder dir;
  WriteBytes(dir / "target", "kept");
  ASSERT_EQ(symlink("target", (dir / "link").c_str()), 0);
  uint32_t code = error::kSuccess;
  File followed = File::OpenForReading(dir / "link", &code);
  ASSERT_EQ(code, error::kSuccess);
  EXPECT_EQ(followed.Size(), 4u);
  File file;
  EXPECT_EQ(OpenExistingForRead(dir / "link", &file), error::kBadFileType);
  EXPECT_EQ(OpenExistingForAppend(dir / "link", &file), error::kBadFileType);
  EXPECT_EQ(CreateForAppend(dir / "link", &file), error::kFileExists);
  EXPECT_EQ(CreateForAppend(dir / "target", &file), error::kFileExists);
  EXPECT_EQ(OpenFileByPath(RealFileSystem(), dir / "target", FileOpening::kCreateLocked, &file),
            error::kFileExists);
  EXPECT_FALSE(file.IsOpen());
  EXPECT_EQ(ReadBytes(dir / "target"), "kept");
}

TEST(File, WritesAppendReadsAtOffsetsAndCutsBack) {
  TempFolder dir;
  File file;
  ASSERT_EQ(OpenForAppend(dir / "log", &file), error::kSuccess);
  ASSERT_EQ(file.Write("first\n"), error::kSuccess);
  // Another writer in between: this handle's next write still lands at the end.
  {
    File other;
    ASSERT_EQ(OpenForAppend(dir / "log", &other), error::kSuccess);
    ASSERT_EQ(other.Write("other\n"), error::kSuccess);
  }
  ASSERT_EQ(file.Write("last\n"), error::kSuccess);
  uint64_t size = 0, position = 0;
  ASSERT_EQ(file.GetSize(&size), error::kSuccess);
  ASSERT_EQ(file.GetPosition(&position), error::kSuccess);
  EXPECT_EQ(size, 17u);
  EXPECT_EQ(position, 17u);

  std::vector<uint8_t> piece;
  ASSERT_EQ(file.ReadAt(6, 5, &piece), error::kSuccess);
  EXPECT_EQ(std::string(piece.begin(), piece.end()), "other");
  EXPECT_EQ(file.ReadAt(15, 5, &piece), error::kGenFailure);  // past the end: all or nothing
  EXPECT_TRUE(piece.empty());
  char bytes[8];
  size_t done = 99;
  ASSERT_EQ(file.ReadUpTo(15, bytes, sizeof bytes, &done), error::kSuccess);
  EXPECT_EQ(done, 2u);
  ASSERT_EQ(file.ReadUpTo(40, bytes, sizeof bytes, &done), error::kSuccess);
  EXPECT_EQ(done, 0u);

  ASSERT_EQ(file.Truncate(6), error::kSuccess);
  ASSERT_EQ(file.Write("again\n"), error::kSuccess);
  std::string all;
  ASSERT_EQ(file.ReadAll(&all), error::kSuccess);
  EXPECT_EQ(all, "first\nagain\n");
  EXPECT_EQ(file.Close(), error::kSuccess);
  EXPECT_FALSE(file.IsOpen());
  EXPECT_EQ(file.Close(), error::kSuccess);  // a closed file is left alone
  EXPECT_EQ(ReadBytes(dir / "log"), "first\nagain\n");
}

// A moved file keeps its one descriptor: the moved-from file closes nothing.
TEST(File, MovesItsOneHandle) {
  TempFolder dir;
  WriteBytes(dir / "f", "abc");
  uint32_t code = error::kSuccess;
  File first = File::OpenForReading(dir / "f", &code);
  ASSERT_TRUE(first.IsOpen());
  File second = std::move(first);
  EXPECT_FALSE(first.IsOpen());  // NOLINT(bugprone-use-after-move): the point of the test
  first = File();
  std::string all;
  ASSERT_EQ(second.ReadAll(&all), error::kSuccess);
  EXPECT_EQ(all, "abc");
  File third = File::OpenForReading(dir / "f", &code);
  const FolderId id = third.Id();
  third = std::move(second);
  EXPECT_EQ(third.Id(), id);
  ASSERT_EQ(third.ReadAll(&all), error::kSuccess);
  EXPECT_EQ(all, "abc");
}

}  // namespace
}  // namespace platform
