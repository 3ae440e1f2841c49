// The identity of a file found by path, for a reader that must tell one file from another
// (the library's own file among those it reads). The file itself is read through File
// (platform/file.h).
#pragma once

#include <cstdint>
#include <string>

#include "platform/file.h"
#include "platform/platform.h"

namespace platform {

// The identity (device and inode) of the file at `path`, links followed.
uint32_t GetFileId(const std::string& path, FolderId* id);

}  // namespace platform
