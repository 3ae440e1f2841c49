// The monthly log of a run whose volume fills up, hits a quota or the largest file it takes, or
// is read-only: the run's log lives on the volume in memory the test limits, and the run deletes
// over the same file system, so freeing room on the log's volume is a deletion of the run.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "cleaner/COutput.h"
#include "cleaner/RunContext.h"
#include "cleaner/modDelTree.h"
#include "memory_run_fixture.h"
#include "support/ov_error.h"
#include "sweepwell_runner.h"

namespace sweepwell {
namespace {

using orvanel::testing::MemoryFileSystem;
using sweepwell_test::DirLine;
using sweepwell_test::FileLine;

const std::string kRule = std::string(78, '=') + "\n";
const std::string kNote = "*** Пропущено строк журнала: ";

class MemoryLogFaultsTest : public MemoryRunTest {
 protected:
  MemoryLogFaultsTest() { open_output_ = false; }

  // The log on the volume under test (kRoot's), not on the fixture's own.
  static std::string LogPath() { return Path("log/run.log"); }
  // Opens the run's output; empty, or the description of the error that stopped it.
  std::string Open() {
    try {
      run.OpenOutput(LogPath(), nullptr);
    } catch (const support::Error& failure) {
      return failure.description();
    }
    return {};
  }
  // The log's lines after `start` (the text before this run's rule line).
  std::vector<std::string> RunLines(const std::string& start) {
    run.Output->CloseLog();
    const std::string log = disk.Contents(LogPath());
    EXPECT_EQ(log.rfind(start + kRule, 0), 0u) << log;
    EXPECT_TRUE(!log.empty() && log.back() == '\n') << log;
    std::vector<std::string> lines;
    size_t at = start.size() + kRule.size();
    while (at < log.size()) {
      const size_t end = log.find('\n', at);
      lines.push_back(log.substr(at, end - at));
      at = end + 1;
    }
    return lines;
  }
  // `logged` is `expected` with runs of lines replaced by notes that count them, each naming
  // `cause`; returns how many notes.
  static int CheckNotes(const std::vector<std::string>& logged,
                        const std::vector<std::string>& expected, const std::string& cause) {
    size_t shown = 0;
    int notes = 0;
    for (const std::string& line : logged) {
      if (line.rfind(kNote, 0) == 0) {
        const int missed = std::atoi(line.c_str() + kNote.size());
        EXPECT_GT(missed, 0) << line;
        EXPECT_EQ(line, kNote + std::to_string(missed) + " (" + cause + ") ***");
        shown += static_cast<size_t>(missed);
        ++notes;
        continue;
      }
      if (shown >= expected.size()) {
        ADD_FAILURE() << "more lines than the run wrote: " << line;
        return notes;
      }
      EXPECT_EQ(line, expected[shown]) << shown;
      ++shown;
    }
    EXPECT_EQ(shown, expected.size());
    return notes;
  }
};

// No room for the rule line (6 bytes free): the run does not start, the old log is as it was,
// and the cause is named.
TEST_F(MemoryLogFaultsTest, NoRoomForTheFirstLineMeansTheRunDoesNotStart) {
  const std::string old_log = std::string(4089, 'o') + "\n";
  disk.AddFile(LogPath(), old_log);
  disk.SetFreeBytes(6);
  EXPECT_EQ(Open(), "диск заполнен");
  EXPECT_EQ(run.Output, nullptr);
  EXPECT_EQ(disk.Contents(LogPath()), old_log);
  EXPECT_EQ(disk.FreeBytes(), 6u);  // the part that went in was taken out again
}

// The same for a quota, the largest file and a read-only volume: each has its own words.
TEST_F(MemoryLogFaultsTest, EveryCauseOfAnUnwritableLogIsNamed) {
  disk.AddFile(LogPath(), "old\n");
  disk.LimitFile(LogPath(), 40, platform::error::kDiskQuotaExceeded);
  EXPECT_EQ(Open(), "превышена дисковая квота");
  disk.LimitFile(LogPath(), 40, platform::error::kFileTooLarge);
  EXPECT_EQ(Open(), "файл журнала достиг предельного размера");
  disk.LimitFile(LogPath(), 0, 0);
  disk.SetReadOnly(true);
  EXPECT_EQ(Open(), "файловая система только для чтения");
  disk.SetReadOnly(false);
  disk.SetMode(LogPath(), 0444);
  EXPECT_EQ(Open(), "отказано в доступе");
  EXPECT_EQ(disk.Contents(LogPath()), "old\n");
}

// The log's volume fills up while files on another volume go; then a big file on the log's own
// volume goes, and the log takes lines again: no cut line, and the count of what it missed.
TEST_F(MemoryLogFaultsTest, LogThatFillsUpMidRunKeepsWholeLinesAndCountsWhatItMissed) {
  disk.AddFile(LogPath(), "previous run\n");
  disk.AddFile(Path("d/big"), std::string(64 * 1024, 'b'));
  disk.AddMountPoint(Path("other"));
  std::vector<std::string> expected;
  for (int i = 0; i < 40; ++i) {
    char name[16];
    std::snprintf(name, sizeof name, "f%02d", i);
    const std::string path = Path("other/many/") + name + std::string(150, 'n');
    disk.AddFile(path, "x");
    expected.push_back(FileLine(path, 1));
  }
  expected.push_back(DirLine(Path("other/many")));
  expected.push_back(FileLine(Path("d/big"), 64 * 1024));
  expected.push_back(DirLine(Path("d")));
  disk.SetFreeBytes(kRule.size() + 100);  // the rule line and less than one entry line
  ASSERT_EQ(Open(), "");

  ::testing::internal::CaptureStderr();
  DeleteFolder(run, Path("other/many"));
  DeleteFolder(run, Path("d"));
  const std::string news = ::testing::internal::GetCapturedStderr();
  EXPECT_NE(news.find("не записан: диск заполнен"), std::string::npos) << news;
  EXPECT_NE(news.find("снова записывается"), std::string::npos) << news;

  EXPECT_TRUE(disk.List(Path("other")).empty());
  EXPECT_FALSE(disk.Exists(Path("d")));
  EXPECT_EQ(run.Output->Totals().DeletedFiles, 41);
  const std::vector<std::string> logged = RunLines("previous run\n");
  EXPECT_GE(CheckNotes(logged, expected, "диск заполнен"), 1);
  ASSERT_FALSE(logged.empty());
  EXPECT_EQ(logged.back(), DirLine(Path("d")));  // the log recovered before the end
}

}  // namespace
}  // namespace sweepwell
