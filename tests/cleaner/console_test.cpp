// The console as a person at a terminal meets it: pieces of the console in a forked copy of this
// test under a pseudo-terminal, and the whole program `sweepwell` under one.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <thread>

#include "cleaner/frmConsole.h"
#include "cleaner/pty_harness.h"
#include "platform/terminal.h"

namespace {

using sweepwell::frmConsole;
using testing_pty::PtyOptions;
using testing_pty::PtyProcess;
using testing_pty::TempFolder;

constexpr char kF1[] = "\x1bOP";
constexpr char kShiftF1[] = "\x1b[1;2P";
constexpr char kAboutTitle[] = "Orvanel - Sweep well";
constexpr char kAboutCaption[] = "Лоом";
constexpr char kPrompt[] = "Нажмите любую клавишу . . .";

void Pause(int milliseconds) {
  std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}

// A one-way signal from the test to its forked child: the child runs the console's events, as
// a run's output calls would, until the test says it has done its part.
class GoOn {
 public:
  GoOn() { EXPECT_EQ(pipe(ends_), 0); }
  ~GoOn() {
    close(ends_[0]);
    close(ends_[1]);
  }
  GoOn(const GoOn&) = delete;
  GoOn& operator=(const GoOn&) = delete;

  void Give() { EXPECT_EQ(write(ends_[1], "!", 1), 1); }

  // In the child: ProcessEvents until the test gives the signal, then once more for keys that
  // arrived just before it.
  void RunEventsUntilGiven(frmConsole& console) {
    pollfd given{ends_[0], POLLIN, 0};
    while (poll(&given, 1, 10) == 0) console.ProcessEvents(false);
    console.ProcessEvents(false);
  }

