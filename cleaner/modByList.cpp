#include "cleaner/modByList.h"

#include "cleaner/COutput.h"
#include "cleaner/FolderWalk.h"
#include "cleaner/RunContext.h"
#include "cleaner/modMain.h"
#include "support/ov_paths.h"

namespace sweepwell {

namespace {

class RecordVisitor : public FilePassVisitor {
 public:
  using FilePassVisitor::FilePassVisitor;

  void VisitFolder(FolderWalk& walk, WalkFolder& folder) override {
    RecordedFiles& files = walk.run().FilesList;
    for (const platform::FindRecord& entry : folder.list.Entries()) {
      if (!IsSelectableFileRecord(entry)) continue;
      const std::string& path = walk.EntryPath(entry.name);
      if (files.keys.insert(path).second) files.paths.push_back(path);
    }
  }
};

}  // namespace

void ClearFilesList(RunContext& run) { run.FilesList = RecordedFiles(); }

void AddFilesList(RunContext& run, const std::string& path, bool recursive) {
  RecordVisitor visitor(recursive);
  WalkEnterableFolder(run, path, visitor);
}

void DeleteFilesByList(RunContext& run, const std::string& mask) {
  for (const std::string& path : run.FilesList.paths) {
    // A recorded path that is now a folder, a socket, a FIFO or a device node (one may have
    // taken a file's name since the list was made) is passed over: the deleter's one look at
    // it decides.
    if (platform::PathMatchSpec(support::ovGetFileName(path), mask)) {
      run.Output->Deletion().DeleteAndReportRecordedFile(path);
    }
    ProcessPendingEvents(*run.Output);
  }
}

}  // namespace sweepwell
