// Whole-file reading and writing by path. Every function opens, works and closes within the
// call and returns a Windows error code (0 on success). A folder where a file is expected gives
// kAccessDenied (as CreateFile does on Windows).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

// Reads the whole file into *data (replaced). kFileNotFound for a missing file,
// kPathNotFound for a missing folder on the way.
uint32_t ReadWholeFile(const std::string& path, std::vector<uint8_t>* data);

// Reads at most `max_bytes` from the start of the file; *size receives the file's length.
uint32_t ReadFileStart(const std::string& path, size_t max_bytes, std::vector<uint8_t>* data,
                       uint64_t* size);

// Replaces the file with `data`: writes a temporary file in the same folder, gives it the old
// file's mode (0666 less the umask for a new file), flushes it and renames it over the old
// one. A failure at any step removes the temporary file and leaves the old file as it was.
// When `path` is a symbolic link, the file it leads to is replaced and the link stays.
uint32_t ReplaceWholeFile(const std::string& path, std::string_view data);

// Appends `data` at the end of the file; a missing file is created.
uint32_t AppendToFile(const std::string& path, std::string_view data);

// Cuts the existing file to zero length and writes `data` into the same inode, so its
// extended attributes, mode and owner stay; a missing file is created.
uint32_t OverwriteFile(const std::string& path, std::string_view data);

// Size of the file (following links); kFileNotFound when missing.
uint32_t GetFileSize(const std::string& path, uint64_t* size);

}  // namespace platform