 private:
  int ends_[2] = {-1, -1};
};

// A console that shows "prompt", waits for the closing key, and reports how the wait ended.
int PromptAndWait() {
  frmConsole console;
  console.Load();
  console.AddText("prompt\n");
  console.WaitForCloseKey();
  console.AddText(console.StopRequested() ? "stopped\n" : "closed\n");
  return 0;
}

void ExpectExitedWith(PtyProcess& process, int code, int timeout_ms = 10000) {
  int status = 0;
  ASSERT_TRUE(process.WaitForExit(&status, timeout_ms)) << "still running; screen:\n"
                                                        << process.Screen();
  ASSERT_TRUE(WIFEXITED(status)) << "ended by signal " << WTERMSIG(status) << "; screen:\n"
                                 << process.Screen();
  EXPECT_EQ(WEXITSTATUS(status), code) << process.Screen();
}

// ---------------------------------------------------------------------------------------------
// The console on its own

TEST(ConsoleTest, TerminalGetsWholeLinesAndTheUnfinishedOneOnFlush) {
  PtyProcess process;
  ASSERT_TRUE(process.StartFunction(
      [] {
        frmConsole console;
        console.Load();
        console.AddText("part");
        // Standard error is the same terminal: it shows where the console stood at this point.
        platform::WriteAll(platform::StdStream::kError, "MARK\n");
        console.AddText("-end\n");
        console.AddText("tail");
        console.Flush();
        platform::WriteAll(platform::StdStream::kError, "|after flush");
        return 0;
      },
      {}));
  ExpectExitedWith(process, 0);
  EXPECT_NE(process.Screen().find("MARK\r\npart-end\r\ntail|after flush"), std::string::npos)
      << process.Screen();
}

TEST(ConsoleTest, OutputThatIsNotATerminalIsWrittenInBlocks) {
  TempFolder folder;
  ASSERT_FALSE(folder.Path().empty());
  const std::string file = folder.Path() + "/out.txt";
  PtyProcess process;
  ASSERT_TRUE(process.StartFunction(
      [&file] {
        int out = open(file.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        if (out < 0 || dup2(out, STDOUT_FILENO) < 0) return 10;
        auto size = [&file] {
          struct stat info;
          return stat(file.c_str(), &info) == 0 ? info.st_size : -1;
        };
        frmConsole console;
        console.Load();
        console.AddText("line\n");
        if (size() != 0) return 11;  // one write per line would cost a system call per file
        console.Flush();
        if (size() != 5) return 12;
        console.AddText(std::string(70 * 1024, 'x'));
        if (size() != 5 + 70 * 1024) return 13;  // a full block goes out without Flush
        console.AddText("rest");
        // The about text is not the run's text: it stays out of a redirected output.
        console.ShowAbout();
        console.Unload();
        return size() == 5 + 70 * 1024 + 4 ? 0 : 14;
      },
      {}));
  ExpectExitedWith(process, 0);
  EXPECT_NE(process.Screen().find(kAboutCaption), std::string::npos) << process.Screen();
}

TEST(ConsoleTest, AboutTextKeepsTheRunsUnfinishedLineWhole) {
  PtyProcess process;
  GoOn go_on;
  ASSERT_TRUE(process.StartFunction(
      [&go_on] {
        frmConsole console;
        console.Load();
        console.AddText("first\nhalf");
        console.Flush();  // the unfinished line is on the screen
        go_on.RunEventsUntilGiven(console);
        console.AddText("-rest\n");
        return 0;
      },
      {}));
  ASSERT_TRUE(process.WaitForText("half"));
  ASSERT_TRUE(process.Write(kF1));
  ASSERT_TRUE(process.WaitForText(kAboutCaption)) << process.Screen();
  go_on.Give();
  ExpectExitedWith(process, 0);
  const std::string& screen = process.Screen();
  size_t about = screen.find(kAboutTitle);
  ASSERT_NE(about, std::string::npos) << screen;
  EXPECT_NE(screen.find("Версия"), std::string::npos);
  EXPECT_NE(screen.find(kAboutCaption), std::string::npos);
  // The about text starts on a line of its own, and the cut line is shown again after it.
  EXPECT_NE(screen.find("first\r\nhalf\r\n-"), std::string::npos) << screen;
  size_t rest = screen.find("half-rest\r\n");
  ASSERT_NE(rest, std::string::npos) << screen;
  EXPECT_GT(rest, screen.find(kAboutCaption));
}

TEST(ConsoleTest, KeysTypedDuringTheRunDoNotCloseTheConsole) {
  PtyProcess process;
  GoOn go_on;
  ASSERT_TRUE(process.StartFunction(
      [&go_on] {
        frmConsole console;
        console.Load();
        console.AddText("run\n");
        go_on.RunEventsUntilGiven(console);
        console.AddText("prompt\n");
        console.WaitForCloseKey();
        console.AddText("closed\n");
        return 0;
      },
      {}));
  ASSERT_TRUE(process.WaitForText("run"));
  ASSERT_TRUE(process.Write("a\r"));
  go_on.Give();
  ASSERT_TRUE(process.WaitForText("prompt"));
  EXPECT_TRUE(process.StillRunningAfter(300)) << process.Screen();
  // Keys are read without echo.
  EXPECT_EQ(process.Screen().find("a"), std::string::npos) << process.Screen();
  ASSERT_TRUE(process.Write("b"));
  ExpectExitedWith(process, 0);
  EXPECT_NE(process.Screen().find("closed"), std::string::npos);
}

struct CloseKeyCase {
  const char* name;
  const char* bytes;
  bool shows_about;  // plain F1: shows the about text and keeps waiting
};

class CloseKeyTest : public testing::TestWithParam<CloseKeyCase> {};

TEST_P(CloseKeyTest, OnlyPlainF1KeepsTheConsoleOpen) {
  PtyProcess process;
  ASSERT_TRUE(process.StartFunction(PromptAndWait, {}));
  ASSERT_TRUE(process.WaitForText("prompt"));
  ASSERT_TRUE(process.Write(GetParam().bytes));
  if (GetParam().shows_about) {
    ASSERT_TRUE(process.WaitForText(kAboutCaption)) << process.Screen();
    EXPECT_TRUE(process.StillRunningAfter(300));
    ASSERT_TRUE(process.Write("x"));
  }
  ExpectExitedWith(process, 0);
  EXPECT_NE(process.Screen().find("closed"), std::string::npos);
  EXPECT_EQ(process.Screen().find(kAboutCaption) != std::string::npos, GetParam().shows_about);
}

INSTANTIATE_TEST_SUITE_P(
    Keys, CloseKeyTest,
    testing::Values(CloseKeyCase{"XtermF1", "\x1bOP", true}, CloseKeyCase{"VtF1", "\x1b[11~", true},
                    CloseKeyCase{"LinuxConsoleF1", "\x1b[[A", true},
                    CloseKeyCase{"ShiftF1", "\x1b[1;2P", false},
                    CloseKeyCase{"CtrlF1", "\x1b[1;5P", false},
                    CloseKeyCase{"LoneEsc", "\x1b", false}, CloseKeyCase{"Enter", "\r", false},
                    CloseKeyCase{"CyrillicLetter", "\xd0\x99", false}),
    [](const testing::TestParamInfo<CloseKeyCase>& info) { return info.param.name; });

TEST(ConsoleTest, CtrlCEndsTheWaitForTheCloseKey) {
  PtyProcess process;
  ASSERT_TRUE(process.StartFunction(PromptAndWait, {}));
  ASSERT_TRUE(process.WaitForText("prompt"));
  ASSERT_TRUE(process.Write("\x03"));
  ExpectExitedWith(process, 0);
  EXPECT_NE(process.Screen().find("stopped"), std::string::npos) << process.Screen();
}

TEST(ConsoleTest, CtrlCStopsTheRunOnlyWhereItMayStop) {
  PtyProcess process;
  ASSERT_TRUE(process.StartFunction(
      [] {
        frmConsole console;
        console.Load();
        console.AddText("go\n");
        for (int waited = 0; waited < 10000; waited += 10) {
          console.ProcessEvents(false);  // in the middle of a line: never throws
          if (console.StopRequested()) {
            try {
              console.ProcessEvents(true);
            } catch (const sweepwell::RunInterrupted&) {
              return 0;
            }
            return 2;
          }
          Pause(10);
        }
        return 1;
      },
      {}));
  ASSERT_TRUE(process.WaitForText("go"));
  ASSERT_TRUE(process.Write("\x03"));
  ExpectExitedWith(process, 0);
}

TEST(ConsoleTest, WithoutATerminalForInputNothingWaits) {
  PtyProcess process;
  PtyOptions options;
  options.stdin_is_terminal = false;
  ASSERT_TRUE(process.StartFunction(
      [] {
        frmConsole console;
        console.Load();
        if (console.IsInteractive()) return 10;
        console.AddText("prompt\n");
        console.WaitForCloseKey();
        return 0;
      },
      options));
  ExpectExitedWith(process, 0, 3000);
}

bool EchoAndLineEditing(int terminal) {
  struct termios settings;
  return tcgetattr(terminal, &settings) == 0 && (settings.c_lflag & ECHO) &&
         (settings.c_lflag & ICANON);
}

TEST(ConsoleTest, TerminalIsGivenBackOnUnload) {
  PtyProcess process;
  ASSERT_TRUE(process.StartFunction(
      [] {
        if (!EchoAndLineEditing(STDIN_FILENO)) return 10;
        frmConsole console;
        console.Load();
        struct termios raw;
        if (tcgetattr(STDIN_FILENO, &raw) != 0) return 11;
        // Single keys without echo, while Ctrl+C still raises its signal.
        if ((raw.c_lflag & (ECHO | ICANON)) || !(raw.c_lflag & ISIG)) return 12;
        console.Unload();
        console.Unload();
        return EchoAndLineEditing(STDIN_FILENO) ? 0 : 13;
      },
      {}));
  ExpectExitedWith(process, 0);
}

// A program that ends without Unload (exit, or a crash) must not leave the shell without echo.
class TerminalGivenBackTest : public testing::TestWithParam<bool> {};

TEST_P(TerminalGivenBackTest, WhenTheProcessEndsWithoutUnload) {
  const bool crash = GetParam();
  PtyProcess process;
  ASSERT_TRUE(process.StartFunction(
      [crash]() -> int {
        (new frmConsole)->Load();  // never unloaded
        platform::WriteAll(platform::StdStream::kOutput, "raw\n");
        Pause(500);
        if (crash) abort();
        exit(0);
      },
      {}));
  ASSERT_TRUE(process.WaitForText("raw"));
  // Holding the terminal open keeps its settings readable after the child is gone.
  int terminal = open(ptsname(process.MasterFd()), O_RDWR | O_NOCTTY);
  ASSERT_GE(terminal, 0);
  EXPECT_FALSE(EchoAndLineEditing(terminal));
  int status = 0;
  ASSERT_TRUE(process.WaitForExit(&status));
  EXPECT_EQ(WIFSIGNALED(status) && WTERMSIG(status) == SIGABRT, crash) << "status " << status;
  EXPECT_TRUE(EchoAndLineEditing(terminal));
  close(terminal);
}

INSTANTIATE_TEST_SUITE_P(Ends, TerminalGivenBackTest, testing::Values(false, true),
                         [](const testing::TestParamInfo<bool>& info) {
                           return info.param ? "Crash" : "Exit";
                         });

// ---------------------------------------------------------------------------------------------
// The whole program under a terminal

class ProgramTest : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_FALSE(home_.Path().empty());
    options_.home = home_.Path();
    options_.working_folder = home_.Path();
  }

