#include "cleaner/CFilesList.h"

namespace sweepwell {

void CFilesList::InitList(const platform::Folder& folder) {
  entries_.clear();
  if (folder.IsOpen()) platform::ListFolder(folder, &entries_);
}

}  // namespace sweepwell
