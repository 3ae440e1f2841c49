// Inputs that would keep the program waiting, and stop signals from its first instruction.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <sstream>
#include <thread>

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

// What the kernel says the process waits in ("" when it runs or is gone).
std::string WaitChannel(pid_t pid) {
  std::ifstream in("/proc/" + std::to_string(pid) + "/wchan");
  std::string channel;
  std::getline(in, channel);
  return channel;
}

// Blocked at start: the log folder cannot be made (its parent is a file), and the message that
// says so goes to a standard error nobody reads, whose pipe is full. A stop signal ends the
// program there, with the status of an interruption.
TEST_F(InputsAndSignals, StopSignalEndsTheProgramWhileItIsBlockedAtStart) {
  if (access("/proc/self/wchan", R_OK) != 0) {
    GTEST_SKIP() << "needs /proc/PID/wchan to see the program wait";
  }
  box.WriteText(box.Root() + "/not-a-folder", "x");
  box.WriteText(box.ScriptPath(), "cleaner.done\n");
  int ends[2];
  ASSERT_EQ(pipe2(ends, O_CLOEXEC), 0);
  fcntl(ends[1], F_SETFL, O_NONBLOCK);
  const std::string block(4096, 'x');
  while (write(ends[1], block.data(), block.size()) > 0) {
  }
  fcntl(ends[1], F_SETFL, 0);

  std::vector<std::string> env = {
      "HOME=" + box.Home(), "XDG_DATA_HOME=" + box.Root() + "/not-a-folder/data", "LC_ALL=C.UTF-8"};
  std::vector<char*> env_pointers;
  for (std::string& e : env) env_pointers.push_back(e.data());
  env_pointers.push_back(nullptr);
  std::string program = SWEEPWELL_BINARY, script = box.ScriptPath();
  std::vector<char*> argv = {program.data(), script.data(), nullptr};
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_adddup2(&actions, ends[1], STDERR_FILENO);
  pid_t pid = -1;
  ASSERT_EQ(posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), env_pointers.data()),
            0);
  posix_spawn_file_actions_destroy(&actions);
  close(ends[1]);

  // Wait for the program to block in its write (the safety net: a minute).
  const auto give_up = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  int status = 0;
  bool exited = false;
  while (WaitChannel(pid).find("pipe_write") == std::string::npos) {
    if (waitpid(pid, &status, WNOHANG) == pid) {
      exited = true;
      break;
    }
    if (std::chrono::steady_clock::now() > give_up) break;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  ASSERT_FALSE(exited) << "the program did not wait on its standard error";
  kill(pid, SIGTERM);
  // Only a program that ignores the signal would still be there: the safety net again.
  bool ended = false;
  while (!ended && std::chrono::steady_clock::now() < give_up) {
    ended = waitpid(pid, &status, WNOHANG) == pid;
    if (!ended) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  if (!ended) {
    kill(pid, SIGKILL);
    waitpid(pid, &status, 0);
    FAIL() << "SIGTERM did not end the program";
  }
  close(ends[0]);
  ASSERT_TRUE(WIFEXITED(status)) << "killed by signal " << WTERMSIG(status);
  EXPECT_EQ(WEXITSTATUS(status), 130);
}

}  // namespace
}  // namespace sweepwell_test
