// The named streams of a file (NTFS alternate data streams, "F:NAME"). On Linux a stream NAME is
// the extended attribute "user.NAME" of the file, the mapping ntfs-3g uses, so on an NTFS
// volume mounted by ntfs-3g with streams_interface=xattr these are the real streams.
//
// Every function takes a path, follows a symbolic link in it (as the Windows calls do) and
// returns a Windows error code (see platform.h). Failures special to streams:
// - a missing stream: kFileNotFound (the same as a missing file: Windows cannot tell them apart
//   either); a file system without extended attributes: kNotSupported;
// - a stream name that is empty or holds a NUL: kInvalidName; longer than the system allows
//   (255 bytes with its "user." prefix): kFilenameTooLong;
// - a value larger than the file system keeps beside a file (64 KiB at most on Linux, often one
//   block): kFileTooLarge.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/platform.h"

namespace platform {

namespace error {
inline constexpr uint32_t kFileTooLarge = 223;
}  // namespace error

// Reads the whole value of stream `name` of `path` into *value (replaced).
uint32_t GetFileStream(const std::string& path, std::string_view name, std::string* value);

// Creates or replaces stream `name` of `path` with `value` (an empty value is a stream of
// length 0, which still exists).
uint32_t SetFileStream(const std::string& path, std::string_view name, std::string_view value);

// Removes stream `name`; kFileNotFound when there is none.
uint32_t RemoveFileStream(const std::string& path, std::string_view name);

// The names of the streams of `path` (without the "user." prefix), in the order the system
// gives them. A file without any gives an empty list.
uint32_t ListFileStreams(const std::string& path, std::vector<std::string>* names);

// The real NTFS attribute bits (attr::) of a file on an NTFS volume served by ntfs-3g (its
// "system.ntfs_attrib_be" attribute, 4 bytes big-endian). kNotSupported on any other file
// system.
uint32_t GetNtfsAttributes(const std::string& path, uint32_t* attributes);
uint32_t SetNtfsAttributes(const std::string& path, uint32_t attributes);

}  // namespace platform
