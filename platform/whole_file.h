// Whole-file reading and writing by path. Every function opens, works and closes within the
// call and returns a Windows error code (0 on success). A folder where a file is expected gives
// kAccessDenied (as CreateFile does on Windows), and so does a FIFO, device or socket: where the
// File openers of file.h say kBadFileType, these by-path calls keep the library's contract.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/file.h"

namespace platform {

// Reads the whole file into *data (replaced). kFileNotFound for a missing file,
// kPathNotFound for a missing folder on the way. The result's capacity is its size plus at
// most a few megabytes (when the file changed size while it was read).
uint32_t ReadWholeFile(const std::string& path, std::vector<uint8_t>* data);

// Opens the file for reading in pieces (File::ReadUpTo), with the same failures as
// ReadWholeFile: for readers that go through a file more than once, or convert it on the way.
File OpenWholeFile(const std::string& path, uint32_t* error);

// Reads at most `max_bytes` from the start of the file; *size receives the file's length.
uint32_t ReadFileStart(const std::string& path, size_t max_bytes, std::vector<uint8_t>* data,
                       uint64_t* size);

// Replaces the file with `data`: writes a new file in the same folder, gives it the old file's
// mode (and, where allowed, owner; 0666 less the umask for a new file), flushes it and renames
// it over the old one. A failure at any step removes the new file and leaves the old file as it
// was. When `path` is a symbolic link, the file it leads to is replaced and the link stays.
// POSIX: the links on the way are followed by the library itself, and only as the kernel's
// fs.protected_symlinks rule allows whatever the machine's setting: a link in a sticky
// world-writable folder that belongs neither to the caller nor to the folder's owner gives
// kAccessDenied and nothing is written. AppendToFile and OverwriteFile follow the same rule.
// The new file has no name while it is written (Linux: O_TMPFILE, where the file system has
// it), so a process killed meanwhile leaves nothing behind; it is named beside the target only
// for the final rename, and a missing target gets its name at once. Elsewhere it is a hidden
// temporary file (".NAME.~XXXXXXXXXXXXXXXX"), which a kill can leave behind. Windows: the
// same contract with a temporary file and ReplaceFile/MoveFileEx; the same error codes.
uint32_t ReplaceWholeFile(const std::string& path, std::string_view data);

// Writes one piece of new contents; returns 0 or the Windows error code that ends the writing.
using PieceWriter = std::function<uint32_t(std::string_view piece)>;
// The new contents of a file made piece by piece (encoded text, say), so that they never have
// to be held whole: calls `write` for each piece in order and returns the first failure.
using ContentsMaker = std::function<uint32_t(const PieceWriter& write)>;

// ReplaceWholeFile with contents made while they are written.
uint32_t ReplaceWholeFile(const std::string& path, const ContentsMaker& contents);

// Appends `data` at the end of the file; a missing file is created.
uint32_t AppendToFile(const std::string& path, std::string_view data);

// Cuts the existing file to zero length and writes `data` into the same inode, so its
// extended attributes, mode and owner stay; a missing file is created.
uint32_t OverwriteFile(const std::string& path, std::string_view data);

// Size of the file (following links); kFileNotFound when missing.
uint32_t GetFileSize(const std::string& path, uint64_t* size);

}  // namespace platform
