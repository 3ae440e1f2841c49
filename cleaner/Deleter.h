// The run's deleter: every entry a command deletes, removes, reports or creates goes through it.
//
// What it owns:
// - the file system it acts on, given by whoever makes it (the run's own, a preview's, a test's
//   stand-in); it never reaches for the machine's file system by itself;
// - the lines of the entries it acts on: it builds them, writes them through COutput's line
//   functions, writes them ahead of deletions that go for good (and takes them back when the
//   deletion fails), and batches them for the listed files of a folder;
// - the counters of the totals block (reported and deleted files, folders, junctions, bytes),
//   which only it changes;
// - where moves to the trash are written down (the run's undo record), so each move is named
//   before it happens.
//
// What it never does: write to the console or the log except through COutput; follow a link it
// removes (a junction goes as the link, its target is never entered here); look at an entry
// twice between the look that decides and the action (the walks hand it their records, and a
// path is looked at once); know the run it works for (it reads the trash switch it was given).
//
// The Part names a reader of COutput looks for (ReportFile, KillFile, KillFolder,
// ReportErrorStartus, CreateFolder) stay on COutput as thin calls into this class.
#pragma once

#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "platform/file_system.h"
#include "platform/platform.h"

namespace sweepwell {

class COutput;
class UndoRecord;

// The counters of the totals block. Reported: a command wrote the entry's line counting it (it
// was going to be deleted); deleted: the deletion succeeded. Whole numbers kept in floating
// point, only ever growing.
struct DeletionTotals {
  double FreedBytes = 0, DeletedFiles = 0, DeletedFolders = 0, DeletedJunctions = 0;
  double ReportedBytes = 0, ReportedFiles = 0, ReportedFolders = 0, ReportedJunctions = 0;
};

class Deleter {
 public:
  // Acts on `files` and writes through `output`, both of which outlive it. `to_trash` is the
  // run's switch (files go to the trash rather than for good), read at each deletion: a script
  // turns it on and off between commands.
  Deleter(platform::FileSystem& files, COutput& output, const bool& to_trash);
  Deleter(const Deleter&) = delete;
  Deleter& operator=(const Deleter&) = delete;

  platform::FileSystem& Files() const { return files_; }
  const DeletionTotals& Totals() const { return totals_; }

  // From now on every entry sent to the trash is written down in `record` (null: nowhere) before
  // it moves, so that the run can be undone.
  void RecordTrashMovesIn(UndoRecord* record) { undo_record_ = record; }

  // COutput::ReportFile: the path, then the size (read now; when it cannot be read this raises
  // the file error after the path has been written) or the kind; counted unless DontCount.
  void ReportFile(const std::string& FileName, bool IsFolder, bool IsJunction, bool DontCount);
  // COutput::KillFile: deletes one file (to the trash while the switch is on); raises the mapped
  // error. The folder above it is opened once (FileSystem::OpenParentFolder) and the file's
  // attributes given back, its size read and the file deleted in that one folder.
  void KillFile(const std::string& FileName);
  // COutput::KillFolder: removes one empty folder or one junction (what it is, is looked at
  // once, just before, in the folder above it, where it is then removed); raises the mapped
  // error.
  void KillFolder(const std::string& FolderName);
  // COutput::CreateFolder: "*NEW* " + path + "  :: DIR", the folder made with every missing
  // level, the line ended with the outcome; never raises.
  void CreateFolder(const std::string& FolderName);

  // The same steps for an entry of an open folder, as the walks hold it: `path` is the entry's
  // full path (for the trash), `record` the entry as a listing or a look just before describes
  // it (its size is what the deletion frees).
  void KillFileAt(const platform::Folder& folder, std::string_view name, const std::string& path,
                  const platform::FindRecord& record);
  void KillFolderAt(const platform::Folder& folder, std::string_view name, bool junction);

  // The calling pattern of every deletion: the entry's line, the deletion with its error caught,
  // the line ended with the caught error. True when deleted.
  //
  // A file of an open folder; `listed` is its record from a listing nothing has acted on since,
  // or null when it must be read again (an earlier pass may have deleted it).
  bool DeleteAndReportFile(const platform::Folder& folder, const platform::FindRecord* listed,
                           std::string_view name, const std::string& path);
  // A file by path: the folder that holds it is opened once, the file looked at once there for
  // its line, then deleted there.
  bool DeleteAndReportFile(const std::string& path);
  // The same for a path of the recorded list, except that what the look finds to be a folder, a
  // junction or a special file (one may have taken a file's name since the list was made) is
  // passed over without a line. True when deleted.
  bool DeleteAndReportRecordedFile(const std::string& path);
  // A folder entry (an empty folder or a junction) of an open folder.
  bool RemoveAndReportFolder(const platform::Folder& folder, std::string_view name,
                             const std::string& path, bool junction);
  // A folder by path whose kind the caller has just looked at, removed in the folder that holds
  // it, opened once.
  bool RemoveAndReportFolder(const std::string& path, bool junction);
  // A folder by path: looked at once in the folder that holds it, for the line, the count and
  // the removal alike.
  bool RemoveAndReportFolder(const std::string& path);

