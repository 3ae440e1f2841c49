// Bringing trashed entries back is not built for the recycle bin yet: its entries are named by
// the shell, which tells a caller nothing of them (see trash.cpp), so no run records any, and a
// record brought over from elsewhere names no entry here.
#include "platform/trash.h"

#include "platform/platform.h"

namespace platform {

TrashEntryStatus FindTrashedEntry(const TrashedEntry&, uint64_t* size, uint32_t* error) {
  if (size != nullptr) *size = 0;
  if (error != nullptr) *error = error::kNotSupported;
  return TrashEntryStatus::kFailed;
}

TrashEntryStatus RestoreTrashedEntry(const TrashedEntry&, uint64_t* size, uint32_t* error,
                                     const FolderStates*) {
  if (size != nullptr) *size = 0;
  if (error != nullptr) *error = error::kNotSupported;
  return TrashEntryStatus::kFailed;
}

// NTFS folders carry an access list rather than a mode: nothing to record.
bool DescribeFolder(const std::string&, FolderState*) { return false; }

}  // namespace platform
