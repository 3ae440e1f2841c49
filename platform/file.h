// Plain files opened by handle: what the run log needs (append, write whole lines, close).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace platform {

// How the lines of a text file that peers read end here: CR LF on Windows, LF on Linux.
#ifdef _WIN32
inline constexpr std::string_view kTextLineEnd = "\r\n";
#else
inline constexpr std::string_view kTextLineEnd = "\n";
#endif

using FileHandle = intptr_t;
inline constexpr FileHandle kInvalidFile = -1;

// Opens `path` for appending, creating it (mode 0644 before the umask) when missing.
uint32_t OpenForAppend(const std::string& path, FileHandle* handle);

// Writes all of `data` (retrying short writes and interruptions).
uint32_t WriteAll(FileHandle handle, std::string_view data);

// Closes the handle; kInvalidFile is ignored.
void CloseFile(FileHandle handle);

}  // namespace platform
