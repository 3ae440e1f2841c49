// "delete-files", "delete-files-recursive" and "delete-folder".
#pragma once

#include <string>

namespace sweepwell {

struct RunContext;

// `path` is a folder and a file-name pattern ("dir/*.tmp"); a trailing separator means "*.*".
// Deletes the matching files of the folder, and with `recursive` of every enterable subfolder.
// Folders are never removed. A folder that cannot be entered gives nothing at all.
void DeleteFiles(RunContext& run, const std::string& path, bool recursive);

// Removes the folder tree at `path` bottom-up: files first, then each subfolder's tree and the
// subfolder, the named folder last. Junctions below are removed, never entered. A failure keeps
// the folders above the failed entry; a missing folder gives one line with the error.
void DeleteFolder(RunContext& run, const std::string& path);

}  // namespace sweepwell
