// RunLog: whole lines, no cut line after a failed write, the missed-lines note on recovery, and
// a line end before the first line when the file ended without one.
//
// A full disk without root: the file-size limit (RLIMIT_FSIZE) makes a write stop short at the
// limit and the next one fail, as a disk that fills up does, and raising the limit again is
// the disk freed. The limit is set in a child process, so the test process keeps its own.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <string_view>

#include "cleaner/RunLog.h"
#include "platform/file.h"
#include "platform/platform.h"
#include "temp_folder.h"

namespace sweepwell {
namespace {

using testing::ReadBytes;
using testing::TempFolder;
using testing::WriteBytes;

// Runs `body` in a child whose files may grow to `limit` bytes; its return value is the exit
// status (0 for success).
int RunWithFileSizeLimit(rlim_t limit, const std::function<int()>& body) {
  pid_t pid = fork();
  if (pid == 0) {
    signal(SIGXFSZ, SIG_IGN);  // a write past the limit then fails with EFBIG instead
    struct rlimit size_limit {};
    getrlimit(RLIMIT_FSIZE, &size_limit);
    size_limit.rlim_cur = limit;
    if (setrlimit(RLIMIT_FSIZE, &size_limit) != 0) _exit(99);
    _exit(body());
  }
  int status = 0;
  waitpid(pid, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

void RaiseFileSizeLimit() {
  struct rlimit size_limit {};
  getrlimit(RLIMIT_FSIZE, &size_limit);
  size_limit.rlim_cur = size_limit.rlim_max;
  setrlimit(RLIMIT_FSIZE, &size_limit);
}

const std::string kRule = std::string(78, '=') + "\n";
const std::string kLine = std::string(30, 'x') + "\n";  // 31 bytes

class RunLogTest : public ::testing::Test {
 protected:
  TempFolder temp;
  std::string path = temp / "run.log";
};

// The limit falls in the middle of the third line: the part of it that went in is taken out
// again, the console-only lines are counted, and when space comes back the note comes first.
TEST_F(RunLogTest, FailedWritesLeaveNoCutLineAndRecoveryRecordsTheMissedLines) {
  const rlim_t limit = kRule.size() + 2 * kLine.size() + 10;
  int status = RunWithFileSizeLimit(limit, [&] {
    RunLog log;
    if (log.Open(path, kRule) != 0) return 10;
    if (log.Write(kLine) != RunLog::WriteResult::kWritten) return 11;
    if (log.Write(kLine) != RunLog::WriteResult::kWritten) return 12;
    if (log.Write(kLine) != RunLog::WriteResult::kFailed) return 13;
    if (log.LastError() != platform::error::kFileTooLarge) return 14;
    if (log.Write(kLine + kLine) != RunLog::WriteResult::kStillFailing) return 15;
    if (log.PendingMissedLines() != 3) return 16;
    RaiseFileSizeLimit();
    if (log.Write("back\n") != RunLog::WriteResult::kRecovered) return 17;
    if (log.Write("and on\n") != RunLog::WriteResult::kWritten) return 18;
    return log.MissedLines() == 3 && log.PendingMissedLines() == 0 ? 0 : 19;
  });
  ASSERT_EQ(status, 0);
  EXPECT_EQ(ReadBytes(path), kRule + kLine + kLine +
                                "*** Пропущено строк журнала: 3 (файл журнала достиг "
                                "предельного размера) ***\nback\nand on\n");
}

// Lines written ahead: a batch longer than a page arrives whole, its tail can be taken back
// while the file ends with it, never once another writer appended, and a batch that does not
// fit leaves nothing and counts nothing (the caller writes its lines the ordinary way).
TEST_F(RunLogTest, LinesWrittenAheadArriveWholeAndAreTakenBackOnlyFromTheEnd) {
  RunLog log;
  ASSERT_EQ(log.Open(path, kRule), 0u);
  std::string batch;
  for (int i = 0; i < 300; ++i) batch += kLine;  // 9 300 bytes: three pages
  ASSERT_EQ(log.WriteAhead(batch), 0u);
  ASSERT_EQ(ReadBytes(path), kRule + batch);
  EXPECT_TRUE(log.TakeBack(std::string_view(batch).substr(kLine.size())));
  EXPECT_EQ(ReadBytes(path), kRule + kLine);

  ASSERT_EQ(log.WriteAhead(kLine + kLine), 0u);
  std::ofstream(path, std::ios::binary | std::ios::app) << "another run\n";
  EXPECT_FALSE(log.TakeBack(kLine));
  EXPECT_EQ(ReadBytes(path), kRule + kLine + kLine + kLine + "another run\n");
  log.Close();

  const std::string before = ReadBytes(path);
  int status = RunWithFileSizeLimit(before.size() + kRule.size() + 100, [&] {
    RunLog limited;
    if (limited.Open(path, kRule) != 0) return 10;
    if (limited.WriteAhead(batch) == platform::error::kSuccess) return 11;
    return limited.MissedLines() == 0 ? 0 : 12;
  });
  ASSERT_EQ(status, 0);
  EXPECT_EQ(ReadBytes(path), before + kRule);
}

// A log that cannot take the run's first line is left exactly as it was, cut-back included.
TEST_F(RunLogTest, FirstLineThatDoesNotFitLeavesTheFileAsItWas) {
  const std::string before = "old run\n";
  WriteBytes(path, before);
  int status = RunWithFileSizeLimit(before.size() + 5, [&] {
    RunLog log;
    uint32_t code = log.Open(path, kRule);
    return code == platform::error::kFileTooLarge && !log.IsOpen() ? 0 : 10;
  });
  ASSERT_EQ(status, 0);
  EXPECT_EQ(ReadBytes(path), before);
}

// A run killed in the middle of a line left it without its end: the next run ends it first.
// One that ends properly gets nothing added, and an empty file neither.
TEST_F(RunLogTest, FileEndingWithoutALineEndGetsOneBeforeTheFirstLine) {
  WriteBytes(path, "cut li");
  {
    RunLog log;
    ASSERT_EQ(log.Open(path, kRule), 0u);
  }
  EXPECT_EQ(ReadBytes(path), "cut li\n" + kRule);
  {
    RunLog log;
    ASSERT_EQ(log.Open(path, kRule), 0u);
  }
  EXPECT_EQ(ReadBytes(path), "cut li\n" + kRule + kRule);
  const std::string fresh = temp / "fresh.log";
  RunLog log;
  ASSERT_EQ(log.Open(fresh, kRule), 0u);
  log.Close();
  EXPECT_EQ(ReadBytes(fresh), kRule);
}

TEST_F(RunLogTest, OnlyARegularFileIsTaken) {
  RunLog log;
  EXPECT_EQ(log.Open(temp.path(), kRule), platform::error::kBadFileType);
  EXPECT_EQ(log.Open("/dev/null", kRule), platform::error::kBadFileType);
  EXPECT_FALSE(log.IsOpen());
  EXPECT_EQ(RunLog::Cause(platform::error::kBadFileType),
            "это не обычный файл (папка, канал или устройство)");
}

}  // namespace
}  // namespace sweepwell
