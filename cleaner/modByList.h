// Selection by list: record the files that exist in a folder now, delete the recorded ones that
// match a mask later. Files that appear after the recording are never touched.
#pragma once

#include <string>

namespace sweepwell {

struct RunContext;

void ClearFilesList(RunContext& run);
// Records the full paths of the files of `path` (and its enterable subfolders with `recursive`);
// writes nothing. A path recorded before is kept once.
void AddFilesList(RunContext& run, const std::string& path, bool recursive);
// Deletes every recorded file whose name matches `mask`, in recording order.
void DeleteFilesByList(RunContext& run, const std::string& mask);

}  // namespace sweepwell
