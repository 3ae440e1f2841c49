// Plain files opened by handle: what the run log needs (append, write whole lines, close).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace platform {

using FileHandle = intptr_t;
inline constexpr FileHandle kInvalidFile = -1;

// Opens `path` for appending, creating it (mode 0644 before the umask) when missing.
uint32_t OpenForAppend(const std::string& path, FileHandle* handle);

// Writes all of `data` (retrying short writes and interruptions).
uint32_t WriteAll(FileHandle handle, std::string_view data);

// Closes the handle; kInvalidFile is ignored.
void CloseFile(FileHandle handle);

// Creates `path` for appending (mode 0600: private to the user); kFileExists when it exists.
uint32_t CreateForAppend(const std::string& path, FileHandle* handle);

// Opens an existing `path` for reading and appending; kFileNotFound when missing.
uint32_t OpenExistingForAppend(const std::string& path, FileHandle* handle);

// Takes an exclusive advisory lock on the whole file without waiting (flock on POSIX). The lock
// goes with the handle's close or the process's end, however it ends. *locked false: another
// process holds it.
uint32_t TryLockFile(FileHandle handle, bool* locked);

// Writes the file's data out to the disk (fdatasync).
uint32_t SyncFile(FileHandle handle);

// Reads the whole file from its start through the handle.
uint32_t ReadAllFrom(FileHandle handle, std::string* data);

// The identity of the running process.
uint32_t CurrentProcessId();

}  // namespace platform
