// "delete-empty-folders" and its forms: remove the empty subfolders of a folder, bottom-up in
// the recursive forms, and with the base the folder itself when it ends up empty.
#pragma once

#include <string>

namespace sweepwell {

struct RunContext;

void DeleteEmptyFolders(RunContext& run, const std::string& path, bool recursive, bool withBase);
// Nothing but "." and ".." in the folder; a folder that cannot be searched is not empty.
bool IsFolderEmpty(const RunContext& run, const std::string& path);

}  // namespace sweepwell
