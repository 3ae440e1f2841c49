// "delete-junctions" and its forms: remove the junctions (links to folders, mount points) found
// in a folder, in the recursive forms also in its real subfolders, and with the base the named
// folder itself when it is a junction. A junction is never entered.
#pragma once

#include <string>

namespace sweepwell {

struct RunContext;

void DeleteJunctions(RunContext& run, const std::string& path, bool recursive, bool withBase);

}  // namespace sweepwell
