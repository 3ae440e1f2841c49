// Whole files relative to an open folder: the machine's side of the whole-file members of
// FileSystem (platform/file_system.h), which forwards to these; everyone above platform/ reaches
// them through that interface and its by-path helpers. Every function opens, works and closes
// within the call and returns a Windows error code (0 on success). A folder where a file is
// expected gives kAccessDenied (as CreateFile does on Windows), and so does a FIFO, device or
// socket: where the File openers of file.h say kBadFileType, these calls keep the library's
// contract.
//
// `name` is one entry of `folder`; a link there is followed (to the file it leads to) by every
// call here. The writing calls follow it the way ReplaceEntryFile describes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/file.h"
#include "platform/platform.h"

namespace platform {

// Writes one piece of new contents; returns 0 or the Windows error code that ends the writing.
using PieceWriter = std::function<uint32_t(std::string_view piece)>;
// The new contents of a file made piece by piece (encoded text, say), so that they never have
// to be held whole: calls `write` for each piece in order and returns the first failure.
using ContentsMaker = std::function<uint32_t(const PieceWriter& write)>;

// Reads the whole file into *data (replaced). kFileNotFound for a missing file. The result's
// capacity is its size plus at most a few megabytes (when the file changed size while it was
// read).
uint32_t ReadEntryWhole(const Folder& folder, std::string_view name, std::vector<uint8_t>* data);

// Opens the file for reading in pieces (File::ReadUpTo), with the same failures as
// ReadEntryWhole: for readers that go through a file more than once, or convert it on the way.
File OpenEntryWhole(const Folder& folder, std::string_view name, uint32_t* error);

// Reads at most `max_bytes` from the start of the file; *size receives the file's length.
uint32_t ReadEntryStart(const Folder& folder, std::string_view name, size_t max_bytes,
                        std::vector<uint8_t>* data, uint64_t* size);

// Replaces the file with the contents made by `contents`: writes a new file in the same folder,
// gives it the old file's mode (and, where allowed, owner; 0666 less the umask for a new file),
// flushes it and renames it over the old one. A failure at any step removes the new file and
// leaves the old file as it was. When the entry is a symbolic link, the file it leads to is
// replaced and the link stays.
// POSIX: the links are followed by the library itself, and only as the kernel's
// fs.protected_symlinks rule allows whatever the machine's setting: a link in a sticky
// world-writable folder that belongs neither to the caller nor to the folder's owner gives
// kAccessDenied and nothing is written. AppendEntryFile and OverwriteEntryFile follow the same
// rule, and OpenWriteFolder applies it to the folders on the way.
// The new file has no name while it is written (Linux: O_TMPFILE, where the file system has
// it), so a process killed meanwhile leaves nothing behind; it is named beside the target only
// for the final rename, and a missing target gets its name at once. Elsewhere it is a hidden
// temporary file (".NAME.~XXXXXXXXXXXXXXXX"), which a kill can leave behind. Windows: the
// same contract with a temporary file and MoveFileEx; the same error codes.
uint32_t ReplaceEntryFile(const Folder& folder, std::string_view name,
                          const ContentsMaker& contents);

// Appends `data` at the end of the file; a missing file is created.
uint32_t AppendEntryFile(const Folder& folder, std::string_view name, std::string_view data);

// Cuts the existing file to zero length and writes `data` into the same inode, so its
// extended attributes, mode and owner stay; a missing file is created.
uint32_t OverwriteEntryFile(const Folder& folder, std::string_view name, std::string_view data);

// Size of the file (following links); kFileNotFound when missing.
uint32_t GetEntryFileSize(const Folder& folder, std::string_view name, uint64_t* size);

// The folder `path`, opened for writing into it: Folder::Open following links, except that on
// POSIX the library follows each link on the way itself, under the rule ReplaceEntryFile
// describes (kAccessDenied where it refuses one).
Folder OpenWriteFolder(const std::string& path, uint32_t* error);

}  // namespace platform
