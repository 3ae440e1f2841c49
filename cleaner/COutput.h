// The one output object of a run. Every piece of text goes to the console and, until
// DumpOutput, to the monthly log: verbatim text (paths, numbers, the script's own texts) the
// same to both, the program's fixed texts (AddFixed) to the log as the source text and to the
// console in the user's language, so that the log reads the same in every locale.
//
// The deletions and the counters of the totals block are the run's Deleter's (cleaner/Deleter.h),
// which COutput holds and which writes its lines through the line functions here; the Part's
// names of the per-entry pattern (ReportFile, KillFile, KillFolder, CreateFolder) are kept here
// as calls into it.
#pragma once

#include <initializer_list>
#include <string>
#include <string_view>

#include "cleaner/Deleter.h"
#include "cleaner/RunLog.h"
#include "cleaner/Stopwatch.h"
#include "cleaner/frmConsole.h"
#include "platform/file_system.h"

namespace sweepwell {

class COutput {
 public:
  // Opens `log_file_name` for appending and writes the rule line of 78 "=" (see RunLog). An
  // empty name: no log, the console only (a preview). Throws support::Error, whose description
  // names the cause, when the log cannot be opened or cannot take that line: the run must not
  // start then. The run's deletions act on `files` and follow the switch `to_trash` (see
  // Deleter); both outlive the output.
  COutput(const std::string& log_file_name, Stopwatch* stopwatch, platform::FileSystem& files,
          const bool& to_trash);
  // Closes the log; see CloseLog.
  ~COutput();
  COutput(const COutput&) = delete;
  COutput& operator=(const COutput&) = delete;

  // The run's deletions and their counters.
  Deleter& Deletion() { return deleter_; }
  const DeletionTotals& Totals() const { return deleter_.Totals(); }

  // "create-folder": "*NEW* " + path + "  :: DIR" line, the folder made with every missing level
  // (Deleter::CreateFolder).
  void CreateFolder(const std::string& FolderName) { deleter_.CreateFolder(FolderName); }
  // The totals block: counters, date, time and duration.
  void ReportTime();
  // Starts the line of one entry (path, then size or kind) and counts it as reported unless
  // DontCount. For a file the size is read now; when it cannot be read this raises the file
  // error after the path has been written (Deleter::ReportFile).
  void ReportFile(const std::string& FileName, bool IsFolder, bool IsJunction, bool DontCount) {
    deleter_.ReportFile(FileName, IsFolder, IsJunction, DontCount);
  }
  // True until the first text of the run. (A window's text box is emptied before a piece that
  // would follow 20000 characters, but that piece then stands in it: it is never empty again,
  // and the terminal itself is never cleared, so no model of its length is kept.)
  bool IsDisplayClear() const;
  // From now on nothing more goes to the log.
  void DumpOutput();
  // Takes the terminal for the run's console.
  void ShowForm();
  // Verbatim text, in the encoding of the run's text, the same to the console and the log.
  void AddLine(std::string_view Text);
  void AddText(std::string_view Text);
  // A fixed text of the program (UTF-8 source text, see support/ov_messages.h): the log takes
  // it as it stands, the console in the user's language; both in the run's encoding.
  void AddFixed(std::string_view message);
  void AddFixedLine(std::string_view message);
  // A fixed text with its "%s" filled by `values` (in the run's encoding, verbatim), and the
  // line end: the log takes the source text, the console the user's language.
  void AddFilledLine(std::string_view message, std::initializer_list<std::string_view> values);
  // One piece in its two forms, both in the run's encoding already: `shown` for the console,
  // `logged` for the log (a message whose values are filled in after translation).
  void AddText(std::string_view shown, std::string_view logged);
  // Ends an entry's line: "  [" description "]" when ErrNumber is not 0. The description is a
  // text of the program (UTF-8, e.g. support::StandardDescription), shown translated and
  // logged as it stands.
  void ReportErrorStartus(int32_t ErrNumber, std::string_view ErrDescription);
  // The same with the description's two forms in the run's encoding.
  void ReportErrorStartus(int32_t ErrNumber, std::string_view shown, std::string_view logged);
  // Deletes one file (to the trash while the run's DeleteToRecycleBin is on); raises the mapped
  // error (Deleter::KillFile).
  void KillFile(const std::string& FileName) { deleter_.KillFile(FileName); }
  // Removes one empty folder or one junction; raises the mapped error (Deleter::KillFolder).
  void KillFolder(const std::string& FolderName) { deleter_.KillFolder(FolderName); }

  // The log side of the lines the deleter writes ahead of its deletions (see RunLog):
  // CanWriteLineAhead: the log is open, healthy, and holds no unfinished line, so a line can go
  // ahead. WriteLinesAhead: true when `lines` (whole lines) reached the log in one write; false
  // when the log refused them and they must be written the ordinary way. TakeBackLines: the
  // last part of what went ahead leaves the log again. ShowLinesWrittenAhead: the console gets
  // lines the log already has.
  bool CanWriteLineAhead() const;
  bool WriteLinesAhead(std::string_view lines);
  void TakeBackLines(std::string_view tail);
  void ShowLinesWrittenAhead(std::string_view lines);

  // Lets the console handle pending keys; with `may_stop` (between entries) a stop request
  // ends the run by throwing RunInterrupted.
  void ProcessPendingEvents(bool may_stop);

  // Writes out what the log and the console still hold and closes the log. Idempotent. (The run
  // hands the closed log to KeepLogCompressed itself, once, at its end.)
  void CloseLog();

  frmConsole& Console() { return console_; }

  // The last text did not end its line.
  bool IsLineOpen() const { return line_open_; }

  // Some lines of the run did not reach the log (each failure and recovery was reported on
  // standard error, and the log holds a note of how many it missed where it recovered).
  bool LogFailed() const { return log_.MissedLines() > 0; }

 private:
  void WriteLog(std::string_view text);
  void FlushLog();
  void ReportAboutLog(const std::string& message);

  frmConsole console_;
  Stopwatch* stopwatch_;
  std::string log_file_name_;
  RunLog log_;
  std::string log_pending_;  // text of the log line not yet ended
  bool LogStopped = false;
  bool display_clear_ = true;
  bool line_open_ = false;
  Deleter deleter_;
};

// Hands the closed log `log_file_name` to the file library (Quern0102's orvFSO, through the
// component mechanism) to be compressed where it is not. Nothing the library answers is looked
// at; a library that cannot be found or loaded changes nothing. Called once at the end of a run.
void KeepLogCompressed(const std::string& log_file_name);

}  // namespace sweepwell
