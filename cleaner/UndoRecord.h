// The record that lets a run be undone: one file per run that trashed anything, in a folder
// "Undo" beside the monthly log, listing every entry the run sent to the trash.
//
// A record is text, one line per fact, fields separated by tabs. Each field is written as its
// bytes, except that "%", tab, line ends and the other control bytes become %XX, so any byte of a
// file name survives and a line is always one line:
//
//   Sweepwell undo record 1
//   started  2026-12-07T15:31:50              the run's start, local time
//   script   /home/me/clean.loom              the script, absolute
//   folder   PATH  MODE  OWNER  GROUP         a folder on the way of the entries after it, as it
//                                             was then (mode in octal, with its sticky and set-id
//                                             bits; numeric owner and group)
//   link     PATH  TEXT  OWNER                a link on the way, as it was then
//   trash    DATE  TRASH-FOLDER  NAME  PATH   entry N (the N-th such line): its .trashinfo date,
//                                             the trash folder, its name under files/, where it was
//   failed   N                                entry N did not go to the trash after all
//   restored N  DATE                          an undo brought entry N back
//   undone   DATE                             an undo brought every entry back
//
// A run writes an entry's line before the entry moves (see platform::TrashMove), with one write()
// per line on a file opened for appending: the line is in the system's cache when the write
// returns, so a run killed at any point (kill -9 included) leaves a record of everything it
// trashed. Each folder on an entry's way is written down once, before the first entry below
// it, so that an undo can make again the folders the run emptied and removed with the mode and
// owner they had, and refuse a folder that somebody else owns now. Records written before
// folder lines existed still read: their folders are made as mkdir -p makes them.
//
// The run holds a lock on its record from before the record has its name until the run ends,
// and so does an undo while it works, so an undo never runs beside the run it undoes or beside
// another undo of it. A run that cannot make, lock or write its record trashes nothing more:
// each entry it would have trashed is refused (and says so in its line), since an entry
// trashed without a record could not be undone. Nothing is ever taken out of a record; an undo
// only appends.
#pragma once

#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "platform/file.h"
#include "platform/file_system.h"
#include "platform/platform.h"
#include "platform/trash.h"

namespace sweepwell {

// The folder of the records beside the log file `log_file_name`.
std::string UndoFolderBeside(const std::string& log_file_name);

// Writes the record of one run. Nothing is made on disk before the first trashed entry, so a run
// that trashes nothing (or deletes for good) leaves no record.
class UndoRecord {
 public:
  // `folder` is where records are kept (made when needed, on `files`, which must outlive the
  // record); `script` the run's script as named.
  UndoRecord(platform::FileSystem& files, std::string folder, const std::string& script,
             const platform::SystemTime& started);
  // Writes the record out to the disk and closes it (which releases the lock).
  ~UndoRecord();
  UndoRecord(const UndoRecord&) = delete;
  UndoRecord& operator=(const UndoRecord&) = delete;

  // Prepares `move` so that the entry is written down before it moves; call MoveFinished after.
  void WatchMove(platform::TrashMove* move);
  // Ends a watched move: entries announced but not (or not finally) moved are marked failed.
  void MoveFinished(bool moved);

  // The record's path; empty until the first entry.
  const std::string& Path() const { return path_; }
  // The record could not be made or written; said once on standard error.
  bool Failed() const { return failed_; }

 private:
  void Announce(const platform::TrashedEntry& entry, platform::TrashMove* move);
  void WriteFoldersOnTheWay(const std::string& path);
  bool Open();
  void Write(const std::string& line);
  void Fail(uint32_t code);

  platform::FileSystem& files_;
  std::string folder_, script_, id_, started_;
  std::string path_;
  platform::File file_;
  bool failed_ = false;
  int entries_ = 0;
  std::vector<int> announced_;  // entries of the move in progress
  std::set<std::string> folders_written_;
};

// One entry of a record as read back.
struct UndoEntry {
  int index = 0;  // N: 1 for the first trash line
  platform::TrashedEntry trashed;
  bool failed = false;    // never went to the trash
  bool restored = false;  // an undo brought it back
};

// A record as read back.
struct UndoRun {
  std::string id;  // the record's name without ".undo": what the user names on the command line
  std::string started;  // "YYYY-MM-DDThh:mm:ss"
  std::string script;
  std::vector<UndoEntry> entries;
  platform::FolderStates folders;  // by path; the first line of a path stands
  bool undone = false;
  int damaged_lines = 0;  // lines that could not be read (a cut last line is not counted)
};

// Reads a record's text. False when it is no record (the header is missing or damaged).
bool ParseUndoRecord(std::string_view text, UndoRun* run);

// The names (ids) of the records in `folder`, oldest first; empty when there are none.
std::vector<std::string> ListUndoRecords(platform::FileSystem& files, const std::string& folder);

// The file of the record `id` in `folder`; empty when `id` is no record name (a path, "..").
std::string UndoRecordPath(const std::string& folder, const std::string& id);

// The lines an undo appends: entry `index` restored, and the whole run undone.
std::string RestoredLine(int index, const std::string& date);
std::string UndoneLine(const std::string& date);

// The local time in the record's form "YYYY-MM-DDThh:mm:ss".
std::string RecordDate(const platform::SystemTime& time);

// A field as the record writes it, and back (false for a damaged field).
std::string EncodeRecordField(std::string_view bytes);
bool DecodeRecordField(std::string_view field, std::string* bytes);

}  // namespace sweepwell
