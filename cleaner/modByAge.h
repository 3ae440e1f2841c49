// Selection by age: delete the files neither written nor read since a moment set by the script.
#pragma once

#include <cstdint>
#include <string>

namespace sweepwell {

struct RunContext;

// The threshold becomes now minus `days` days (no range check: negative days lie in the future).
void SetAgeDays(RunContext& run, int32_t days);
// Deletes the files of `path` (and its enterable subfolders with `recursive`) whose later of
// last write and last access lies strictly before the threshold. Without a threshold (0)
// nothing qualifies.
void DeleteFilesByAge(RunContext& run, const std::string& path, bool recursive);

}  // namespace sweepwell
