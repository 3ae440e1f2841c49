// The monthly log under faults, as a user of the real program sees them: a log that may not be
// written, and a log left without its last line end. A volume that is full from the start or
// fills up during the run is a run over the in-memory file system (memory_log_faults_test.cpp).
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

class LogFaults : public ::testing::Test {
 protected:
  Sandbox box;
};

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
