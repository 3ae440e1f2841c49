// "delete-empty-folders" and its forms: remove the empty subfolders of a folder, bottom-up in
// the recursive forms, and with the base the folder itself when it ends up empty.
#pragma once

#include <cstdint>
#include <string>

namespace sweepwell {

struct RunContext;

// "empty-folders-set-days": from now on the empty-folder commands leave a folder last written
// less than `days` days ago (the write time its parent's listing gave, before the walk removed
// anything inside it). 0 (the start) or less: no minimum.
void SetFolderAgeDays(RunContext& run, int32_t days);
void DeleteEmptyFolders(RunContext& run, const std::string& path, bool recursive, bool withBase);
// Nothing but "." and ".." in the folder; a folder that cannot be searched is not empty.
bool IsFolderEmpty(const RunContext& run, const std::string& path);

}  // namespace sweepwell
