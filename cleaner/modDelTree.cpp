#include "cleaner/modDelTree.h"

#include "cleaner/COutput.h"
#include "cleaner/FolderWalk.h"
#include "cleaner/RunContext.h"
#include "cleaner/modMain.h"
#include "support/ov_paths.h"
#include "support/ov_strings.h"

namespace sweepwell {

namespace {

using platform::FindRecord;

// Deletes the listed files of `folder`; false when some file stayed.
bool DeleteListed(FolderWalk& walk, WalkFolder& folder, const std::vector<FindRecord*>& files) {
  return walk.output().Deletion().DeleteListedFiles(
      folder.folder, files, folder.list.PlainFilesDescribed(),
      [&walk](std::string_view name) -> const std::string& { return walk.EntryPath(name); });
}

class DeleteFilesVisitor : public FilePassVisitor {
 public:
  DeleteFilesVisitor(std::string pattern, bool recursive)
      : FilePassVisitor(recursive), pattern_(std::move(pattern)) {}

  void VisitFolder(FolderWalk& walk, WalkFolder& folder) override {
    files_.clear();
    for (FindRecord& entry : folder.list.Entries()) {
      if (platform::PathMatchSpec(entry.name, pattern_) && IsSelectableFileRecord(entry)) {
        files_.push_back(&entry);
      }
    }
    DeleteListed(walk, folder, files_);
  }
  bool DescribesFilesItself() const override { return true; }

 private:
  std::string pattern_;
  std::vector<FindRecord*> files_;
};

// Empties a folder tree; a folder's result is true when everything inside it went.
class DeleteContentsVisitor : public FolderVisitor {
 public:
  void VisitFolder(FolderWalk& walk, WalkFolder& folder) override {
    files_.clear();
    for (FindRecord& entry : folder.list.Entries()) {
      if (!IsFolderRecord(entry)) files_.push_back(&entry);
    }
    if (!DeleteListed(walk, folder, files_)) folder.result = false;
  }
  bool DescribesFilesItself() const override { return true; }

  bool VisitChild(FolderWalk& walk, WalkFolder& folder, const FindRecord& entry) override {
    if (!IsSubfolderEntry(entry.attributes, entry.name)) return false;
    if (!IsJunctionRecord(entry)) return true;
    // A junction is removed, never entered.
    if (!walk.output().Deletion().RemoveAndReportFolder(folder.folder, entry.name,
                                                        walk.EntryPath(entry.name), true)) {
      folder.result = false;
    }
    return false;
  }

  void LeaveChild(FolderWalk& walk, WalkFolder& folder, const FindRecord& entry,
                  bool child_result) override {
    if (!child_result || !walk.output().Deletion().RemoveAndReportFolder(
                             folder.folder, entry.name, walk.EntryPath(entry.name), false)) {
      folder.result = false;
    }
  }

 private:
  std::vector<FindRecord*> files_;
};

}  // namespace

void DeleteFiles(RunContext& run, const std::string& path, bool recursive) {
  std::string s = support::ovTrimEx(path);
  if (!s.empty() && s.back() == platform::kPathSeparator) s += "*.*";
  std::string folder = support::ovGetFilePath(s);
  std::string pattern = support::ovGetFileName(s);
  DeleteFilesVisitor visitor(pattern, recursive);
  WalkEnterableFolder(run, folder, visitor);
}

void DeleteFolder(RunContext& run, const std::string& path) {
  Deleter& deleter = run.Output->Deletion();
  // One look decides what the path is, and the removal, its line and its count follow it: the
  // walk never enters a link in the folder's place (it opens the start without following one).
  uint32_t attributes = 0;
  uint64_t size = 0;
  if (platform::GetFileAttributes(*run.file_system, path, &attributes, &size) !=
          platform::error::kSuccess ||
      (attributes & platform::attr::kDirectory) == 0) {
    deleter.ReportMissingFolder(path, false);
    return;
  }
  const bool junction = (attributes & platform::attr::kReparsePoint) != 0;
  bool ok = true;
  if (!junction) {
    DeleteContentsVisitor visitor;
    ok = FolderWalk(run).Run(path, visitor, false);
  }
  if (ok) deleter.RemoveAndReportFolder(path, junction);
}

}  // namespace sweepwell
