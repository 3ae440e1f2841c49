#include "cleaner/modDelJunctions.h"

#include "cleaner/COutput.h"
#include "cleaner/FolderWalk.h"
#include "cleaner/RunContext.h"
#include "cleaner/modMain.h"
#include "support/ov_paths.h"

namespace sweepwell {

namespace {

class JunctionsVisitor : public FolderVisitor {
 public:
  explicit JunctionsVisitor(bool recursive) : recursive_(recursive) {}

  void VisitFolder(FolderWalk&, WalkFolder&) override {}

  bool VisitChild(FolderWalk& walk, WalkFolder& folder,
                  const platform::FindRecord& entry) override {
    if (!IsSubfolderEntry(entry.attributes, entry.name)) return false;
    if (!IsJunctionRecord(entry)) return recursive_;
    walk.output().Deletion().RemoveAndReportFolder(folder.folder, entry.name,
                                                   walk.EntryPath(entry.name), true);
    return false;
  }

 private:
  bool recursive_;
};

}  // namespace

void DeleteJunctions(RunContext& run, const std::string& path, bool recursive, bool withBase) {
  if (!IsFolderPath(run, path)) {
    run.Output->Deletion().ReportMissingFolder(path, true);
    return;
  }
  if (withBase && IsJunctionPath(run, path))
    run.Output->Deletion().RemoveAndReportFolder(path, true);
  // Listed in every case: once the junction itself is gone the listing finds nothing, and
  // without the base a named junction's target is searched.
  JunctionsVisitor visitor(recursive);
  FolderWalk(run).Run(path, visitor, true);
}

}  // namespace sweepwell
