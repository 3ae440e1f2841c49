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

TrashEntryStatus RestoreTrashedEntry(const TrashedEntry&, uint64_t* size, uint32_t* error) {
  if (size != nullptr) *size = 0;
  if (error != nullptr) *error = error::kNotSupported;
  return TrashEntryStatus::kFailed;
}

}  // namespace platform
