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
// The log's encoding. The run's text comes in its own encoding (platform::RunTextIsUtf8: UTF-8,
// or the ANSI code page) and is written in the log's:
// - A log keeps the encoding it was made in: one that starts with the UTF-8 mark (EF BB BF) is
//   UTF-8, any other that holds something is in the ANSI code page.
// - A new (or empty) log is in the ANSI code page where that page holds the program's messages
//   (platform::AnsiHoldsCyrillic: 1251, KOI8-R, UTF-8), and UTF-8 starting with the mark where it
//   does not (1252, ISO-8859-1). Where the ANSI code page is UTF-8 the log is UTF-8 without a mark.
// - In a log in an 8-bit page, a character the page cannot hold (a letter of a file name, or of
//   a message in a log made under another page) is written as "<U+" its code point in upper-case
//   hexadecimal, at least four digits, ">": "<U+4E2D>", "<U+1F600>"; a lone surrogate of a
//   Windows name keeps its own value ("<U+DC80>"). "<U+" in the text itself is written
//   "<U+003C>U+", so every "<U+" in such a log starts an escape and each one gives back the
//   character it stands for. ("<" cannot occur in a Windows name at all.)
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "platform/file.h"
#include "platform/file_system.h"

namespace sweepwell {

class RunLog {
 public:
  RunLog() = default;
  ~RunLog();  // Close
  RunLog(const RunLog&) = delete;
  RunLog& operator=(const RunLog&) = delete;

  // Opens `path` of `files` for appending (created when missing; only a regular file is
  // taken; the file is held through `files` alone, which must outlive the log), decides
  // the log's encoding (above) and writes `first_line` (and the mark before it in a new UTF-8
  // log), preceded by a line end when the file ends without one. Returns the Windows
  // error code of the failure, with nothing of this run left in the file and the log closed.
  uint32_t Open(platform::FileSystem& files, const std::string& path, std::string_view first_line);

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

  bool IsOpen() const { return file_.IsOpen(); }
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

  // UTF-8 text as a log in an 8-bit page holds it (the escapes above); `to_ansi` and `to_utf8`
  // convert to and from the page (platform::Utf8ToAnsi and AnsiToUtf8 for the ANSI code page).
  using PageConversion = std::function<std::string(std::string_view)>;
  static std::string EscapedForAnsi(std::string_view utf8, const PageConversion& to_ansi,
                                    const PageConversion& to_utf8);

  // The log is UTF-8 (with or without its mark). Meaningful while open.
  bool IsUtf8() const { return utf8_; }

 private:
  // One write of `text` (in the log's encoding); on failure the file is cut back to where it
  // stood before it.
  uint32_t Append(std::string_view text);
  // The run's text in the log's encoding.
  std::string ForLog(std::string_view text) const;

  platform::File file_;
  bool needs_line_end_ = false;  // the file may end in the middle of a line
  bool utf8_ = false;            // the log's encoding is UTF-8
  uint64_t missed_since_note_ = 0;
  uint64_t missed_total_ = 0;
  uint32_t last_error_ = 0;
  uint64_t end_ = 0;  // the file's size after the last WriteAhead (0: unknown)
};

}  // namespace sweepwell