  std::string WriteScript(const std::string& text) {
    std::string path = home_.Path() + "/script.loom";
    EXPECT_TRUE(testing_pty::WriteFile(path, text));
    return path;
  }

  bool StartHelloRun(PtyProcess& process) {
    return process.Start(
        {SWEEPWELL_BINARY, WriteScript("cleaner.begin-group = \"Hello\"\ncleaner.done\n")},
        options_);
  }

  TempFolder home_;
  PtyOptions options_;
};

TEST_F(ProgramTest, PromptAfterTheRunAndAKeyEndsTheProgram) {
  PtyProcess process;
  ASSERT_TRUE(StartHelloRun(process));
  ASSERT_TRUE(process.WaitForText(kPrompt)) << process.Screen();
  EXPECT_NE(process.Screen().find("Hello"), std::string::npos);
  EXPECT_TRUE(process.StillRunningAfter(300));
  ASSERT_TRUE(process.Write("x"));
  ExpectExitedWith(process, 0);
}

TEST_F(ProgramTest, F1AtThePromptShowsTheAboutTextAndTheNextKeyEnds) {
  PtyProcess process;
  ASSERT_TRUE(StartHelloRun(process));
  ASSERT_TRUE(process.WaitForText(kPrompt)) << process.Screen();
  size_t before_about = process.Screen().size();
  ASSERT_TRUE(process.Write(kF1));
  ASSERT_TRUE(process.WaitForText(kAboutCaption, 10000, before_about)) << process.Screen();
  EXPECT_NE(process.Screen().find(kAboutTitle, before_about), std::string::npos);
  EXPECT_TRUE(process.StillRunningAfter(300));
  ASSERT_TRUE(process.Write(" "));
  ExpectExitedWith(process, 0);
}

