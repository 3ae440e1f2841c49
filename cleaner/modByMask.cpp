#include "cleaner/modByMask.h"

#include "cleaner/COutput.h"
#include "cleaner/FolderWalk.h"
#include "cleaner/RunContext.h"
#include "cleaner/modMain.h"
#include "support/ov_strings.h"

namespace sweepwell {

namespace {

class ByMaskVisitor : public FilePassVisitor {
 public:
  using FilePassVisitor::FilePassVisitor;

  void VisitFolder(FolderWalk& walk, WalkFolder& folder) override {
    // One listing serves every mask: a file matching two masks is attempted twice.
    bool first_mask = true;
    for (const std::string& mask : walk.run().Masks.masks) {
      for (const platform::FindRecord& entry : folder.list.Entries()) {
        if (platform::PathMatchSpec(entry.name, mask) && IsSelectableFileRecord(entry)) {
          // After the first mask's pass the listing may name files that are gone.
          walk.output().Deletion().DeleteAndReportFile(folder.folder, first_mask ? &entry : nullptr,
                                                       entry.name, walk.EntryPath(entry.name));
        }
      }
      first_mask = false;
      ProcessPendingEvents(walk.output());
    }
  }
};

}  // namespace

void AddMask(RunContext& run, const std::string& mask) {
  if (run.Masks.keys.insert(support::UpperCase(mask)).second) run.Masks.masks.push_back(mask);
}

void ClearMasks(RunContext& run) { run.Masks = MaskList(); }

void DeleteFilesByMask(RunContext& run, const std::string& path, bool recursive) {
  ByMaskVisitor visitor(recursive);
  WalkEnterableFolder(run, path, visitor);
}

}  // namespace sweepwell
