// The one output object of a run. Every piece of text goes to the console and, until
// DumpOutput, to the monthly log: verbatim text (paths, numbers, the script's own texts) the
// same to both, the program's fixed texts (AddFixed) to the log as the source text and to the
// console in the user's language, so that the log reads the same in every locale; COutput also
// deletes single files and folders for every command and keeps the counters of the totals block.
#pragma once

#include <functional>
#include <initializer_list>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "cleaner/RunLog.h"
#include "cleaner/Stopwatch.h"
#include "cleaner/frmConsole.h"
#include "platform/file_system.h"
#include "platform/platform.h"

namespace sweepwell {

class UndoRecord;
struct RunContext;

class COutput {
 public:
  // Opens `log_file_name` for appending and writes the rule line of 78 "=" (see RunLog). An
  // empty name: no log, the console only (a preview). Throws support::Error, whose description
  // names the cause, when the log cannot be opened or cannot take that line: the run must not
  // start then.
  COutput(const std::string& log_file_name, Stopwatch* stopwatch);
  // Closes the log; see CloseLog.
  ~COutput();
  COutput(const COutput&) = delete;
  COutput& operator=(const COutput&) = delete;

  // Ties the output to the run whose switches its deletions follow (DeleteToRecycleBin) and
  // whose file system they act on. RunContext::OpenOutput does this. Unbound, the output acts
  // on the machine's file system and sends files to the trash.
  void BindRun(const RunContext& run) { run_ = &run; }
  platform::FileSystem& Files() const;

  // "create-folder": "*NEW* " + path + "  :: DIR" line, the folder made with every missing level.
  void CreateFolder(const std::string& FolderName);
  // The totals block: counters, date, time and duration.
  void ReportTime();
  // Starts the line of one entry (path, then size or kind) and counts it as reported unless
  // DontCount. For a file the size is read now; when it cannot be read this raises the file
  // error after the path has been written.
  void ReportFile(const std::string& FileName, bool IsFolder, bool IsJunction, bool DontCount);
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
  // Deletes one file (to the trash while DeleteToRecycleBin); raises the mapped error.
  void KillFile(const std::string& FileName);
  // Removes one empty folder or one junction; raises the mapped error.
  void KillFolder(const std::string& FolderName);

  // The same step for an entry of an open folder, as the walks hold it: `path` is the entry's
  // full path (for the trash), `record` the entry as a listing or a look just before describes
  // it (its size is what the deletion frees).
  void KillFileAt(const platform::Folder& folder, std::string_view name, const std::string& path,
                  const platform::FindRecord& record);
  void KillFolderAt(const platform::Folder& folder, std::string_view name, bool junction);

  // Deletes `files` of the open `folder`, as a listing taken just before describes them (no
  // folder among them), in their order, each with the line DeleteAndReportFile would write, and
  // with a pending-events point after each file or batch. Unless `described`, the records carry
  // only names and kinds, and are completed here a batch at a time, just before the batch goes
  // (FileSystem::DescribeEntries); a file found gone by then is left out, as a listing leaves it
  // out. While files go for good and the log is healthy, the lines of a batch of a few hundred
  // reach the log in one write before the batch is deleted (FileSystem::DeleteEntryFiles, which
  // stops at the first refusal, and after the file in progress when a stop is asked for); see
  // RunLog for what a refusal or a stop takes back. A file the batch cannot take (a read-only
  // one, or one whose record could not be read) goes on its own, its line still written ahead
  // (DeleteWithLine). `path_of`
  // gives the full path of an entry name (the reference may change with the next call). False
  // when some file stayed.
  bool DeleteListedFiles(const platform::Folder& folder,
                         std::span<platform::FindRecord* const> files, bool described,
                         const std::function<const std::string&(std::string_view)>& path_of);

  // Writes `line`, the line of one entry as its deletion ends it when nothing goes wrong
  // (without the line end; counted by the caller), and runs `deletion`, which raises the error
  // that kept the entry; the line then ends with it. While the log is healthy, the line of an
  // entry that goes for good reaches the log before `deletion` runs, and leaves it again when
  // the deletion fails (RunLog::TakeBack), so that a run killed at any moment leaves no
  // deletion unrecorded; with `may_go_to_trash` a run that trashes relies on its undo record
  // instead, which names each entry before it moves. True when deleted.
  bool DeleteWithLine(const std::string& line, bool may_go_to_trash,
                      const std::function<void()>& deletion);

