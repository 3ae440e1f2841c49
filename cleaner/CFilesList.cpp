#include "cleaner/CFilesList.h"

namespace sweepwell {

void CFilesList::InitList(platform::FileSystem& files, const platform::Folder& folder) {
  entries_.clear();
  if (folder.IsOpen()) files.ListFolder(folder, &entries_);
}

}  // namespace sweepwell
