// "delete-folders-named": the folders of a tree whose name matches a mask, each deleted whole.
#pragma once

#include <string>

namespace sweepwell {

struct RunContext;

// `path` is a folder and a mask in one ("%HOME%/src/node_modules;__pycache__"); a trailing
// separator means "*.*". Every real folder below the folder whose name matches the mask is
// removed as delete-folder removes one (its files, its subfolders bottom-up, links inside it
// removed and never entered, the folder last), and is not searched for more matches. Folders
// that do not match are searched at every depth; a link is never a match, and is searched
// only while the run goes below junctions. A folder that cannot be entered gives nothing.
void DeleteFoldersNamed(RunContext& run, const std::string& path);

}  // namespace sweepwell
