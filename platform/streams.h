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

#include "platform/file.h"  // error::kFileTooLarge
#include "platform/platform.h"

namespace platform {

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

// The same four calls on the entry `name` of an open folder, with the same meaning and codes
// (a link in the entry's place is followed, as the by-path calls follow it). On Linux the entry
// is reached by the folder's descriptor through /proc/self/fd: nothing is opened, so a FIFO or a
// device is never waited on nor acted on; without /proc the calls are kNotSupported. On Windows
// the folder's final path and the name make the path.
uint32_t GetEntryStream(const Folder& folder, std::string_view name, std::string_view stream,
                        std::string* value);
uint32_t SetEntryStream(const Folder& folder, std::string_view name, std::string_view stream,
                        std::string_view value);
uint32_t RemoveEntryStream(const Folder& folder, std::string_view name, std::string_view stream);
uint32_t ListEntryStreams(const Folder& folder, std::string_view name,
                          std::vector<std::string>* names);

// The real NTFS attribute bits (attr::) of a file on an NTFS volume served by ntfs-3g (its
// "system.ntfs_attrib_be" attribute, 4 bytes big-endian). kNotSupported on any other file
// system.
uint32_t GetNtfsAttributes(const std::string& path, uint32_t* attributes);
uint32_t SetNtfsAttributes(const std::string& path, uint32_t attributes);

// ---------------------------------------------------------------------------------------------
// The backup walk (BackupRead): the headers of the streams of one file or folder, without their
// contents.

// Stream kinds and attribute bits of a backup stream header (WIN32_STREAM_ID).
namespace backup {
inline constexpr uint32_t kData = 1;
inline constexpr uint32_t kSecurityData = 3;
inline constexpr uint32_t kAlternateData = 4;
inline constexpr uint32_t kContainsSecurity = 0x2;
}  // namespace backup

struct BackupStreamHeader {
  uint32_t stream_id = 0;
  uint32_t attributes = 0;
  uint64_t size = 0;
  // As Windows names them: ":NAME:$DATA" for an alternate stream (NAME in native bytes), ""
  // for the other kinds.
  std::string name;
};

// Walks the streams of `path` (a link is followed, as CreateFile does), in the order Windows'
// BackupRead gives them:
//   1. with `process_security`, the security stream (kSecurityData, attribute
//      kContainsSecurity) when the file has an access control list: on an ntfs-3g volume
//      (every file there has one) its size is that of the NTFS security descriptor
//      ("system.ntfs_acl"); elsewhere that of the POSIX access ACL ("system.posix_acl_access",
//      present only when the permissions are more than the mode bits);
//   2. the unnamed data stream (kData, size = the file's size) of a regular file; a folder and
//      special files have none;
//   3. one alternate stream per stream of ListFileStreams, with the size of its value.
// The result is an error only when the file cannot be opened for reading (a FIFO is never
// waited for). A failure part-way (a file system without extended attributes, a stream removed
// meanwhile) ends the walk as Windows' does: the headers so far stay and the result is success.
uint32_t ReadBackupStreams(const std::string& path, bool process_security,
                           std::vector<BackupStreamHeader>* streams);
// The same walk of the entry `name` of an open folder (a link in its place followed), reached
// as the entry forms of the stream calls above reach it.
uint32_t ReadEntryBackupStreams(const Folder& folder, std::string_view name, bool process_security,
                                std::vector<BackupStreamHeader>* streams);

}  // namespace platform
