// File system compression of one file or folder (FSCTL_GET_COMPRESSION and
// FSCTL_SET_COMPRESSION). Formats are the Windows values: 0 none, 1 the file system's default,
// 2 LZNT1.
//
// Only a file system that really compresses answers:
// - btrfs: the FS_COMPR_FL inode flag. Setting it on a file that holds data also compresses
//   what is there (a defragment pass with compression), as NTFS does when a file is
//   compressed. A compressed file reads back as format 1 (btrfs picks its own algorithm).
//   Clearing it stops compression of what is written from then on; data already on disk stays
//   compressed until it is rewritten.
// - the kernel's ntfs3 driver: the same flag, which it accepts for folders and empty files; a
//   compressed file reads back as 2 (LZNT1, the only NTFS format).
// - an NTFS volume served by ntfs-3g: the compressed attribute of a folder (what is created in
//   it from then on is compressed). ntfs-3g cannot compress an existing file: asking it to is
//   kNotSupported unless the file is already as asked. Reads back as 2.
// - anything else (ext4, xfs, tmpfs, ...): kNotSupported, never a flag that compresses nothing.
// Both follow a symbolic link. A missing file (or a missing folder on the way: the system does
// not tell the two apart) is kFileNotFound; other failures are mapped to Windows error codes.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/platform.h"

namespace platform {

namespace compression {
inline constexpr uint32_t kNone = 0;
inline constexpr uint32_t kDefault = 1;
inline constexpr uint32_t kLznt1 = 2;
}  // namespace compression

// Reads the compression format of `path` into *format.
uint32_t GetFileCompression(const std::string& path, uint32_t* format);

// Compresses (kDefault or kLznt1) or uncompresses (kNone) `path`; another format is
// kInvalidParameter. A file is opened for writing, as Windows opens it for this call.
uint32_t SetFileCompression(const std::string& path, uint32_t format);

// The same two calls on the entry `name` of an open folder, with the same meaning and codes (a
// link in the entry's place is followed). The entry is reached as the entry forms of streams.h
// reach it: through /proc/self/fd on Linux, the folder's final path on Windows.
uint32_t GetEntryCompression(const Folder& folder, std::string_view name, uint32_t* format);
uint32_t SetEntryCompression(const Folder& folder, std::string_view name, uint32_t format);

}  // namespace platform
