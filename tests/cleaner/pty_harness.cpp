#include "cleaner/pty_harness.h"

#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <thread>

namespace testing_pty {

namespace {

using Clock = std::chrono::steady_clock;

int MillisecondsLeft(Clock::time_point deadline) {
  auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
  return left.count() > 0 ? static_cast<int>(left.count()) : 0;
}

// In the child, before it runs anything: the environment of a test run.
void PrepareChild(const PtyOptions& options) {
  if (!options.home.empty()) {
    setenv("HOME", options.home.c_str(), 1);
    setenv("XDG_DATA_HOME", (options.home + "/.local/share").c_str(), 1);
  }
  setenv("LC_ALL", "C.UTF-8", 1);
  setenv("TERM", "xterm", 1);
  if (!options.working_folder.empty() && chdir(options.working_folder.c_str()) != 0) _exit(126);
  if (!options.stdin_is_terminal) {
    int null_input = open("/dev/null", O_RDONLY);
    if (null_input < 0 || dup2(null_input, STDIN_FILENO) < 0) _exit(126);
    close(null_input);
  }
  // The test process may ignore or block signals; the child starts as a fresh program would.
  sigset_t none;
  sigemptyset(&none);
  sigprocmask(SIG_SETMASK, &none, nullptr);
  for (int signal_number : {SIGINT, SIGTERM, SIGHUP, SIGPIPE, SIGTSTP}) {
    signal(signal_number, SIG_DFL);
  }
}

}  // namespace

PtyProcess::~PtyProcess() {
  if (pid_ > 0 && !exited_) {
    kill(pid_, SIGKILL);
    int status = 0;
    waitpid(pid_, &status, 0);
  }
  if (master_ >= 0) close(master_);
}

bool PtyProcess::Start(const std::vector<std::string>& arguments, const PtyOptions& options) {
  return StartFunction(
      [&arguments]() {
        std::vector<char*> argv;
        for (const std::string& argument : arguments) {
          argv.push_back(const_cast<char*>(argument.c_str()));
        }
        argv.push_back(nullptr);
        execv(argv[0], argv.data());
        return 127;
      },
      options);
}

bool PtyProcess::StartFunction(const std::function<int()>& body, const PtyOptions& options) {
  struct winsize size = {};
  size.ws_row = 24;
  size.ws_col = 80;
  pid_t pid = forkpty(&master_, nullptr, nullptr, &size);
  if (pid < 0) return false;
  if (pid == 0) {
    PrepareChild(options);
    _exit(body());
  }
  pid_ = pid;
  fcntl(master_, F_SETFL, fcntl(master_, F_GETFL) | O_NONBLOCK);
  return true;
}

bool PtyProcess::Write(std::string_view bytes) {
  while (!bytes.empty()) {
    ssize_t written = write(master_, bytes.data(), bytes.size());
    if (written > 0) {
      bytes.remove_prefix(static_cast<size_t>(written));
    } else if (written < 0 && (errno == EAGAIN || errno == EINTR)) {
      ReadSome(10);  // the child may be waiting for us to read before it reads
    } else {
      return false;
    }
  }
  return true;
}

bool PtyProcess::ReadSome(int timeout_ms) {
  struct pollfd wait_for = {master_, POLLIN, 0};
  if (poll(&wait_for, 1, timeout_ms) <= 0) return true;
  char chunk[4096];
  for (;;) {
    ssize_t got = read(master_, chunk, sizeof chunk);
    if (got > 0) {
      screen_.append(chunk, static_cast<size_t>(got));
      continue;
    }
    if (got < 0 && errno == EINTR) continue;
    // EAGAIN: all read. EIO: every holder of the terminal's other side closed it.
    return got < 0 && errno == EAGAIN;
  }
}

bool PtyProcess::Reap(int* wait_status, bool block) {
  if (!exited_) {
    int status = 0;
    pid_t reaped = waitpid(pid_, &status, block ? 0 : WNOHANG);
    if (reaped != pid_) return false;
    exited_ = true;
    wait_status_ = status;
  }
  if (wait_status) *wait_status = wait_status_;
  return true;
}

bool PtyProcess::WaitForText(std::string_view text, int timeout_ms, size_t from) {
  Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(timeout_ms);
  for (;;) {
    if (screen_.size() >= from && screen_.find(text, from) != std::string::npos) return true;
    int left = MillisecondsLeft(deadline);
    if (left == 0) return false;
    if (!ReadSome(std::min(left, 50))) {
      if (Reap(nullptr, false)) {
        return screen_.find(text, from) != std::string::npos;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
  }
}

bool PtyProcess::WaitForExit(int* wait_status, int timeout_ms) {
  Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(timeout_ms);
  for (;;) {
    bool open = ReadSome(std::min(MillisecondsLeft(deadline), 50));
    if (Reap(wait_status, false)) {
      // What the child wrote last may still be in the terminal.
      for (int round = 0; open && round < 20; ++round) open = ReadSome(20);
      return true;
    }
    if (MillisecondsLeft(deadline) == 0) return false;
    if (!open) std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
}

bool PtyProcess::StillRunningAfter(int milliseconds) {
  Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(milliseconds);
  while (MillisecondsLeft(deadline) > 0) {
    if (!ReadSome(std::min(MillisecondsLeft(deadline), 50))) {
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    if (Reap(nullptr, false)) return false;
  }
  return !Reap(nullptr, false);
}

TempFolder::TempFolder() {
  const char* base = getenv("TMPDIR");
  std::string pattern = std::string(base && *base ? base : "/tmp") + "/sweepwell-pty-XXXXXX";
  if (mkdtemp(pattern.data()) != nullptr) path_ = pattern;
}

TempFolder::~TempFolder() {
  if (path_.empty()) return;
  std::error_code ignored;
  std::filesystem::remove_all(path_, ignored);
}

bool WriteFile(const std::string& path, std::string_view text) {
  std::ofstream file(path, std::ios::binary | std::ios::trunc);
  file.write(text.data(), static_cast<std::streamsize>(text.size()));
  return static_cast<bool>(file);
}

}  // namespace testing_pty
