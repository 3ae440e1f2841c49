#include "cleaner/modEmptyFolders.h"

#include "cleaner/COutput.h"
#include "cleaner/FolderWalk.h"
#include "cleaner/RunContext.h"
#include "cleaner/modMain.h"
#include "support/ov_paths.h"

namespace sweepwell {

namespace {

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

  void VisitFolder(FolderWalk&, WalkFolder&) override {}

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
    if (IsEntryEmpty(*walk.run().file_system, folder.folder, entry.name)) {
      walk.output().Deletion().RemoveAndReportFolder(
          folder.folder, entry.name, walk.EntryPath(entry.name), IsJunctionRecord(entry));
    }
  }

  bool recursive_;
};

}  // namespace

bool IsFolderEmpty(const RunContext& run, const std::string& path) {
  bool empty = false;
  return run.file_system->IsFolderEmpty(path, &empty) == platform::error::kSuccess && empty;
}

void DeleteEmptyFolders(RunContext& run, const std::string& path, bool recursive, bool withBase) {
  if (!IsFolderPath(run, path)) {
    run.Output->Deletion().ReportMissingFolder(path, true);
    return;
  }
  // The named folder is listed even when it is a junction: the switch governs subfolders only.
  EmptyFoldersVisitor visitor(recursive);
  FolderWalk(run).Run(path, visitor, true);
  if (withBase && IsFolderEmpty(run, path)) run.Output->Deletion().RemoveAndReportFolder(path);
}

}  // namespace sweepwell
