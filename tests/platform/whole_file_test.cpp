#include <dirent.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "common/test_files.h"
#include "platform/file_system.h"
#include "platform/platform.h"

namespace platform {
namespace {

using orvanel::testing::ReadBytes;
using orvanel::testing::TempFolder;
using orvanel::testing::WriteBytes;

std::vector<std::string> Names(const std::string& folder) {
  std::vector<std::string> names;
  DIR* dir = opendir(folder.c_str());
  while (dirent* entry = readdir(dir)) {
    if (entry->d_name[0] != '.' ||
        (std::string(entry->d_name) != "." && std::string(entry->d_name) != "..")) {
      names.push_back(entry->d_name);
    }
  }
  closedir(dir);
  return names;
}

mode_t ModeOf(const std::string& path) {
  struct stat info;
  stat(path.c_str(), &info);
  return info.st_mode & 07777;
}

TEST(ReadWholeFile, ReadsContentsAndNamesEachFailure) {
  TempFolder dir;
  WriteBytes(dir / "f", std::string("ab\0c", 4));
  std::vector<uint8_t> data{9};
  EXPECT_EQ(ReadWholeFile(RealFileSystem(), dir / "f", &data), error::kSuccess);
  EXPECT_EQ(data, (std::vector<uint8_t>{'a', 'b', 0, 'c'}));
  WriteBytes(dir / "empty", "");
  EXPECT_EQ(ReadWholeFile(RealFileSystem(), dir / "empty", &data), error::kSuccess);
  EXPECT_TRUE(data.empty());
  EXPECT_EQ(ReadWholeFile(RealFileSystem(), dir / "missing", &data), error::kFileNotFound);
  EXPECT_EQ(ReadWholeFile(RealFileSystem(), dir / "nofolder/f", &data), error::kPathNotFound);
  EXPECT_EQ(ReadWholeFile(RealFileSystem(), dir.path(), &data), error::kAccessDenied);
}

TEST(ReadWholeFile, ReadsFilesThatReportNoSize) {
  std::vector<uint8_t> data;
  ASSERT_EQ(ReadWholeFile(RealFileSystem(), "/proc/self/status", &data), error::kSuccess);
  EXPECT_NE(std::string(data.begin(), data.end()).find("Name:"), std::string::npos);
}

TEST(WholeFiles, OnlyRegularFilesAreReadOrWritten) {
  // A FIFO would wait for ever for a writer (or reader), /dev/zero never ends: both are
  // refused at once, and nothing is done to them.
  TempFolder dir;
  ASSERT_EQ(mkfifo((dir / "fifo").c_str(), 0600), 0);
  std::vector<uint8_t> data;
  uint64_t size = 0;
  EXPECT_EQ(ReadWholeFile(RealFileSystem(), dir / "fifo", &data), error::kAccessDenied);
  EXPECT_EQ(ReadFileStart(RealFileSystem(), dir / "fifo", 3, &data, &size), error::kAccessDenied);
  EXPECT_EQ(AppendToFile(RealFileSystem(), dir / "fifo", "x"), error::kAccessDenied);
  EXPECT_EQ(OverwriteFile(RealFileSystem(), dir / "fifo", "x"), error::kAccessDenied);
  EXPECT_EQ(ReplaceWholeFile(RealFileSystem(), dir / "fifo", "x"), error::kAccessDenied);
  struct stat info;
  ASSERT_EQ(lstat((dir / "fifo").c_str(), &info), 0);
  EXPECT_TRUE(S_ISFIFO(info.st_mode));
  EXPECT_EQ(ReadWholeFile(RealFileSystem(), "/dev/zero", &data), error::kAccessDenied);
  EXPECT_EQ(OverwriteFile(RealFileSystem(), "/dev/null", "x"), error::kAccessDenied);
}

TEST(ReadFileStart, ReadsNoMoreThanAskedAndTellsTheSize) {
  TempFolder dir;
  WriteBytes(dir / "f", "abcdef");
  std::vector<uint8_t> data;
  uint64_t size = 0;
  EXPECT_EQ(ReadFileStart(RealFileSystem(), dir / "f", 3, &data, &size), error::kSuccess);
  EXPECT_EQ(data, (std::vector<uint8_t>{'a', 'b', 'c'}));
  EXPECT_EQ(size, 6u);
  WriteBytes(dir / "one", "x");
  EXPECT_EQ(ReadFileStart(RealFileSystem(), dir / "one", 3, &data, &size), error::kSuccess);
  EXPECT_EQ(data.size(), 1u);
  EXPECT_EQ(ReadFileStart(RealFileSystem(), dir.path(), 3, &data, &size), error::kAccessDenied);
}

TEST(ReplaceWholeFile, CreatesAndReplacesLeavingNoTemporaryFile) {
  TempFolder dir;
  EXPECT_EQ(ReplaceWholeFile(RealFileSystem(), dir / "f", "long old contents"), error::kSuccess);
  const mode_t mask = umask(0);
  umask(mask);
  EXPECT_EQ(ModeOf(dir / "f"), 0666 & ~mask);
  EXPECT_EQ(ReplaceWholeFile(RealFileSystem(), dir / "f", "new"), error::kSuccess);
  EXPECT_EQ(ReadBytes(dir / "f"), "new");
  EXPECT_EQ(ReplaceWholeFile(RealFileSystem(), dir / "f", ""), error::kSuccess);
  EXPECT_EQ(ReadBytes(dir / "f"), "");
  EXPECT_EQ(Names(dir.path()), std::vector<std::string>{"f"});
}

TEST(ReplaceWholeFile, KeepsTheOldMode) {
  TempFolder dir;
  WriteBytes(dir / "script", "#!/bin/sh\n");
  chmod((dir / "script").c_str(), 0750);
  ASSERT_EQ(ReplaceWholeFile(RealFileSystem(), dir / "script", "#!/bin/sh\nexit 0\n"),
            error::kSuccess);
  EXPECT_EQ(ModeOf(dir / "script"), 0750u);
}

TEST(ReplaceWholeFile, ReplacesTheTargetOfAChainOfLinks) {
  TempFolder dir;
  mkdir((dir / "real").c_str(), 0755);
  WriteBytes(dir / "real/target", "old");
  symlink("real/target", (dir / "hop").c_str());  // relative to the link's folder
  mkdir((dir / "sub").c_str(), 0755);
  symlink("../hop", (dir / "sub/link").c_str());
  ASSERT_EQ(ReplaceWholeFile(RealFileSystem(), dir / "sub/link", "new"), error::kSuccess);
  struct stat info;
  ASSERT_EQ(lstat((dir / "sub/link").c_str(), &info), 0);
  EXPECT_TRUE(S_ISLNK(info.st_mode));
  ASSERT_EQ(lstat((dir / "hop").c_str(), &info), 0);
  EXPECT_TRUE(S_ISLNK(info.st_mode));
  EXPECT_EQ(ReadBytes(dir / "real/target"), "new");
  EXPECT_EQ(Names(dir / "real"), std::vector<std::string>{"target"});
}

TEST(ReplaceWholeFile, ALoopOfLinksIsAnError) {
  TempFolder dir;
  symlink("b", (dir / "a").c_str());
  symlink("a", (dir / "b").c_str());
  EXPECT_EQ(ReplaceWholeFile(RealFileSystem(), dir / "a", "x"), error::kCantResolveFilename);
}

TEST(ReplaceWholeFile, AFolderIsRefused) {
  TempFolder dir;
  mkdir((dir / "d").c_str(), 0755);
  EXPECT_EQ(ReplaceWholeFile(RealFileSystem(), dir / "d", "x"), error::kAccessDenied);
  EXPECT_EQ(ReplaceWholeFile(RealFileSystem(), dir / "missing/f", "x"), error::kPathNotFound);
}

TEST(ReplaceWholeFile, AFailureLeavesTheOldContents) {
  TempFolder dir;
  mkdir((dir / "locked").c_str(), 0755);
  WriteBytes(dir / "locked/f", "old contents");
  const bool root = geteuid() == 0;
  const std::string lock = "chattr +i '" + (dir / "locked") + "' 2>/dev/null";
  if (root ? std::system(lock.c_str()) != 0 : chmod((dir / "locked").c_str(), 0555) != 0) {
    GTEST_SKIP() << "cannot make a folder that refuses new files here";
  }
  const uint32_t code = ReplaceWholeFile(RealFileSystem(), dir / "locked/f", "new");
  if (root) std::system(("chattr -i '" + (dir / "locked") + "'").c_str());
  chmod((dir / "locked").c_str(), 0755);
  EXPECT_EQ(code, error::kAccessDenied);
  EXPECT_EQ(ReadBytes(dir / "locked/f"), "old contents");
  EXPECT_EQ(Names(dir / "locked"), std::vector<std::string>{"f"});
}

TEST(AppendToFile, CreatesThenAppends) {
  TempFolder dir;
  EXPECT_EQ(AppendToFile(RealFileSystem(), dir / "f", "ab"), error::kSuccess);
  EXPECT_EQ(AppendToFile(RealFileSystem(), dir / "f", "cd"), error::kSuccess);
  EXPECT_EQ(ReadBytes(dir / "f"), "abcd");
  EXPECT_EQ(AppendToFile(RealFileSystem(), dir.path(), "x"), error::kAccessDenied);
}

TEST(OverwriteFile, KeepsTheInodeAndItsAttributes) {
  TempFolder dir;
  WriteBytes(dir / "f", "a much longer old text");
  chmod((dir / "f").c_str(), 0640);
  const bool has_attribute = setxattr((dir / "f").c_str(), "user.Zone.Identifier", "z", 1, 0) == 0;
  struct stat before, after;
  stat((dir / "f").c_str(), &before);
  ASSERT_EQ(OverwriteFile(RealFileSystem(), dir / "f", "short"), error::kSuccess);
  stat((dir / "f").c_str(), &after);
  EXPECT_EQ(ReadBytes(dir / "f"), "short");
  EXPECT_EQ(before.st_ino, after.st_ino);
  EXPECT_EQ(ModeOf(dir / "f"), 0640u);
  if (has_attribute) {
    char value[4];
    EXPECT_EQ(getxattr((dir / "f").c_str(), "user.Zone.Identifier", value, sizeof(value)), 1);
  }
  EXPECT_EQ(OverwriteFile(RealFileSystem(), dir / "new", "x"), error::kSuccess);
  EXPECT_EQ(ReadBytes(dir / "new"), "x");
}

TEST(GetFileSize, FollowsLinksAndNamesAMissingFile) {
  TempFolder dir;
  WriteBytes(dir / "f", "12345");
  symlink("f", (dir / "link").c_str());
  uint64_t size = 0;
  EXPECT_EQ(GetFileSize(RealFileSystem(), dir / "link", &size), error::kSuccess);
  EXPECT_EQ(size, 5u);
  EXPECT_EQ(GetFileSize(RealFileSystem(), dir / "missing", &size), error::kFileNotFound);
}

// The entry members act in the folder they are given: a relative link is taken from it, and a
// name is one entry.
TEST(WholeFileEntries, ActInTheGivenFolder) {
  TempFolder dir;
  ASSERT_EQ(mkdir((dir / "sub").c_str(), 0755), 0);
  WriteBytes(dir / "target", "old");
  ASSERT_EQ(symlink("../target", (dir / "sub/link").c_str()), 0);
  FileSystem& files = RealFileSystem();
  uint32_t code = error::kSuccess;
  const Folder sub = files.OpenFolder(dir / "sub", &code, true);
  ASSERT_TRUE(sub.IsOpen()) << code;
  EXPECT_EQ(
      files.ReplaceEntryFile(sub, "link", [](const PieceWriter& write) { return write("new"); }),
      error::kSuccess);
  EXPECT_EQ(ReadBytes(dir / "target"), "new");
  EXPECT_EQ(files.AppendEntryFile(sub, "link", "!"), error::kSuccess);
  std::vector<uint8_t> data;
  EXPECT_EQ(files.ReadEntryWhole(sub, "link", &data), error::kSuccess);
  EXPECT_EQ(std::string(data.begin(), data.end()), "new!");
  uint64_t size = 0;
  EXPECT_EQ(files.GetEntryFileSize(sub, "link", &size), error::kSuccess);
  EXPECT_EQ(size, 4u);
  EXPECT_EQ(files.OverwriteEntryFile(sub, "../target", "x"), error::kInvalidName);
  EXPECT_EQ(ReadBytes(dir / "target"), "new!");
  struct stat info;
  ASSERT_EQ(lstat((dir / "sub/link").c_str(), &info), 0);
  EXPECT_TRUE(S_ISLNK(info.st_mode));
  // The folder a by-path write opens is found the same way: through the link to it.
  ASSERT_EQ(symlink("sub", (dir / "via").c_str()), 0);
  const Folder via = files.OpenWriteFolder(dir / "via", &code);
  ASSERT_TRUE(via.IsOpen()) << code;
  EXPECT_EQ(via.Id(), sub.Id());
  EXPECT_FALSE(files.OpenWriteFolder(dir / "target", &code).IsOpen());
  EXPECT_EQ(code, error::kPathNotFound);
}

}  // namespace
}  // namespace platform