TEST_F(ProgramTest, ShiftF1AtThePromptEndsTheProgram) {
  PtyProcess process;
  ASSERT_TRUE(StartHelloRun(process));
  ASSERT_TRUE(process.WaitForText(kPrompt)) << process.Screen();
  ASSERT_TRUE(process.Write(kShiftF1));
  ExpectExitedWith(process, 0);
  EXPECT_EQ(process.Screen().find(kAboutCaption), std::string::npos);
}

TEST_F(ProgramTest, WithoutATerminalForInputThereIsNoPromptAndNoWait) {
  options_.stdin_is_terminal = false;
  PtyProcess process;
  ASSERT_TRUE(StartHelloRun(process));
  ExpectExitedWith(process, 0);
  EXPECT_NE(process.Screen().find("Hello"), std::string::npos) << process.Screen();
  EXPECT_EQ(process.Screen().find(kPrompt), std::string::npos) << process.Screen();
}

TEST_F(ProgramTest, NoPauseEndsAtOnceEvenAtATerminal) {
  for (const char* option : {"--no-pause", "/nopause"}) {
    PtyProcess process;
    ASSERT_TRUE(process.Start(
        {SWEEPWELL_BINARY, option, WriteScript("cleaner.begin-group = \"Hello\"\n")}, options_));
    ExpectExitedWith(process, 0);
    EXPECT_NE(process.Screen().find("Hello"), std::string::npos) << process.Screen();
    EXPECT_EQ(process.Screen().find(kPrompt), std::string::npos) << process.Screen();
  }
}

TEST_F(ProgramTest, CtrlCStopsALongRunWithStatus130) {
  // A tree large enough that its deletion is still going on when Ctrl+C arrives: the test reads
  // nothing from the terminal meanwhile, so the program blocks on its output after a while.
  const std::string tree = home_.Path() + "/big tree";
  ASSERT_TRUE(std::filesystem::create_directory(tree));
  for (int folder = 0; folder < 100; ++folder) {
    std::string sub = tree + "/folder " + std::to_string(folder);
    ASSERT_TRUE(std::filesystem::create_directory(sub));
    for (int file = 0; file < 200; ++file) {
      ASSERT_TRUE(testing_pty::WriteFile(sub + "/file " + std::to_string(file) + ".tmp", "x"));
    }
  }
  std::string script =
      WriteScript("cleaner.delete-to-recycle-bin = False\ncleaner.delete-folder = \"" + tree +
                  "\"\ncleaner.done\n");
  PtyProcess process;
  ASSERT_TRUE(process.Start({SWEEPWELL_BINARY, script}, options_));
  ASSERT_TRUE(process.WaitForText("/file ")) << process.Screen();
  ASSERT_TRUE(process.Write("\x03"));
  ExpectExitedWith(process, 130, 60000);
  // The run stopped part-way: the tree is still there, and no prompt was waited for.
  EXPECT_TRUE(std::filesystem::exists(tree));
  EXPECT_EQ(process.Screen().find(kPrompt), std::string::npos);
  const std::string log_folder = home_.Path() + "/.local/share/Greyfen Works/Sweep Well";
  bool log_written = false;
  std::error_code error;
  for (const auto& entry : std::filesystem::directory_iterator(log_folder, error)) {
    log_written = log_written || entry.file_size() > 0;
  }
  EXPECT_TRUE(log_written);
}

}  // namespace