  // The line of a named folder that does not exist: the path, "  :: DIR" and the path-not-found
  // error; counted among the reported folders unless DontCount.
  void ReportMissingFolder(const std::string& path, bool DontCount);

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
  // (DeleteWithLine). `path_of` gives the full path of an entry name (the reference may change
  // with the next call). False when some file stayed.
  bool DeleteListedFiles(const platform::Folder& folder,
                         std::span<platform::FindRecord* const> files, bool described,
                         const std::function<const std::string&(std::string_view)>& path_of);

  // Writes `line`, the line of one entry as its deletion ends it when nothing goes wrong
  // (without the line end; counted by the caller), and runs `deletion`, which raises the error
  // that kept the entry; the line then ends with it. While the log is healthy, the line of an
  // entry that goes for good reaches the log before `deletion` runs, and leaves it again when
  // the deletion fails, so that a run killed at any moment leaves no deletion unrecorded; with
  // `may_go_to_trash` a run that trashes relies on its undo record instead, which names each
  // entry before it moves. True when deleted.
  bool DeleteWithLine(const std::string& line, bool may_go_to_trash,
                      const std::function<void()>& deletion);

 private:
  // A batch of files whose lines are written ahead of their deletion (DeleteListedFiles).
  struct AheadBatch {
    size_t end = 0;  // where in DeleteListedFiles' files the next batch starts
    std::string lines;
    std::vector<size_t> line_ends;                   // where each line ends in `lines`
    std::vector<const platform::FindRecord*> files;  // the files the lines name
    std::vector<size_t> places;                      // their places in DeleteListedFiles' files
  };

  void CountDeletedFile(double size);
  void CountReportedFile(double size);
  void CountReportedFolder(bool junction);
  void CountRemovedFolder(bool junction);
  // DeleteAndReportFile by path; with `files_only`, DeleteAndReportRecordedFile.
  bool DeleteNamedFile(const std::string& path, bool files_only);
  // RemoveAndReportFolder of `name` in the folder `holder` that holds it, which failed to open
  // with `open_error` when it is not open: the line then ends with that error.
  bool RemoveInHolder(const platform::Folder& holder, uint32_t open_error, std::string_view name,
                      const std::string& path, bool junction);
  // A file's line as its deletion ends it without an error, counted as reported; the path
  // alone, uncounted, when `code` says its size could not be read.
  std::string FileLine(const std::string& path, uint32_t code, uint64_t size);
  // A folder's or junction's line, counted as reported.
  std::string FolderLine(const std::string& path, bool junction);
  // Lines may go ahead of deletions that may move to the trash only while nothing trashes.
  bool CanWriteAhead() const;

  // Fills `batch` from files[next...]; see DeleteListedFiles.
  void MakeAheadBatch(std::span<platform::FindRecord* const> files, size_t next,
                      const std::function<const std::string&(std::string_view)>& path_of,
                      AheadBatch* batch);
  // After the first `went` files of the batch went and the next did not for `error`: counts
  // and shows what went, takes back the lines of what did not, and ends the line of the file
  // that stayed with its error. Returns where the deletion goes on; false in *all when a file
  // stayed.
  size_t EndAheadBatch(const AheadBatch& batch, size_t went, uint32_t error, bool* all);

  platform::FileSystem& files_;
  COutput& output_;
  const bool& to_trash_;
  UndoRecord* undo_record_ = nullptr;
  DeletionTotals totals_;

  AheadBatch batch_;
  std::vector<uint32_t> described_;  // per file of DeleteListedFiles: kSuccess or why not read
  std::vector<platform::FindRecord*> to_describe_;
  std::vector<uint32_t> describe_codes_;
};

// What a file's line shows after its path: "  :: 1 234 bytes" as ovFormatInt64 writes the size.
std::string FileSizeText(double size);

// How a path stands in a line: in the encoding of the run's text, without control characters.
std::string PathText(std::string_view path);

}  // namespace sweepwell
