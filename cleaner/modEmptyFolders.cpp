#include "cleaner/modEmptyFolders.h"

#include "cleaner/COutput.h"
#include "cleaner/FolderWalk.h"
#include "cleaner/RunContext.h"
#include "cleaner/modMain.h"
#include "support/ov_format.h"
#include "support/ov_paths.h"

namespace sweepwell {

namespace {

// Written at or after the moment of "empty-folders-set-days", by another than this run (see
// RunContext::FolderTimesBeforeRun); a folder whose record has no name (its time unknown)
// counts as young while a minimum age is set.
bool IsYoungFolder(const RunContext& run, const platform::FindRecord& entry, uint64_t path_key) {
  if (run.FolderAgeThreshold == 0) return false;
  if (entry.name.empty()) return true;
  platform::FileTime written = entry.last_write_time;
  const auto before = run.FolderTimesBeforeRun.find(path_key);
  if (before != run.FolderTimesBeforeRun.end() && before->second < written) {
    written = before->second;
  }
  return support::ovLargeIntegerToDouble(written) >= run.FolderAgeThreshold;
}

bool IsEntryEmpty(platform::FileSystem& files, const platform::Folder& folder,
                  std::string_view name) {
  bool empty = false;
  return files.IsEntryFolderEmpty(folder, name, &empty) == platform::error::kSuccess && empty;
}

// Each subfolder is tested after its own subtree was handled, so a chain of folders that hold
// nothing but empty folders goes in one run.
class EmptyFoldersVisitor : public FolderVisitor {
 public:
  explicit EmptyFoldersVisitor(bool recursive) : recursive_(recursive) {}

  void VisitFolder(FolderWalk& walk, WalkFolder& folder) override {
    if (walk.Depth() != 1) return;
    // The named folder's own write time, as it was before its empty subfolders went (removing
    // one writes the folder): what the minimum age of the -with-base forms looks at.
    for (const platform::FindRecord& entry : folder.list.Entries()) {
      if (entry.name == ".") base_ = entry;
    }
  }
  // The named folder's "." record; no name when the listing had none.
  const platform::FindRecord& base() const { return base_; }

  bool VisitChild(FolderWalk& walk, WalkFolder& folder,
                  const platform::FindRecord& entry) override {
    if (!IsEnterableSubfolderEntry(walk.run(), entry.attributes, entry.name)) return false;
    if (recursive_) return true;
    RemoveIfEmpty(walk, folder, entry);
    return false;
  }

  void LeaveChild(FolderWalk& walk, WalkFolder& folder, const platform::FindRecord& entry,
                  bool) override {
    RemoveIfEmpty(walk, folder, entry);
  }

 private:
  static void RemoveIfEmpty(FolderWalk& walk, WalkFolder& folder,
                            const platform::FindRecord& entry) {
    // The record is the parent's listing, made before anything below was removed.
    if (IsYoungFolder(walk.run(), entry, ChildPathKey(folder.path_key, entry.name))) return;
    if (IsEntryEmpty(*walk.run().file_system, folder.folder, entry.name)) {
      walk.output().Deletion().RemoveAndReportFolder(
          folder.folder, entry.name, walk.EntryPath(entry.name), IsJunctionRecord(entry));
    }
  }

  bool recursive_;
  platform::FindRecord base_;
};

}  // namespace

void SetFolderAgeDays(RunContext& run, int32_t days) {
  constexpr double kTicksPerDay = 864000000000.0;
  const double now = support::ovLargeIntegerToDouble(platform::GetSystemTimeAsFileTime());
  run.FolderAgeThreshold = days <= 0 ? 0 : now - static_cast<double>(days) * kTicksPerDay;
}

bool IsFolderEmpty(const RunContext& run, const std::string& path) {
  bool empty = false;
  return platform::IsFolderEmpty(*run.file_system, path, &empty) == platform::error::kSuccess &&
         empty;
}

void DeleteEmptyFolders(RunContext& run, const std::string& path, bool recursive, bool withBase) {
  if (!IsFolderPath(run, path)) {
    run.Output->Deletion().ReportMissingFolder(path, true);
    return;
  }
  // The named folder is listed even when it is a junction: the switch governs subfolders only.
  EmptyFoldersVisitor visitor(recursive);
  FolderWalk(run).Run(path, visitor, true);
  if (withBase && !IsYoungFolder(run, visitor.base(), PathKeyOf(path)) &&
      IsFolderEmpty(run, path)) {
    run.Output->Deletion().RemoveAndReportFolder(path);
  }
}

}  // namespace sweepwell