  // From now on every entry sent to the trash is written down in `record` (null: nowhere) before
  // it moves, so that the run can be undone.
  void RecordTrashMovesIn(UndoRecord* record) { undo_record_ = record; }

  // Lets the console handle pending keys; with `may_stop` (between entries) a stop request
  // ends the run by throwing RunInterrupted.
  void ProcessPendingEvents(bool may_stop);

  // Writes out what the log and the console still hold, closes the log, and asks the file
  // library (Quern0102's orvFSO, through the component mechanism) to compress it when it is
  // not compressed. Idempotent.
  void CloseLog();

  frmConsole& Console() { return console_; }

  // The last text did not end its line.
  bool IsLineOpen() const { return line_open_; }

  // Some lines of the run did not reach the log (each failure and recovery was reported on
  // standard error, and the log holds a note of how many it missed where it recovered).
  bool LogFailed() const { return log_.MissedLines() > 0; }

  // Counters (see the totals block).
  double FreedBytes = 0, DeletedFiles = 0, DeletedFolders = 0, DeletedJunctions = 0;
  double ReportedBytes = 0, ReportedFiles = 0, ReportedFolders = 0, ReportedJunctions = 0;

 private:
  void WriteLog(std::string_view text);
  void FlushLog();
  void ReportAboutLog(const std::string& message);
  void CountDeletedFile(double size);
  bool ToRecycleBin() const;
  // The line of the next deletion may be written before it (CanWriteLineAhead), also when the
  // run trashes (CanWriteAhead: only when it does not).
  bool CanWriteLineAhead() const;
  bool CanWriteAhead() const;

  frmConsole console_;
  const RunContext* run_ = nullptr;
  Stopwatch* stopwatch_;
  std::string log_file_name_;
  RunLog log_;
  std::string log_pending_;  // text of the log line not yet ended
  bool LogStopped = false;
  bool display_clear_ = true;
  bool line_open_ = false;
  UndoRecord* undo_record_ = nullptr;
  // A batch of files whose lines are written ahead of their deletion (DeleteListedFiles).
  struct AheadBatch {
    size_t end = 0;  // where in DeleteListedFiles' files the next batch starts
    std::string lines;
    std::vector<size_t> line_ends;                   // where each line ends in `lines`
    std::vector<const platform::FindRecord*> files;  // the files the lines name
    std::vector<size_t> places;                      // their places in DeleteListedFiles' files
  };
  // Fills `batch` from files[next...]; see DeleteListedFiles.
  void MakeAheadBatch(std::span<platform::FindRecord* const> files, size_t next,
                      const std::function<const std::string&(std::string_view)>& path_of,
                      AheadBatch* batch);
  // After the first `went` files of the batch went and the next did not for `error`: counts
  // and shows what went, takes back the lines of what did not, and ends the line of the file
  // that stayed with its error. Returns where the deletion goes on; false in *all when a file
  // stayed.
  size_t EndAheadBatch(const AheadBatch& batch, size_t went, uint32_t error, bool* all);

  AheadBatch batch_;
  std::vector<uint32_t> described_;  // per file of DeleteListedFiles: kSuccess or why not read
  std::vector<platform::FindRecord*> to_describe_;
  std::vector<uint32_t> describe_codes_;
};

// What a file's line shows after its path: "  :: 1 234 bytes" as ovFormatInt64 writes the size.
std::string FileSizeText(double size);

// The calling pattern of every deletion: ReportFile, KillFile with its error caught,
// ReportErrorStartus with the caught error (0 and "" when there was none). True when deleted.
// `listed` is the entry's record from a listing nothing has acted on since, or null when the
// entry must be read again (an earlier pass may have deleted it).
bool DeleteAndReportFile(COutput& output, const platform::Folder& folder,
                         const platform::FindRecord* listed, std::string_view name,
                         const std::string& path);
bool DeleteAndReportFile(COutput& output, const std::string& path);

// The same for a folder entry (an empty folder or a junction) with KillFolder.
bool RemoveAndReportFolder(COutput& output, const platform::Folder& folder, std::string_view name,
                           const std::string& path, bool junction);
bool RemoveAndReportFolder(COutput& output, const std::string& path);

// The line of a named folder that does not exist: the path, "  :: DIR" and the path-not-found
// error; counted among the reported folders unless DontCount.
void ReportMissingFolder(COutput& output, const std::string& path, bool DontCount);

}  // namespace sweepwell
