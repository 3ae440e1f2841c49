#include "cleaner/modByName.h"

#include <vector>

#include "cleaner/COutput.h"
#include "cleaner/FolderWalk.h"
#include "cleaner/Guard.h"
#include "cleaner/RunContext.h"
#include "cleaner/modMain.h"
#include "support/ov_paths.h"
#include "support/ov_strings.h"

namespace sweepwell {

namespace {

using platform::FindRecord;

// One walk both searches and deletes: a matched folder is entered by the walk that found it,
// through the folder handle it was listed in, so everything that keeps today's walks safe (no
// link followed into, identities checked on the way back up) holds inside it too.
class FoldersNamedVisitor : public FolderVisitor {
 public:
  explicit FoldersNamedVisitor(std::string mask) : mask_(std::move(mask)) {}

  void VisitFolder(FolderWalk& walk, WalkFolder& folder) override {
    deleting_.resize(walk.Depth());
    deleting_.back() = entering_deleted_;
    if (!deleting_.back()) return;
    files_.clear();
    for (FindRecord& entry : folder.list.Entries()) {
      if (!IsFolderRecord(entry)) files_.push_back(&entry);
    }
    const bool all_gone = walk.output().Deletion().DeleteListedFiles(
        folder.folder, files_, folder.list.PlainFilesDescribed(),
        [&walk](std::string_view name) -> const std::string& { return walk.EntryPath(name); });
    if (!all_gone) folder.result = false;
  }
  bool DescribesFilesItself() const override { return true; }

  bool VisitChild(FolderWalk& walk, WalkFolder& folder, const FindRecord& entry) override {
    if (!IsSubfolderEntry(entry.attributes, entry.name)) return false;
    if (InDeletedTree(walk)) {
      if (!IsJunctionRecord(entry)) return entering_deleted_ = true;
      // A link inside a folder being deleted is removed, never entered.
      if (!walk.output().Deletion().RemoveAndReportFolder(folder.folder, entry.name,
                                                          walk.EntryPath(entry.name), true)) {
        folder.result = false;
      }
      return false;
    }
    entering_deleted_ = false;
    if (IsJunctionRecord(entry))
      return IsEnterableSubfolderEntry(walk.run(), entry.attributes, entry.name);
    if (!platform::PathMatchSpec(entry.name, mask_)) return true;  // only searched
    // A protected folder of a matching name is neither removed nor searched.
    if (!GuardAllowsFoundFolder(walk.run(), walk.EntryPath(entry.name))) {
      folder.result = false;
      return false;
    }
    entering_deleted_ = true;
    return true;
  }

  void LeaveChild(FolderWalk& walk, WalkFolder& folder, const FindRecord& entry,
                  bool child_result) override {
    if (!InDeletedTree(walk) &&
        (IsJunctionRecord(entry) || !platform::PathMatchSpec(entry.name, mask_))) {
      return;  // a folder only searched
    }
    if (!child_result || !walk.output().Deletion().RemoveAndReportFolder(
                             folder.folder, entry.name, walk.EntryPath(entry.name), false)) {
      folder.result = false;
    }
  }

 private:
  // Whether the folder being worked on lies inside a matched folder (or is one).
  bool InDeletedTree(const FolderWalk& walk) const {
    return walk.Depth() <= deleting_.size() && deleting_[walk.Depth() - 1];
  }

  std::string mask_;
  std::vector<bool> deleting_;     // per depth of the walk's stack
  bool entering_deleted_ = false;  // the folder about to be pushed is (in) a matched folder
  std::vector<FindRecord*> files_;
};

}  // namespace

void DeleteFoldersNamed(RunContext& run, const std::string& path) {
  std::string s = support::ovTrimEx(path);
  if (!s.empty() && s.back() == platform::kPathSeparator) s += "*.*";
  std::string folder = support::ovGetFilePath(s);
  std::string mask = support::ovGetFileName(s);
  FoldersNamedVisitor visitor(mask);
  WalkEnterableFolder(run, folder, visitor);
}

}  // namespace sweepwell
