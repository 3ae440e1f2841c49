#include "cleaner/CFilesList.h"

namespace sweepwell {

void CFilesList::InitList(platform::FileSystem& files, const platform::Folder& folder,
                          bool names_only) {
  entries_.clear();
  plain_files_described_ = true;
  if (!folder.IsOpen()) return;
  if (names_only) {
    files.ListFolderNames(folder, &entries_, &plain_files_described_);
  } else {
    files.ListFolder(folder, &entries_);
  }
}

}  // namespace sweepwell
