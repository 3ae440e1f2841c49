// One listing of one folder level: every entry the system returns ("." and ".." included), in
// the system's order, with its times, attributes and size. No filtering, sorting or matching:
// the walks do that, and build each entry's full path from the walk they are on.
//
// On Linux a name is bytes and needs no safe form: the 8.3 fallback of systems whose names
// pass through a narrower code page has nothing to do here, so names are kept as listed.
#pragma once

#include <vector>

#include "platform/file_system.h"
#include "platform/platform.h"

namespace sweepwell {

class CFilesList {
 public:
  // Lists an open folder through `files`; a folder that cannot be read gives an empty listing
  // and no error. With `names_only` plain files may carry only their names and kinds
  // (FileSystem::ListFolderNames): for a caller that describes the files it acts on itself.
  void InitList(platform::FileSystem& files, const platform::Folder& folder,
                bool names_only = false);

  // The listing: names, attribute bits, the three times (FILETIME ticks) and sizes. A caller
  // that describes files may complete their records in place.
  const std::vector<platform::FindRecord>& Entries() const { return entries_; }
  std::vector<platform::FindRecord>& Entries() { return entries_; }
  size_t Count() const { return entries_.size(); }
  // Every record is complete (false only after a names-only listing).
  bool PlainFilesDescribed() const { return plain_files_described_; }

 private:
  std::vector<platform::FindRecord> entries_;
  bool plain_files_described_ = true;
};

}  // namespace sweepwell
