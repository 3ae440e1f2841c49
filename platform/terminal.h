// The terminal as the program's console: is a standard stream a terminal, single keys from
// standard input, writing to standard output and standard error, and the signals that ask a run
// to stop. Only the backend (posix/terminal.cpp) knows about termios, poll and sigaction.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace platform {

// ---------------------------------------------------------------------------------------------
// Streams

enum class StdStream { kInput, kOutput, kError };

// True when the stream is a terminal.
bool IsTerminal(StdStream stream);

// True when standard input is a terminal and this process is in its foreground, so keys can be
// read without the system stopping the process for it (a background job must not touch it).
bool CanReadKeys();

// Writes all of `bytes` to standard output or standard error, going on after a signal and after
// partial writes. False when the stream is gone: a closed pipe (the process is not killed for
// it: SIGPIPE is ignored from the first call on) or another error; every later write to that
// stream is then skipped and also gives false, so a reader that went away costs nothing.
bool WriteAll(StdStream stream, std::string_view bytes);

// ---------------------------------------------------------------------------------------------
// Raw key mode

// While an object of this class lives, standard input delivers single keys without echo:
// no line editing, but Ctrl+C, Ctrl+\ and Ctrl+Z still raise their signals. The terminal gets
// its old settings back when the object dies, when the process exits, on a fatal signal, and
// while the process is stopped by Ctrl+Z (taken again when it goes on). Does nothing when keys
// cannot be read (see CanReadKeys). At most one is active at a time; a second one stays idle.
class RawKeyMode {
 public:
  RawKeyMode();
  ~RawKeyMode();
  RawKeyMode(const RawKeyMode&) = delete;
  RawKeyMode& operator=(const RawKeyMode&) = delete;

  // True when this object switched the terminal and still holds it.
  bool Active() const { return active_; }

  // Gives the terminal back now (idempotent); typed keys not read yet are dropped, so they do
  // not reach the shell after the program.
  void Restore();

 private:
  bool active_ = false;
};

// ---------------------------------------------------------------------------------------------
// Keys

// What the console needs to tell apart.
enum class Key {
  kF1,              // F1 with no Shift, Ctrl or Alt
  kF1WithModifier,  // F1 with any of them
  kOther,           // any other key, a lone Esc included
};

// One key decoded from the start of a byte sequence.
struct DecodedKey {
  Key key = Key::kOther;
  size_t length = 0;  // bytes the key took; 0: `bytes` holds only the start of a sequence
};

// Decodes the first key in `bytes` (not empty). Understands the F1 sequences of the common
// terminals: ESC O P (xterm, VTE, tmux), ESC [ 1 1 ~ (rxvt, older VT220 style), ESC [ [ A
// (the Linux console), with modifiers as ESC [ 1 ; m P, ESC [ 1 1 ; m ~, ESC O m P (m > 1) or a
// leading ESC (Alt on rxvt). Every other escape sequence is one kOther key of its full length;
// ESC followed by a plain byte (Alt+key) is one key; a UTF-8 character is one key.
// When `bytes` stops inside a sequence: with `more_may_come` the result has length 0 (wait for
// the rest); without it, what is there counts as one kOther key (a lone ESC is the Esc key).
DecodedKey DecodeKey(std::string_view bytes, bool more_may_come);

// Reads keys from standard input (raw key mode should be active; without it keys arrive only
// after Enter).
class KeyReader {
 public:
  enum class Result {
    kKey,          // *key holds the next key
    kNoKey,        // nothing typed within the timeout
    kInterrupted,  // a signal arrived while waiting (look at StopRequested)
    kClosed,       // standard input ended or failed (the terminal hung up): no key will come
  };

  // Waits at most `timeout_ms` milliseconds for a key (0: only what is typed already; negative:
  // no limit). An escape sequence whose rest is late is waited for a little longer, so that a
  // key is never split in two.
  Result Read(int timeout_ms, Key* key);

 private:
  // Reads what is there into buffer_ after waiting up to `timeout_ms` for the first byte.
  Result Fill(int timeout_ms);

  std::string buffer_;
  bool closed_ = false;
};

// ---------------------------------------------------------------------------------------------
// Stop signals

// Catches SIGINT, SIGTERM and SIGHUP (on Windows: Ctrl+C, Ctrl+Break and the console's close
// event) from the program's first instruction: until InstallStopSignalHandlers is called, such
// a signal ends the process at once with `exit_status` (the terminal given back first), since
// nothing has been done that would need closing. The signals are unblocked in case the parent
// left them blocked; one that the parent set to be ignored (nohup, a background job of a
// non-interactive shell) stays ignored, as the user asked. Call it first thing in main.
void EndProcessOnStopSignals(int exit_status);

// Catches the same signals (or switches them over from EndProcessOnStopSignals): instead of
// ending the process they only record that a stop was asked for, so the run can end after the
// entry in progress and close its log. Idempotent.
void InstallStopSignalHandlers();

// True once one of those signals arrived (after InstallStopSignalHandlers).
bool StopRequested();

// The number of the first stop signal that arrived, 0 when none did.
int StopSignalNumber();

}  // namespace platform
