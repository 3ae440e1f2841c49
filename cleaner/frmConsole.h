// The console of a run. On Windows it is the program's window with its one text box
// (win32/frmConsole.cpp). Elsewhere the terminal stands in for it: every piece of text goes to
// standard output as it is produced, keys are read while the script runs when standard input is
// a terminal, and after the run the first key closes the program (frmConsole.cpp).
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "platform/terminal.h"

namespace platform {
class ConsoleWindow;
}

namespace sweepwell {

// Thrown from ProcessEvents when Ctrl+C, SIGTERM or SIGHUP asked to stop the run. It is not a
// support::Error on purpose: the walks catch those per entry, this one must pass through them
// and the script engine up to the program's entry.
struct RunInterrupted {};

// The comments below speak of the terminal. The window does the same with its own means: Load
// creates, centres and shows it (title "Sweep well", icon A_MAIN); AddText appends to the text
// box under the 20000-character rule; ProcessEvents handles the window's pending messages (F1
// shows the about box, close requests are refused); the console is interactive while the window
// is open; WaitForCloseKey lets the window close and returns on the first key other than plain F1
// or on the close box; there are no stop signals, so StopRequested stays false.
class frmConsole {
 public:
  frmConsole() = default;
  ~frmConsole();  // gives the terminal back (Unload)
  frmConsole(const frmConsole&) = delete;
  frmConsole& operator=(const frmConsole&) = delete;

  // Takes the terminal: when standard input is a terminal it is switched to read single keys
  // without echo (Ctrl+C still raises SIGINT); SIGINT, SIGTERM and SIGHUP are caught so that a
  // run stops after the entry in progress. Safe to call once.
  void Load();

  // Gives the terminal back as it was (also on exit paths; idempotent).
  void Unload();

  // Appends text (the run's text: UTF-8 or the ANSI code page, as platform::RunTextIsUtf8 says)
  // to the console; the terminal gets it in the ANSI code page. When standard output is a
  // terminal, text is written up to each line end (an unfinished line waits for its end or for
  // Flush); otherwise it is written in blocks of 64 KiB, and on Flush, Unload and destruction.
  void AddText(std::string_view text);

  // Writes out whatever AddText still holds.
  void Flush();

  // Handles pending keys without waiting: plain F1 prints the about text; every other key is
  // ignored while the run goes on. With `may_stop` true, throws RunInterrupted once a stop was
  // asked for (callers pass true only between entries, never in the middle of a line).
  // A key that arrives after the last text was written out is kept for WaitForCloseKey: it may
  // be the answer to the closing prompt, which the caller shows just before it stops the run.
  void ProcessEvents(bool may_stop);

  // True once a stop signal arrived.
  bool StopRequested() const;

  // Standard input is a terminal: keys can be read, and the closing prompt makes sense.
  bool IsInteractive() const;

  // After the run: writes out what AddText holds, then waits for the first key other than plain
  // F1 (F1 shows the about text again). Returns at once when standard input is not a terminal,
  // and also when a stop signal arrives or the terminal goes away while it waits.
  void WaitForCloseKey();

  // The about text: title, version, the program's description and the caption word. It goes to
  // the terminal only (never into the run's text): standard output when that is a terminal, else
  // standard error. It starts on a fresh line, and a line of the run that was cut by it is
  // written again after it, so the run's lines stay whole on the screen.
  void ShowAbout();

 private:
  // Both versions share this layout, since the cleaner library that holds a frmConsole is linked
  // with either (the Windows tests take the terminal one).
  //
  // Writes the first `length` bytes of pending_. Keys typed before the text appears belong to
  // the run: they are handled (F1) or dropped here, so only later keys can close the console.
  void WritePending(size_t length);
  // Writes to standard output and keeps screen_line_ up to date.
  void WriteToScreen(std::string_view bytes);
  // Handles every key typed so far: plain F1 shows the about text, others are dropped.
  void DrainKeys();

  std::string pending_;  // text not yet written to standard output
  bool loaded_ = false;
  bool output_is_terminal_ = platform::IsTerminal(platform::StdStream::kOutput);
  bool interactive_ = false;  // keys are read (set by Load)
  std::optional<platform::RawKeyMode> raw_mode_;
  platform::KeyReader keys_;
  std::string screen_line_;         // the unfinished line standard output shows, if any
  bool close_key_pending_ = false;  // a key arrived after the last text was written
  // The window version's window (loaded_ and close_key_pending_ serve it as above). A shared_ptr
  // binds its deleter where the window is made, so the terminal version needs no definition of
  // the window class.
  std::shared_ptr<platform::ConsoleWindow> window_;
};

// What the program says outside a run. In the terminal: `title`, an empty line and `text` on
// standard output, or on standard error for a bad command line. On Windows: the usage box, a
// message box captioned `title`. Texts are UTF-8 with "\n" line ends.
void ShowUsageMessage(const std::string& title, const std::string& text, bool bad_command_line);

// The title and the version: one line on standard output, or a message box on Windows.
void ShowVersionMessage(const std::string& title, const std::string& version);

// The program's name as the usage text shows it (UTF-8): the program file's name without its
// extension on Windows ("Sweepwell"), `terminal_name` in the terminal.
std::string UsageProgramName(const std::string& terminal_name);

}  // namespace sweepwell
