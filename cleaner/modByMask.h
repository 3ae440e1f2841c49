// Selection by mask: the script collects file-name masks, then deletes the files of a folder
// (and its subfolders) that match any of them.
#pragma once

#include <string>

namespace sweepwell {

struct RunContext;

// Adds a mask (kept as written); a mask equal to an earlier one but for letter case is ignored.
void AddMask(RunContext& run, const std::string& mask);
void ClearMasks(RunContext& run);
// Deletes the files of the folder `path` matching any collected mask, mask after mask over one
// listing; with `recursive` in every enterable subfolder too.
void DeleteFilesByMask(RunContext& run, const std::string& path, bool recursive);

}  // namespace sweepwell
