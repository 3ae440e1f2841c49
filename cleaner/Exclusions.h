// Exclusions: paths and masks that the commands neither delete nor enter, from the command that
// adds them until "exclusions-clear".
//
// - A path excludes that entry and everything below it. It is compared in the form
//   ResolvedFolderPath gives (absolute, lexically clean, the links of its existing part
//   resolved) with the path a walk reaches an entry by, the named folder's own links resolved
//   the same way; letter case is ignored on Windows only. A path that does not exist yet is
//   kept as written and excludes what is made there later.
// - A mask (PathMatchSpec rules: letter case ignored, ";" between several) excludes every entry
//   whose name it matches, at any depth, with everything below it.
// - A command whose named folder is excluded (the folder itself, one of the folders above it,
//   or a mask matching one of the names on its path) does nothing at all.
//
// What an exclusion kept out gives no line and is not counted; a folder that keeps an excluded
// entry is not empty, so neither a whole-tree deletion nor the empty-folder commands remove it.
#pragma once

#include <string>
#include <string_view>

#include "cleaner/Guard.h"

namespace sweepwell {

struct RunContext;

// Whether `path` (expanded) is a full path: "/..." (Windows: "C:\..." or "\\server\..."). A
// relative exclusion would be taken from the folder the run happens to start in, and is far more
// likely a name meant for "exclusions-add-mask": the loader refuses it.
bool IsFullExclusionPath(std::string_view path);

// Adds a path (already expanded) or a mask; one equal to an earlier one is ignored. A path that
// names a link excludes the link and where it leads.
void AddExclusionPath(RunContext& run, const std::string& path);
void AddExclusionMask(RunContext& run, const std::string& mask);
void ClearExclusions(RunContext& run);

// `resolved` is in the form ResolvedFolderPath gives: whether it is an excluded path itself
// (not below one) or its name `name` matches an excluded mask. What the walks ask of an entry.
bool IsExcludedEntry(const RunContext& run, const std::string& resolved, std::string_view name);
// Whether `name` matches an excluded mask.
bool IsExcludedName(const RunContext& run, std::string_view name);
// Whether an excluded path lies below the folder `resolved`: only then need a walk look at the
// paths of the folder's entries.
bool LeadsToExcludedPath(const RunContext& run, const std::string& resolved);

// Whether the named path (as a command's text gives it) is excluded, itself or through a
// folder above it.
bool IsPathExcluded(const RunContext& run, const std::string& path);

// Whether the folder a command of `reach` names in its expanded `text` is excluded: the
// command then does nothing.
bool IsCommandTargetExcluded(const RunContext& run, GuardReach reach, const std::string& text);

}  // namespace sweepwell
