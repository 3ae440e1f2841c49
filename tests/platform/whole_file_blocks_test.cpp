// Whole files read through a block buffer and written from pieces into an unnamed file: every
// size around the block and page steps, files that change while they are read, and writers
// killed at random moments.
#include <dirent.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "common/test_files.h"
#include "platform/file_system.h"
#include "platform/platform.h"

namespace platform {
namespace {

using orvanel::testing::ReadBytes;
using orvanel::testing::TempFolder;
using orvanel::testing::WriteBytes;

std::vector<std::string> Entries(const std::string& folder) {
  std::vector<std::string> names;
  DIR* dir = opendir(folder.c_str());
  while (dirent* entry = readdir(dir)) {
    const std::string name = entry->d_name;
    if (name != "." && name != "..") names.push_back(name);
  }
  closedir(dir);
  std::sort(names.begin(), names.end());
  return names;
}

// Bytes whose value tells their offset, so that a piece in the wrong place shows.
std::string Pattern(size_t size) {
  std::string bytes(size, '\0');
  for (size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>(i % 251);
  return bytes;
}

TEST(ReadWholeFileInBlocks, EverySizeAroundTheBlockAndPageSteps) {
  TempFolder dir;
  constexpr size_t kBlock = 128 * 1024, kMiB = 1024 * 1024;
  for (const size_t size : {size_t{1}, kBlock - 1, kBlock, kBlock + 1, 3 * kBlock + 7, 4 * kMiB - 1,
                            4 * kMiB, 4 * kMiB + 1, 9 * kMiB + 12345}) {
    const std::string bytes = Pattern(size);
    WriteBytes(dir / "f", bytes);
    std::vector<uint8_t> data;
    ASSERT_EQ(ReadWholeFile(RealFileSystem(), dir / "f", &data), error::kSuccess) << size;
    ASSERT_EQ(data.size(), size);
    EXPECT_TRUE(std::string(data.begin(), data.end()) == bytes) << size;
    EXPECT_EQ(data.capacity(), size) << "allocated once, at the file's size";
  }
}

TEST(ReadWholeFileInBlocks, AFileChangingSizeWhileReadGivesBytesInTheirPlaces) {
  // A writer grows the file and cuts it back while it is read: every result holds the pattern's
  // bytes in their places (no piece shifted, doubled or left out), and no more memory than its
  // size and a few megabytes. A read that meets a cut may see the zeros the kernel puts into
  // the tail of the page it cuts in before the page goes (no read is atomic against a
  // truncation), so a zero is allowed anywhere; any other byte out of place is a fault.
  TempFolder dir;
  const std::string path = dir / "f";
  const std::string pattern = Pattern(12 * 1024 * 1024);
  WriteBytes(path, pattern.substr(0, 5 * 1024 * 1024));
  std::atomic<bool> stop{false};
  std::thread writer([&] {
    std::mt19937 random(5);
    std::uniform_int_distribution<size_t> size(0, pattern.size());
    while (!stop) {
      const size_t target = size(random);
      const int fd = open(path.c_str(), O_WRONLY);
      if (target < 1024 * 1024) {
        ASSERT_EQ(ftruncate(fd, static_cast<off_t>(target)), 0);
      } else {
        ASSERT_EQ(pwrite(fd, pattern.data(), target, 0), static_cast<ssize_t>(target));
      }
      close(fd);
    }
  });
  for (int round = 0; round < 25; ++round) {
    std::vector<uint8_t> data;
    ASSERT_EQ(ReadWholeFile(RealFileSystem(), path, &data), error::kSuccess);
    ASSERT_LE(data.size(), pattern.size());
    size_t out_of_place = 0;
    for (size_t i = 0; i < data.size(); ++i) {
      out_of_place += data[i] != 0 && data[i] != static_cast<uint8_t>(pattern[i]);
    }
    EXPECT_EQ(out_of_place, 0u) << round;
    EXPECT_LE(data.capacity(), data.size() + 2 * 1024 * 1024) << round;
  }
  stop = true;
  writer.join();
}

TEST(ReplaceWholeFilePieces, PiecesAreWrittenInOrderAndAFailureKeepsTheOldFile) {
  TempFolder dir;
  WriteBytes(dir / "f", "old");
  ASSERT_EQ(ReplaceWholeFile(RealFileSystem(), dir / "f",
                             [](const PieceWriter& write) {
                               for (const char* piece : {"one ", "", "two ", "three"}) {
                                 if (const uint32_t code = write(piece)) return code;
                               }
                               return error::kSuccess;
                             }),
            error::kSuccess);
  EXPECT_EQ(ReadBytes(dir / "f"), "one two three");
  // The maker fails half way: the old contents stay and nothing else is left.
  EXPECT_EQ(ReplaceWholeFile(RealFileSystem(), dir / "f",
                             [](const PieceWriter& write) {
                               write(std::string(1 << 20, 'x'));
                               return error::kNotEnoughMemory;
                             }),
            error::kNotEnoughMemory);
  EXPECT_EQ(ReadBytes(dir / "f"), "one two three");
  EXPECT_EQ(Entries(dir.path()), std::vector<std::string>{"f"});
  // A new file is made the same way.
  ASSERT_EQ(ReplaceWholeFile(RealFileSystem(), dir / "g", "new"), error::kSuccess);
  EXPECT_EQ(ReadBytes(dir / "g"), "new");
  EXPECT_EQ(Entries(dir.path()), (std::vector<std::string>{"f", "g"}));
}

TEST(ReplaceWholeFileKilled, LeavesTheOldOrTheNewFileAndNoTemporaryFile) {
  // A writer replacing a large file over and over is killed at random moments. Afterwards the
  // file holds one whole version, and no temporary file is left, except (rarely) where the kill
  // fell between naming the finished file and renaming it over the target: that leftover then
  // holds the complete new contents.
  TempFolder dir;
  const int unnamed = open(dir.path().c_str(), O_TMPFILE | O_WRONLY, 0600);
  if (unnamed < 0) GTEST_SKIP() << "this file system has no unnamed files";
  close(unnamed);
  const std::string path = dir / "f";
  constexpr size_t kSize = 8 * 1024 * 1024;
  const std::string versions[2] = {std::string(kSize, 'a'), std::string(kSize + 1, 'b')};
  WriteBytes(path, versions[0]);
  std::mt19937 random(17);
  std::uniform_int_distribution<int> delay_us(0, 30000);
  constexpr int kKills = 30;
  int leftovers = 0;
  for (int kill_round = 0; kill_round < kKills; ++kill_round) {
    int ready[2];
    ASSERT_EQ(pipe(ready), 0);
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      close(ready[0]);
      const char byte = 1;
      if (write(ready[1], &byte, 1) != 1) _exit(3);
      for (int i = 1;; ++i) {
        if (ReplaceWholeFile(RealFileSystem(), path, versions[i % 2]) != error::kSuccess) _exit(2);
      }
    }
    close(ready[1]);
    char byte = 0;
    ASSERT_EQ(read(ready[0], &byte, 1), 1);  // the child is at work
    close(ready[0]);
    usleep(static_cast<useconds_t>(delay_us(random)));  // the moment of the kill, not a wait
    kill(child, SIGKILL);
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFSIGNALED(status)) << "the writer failed with " << WEXITSTATUS(status);
    const std::string contents = ReadBytes(path);
    ASSERT_TRUE(contents == versions[0] || contents == versions[1]) << kill_round;
    for (const std::string& name : Entries(dir.path())) {
      if (name == "f") continue;
      ++leftovers;
      const std::string left = ReadBytes(dir / name);
      EXPECT_TRUE(left == versions[0] || left == versions[1]) << name;
      unlink((dir / name).c_str());
    }
  }
  EXPECT_LE(leftovers, kKills / 15);
}

}  // namespace
}  // namespace platform
