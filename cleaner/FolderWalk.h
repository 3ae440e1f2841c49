// The folder walk that every recursive command shares.
//
// It keeps its own stack instead of recursing, so a tree of any depth neither exhausts the
// program's stack nor hits the path length limit: each folder on the stack holds an open handle
// and every action on an entry is taken relative to it (never by resolving the long path again).
// Only the newest folders keep their handles open; an older one is reopened through ".." of its
// child and checked to be the same folder, so a deep tree needs a bounded number of descriptors.
//
// The order is the one the commands describe: a folder is listed once, the visitor's pass over
// its entries runs (VisitFolder), then each entry is offered in listing order (VisitChild) and a
// subfolder the visitor accepts is walked completely before the next entry; LeaveChild follows
// each walked subtree.
//
// A link that leads back to a folder already on the walk's path is not entered: with the switch
// that lets walks follow links, a loop would otherwise never end.
//
// Every folder is opened and listed through the run's file system (RunContext::file_system).
#pragma once

#include <set>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "cleaner/CFilesList.h"
#include "platform/file_system.h"
#include "platform/platform.h"
#include "platform/stat_pool.h"

namespace sweepwell {

class COutput;
class FolderWalk;
struct RunContext;

// One folder on the walk's stack.
struct WalkFolder {
  platform::Folder folder;  // open while the walk works in it
  platform::FolderId id;
  std::string name;        // its name in the parent folder
  size_t path_length = 0;  // its path is the first path_length bytes of the walk's path
  CFilesList list;
  size_t next_child = 0;
  bool result = true;  // handed to the parent's LeaveChild
};

class FolderVisitor {
 public:
  virtual ~FolderVisitor() = default;
  // Once per folder, after it was listed and before any of its subfolders is walked.
  virtual void VisitFolder(FolderWalk& walk, WalkFolder& folder) = 0;
  // For each entry in listing order: true to walk the entry (a folder) next.
  virtual bool VisitChild(FolderWalk& walk, WalkFolder& folder,
                          const platform::FindRecord& entry) = 0;
  // After the subtree of `entry` was walked; `child_result` is that folder's result.
  virtual void LeaveChild(FolderWalk& walk, WalkFolder& folder, const platform::FindRecord& entry,
                          bool child_result) {
    (void)walk, (void)folder, (void)entry, (void)child_result;
  }
  // True when the visitor reads sizes and times only of the files it deletes, and has them
  // described first (Deleter::DeleteListedFiles does): the listings may then leave plain files
  // undescribed (CFilesList::InitList names_only), which saves a look at every file not deleted.
  virtual bool DescribesFilesItself() const { return false; }
};

// The shape of the commands that act on the files of a folder and, when recursive, of every
// enterable subfolder (junctions only while the run's GoBelowJunctions is set).
class FilePassVisitor : public FolderVisitor {
 public:
  explicit FilePassVisitor(bool recursive) : recursive_(recursive) {}
  bool VisitChild(FolderWalk& walk, WalkFolder& folder, const platform::FindRecord& entry) override;

 private:
  bool recursive_;
};

class FolderWalk {
 public:
  // The walk reports to run.Output, which must be open.
  explicit FolderWalk(RunContext& run);

  // Walks the tree of the folder at `path`; a folder that cannot be opened has no entries.
  // The start is entered through a link only with `start_may_be_link`: a caller that checked it
  // is a real folder must not end up in a link put in its place since. Returns the start
  // folder's result.
  bool Run(const std::string& path, FolderVisitor& visitor, bool start_may_be_link);

  // The full path of `name` in the folder being worked on; valid until the next call.
  const std::string& EntryPath(std::string_view name);

  RunContext& run() { return run_; }
  COutput& output() { return output_; }

 private:
  void Push(const platform::FindRecord& entry, FolderVisitor& visitor);
  void CloseDeepAncestors();
  bool Reopen(size_t index, const platform::Folder& child);

  RunContext& run_;
  COutput& output_;
  platform::FileSystem& files_;
  std::vector<WalkFolder> stack_;
  std::set<std::pair<uint64_t, uint64_t>> on_path_;  // (device, inode) of the stack's folders
  std::string path_;
  // The stat engine of the library's search, held for the walk: while it lives, the listings
  // and the batches described on this thread look at their entries through its ring.
  platform::StatPool looks_;
};

// What a listing says of an entry: a folder (or junction), and a junction.
inline bool IsFolderRecord(const platform::FindRecord& entry) {
  return (entry.attributes & platform::attr::kDirectory) != 0;
}
inline bool IsJunctionRecord(const platform::FindRecord& entry) {
  return platform::attr::IsJunction(entry.attributes);
}

// A socket, a FIFO or a device node (on Windows the rare entry the system marks a device): not a
// file to clean. The commands that select files (by pattern, mask, list or age) never take one;
// only a whole-tree deletion removes them, because its folder must go. Nothing opens them.
inline bool IsSpecialRecord(const platform::FindRecord& entry) {
  return !IsFolderRecord(entry) && (entry.attributes & platform::attr::kDevice) != 0;
}
// A file that the selecting commands may take: neither a folder (or junction) nor special.
inline bool IsSelectableFileRecord(const platform::FindRecord& entry) {
  return !IsFolderRecord(entry) && !IsSpecialRecord(entry);
}

// Walks `path` with `visitor` when IsEnterableFolder(run, path); nothing at all otherwise.
void WalkEnterableFolder(RunContext& run, const std::string& path, FolderVisitor& visitor);

// The pending-events point between two entries of a walk: keys are handled and a stop request
// ends the run.
void ProcessPendingEvents(COutput& output);

}  // namespace sweepwell
