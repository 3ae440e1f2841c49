#include "cleaner/modByMask.h"

#include <unordered_set>
#include <vector>

#include "cleaner/COutput.h"
#include "cleaner/FolderWalk.h"
#include "cleaner/modMain.h"
#include "support/ov_strings.h"

namespace sweepwell {

namespace {

// The collected masks in the order they came, keyed by their upper-case form.
struct MaskList {
  std::vector<std::string> masks;
  std::unordered_set<std::string> keys;
};

MaskList& Masks() {
  static MaskList masks;
  return masks;
}

class ByMaskVisitor : public FilePassVisitor {
 public:
  using FilePassVisitor::FilePassVisitor;

  void VisitFolder(FolderWalk& walk, WalkFolder& folder) override {
    // One listing serves every mask: a file matching two masks is attempted twice.
    bool first_mask = true;
    for (const std::string& mask : Masks().masks) {
      for (const platform::FindRecord& entry : folder.list.Entries()) {
        if (platform::PathMatchSpec(entry.name, mask) && !IsFolderRecord(entry)) {
          // After the first mask's pass the listing may name files that are gone.
          DeleteAndReportFile(walk.output(), folder.folder, first_mask ? &entry : nullptr,
                              entry.name, walk.EntryPath(entry.name));
        }
      }
      first_mask = false;
      ProcessPendingEvents(walk.output());
    }
  }
};

}  // namespace

void AddMask(const std::string& mask) {
  if (Masks().keys.insert(support::UpperCase(mask)).second) Masks().masks.push_back(mask);
}

void ClearMasks() { Masks() = MaskList(); }

void DeleteFilesByMask(const std::string& path, bool recursive) {
  ByMaskVisitor visitor(recursive);
  WalkEnterableFolder(path, visitor);
}

}  // namespace sweepwell
