#include "cleaner/modByAge.h"

#include "cleaner/COutput.h"
#include "cleaner/FolderWalk.h"
#include "cleaner/RunContext.h"
#include "cleaner/modMain.h"
#include "support/ov_format.h"

namespace sweepwell {

namespace {

constexpr double kTicksPerDay = 864000000000.0;

class ByAgeVisitor : public FilePassVisitor {
 public:
  using FilePassVisitor::FilePassVisitor;

  void VisitFolder(FolderWalk& walk, WalkFolder& folder) override {
    for (const platform::FindRecord& entry : folder.list.Entries()) {
      double t = support::ovLargeIntegerToDouble(entry.last_write_time);
      // A link's access time is refreshed by the kernel whenever anything follows it or reads
      // what it says (every listing that tells a link to a folder from a link to a file, every
      // "ls -l"), so it tells nothing about its use, and counting it would let a preview (or
      // this very walk) change what the next run deletes: a link's age is its write time.
      if ((entry.attributes & platform::attr::kReparsePoint) == 0) {
        double accessed = support::ovLargeIntegerToDouble(entry.last_access_time);
        if (t < accessed) t = accessed;
      }
      if (t < walk.run().AgeThreshold && IsSelectableFileRecord(entry)) {
        walk.output().Deletion().DeleteAndReportFile(folder.folder, &entry, entry.name,
                                                     walk.EntryPath(entry.name));
      }
      ProcessPendingEvents(walk.output());
    }
  }
};

}  // namespace

void SetAgeDays(RunContext& run, int32_t days) {
  double now = support::ovLargeIntegerToDouble(platform::GetSystemTimeAsFileTime());
  run.AgeThreshold = now - static_cast<double>(days) * kTicksPerDay;
}

void DeleteFilesByAge(RunContext& run, const std::string& path, bool recursive) {
  ByAgeVisitor visitor(recursive);
  WalkEnterableFolder(run, path, visitor);
}

}  // namespace sweepwell
