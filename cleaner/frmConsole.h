// The console of a run. The terminal stands in for the window with its one text box: every piece
// of text goes to standard output as it is produced, keys are read while the script runs when
// standard input is a terminal, and after the run the first key closes the program.
#pragma once

#include <string>
#include <string_view>

namespace sweepwell {

// Thrown from ProcessEvents when Ctrl+C, SIGTERM or SIGHUP asked to stop the run. It is not a
// support::Error on purpose: the walks catch those per entry, this one must pass through them
// and the script engine up to the program's entry.
struct RunInterrupted {};

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

  // Appends text (bytes in the ANSI code page) to the console. Standard output is flushed at
  // each line end when it is a terminal, in larger blocks otherwise.
  void AddText(std::string_view text);

  // Writes out whatever AddText still holds.
  void Flush();

  // Handles pending keys without waiting: plain F1 prints the about text; every other key is
  // ignored while the run goes on. With `may_stop` true, throws RunInterrupted once a stop was
  // asked for (callers pass true only between entries, never in the middle of a line).
  void ProcessEvents(bool may_stop);

  // True once a stop signal arrived.
  bool StopRequested() const;

  // Standard input is a terminal: keys can be read, and the closing prompt makes sense.
  bool IsInteractive() const;

  // After the run: waits for the first key other than plain F1 (F1 shows the about text again).
  // Returns at once when standard input is not a terminal, or when a stop signal arrives.
  void WaitForCloseKey();

  // The about text: title, version, the program's description and the caption word.
  void ShowAbout();

 private:
  std::string pending_;  // text not yet written to standard output
  bool loaded_ = false;
};

}  // namespace sweepwell
