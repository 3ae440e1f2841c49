#include "cleaner/modByAge.h"

#include "cleaner/COutput.h"
#include "cleaner/FolderWalk.h"
#include "cleaner/RunContext.h"
#include "cleaner/modMain.h"
#include "support/ov_error.h"
#include "support/ov_format.h"
#include "support/ov_strings.h"

namespace sweepwell {

namespace {

constexpr double kTicksPerDay = 864000000000.0;

// The latest of the times `times` counts of `entry`; false when the entry has none of them (a
// birth time alone where the file system keeps none): its age is unknown and it stays.
bool LatestCountedTime(const platform::FindRecord& entry, uint32_t times, double* latest) {
  bool any = false;
  auto count = [&](platform::FileTime time) {
    const double t = support::ovLargeIntegerToDouble(time);
    if (!any || *latest < t) *latest = t;
    any = true;
  };
  if (times & kAgeTimeWrite) count(entry.last_write_time);
  // A link's access time is refreshed by the kernel whenever anything follows it or reads
  // what it says (every listing that tells a link to a folder from a link to a file, every
  // "ls -l"), so it tells nothing about its use, and counting it would let a preview (or
  // this very walk) change what the next run deletes: a link's age is its write time.
  const bool link = (entry.attributes & platform::attr::kReparsePoint) != 0;
  if ((times & kAgeTimeAccess) && !link) count(entry.last_access_time);
  if ((times & kAgeTimeAccess) && link && (times & ~kAgeTimeAccess) == 0) {
    count(entry.last_write_time);
  }
  if ((times & kAgeTimeChange) && entry.change_time != 0) count(entry.change_time);
  if ((times & kAgeTimeBirth) && entry.has_creation_time) count(entry.creation_time);
  return any;
}

struct TimeName {
  const char* name;
  uint32_t bit;
};
constexpr TimeName kTimeNames[] = {{"write", kAgeTimeWrite},
                                   {"access", kAgeTimeAccess},
                                   {"change", kAgeTimeChange},
                                   {"birth", kAgeTimeBirth}};

class ByAgeVisitor : public FilePassVisitor {
 public:
  using FilePassVisitor::FilePassVisitor;

  void VisitFolder(FolderWalk& walk, WalkFolder& folder) override {
    for (const platform::FindRecord& entry : folder.list.Entries()) {
      double t = 0;
      if (!LatestCountedTime(entry, walk.run().AgeTimes, &t)) continue;
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

bool ParseAgeTimes(const std::string& text, uint32_t* times) {
  uint32_t bits = 0;
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find_first_of(",; \t", start);
    if (end == std::string::npos) end = text.size();
    if (end > start) {
      const std::string word = support::UpperCase(text.substr(start, end - start));
      uint32_t bit = 0;
      for (const TimeName& known : kTimeNames) {
        if (word == support::UpperCase(known.name)) bit = known.bit;
      }
      if (bit == 0) return false;
      bits |= bit;
    }
    start = end + 1;
  }
  if (bits == 0) return false;
  *times = bits;
  return true;
}

void SetAgeTimes(RunContext& run, const std::string& text) {
  uint32_t times = 0;
  if (!ParseAgeTimes(text, &times)) {
    throw support::MakeError(support::errnum::kInvalidCall, "cleaner");
  }
  run.AgeTimes = times;
}

void DeleteFilesByAge(RunContext& run, const std::string& path, bool recursive) {
  ByAgeVisitor visitor(recursive);
  WalkEnterableFolder(run, path, visitor);
}

}  // namespace sweepwell
