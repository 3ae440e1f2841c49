#include "cleaner/modByList.h"

#include <unordered_set>
#include <vector>

#include "cleaner/COutput.h"
#include "cleaner/FolderWalk.h"
#include "cleaner/modMain.h"
#include "support/ov_paths.h"

namespace sweepwell {

namespace {

// The recorded files in recording order, each once. The key is the path exactly as recorded:
// on a file system that tells letter case apart, "A.txt" and "a.txt" are two files, and keying
// them by an upper-case form would record one and silently never delete the other.
struct RecordedFiles {
  std::vector<std::string> paths;
  std::unordered_set<std::string> keys;
};

RecordedFiles& FilesList() {
  static RecordedFiles files;
  return files;
}

class RecordVisitor : public FilePassVisitor {
 public:
  using FilePassVisitor::FilePassVisitor;

  void VisitFolder(FolderWalk& walk, WalkFolder& folder) override {
    RecordedFiles& files = FilesList();
    for (const platform::FindRecord& entry : folder.list.Entries()) {
      if (IsFolderRecord(entry)) continue;
      const std::string& path = walk.EntryPath(entry.name);
      if (files.keys.insert(path).second) files.paths.push_back(path);
    }
  }
};

}  // namespace

void ClearFilesList() { FilesList() = RecordedFiles(); }

void AddFilesList(const std::string& path, bool recursive) {
  RecordVisitor visitor(recursive);
  WalkEnterableFolder(path, visitor);
}

void DeleteFilesByList(const std::string& mask) {
  for (const std::string& path : FilesList().paths) {
    if (platform::PathMatchSpec(support::ovGetFileName(path), mask) &&
        !support::ovIsDirectory(path)) {
      DeleteAndReportFile(*Output, path);
    }
    ProcessPendingEvents(*Output);
  }
}

}  // namespace sweepwell
