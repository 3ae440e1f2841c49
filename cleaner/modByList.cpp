#include "cleaner/modByList.h"

#include <unordered_set>
#include <vector>

#include "cleaner/COutput.h"
#include "cleaner/FolderWalk.h"
#include "cleaner/modMain.h"
#include "support/ov_paths.h"
#include "support/ov_strings.h"

namespace sweepwell {

namespace {

// The recorded files in recording order, keyed by their upper-case path.
struct RecordedFiles {
  std::vector<std::string> paths;
  std::unordered_set<std::string> keys;
};

RecordedFiles& FilesList() {
  static RecordedFiles files;
  return files;
}

class RecordVisitor : public FolderVisitor {
 public:
  explicit RecordVisitor(bool recursive) : recursive_(recursive) {}

  void VisitFolder(FolderWalk& walk, WalkFolder& folder) override {
    RecordedFiles& files = FilesList();
    for (const platform::FindRecord& entry : folder.list.Entries()) {
      if (IsFolderRecord(entry)) continue;
      const std::string& path = walk.EntryPath(entry.name);
      if (files.keys.insert(support::UpperCase(path)).second) files.paths.push_back(path);
    }
  }

  bool VisitChild(FolderWalk&, WalkFolder&, const platform::FindRecord& entry) override {
    return recursive_ && IsEnterableSubfolderEntry(entry.attributes, entry.name);
  }

 private:
  bool recursive_;
};

// Paths from this length on are opened one folder at a time: the system refuses a path longer
// than PATH_MAX (4096 bytes on Linux) in a single call, and a recursive recording reaches any
// depth.
constexpr size_t kLongPath = 4000;

// Opens the folder at `path` one name at a time (links are followed, as a path would follow
// them); the result is closed when a folder on the way cannot be opened.
platform::Folder OpenLongFolder(const std::string& path) {
  uint32_t error = 0;
  size_t start = 0;
  platform::Folder folder;
  if (!path.empty() && path[0] == platform::kPathSeparator) {
    folder = platform::Folder::Open(std::string(1, platform::kPathSeparator), &error);
    start = 1;
  } else {
    folder = platform::Folder::Open(".", &error);
  }
  while (folder.IsOpen() && start < path.size()) {
    size_t end = path.find(platform::kPathSeparator, start);
    if (end == std::string::npos) end = path.size();
    if (end > start) {
      folder = folder.OpenEntry(std::string_view(path).substr(start, end - start), &error);
    }
    start = end + 1;
  }
  return folder;
}

// What ovIsDirectory says of the entry `name`; false when it cannot be read (the deletion
// that follows reports why).
bool IsFolderEntry(const platform::Folder& folder, const std::string& name) {
  uint32_t attributes = 0;
  uint64_t size = 0;
  return platform::GetEntryAttributes(folder, name, &attributes, &size) ==
             platform::error::kSuccess &&
         (attributes & platform::attr::kDirectory) != 0;
}

}  // namespace

void ClearFilesList() { FilesList() = RecordedFiles(); }

void AddFilesList(const std::string& path, bool recursive) {
  if (!IsEnterableFolder(path)) return;
  RecordVisitor visitor(recursive);
  FolderWalk(*Output).Run(path, visitor);
}

void DeleteFilesByList(const std::string& mask) {
  // Recorded files of one folder follow each other, so the last folder opened serves the next.
  std::string open_path;
  platform::Folder open_folder;
  for (const std::string& path : FilesList().paths) {
    std::string name = support::ovGetFileName(path);
    if (platform::PathMatchSpec(name, mask)) {
      std::string parent = support::ovGetFilePath(path);
      if (parent != open_path || !open_folder.IsOpen()) {
        open_folder = parent.size() < kLongPath ? platform::Folder() : OpenLongFolder(parent);
        open_path = parent;
      }
      if (!open_folder.IsOpen()) {
        if (!support::ovIsDirectory(path)) DeleteAndReportFile(*Output, path);
      } else if (!IsFolderEntry(open_folder, name)) {
        DeleteAndReportFile(*Output, open_folder, nullptr, name, path);
      }
    }
    ProcessPendingEvents(*Output);
  }
}

}  // namespace sweepwell
