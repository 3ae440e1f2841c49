// Runs a process under a pseudo-terminal, as a person at a terminal would: the test types keys
// into it and reads what it shows.
#pragma once

#include <sys/types.h>

#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace testing_pty {

struct PtyOptions {
  // Standard input is the terminal; when false it is /dev/null (standard output and standard
  // error stay on the terminal).
  bool stdin_is_terminal = true;
  // HOME and XDG_DATA_HOME of the child (set when not empty), so nothing reaches the real home.
  std::string home;
  std::string working_folder;  // the child's current folder when not empty
};

class PtyProcess {
 public:
  PtyProcess() = default;
  ~PtyProcess();  // kills a child that is still running
  PtyProcess(const PtyProcess&) = delete;
  PtyProcess& operator=(const PtyProcess&) = delete;

  // Starts the program `arguments[0]` with the rest as its arguments; false when forkpty failed
  // (a failed exec shows as exit status 127).
  bool Start(const std::vector<std::string>& arguments, const PtyOptions& options);

  // Runs `body` in a forked copy of the test process under the terminal; its result is the
  // child's exit status. For tests of pieces of the program without the whole program.
  bool StartFunction(const std::function<int()>& body, const PtyOptions& options);

  // Types `bytes` into the terminal.
  bool Write(std::string_view bytes);

  // Reads what the child shows until `text` appears at or after byte `from` of the screen
  // text, or `timeout_ms` passes. True when it appeared.
  bool WaitForText(std::string_view text, int timeout_ms = 10000, size_t from = 0);

  // Reads what the child shows until it ends (true, *wait_status set as waitpid sets it) or
  // `timeout_ms` passes (false).
  bool WaitForExit(int* wait_status, int timeout_ms = 10000);

  // Reads for `milliseconds` and tells whether the child is still running after that.
  bool StillRunningAfter(int milliseconds);

  // The terminal is read only inside the Wait* calls: between them a child that writes much
  // blocks once the terminal's buffer is full.
  pid_t Pid() const { return pid_; }
  int MasterFd() const { return master_; }

  // Everything the child wrote so far (the terminal turns "\n" into "\r\n").
  const std::string& Screen() const { return screen_; }

 private:
  // Reads what is there within `timeout_ms`; false once the terminal is closed.
  bool ReadSome(int timeout_ms);
  bool Reap(int* wait_status, bool block);

  pid_t pid_ = -1;
  int master_ = -1;
  bool exited_ = false;
  int wait_status_ = 0;
  std::string screen_;
};

// A fresh temporary folder below $TMPDIR (or /tmp); removed with everything in it by the
// destructor.
class TempFolder {
 public:
  TempFolder();
  ~TempFolder();
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;
  const std::string& Path() const { return path_; }

 private:
  std::string path_;
};

// Writes `text` to the file `path`; false on failure.
bool WriteFile(const std::string& path, std::string_view text);

}  // namespace testing_pty
