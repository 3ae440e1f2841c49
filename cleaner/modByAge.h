// Selection by age: delete the files neither written nor read since a moment set by the script.
#pragma once

#include <cstdint>
#include <string>

namespace sweepwell {

struct RunContext;

// The threshold becomes now minus `days` days (no range check: negative days lie in the future).
void SetAgeDays(RunContext& run, int32_t days);
// "by-age-set-times": which of an entry's times count, its age being the latest of them. The
// text names them in any order and letter case, separated by commas, semicolons or blanks:
// "write", "access", "change" (the last change of its metadata), "birth" (where the file
// system records it; Windows: creation). An entry with none of the named times recorded has
// no age and is never selected. A link's access time never counts (see modByAge.cpp); asked for
// alone, a link's write time stands in. The start is "write, access".
bool ParseAgeTimes(const std::string& text, uint32_t* times);
// Raises error 5 for a text ParseAgeTimes refuses (the loader refuses it before the run).
void SetAgeTimes(RunContext& run, const std::string& text);
// Deletes the files of `path` (and its enterable subfolders with `recursive`) whose latest
// counted time (write and access unless set) lies strictly before the threshold. Without a
// threshold (0) nothing qualifies.
void DeleteFilesByAge(RunContext& run, const std::string& path, bool recursive);

}  // namespace sweepwell
