// The console of a program without its window: standard output and standard error through
// WriteFile, Ctrl+C and closing as stop requests, and no keys (a console-mode build reads none,
// so the closing key wait ends at once). The windowed program has its own console
// (console_window*.cpp); this file also serves the console-mode build of the tests.
#include "platform/terminal.h"

#include <atomic>

#include "platform/win32/internal.h"

namespace platform {
namespace {

HANDLE StreamHandle(StdStream stream) {
  switch (stream) {
    case StdStream::kInput:
      return GetStdHandle(STD_INPUT_HANDLE);
    case StdStream::kOutput:
      return GetStdHandle(STD_OUTPUT_HANDLE);
    case StdStream::kError:
      return GetStdHandle(STD_ERROR_HANDLE);
  }
  return nullptr;
}

std::atomic<bool> stream_gone[3];
std::atomic<int> stop_signal{0};

BOOL WINAPI OnConsoleControl(DWORD event) {
  // SIGINT for Ctrl+C and Ctrl+Break, SIGHUP for a closed console, SIGTERM for log-off and
  // shut-down: the numbers the program reports as on Linux.
  int number = 15;
  if (event == CTRL_C_EVENT || event == CTRL_BREAK_EVENT) number = 2;
  if (event == CTRL_CLOSE_EVENT) number = 1;
  int none = 0;
  stop_signal.compare_exchange_strong(none, number);
  return TRUE;
}

}  // namespace

bool IsTerminal(StdStream stream) {
  HANDLE handle = StreamHandle(stream);
  DWORD mode;
  return handle != nullptr && handle != INVALID_HANDLE_VALUE && GetConsoleMode(handle, &mode);
}

bool CanReadKeys() { return false; }

bool WriteAll(StdStream stream, std::string_view bytes) {
  std::atomic<bool>& gone = stream_gone[static_cast<int>(stream)];
  if (gone) return false;
  HANDLE handle = StreamHandle(stream);
  if (handle == nullptr || handle == INVALID_HANDLE_VALUE) {
    gone = true;
    return false;
  }
  while (!bytes.empty()) {
    const DWORD chunk = bytes.size() > 65536 ? 65536 : static_cast<DWORD>(bytes.size());
    DWORD written = 0;
    if (!WriteFile(handle, bytes.data(), chunk, &written, nullptr) || written == 0) {
      gone = true;
      return false;
    }
    bytes.remove_prefix(written);
  }
  return true;
}

RawKeyMode::RawKeyMode() = default;
RawKeyMode::~RawKeyMode() = default;
void RawKeyMode::Restore() { active_ = false; }

DecodedKey DecodeKey(std::string_view bytes, bool) {
  // A console-mode program reads no keys; whatever came is one ordinary key.
  return {Key::kOther, bytes.empty() ? 0u : 1u};
}

KeyReader::Result KeyReader::Read(int, Key*) { return Result::kClosed; }
KeyReader::Result KeyReader::Fill(int) { return Result::kClosed; }

// Until the handlers are installed, a stop ends the process at once: Windows' own default for a
// console control event is just that, so nothing is needed but to leave it in place.
void EndProcessOnStopSignals(int) {}

void InstallStopSignalHandlers() { SetConsoleCtrlHandler(OnConsoleControl, TRUE); }

bool StopRequested() { return stop_signal != 0; }

int StopSignalNumber() { return stop_signal; }

}  // namespace platform
