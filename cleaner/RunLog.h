// The monthly log file of a run: appended to in whole lines, never left with a cut line by a
// failed write, and honest about the lines it could not take.
//
// The rules, for a log on a disk that fills up while the cleaner frees it:
// - Open writes the run's first line (the rule line). When the log cannot take it, Open fails
//   with the cause and the run must not start: a deletion nobody could read about later is
//   exactly what the log exists to prevent.
// - A file that ends without a line end (a run killed in the middle of a write, or one that
//   left its last line unfinished) first gets one, so the rule line never sticks to old text.
// - Every Write is one write of whole lines. When it fails, the file is cut back to where it
//   was before it, the lines are counted as missed (the console still shows them), and the
//   next Write tries again: cleaning frees space, so the log often recovers.
// - The first Write that succeeds after a failure is preceded by the line
//     *** Пропущено строк журнала: N (CAUSE) ***
//   with N the lines missed since the last one that reached the log and CAUSE what kept them
//   out (MissedLinesNote), in the same one write, so the note and the lines after it arrive
//   together or not at all.
//
// The log is shared by every run of the month; two runs at once each append whole lines. A
// cut back happens only when nothing was appended after the failed write, so it can never take
// away another run's lines; if something was, the next line of this run begins with a line end
// instead.
//
// Lines may also be written ahead of what they record (WriteAhead): a run that deletes a
// folder's files writes the lines of a batch of them, as they read when every deletion
// succeeds, in one write, and only then deletes. A line that turns out wrong (the deletion was
// refused, or the run was stopped before it) is taken back with everything after it
// (TakeBack), again only while nothing was appended after it. So a run killed outright leaves
// no deletion unrecorded: at worst the log names a few entries of the batch in flight that are
// still there, which is the safe side of a record of what went.
//
// Text is bytes in the log's code page; COutput converts before it writes.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/file.h"

namespace sweepwell {

class RunLog {
 public:
  RunLog() = default;
  ~RunLog();  // Close
  RunLog(const RunLog&) = delete;
  RunLog& operator=(const RunLog&) = delete;

  // Opens `path` for appending (created when missing; only a regular file is taken) and writes
  // `first_line`, preceded by a line end when the file ends without one. Returns the Windows
  // error code of the failure, with nothing of this run left in the file and the log closed.
  uint32_t Open(const std::string& path, std::string_view first_line);

  enum class WriteResult {
    kWritten,       // the text is in the log
    kRecovered,     // it is, after the missed-lines note: the lines missed before are counted
    kFailed,        // it is not; this is the first failure since the log last took a line
    kStillFailing,  // it is not, and the write before failed as well
    kClosed,        // the log is not open
  };

  // Appends `text` (normally whole lines; a last piece without a line end counts as a line).
  WriteResult Write(std::string_view text);

  // Appends `text` in one write, only while the log is healthy (nothing missed since the last
  // note). On failure nothing of it stays in the file and nothing is counted as missed: the
  // caller writes the same lines again the ordinary way, which counts and reports. Returns the
  // error code (kSuccess when written).
  uint32_t WriteAhead(std::string_view text);

  // Takes the last `tail` of the text written back out of the file; `tail` must be a suffix of
  // the last WriteAhead, with nothing written since. True when the file now ends before it; false
  // when it cannot be cut (another run appended since, or the cut failed), and the tail stays.
  bool TakeBack(std::string_view tail);

  // Closes the file. Idempotent.
  void Close();

  bool IsOpen() const { return handle_ != platform::kInvalidFile; }
  // Lines of the run that never reached the log, and those still waiting for the next note.
  uint64_t MissedLines() const { return missed_total_; }
  uint64_t PendingMissedLines() const { return missed_since_note_; }
  // The code of the last failed write (kSuccess when none failed).
  uint32_t LastError() const { return last_error_; }

  // The note line (UTF-8, with its line end) for `lines` missed because of `code`.
  static std::string MissedLinesNote(uint64_t lines, uint32_t code);

  // What keeps the log from being written, in words for the user (UTF-8): "диск заполнен",
  // "файловая система только для чтения", "отказано в доступе", ... or the standard
  // description of the mapped error number for any other code.
  static std::string Cause(uint32_t code);

 private:
  // One write of `text`; on failure the file is cut back to where it stood before it.
  uint32_t Append(std::string_view text);

  platform::FileHandle handle_ = platform::kInvalidFile;
  bool needs_line_end_ = false;  // the file may end in the middle of a line
  uint64_t missed_since_note_ = 0;
  uint64_t missed_total_ = 0;
  uint32_t last_error_ = 0;
  uint64_t end_ = 0;  // the file's size after the last WriteAhead (0: unknown)
};

}  // namespace sweepwell
