// The terminal backend: termios for the raw key mode, poll for waiting on keys, sigaction for
// the stop signals and for giving the terminal back when the process dies.
#include "platform/terminal.h"

#include <errno.h>
#include <poll.h>
#include <signal.h>
#include <termios.h>
#include <unistd.h>

#include <cstdlib>
#include <mutex>

namespace platform {
namespace {

// ---------------------------------------------------------------------------------------------
// Process-wide terminal state. Signal handlers read it, so it is plain data set before the
// handlers can see it (g_raw_active is raised last and dropped first).

struct termios g_saved_settings;         // the terminal as the program found it
struct termios g_raw_settings;           // the raw key mode
volatile sig_atomic_t g_raw_active = 0;  // a RawKeyMode holds the terminal

volatile sig_atomic_t g_stop_signal = 0;
volatile sig_atomic_t g_stream_broken[3] = {0, 0, 0};

constexpr int kFatalSignals[] = {SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGABRT, SIGQUIT, SIGTRAP};
constexpr int kMaxSignal = 65;
struct sigaction g_previous_action[kMaxSignal];
struct sigaction g_previous_stop_action;  // SIGTSTP before RawKeyMode took it

int FileDescriptor(StdStream stream) {
  switch (stream) {
    case StdStream::kInput:
      return STDIN_FILENO;
    case StdStream::kOutput:
      return STDOUT_FILENO;
    case StdStream::kError:
      return STDERR_FILENO;
  }
  return -1;
}

bool InForeground() {
  pid_t group = tcgetpgrp(STDIN_FILENO);
  return group != -1 && group == getpgrp();
}

// Async-signal-safe: only tcsetattr, which POSIX lists as safe.
void GiveTerminalBack() {
  if (g_raw_active) tcsetattr(STDIN_FILENO, TCSANOW, &g_saved_settings);
}

void OnFatalSignal(int signal_number) {
  GiveTerminalBack();
  // Let the previous handler (the default: a core dump, or a sanitizer's report) take over.
  sigaction(signal_number, &g_previous_action[signal_number], nullptr);
  raise(signal_number);
}

// Ctrl+Z: the shell's prompt must not find the terminal without echo, so the old settings go
// back while the process is stopped and the raw mode returns when it goes on in the foreground.
void OnTerminalStop(int) {
  int saved_errno = errno;
  GiveTerminalBack();
  kill(getpid(), SIGSTOP);
  if (g_raw_active && InForeground()) tcsetattr(STDIN_FILENO, TCSANOW, &g_raw_settings);
  errno = saved_errno;
}

// Set while a stop signal still ends the process at once: the exit status + 1 (0: record).
volatile sig_atomic_t g_exit_at_once = 0;

void OnStopSignal(int signal_number) {
  if (g_exit_at_once != 0) {
    GiveTerminalBack();
    _exit(g_exit_at_once - 1);
  }
  if (g_stop_signal == 0) g_stop_signal = signal_number;
}

void GiveTerminalBackAtExit() { GiveTerminalBack(); }

void InstallFatalHandlersOnce() {
  static std::once_flag once;
  std::call_once(once, [] {
    for (int signal_number : kFatalSignals) {
      struct sigaction action = {};
      action.sa_handler = OnFatalSignal;
      sigemptyset(&action.sa_mask);
      action.sa_flags = SA_NODEFER;
      sigaction(signal_number, &action, &g_previous_action[signal_number]);
    }
    std::atexit(GiveTerminalBackAtExit);
  });
}

void IgnoreBrokenPipeOnce() {
  static std::once_flag once;
  std::call_once(once, [] {
    struct sigaction action = {};
    action.sa_handler = SIG_IGN;
    sigemptyset(&action.sa_mask);
    sigaction(SIGPIPE, &action, nullptr);
  });
}

bool IsContinuationByte(unsigned char byte) { return (byte & 0xC0) == 0x80; }

// Bytes of one UTF-8 character (or one stray byte) at the start of `bytes`; 0 when the
// character is cut short and more may come.
size_t CharacterLength(std::string_view bytes, bool more_may_come) {
  unsigned char lead = static_cast<unsigned char>(bytes[0]);
  size_t wanted = lead >= 0xF0 && lead <= 0xF7   ? 4
                  : lead >= 0xE0 && lead <= 0xEF ? 3
                  : lead >= 0xC2 && lead <= 0xDF ? 2
                                                 : 1;
  size_t length = 1;
  while (length < wanted && length < bytes.size() &&
         IsContinuationByte(static_cast<unsigned char>(bytes[length]))) {
    ++length;
  }
  if (length < wanted && length == bytes.size() && more_may_come) return 0;
  return length;
}

// The number at the start of `text` ("" or no digits: `fallback`).
int LeadingNumber(std::string_view text, int fallback) {
  int value = 0;
  size_t i = 0;
  for (; i < text.size() && text[i] >= '0' && text[i] <= '9' && value < 10000; ++i) {
    value = value * 10 + (text[i] - '0');
  }
  return i == 0 ? fallback : value;
}

// The parameter after the first ';' ("" when there is none).
std::string_view SecondParameter(std::string_view params) {
  size_t semicolon = params.find(';');
  return semicolon == std::string_view::npos ? std::string_view() : params.substr(semicolon + 1);
}

Key F1WithModifierParameter(std::string_view modifier) {
  // The xterm modifier parameter is 1 + a bit mask; 1 (or none) means no modifier.
  return LeadingNumber(modifier, 1) <= 1 ? Key::kF1 : Key::kF1WithModifier;
}

// A sequence longer than this without its final byte is not a key the console waits for.
constexpr size_t kLongestSequence = 32;

// ESC [ ... : control sequence (ECMA-48 CSI) or the Linux console's ESC [ [ letter.
DecodedKey DecodeControlSequence(std::string_view bytes, bool more_may_come) {
  if (bytes.size() > 2 && bytes[2] == '[') {
    if (bytes.size() == 3) return {Key::kOther, more_may_come ? 0 : size_t{3}};
    return {bytes[3] == 'A' ? Key::kF1 : Key::kOther, 4};
  }
  size_t i = 2;
  size_t params_end = 0;
  for (; i < bytes.size() && i < kLongestSequence; ++i) {
    unsigned char byte = static_cast<unsigned char>(bytes[i]);
    if (byte >= 0x30 && byte <= 0x3F) continue;  // parameter bytes
    params_end = params_end ? params_end : i;
    if (byte == '$') break;                      // rxvt ends Shift+Fn with '$'
    if (byte >= 0x20 && byte <= 0x2F) continue;  // intermediate bytes
    if (byte >= 0x40 && byte <= 0x7E) break;     // the final byte
    return {Key::kOther, i};                     // broken sequence: it ends before this byte
  }
  if (i >= kLongestSequence) return {Key::kOther, i};
  if (i == bytes.size()) return {Key::kOther, more_may_come ? 0 : bytes.size()};
  std::string_view params = bytes.substr(2, params_end - 2);
  bool plain_end = params_end == i;  // no intermediate bytes
  char final_byte = bytes[i];
  DecodedKey result{Key::kOther, i + 1};
  if (!plain_end) return result;
  if (final_byte == '~' && LeadingNumber(params, 0) == 11) {
    result.key = F1WithModifierParameter(SecondParameter(params));
  } else if ((final_byte == '^' || final_byte == '@' || final_byte == '$') &&
             LeadingNumber(params, 0) == 11) {
    result.key = Key::kF1WithModifier;  // rxvt: Ctrl+F1, Ctrl+Shift+F1, Shift+F1
  } else if (final_byte == 'P' && LeadingNumber(params, 1) == 1) {
    result.key = F1WithModifierParameter(SecondParameter(params));
  }
  return result;
}

// ESC O ...: single shift 3, where xterm puts F1 to F4 (ESC O P), old xterms with a modifier
// digit (ESC O 2 P).
DecodedKey DecodeSingleShift(std::string_view bytes, bool more_may_come) {
  size_t i = 2;
  while (i < bytes.size() && i < kLongestSequence &&
         ((bytes[i] >= '0' && bytes[i] <= '9') || bytes[i] == ';')) {
    ++i;
  }
  if (i >= kLongestSequence) return {Key::kOther, i};
  if (i == bytes.size()) return {Key::kOther, more_may_come ? 0 : bytes.size()};
  unsigned char final_byte = static_cast<unsigned char>(bytes[i]);
  if (final_byte < 0x40 || final_byte > 0x7E) return {Key::kOther, i};
  if (final_byte != 'P') return {Key::kOther, i + 1};
  std::string_view params = bytes.substr(2, i - 2);
  size_t semicolon = params.rfind(';');
  std::string_view modifier =
      semicolon == std::string_view::npos ? params : params.substr(semicolon + 1);
  return {F1WithModifierParameter(modifier), i + 1};
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// Streams

bool IsTerminal(StdStream stream) { return isatty(FileDescriptor(stream)) == 1; }

bool CanReadKeys() { return IsTerminal(StdStream::kInput) && InForeground(); }

bool WriteAll(StdStream stream, std::string_view bytes) {
  IgnoreBrokenPipeOnce();
  int index = static_cast<int>(stream);
  if (g_stream_broken[index]) return false;
  int fd = FileDescriptor(stream);
  while (!bytes.empty()) {
    ssize_t written = write(fd, bytes.data(), bytes.size());
    if (written > 0) {
      bytes.remove_prefix(static_cast<size_t>(written));
      continue;
    }
    if (written < 0 && errno == EINTR) continue;
    if (written < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
      // Someone made the stream non-blocking; wait until it takes more.
      struct pollfd wait_for = {fd, POLLOUT, 0};
      if (poll(&wait_for, 1, -1) >= 0 || errno == EINTR) continue;
    }
    g_stream_broken[index] = 1;  // EPIPE, EIO after a hang-up, a full disk...
    return false;
  }
  return true;
}

// ---------------------------------------------------------------------------------------------
// Raw key mode

RawKeyMode::RawKeyMode() {
  if (g_raw_active || !CanReadKeys()) return;
  if (tcgetattr(STDIN_FILENO, &g_saved_settings) != 0) return;
  g_raw_settings = g_saved_settings;
  g_raw_settings.c_lflag &= ~(ICANON | ECHO);
  g_raw_settings.c_lflag |= ISIG;
  g_raw_settings.c_cc[VMIN] = 0;  // a read returns what is there, at once
  g_raw_settings.c_cc[VTIME] = 0;
  InstallFatalHandlersOnce();

  struct sigaction action = {};
  action.sa_handler = OnTerminalStop;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  sigaction(SIGTSTP, &action, &g_previous_stop_action);

  g_raw_active = 1;
  if (tcsetattr(STDIN_FILENO, TCSANOW, &g_raw_settings) != 0) {
    Restore();
    return;
  }
  active_ = true;
}

RawKeyMode::~RawKeyMode() { Restore(); }

void RawKeyMode::Restore() {
  if (!active_) return;
  active_ = false;
  g_raw_active = 0;
  // Drop what was typed for the console, so it does not turn up at the shell's prompt.
  tcsetattr(STDIN_FILENO, TCSAFLUSH, &g_saved_settings);
  sigaction(SIGTSTP, &g_previous_stop_action, nullptr);
}

// ---------------------------------------------------------------------------------------------
// Keys

DecodedKey DecodeKey(std::string_view bytes, bool more_may_come) {
  constexpr char kEsc = '\x1b';
  if (bytes.empty()) return {Key::kOther, 0};
  if (bytes[0] != kEsc) return {Key::kOther, CharacterLength(bytes, more_may_come)};
  if (bytes.size() == 1) return {Key::kOther, more_may_come ? 0 : size_t{1}};
  switch (bytes[1]) {
    case '[':
      return DecodeControlSequence(bytes, more_may_come);
    case 'O':
      return DecodeSingleShift(bytes, more_may_come);
    case kEsc: {
      // rxvt sends Alt+key as ESC before the key's own sequence; ESC ESC alone is Esc twice.
      if (bytes.size() == 2) return {Key::kOther, more_may_come ? 0 : size_t{1}};
      if (bytes[2] != '[' && bytes[2] != 'O') return {Key::kOther, 1};
      DecodedKey inner = DecodeKey(bytes.substr(1), more_may_come);
      if (inner.length == 0) return inner;
      bool f1 = inner.key == Key::kF1 || inner.key == Key::kF1WithModifier;
      return {f1 ? Key::kF1WithModifier : Key::kOther, inner.length + 1};
    }
    default: {
      // Alt+key: ESC and the key's character.
      size_t length = CharacterLength(bytes.substr(1), more_may_come);
      return {Key::kOther, length == 0 ? 0 : length + 1};
    }
  }
}

KeyReader::Result KeyReader::Fill(int timeout_ms) {
  if (closed_) return Result::kClosed;
  struct pollfd wait_for = {STDIN_FILENO, POLLIN, 0};
  int ready = poll(&wait_for, 1, timeout_ms);
  if (ready < 0 && errno == EINTR) return Result::kInterrupted;
  if (ready < 0) {
    closed_ = true;
    return Result::kClosed;
  }
  if (ready == 0) return Result::kNoKey;
  if (!(wait_for.revents & POLLIN)) {
    closed_ = true;  // hang-up or error with nothing left to read
    return Result::kClosed;
  }
  char chunk[256];
  ssize_t got = read(STDIN_FILENO, chunk, sizeof chunk);
  if (got > 0) {
    buffer_.append(chunk, static_cast<size_t>(got));
    return Result::kKey;
  }
  if (got < 0 && errno == EINTR) return Result::kInterrupted;
  if (got < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) return Result::kNoKey;
  closed_ = true;  // end of input (poll saw it readable, yet nothing came) or a read error
  return Result::kClosed;
}

KeyReader::Result KeyReader::Read(int timeout_ms, Key* key) {
  // The rest of an escape sequence follows its ESC within a few milliseconds even over ssh;
  // a lone ESC (the Esc key) is known only when nothing follows in that time.
  constexpr int kSequenceRestMs = 50;
  if (buffer_.empty()) {
    Result filled = Fill(timeout_ms);
    if (filled != Result::kKey) return filled;
  }
  for (;;) {
    DecodedKey decoded = DecodeKey(buffer_, true);
    if (decoded.length == 0) {
      Result filled = Fill(kSequenceRestMs);
      if (filled == Result::kInterrupted) return filled;
      if (filled == Result::kKey) continue;
      decoded = DecodeKey(buffer_, false);
    }
    *key = decoded.key;
    buffer_.erase(0, decoded.length);
    return Result::kKey;
  }
}

// ---------------------------------------------------------------------------------------------
// Stop signals

namespace {

// The handler goes in once; whether it ends the process or records the signal is g_exit_at_once.
void InstallStopHandlersOnce() {
  static std::once_flag once;
  std::call_once(once, [] {
    IgnoreBrokenPipeOnce();
    sigset_t stop_signals;
    sigemptyset(&stop_signals);
    for (int signal_number : {SIGINT, SIGTERM, SIGHUP}) {
      struct sigaction previous = {};
      sigaction(signal_number, nullptr, &previous);
      if (previous.sa_handler == SIG_IGN) continue;  // nohup, or a background job
      struct sigaction action = {};
      action.sa_handler = OnStopSignal;
      sigemptyset(&action.sa_mask);
      // Restarted calls keep slow writes whole; poll is never restarted, so a wait for a key
      // still wakes up.
      action.sa_flags = SA_RESTART;
      sigaction(signal_number, &action, nullptr);
      sigaddset(&stop_signals, signal_number);
    }
    // Left blocked by the parent, they would never arrive; one already pending arrives here.
    sigprocmask(SIG_UNBLOCK, &stop_signals, nullptr);
  });
}

}  // namespace

void EndProcessOnStopSignals(int exit_status) {
  g_exit_at_once = exit_status + 1;
  InstallStopHandlersOnce();
}

void InstallStopSignalHandlers() {
  g_exit_at_once = 0;
  InstallStopHandlersOnce();
}

bool StopRequested() { return g_stop_signal != 0; }

int StopSignalNumber() { return g_stop_signal; }

}  // namespace platform
