// SetFileAttributes by path, with the Windows meaning of the attribute bits (attr::).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/platform.h"

namespace platform {

// Sets the attributes of the file or folder at `path` (attr::kNormal alone clears them all).
// - On an NTFS volume served by ntfs-3g the real attribute bits are written: read-only, hidden,
//   system, archive and the other bits Windows lets a program set; the bits the file system
//   owns (directory, compressed, sparse, reparse point) stay as they are.
// - Elsewhere read-only is the owner write bit of a file: set -> removed, clear -> given back.
//   A folder is never made unwritable (on Windows its read-only bit does not stop writes), but
//   gets its write bit back. Hidden is the leading dot of the name and cannot be stored: it
//   and the other bits are ignored.
// A symbolic link is left alone (success), so a link planted under a known name never lets a
// caller change what it leads to. Returns a Windows error code.
uint32_t SetFileAttributes(const std::string& path, uint32_t attributes);

// The same on the entry `name` of an open folder; a link there is left alone (success), as
// above.
uint32_t SetEntryAttributes(const Folder& folder, std::string_view name, uint32_t attributes);

}  // namespace platform
