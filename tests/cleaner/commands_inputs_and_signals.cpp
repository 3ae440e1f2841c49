// Inputs that would keep the program waiting, and stop signals from its first instruction.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include "cleaner/sweepwell_runner.h"

namespace sweepwell_test {
namespace {

class InputsAndSignals : public ::testing::Test {
 protected:
  void SetUp() override {
    // A safety net only: a run that waits on its input would hang until this kills it.
    box.SetTimeout(60);
  }
  Sandbox box;
};

// A FIFO with no writer, a device that never ends and one that blocks, and a folder: each is
// refused without a wait, with the file named on the console and the cause on standard error,
// and nothing of a script would have run.
TEST_F(InputsAndSignals, ScriptThatIsNotARegularFileIsRefusedAtOnce) {
  std::string fifo = box.Work("fifo.loom");
  box.MakeFolder(box.Work());
  ASSERT_EQ(mkfifo(fifo.c_str(), 0644), 0);
  box.MakeFolder(box.Work("folder.loom"));
  for (const std::string& name : {fifo, std::string("/dev/zero"), box.Work("folder.loom")}) {
    RunResult run = box.Run({name});
    EXPECT_EQ(run.exit_code, 1) << name;
    std::vector<std::string> lines = EntryLines(run.out);
    ASSERT_FALSE(lines.empty()) << name;
    EXPECT_EQ(lines[0], "Файл скрипта \"" + name + "\" не загружен.");
    EXPECT_NE(run.err.find("\"" + name + "\" не загружен: это не обычный файл"), std::string::npos)
        << run.err;
  }
}

TEST_F(InputsAndSignals, MissingScriptNamesTheSystemsCause) {
  RunResult run = box.Run({box.Work("missing.loom")});
  EXPECT_EQ(run.exit_code, 1);
  EXPECT_NE(run.err.find("missing.loom\" не загружен: Файл не найден"), std::string::npos)
      << run.err;
}

// A stop that is already there when the program starts (left blocked by the parent) ends it
// before it opens its log or runs a command.
TEST_F(InputsAndSignals, StopSignalBeforeTheLogIsOpenEndsTheProgramAtOnce) {
  box.MakeFile(box.Work("x"), 1);
  box.StartWithPendingSignal(SIGTERM);
  RunResult run = box.RunScript(std::string(kPermanently) + Assign("delete-files", box.Work("x")));
  EXPECT_EQ(run.exit_code, 130) << run.out << run.err;
  EXPECT_TRUE(run.out.empty()) << run.out;
  EXPECT_FALSE(box.Exists(box.LogPath()));
  EXPECT_TRUE(box.Exists(box.Work("x")));
}

}  // namespace
}  // namespace sweepwell_test
