// The monthly log under faults, as a user of the real program sees them: a disk with no room
// for the run's first line, a disk that fills up during the run and is freed by it, a log that
// may not be written, and a log left without its last line end.
//
// The disk cases need a small tmpfs and so root; without root they are skipped with a message
// (the file-size limit in run_log_test.cpp covers the same rules without root).
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <fstream>
#include <sstream>
#include <string>

#include "cleaner/sweepwell_runner.h"
#include "common/test_files.h"

namespace sweepwell_test {
namespace {

using orvanel::testing::ReadBytes;

const std::string kRule = std::string(78, '=');

// Writes to a new file at `path` until the file system takes no more byte.
void FillUp(const std::string& path) {
  int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  ASSERT_GE(fd, 0);
  const std::string block(4096, 'f');
  while (write(fd, block.data(), block.size()) > 0) {
  }
  while (write(fd, "f", 1) > 0) {
  }
  EXPECT_EQ(errno, ENOSPC);
  close(fd);
}

class LogFaults : public ::testing::Test {
 protected:
  // A small tmpfs as the program's data folder, with the log folder made; false without root.
  bool UseSmallDisk(const std::string& size) {
    small_ = box.Root() + "/small";
    if (!box.MountTmpfs(small_, size)) return false;
    box.SetEnv("XDG_DATA_HOME", small_ + "/data");
    box.MakeFolder(LogFolder());
    return true;
  }
  std::string LogFolder() const { return small_ + "/data/Greyfen Works/Sweep Well"; }
  std::string LogPath() const {
    const std::string usual = box.LogPath();
    return LogFolder() + usual.substr(usual.rfind('/'));
  }

  Sandbox box;
  std::string small_;
};

// No room for the rule line (the last page of the old log has 6 bytes left, then nothing):
// nothing runs, the old log is as it was, and standard error names the cause.
TEST_F(LogFaults, NoRoomForTheFirstLineMeansNothingIsDeleted) {
  if (!UseSmallDisk("64k")) GTEST_SKIP() << "needs root to mount a small tmpfs";
  const std::string old_log = std::string(4089, 'o') + "\n";
  box.WriteText(LogPath(), old_log);
  FillUp(small_ + "/filler");
  box.MakeFile(box.Work("x"), 1);
  RunResult run = box.RunScript(std::string(kPermanently) + Assign("delete-files", box.Work("x")));
  EXPECT_EQ(run.exit_code, 1);
  EXPECT_TRUE(box.Exists(box.Work("x")));
  EXPECT_TRUE(run.out.empty()) << run.out;
  EXPECT_NE(run.err.find("не записан: диск заполнен; скрипт не выполнялся"), std::string::npos)
      << run.err;
  EXPECT_EQ(ReadBytes(LogPath()), old_log);
}

// The log's page fills up while files on another disk are deleted; then a big file on the
// log's own disk goes, and the log takes lines again. The console has every line; the log has
// no cut line, and where it recovered, the count of the lines it missed.
TEST_F(LogFaults, LogThatFillsUpMidRunKeepsWholeLinesAndCountsWhatItMissed) {
  if (!UseSmallDisk("128k")) GTEST_SKIP() << "needs root to mount a small tmpfs";
  box.WriteText(LogPath(), "previous run\n");
  box.MakeFile(small_ + "/d/big", 64 * 1024);
  FillUp(small_ + "/filler");
  const std::string many = box.Work("many");
  for (int i = 0; i < 40; ++i) {
    char name[16];
    std::snprintf(name, sizeof name, "f%02d", i);
    box.MakeFile(many + "/" + name + std::string(150, 'n'), 1);
  }
  RunResult run = box.RunScript(std::string(kPermanently) + Assign("delete-files", many + "/") +
                                Assign("delete-files", small_ + "/d/big") + "cleaner.done\n");
  EXPECT_EQ(run.exit_code, 1);
  EXPECT_TRUE(box.List(many).empty());
  EXPECT_FALSE(box.Exists(small_ + "/d/big")) << run.out;
  EXPECT_NE(run.err.find("не записан: диск заполнен"), std::string::npos) << run.err;
  EXPECT_NE(run.err.find("снова записывается"), std::string::npos) << run.err;

  const std::string log = ReadBytes(LogPath());
  ASSERT_EQ(log.rfind("previous run\n" + kRule + "\n", 0), 0u) << log;
  ASSERT_FALSE(log.empty());
  EXPECT_EQ(log.back(), '\n');
  std::vector<std::string> console = SplitLines(run.out);
  std::vector<std::string> logged = SplitLines(log.substr(log.find('\n', 13) + 1));
  // The log is the console with runs of lines replaced by notes that count them (a short line
  // may still fit where a long one did not, so there may be several), and it holds the end.
  const std::string kNote = "*** Пропущено строк журнала: ";
  size_t shown = 0;
  int notes = 0;
  for (const std::string& line : logged) {
    if (line.rfind(kNote, 0) == 0) {
      int missed = std::atoi(line.c_str() + kNote.size());
      EXPECT_GT(missed, 0) << line;
      EXPECT_EQ(line, kNote + std::to_string(missed) + " (диск заполнен) ***");
      shown += static_cast<size_t>(missed);
      ++notes;
      continue;
    }
    ASSERT_LT(shown, console.size()) << log;
    EXPECT_EQ(line, console[shown]) << shown;
    ++shown;
  }
  EXPECT_GE(notes, 1) << log;
  EXPECT_EQ(shown, console.size()) << log;
}

// The program's message names the real cause of an unwritable log, not the error number the
// entries' lines use.
TEST_F(LogFaults, LogThatMayNotBeWrittenIsNamedByItsCause) {
  box.MakeFolder(box.DataHome() + "/Greyfen Works/Sweep Well");
  box.WriteText(box.LogPath(), "old\n");
  std::string cause;
  std::string folder = box.DataHome() + "/Greyfen Works";
  bool mounted = false;
  if (geteuid() == 0) {
    // Root may write any file; a read-only mount stops even root.
    ASSERT_EQ(mount(folder.c_str(), folder.c_str(), nullptr, MS_BIND, nullptr), 0);
    mounted = true;
    ASSERT_EQ(mount(nullptr, folder.c_str(), nullptr, MS_REMOUNT | MS_BIND | MS_RDONLY, nullptr),
              0);
    cause = "файловая система только для чтения";
  } else {
    ASSERT_EQ(chmod(box.LogPath().c_str(), 0444), 0);
    cause = "отказано в доступе";
  }
  box.MakeFile(box.Work("x"), 1);
  RunResult run = box.RunScript(std::string(kPermanently) + Assign("delete-files", box.Work("x")));
  if (mounted) umount2(folder.c_str(), MNT_DETACH);
  EXPECT_EQ(run.exit_code, 1);
  EXPECT_TRUE(box.Exists(box.Work("x")));
  EXPECT_NE(run.err.find("не записан: " + cause), std::string::npos) << run.err;
}

// A run killed in the middle of its last line left the log without a line end: the next run's
// rule line starts on a line of its own.
TEST_F(LogFaults, LogEndingWithoutALineEndGetsOneBeforeTheRuleLine) {
  box.MakeFolder(box.DataHome() + "/Greyfen Works/Sweep Well");
  box.WriteText(box.LogPath(), "==\nC:/cut/li");
  RunResult run = box.RunScript(Assign("begin-group", "Next"));
  EXPECT_EQ(run.exit_code, 0) << run.err;
  EXPECT_EQ(ReadBytes(box.LogPath()), "==\nC:/cut/li\n" + kRule + "\n" + run.out);
}

}  // namespace
}  // namespace sweepwell_test
