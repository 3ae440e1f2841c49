// The guard rails every deleting command passes before it touches anything.
//
// The rules, in the order they are checked (the first that applies refuses):
//
// 1. A blank variable. When a variable the command's text refers to as %NAME% is set but holds
//    nothing (empty or blanks only), the path no longer names what its author meant: "%A%/%B%"
//    with both empty is "/", "%SB%/%PROJECT%/*.tmp" with PROJECT empty is the *.tmp files of
//    %SB%. Every deleting command with such a text is refused (also the narrow ones), and the
//    line names the variables. A name that is not set at all stays as written, as it always did
//    (the path then names nothing that exists, or exactly what it spells).
// 2. A protected folder: the root of a file system (Windows: a drive or share root), the
//    user's home folder itself, and the system's top folders (platform/protected_folders.h).
//    The folder the command works on is compared after expansion, made absolute and lexically
//    clean ("//", "/./", "a/..") and with the real path of its existing part (a link to "/"
//    named as the folder is "/"). Refused there is whole-tree and all-matching work:
//    - delete-folder, every recursive command, and the -with-base forms;
//    - the non-recursive commands that select by no name: delete-empty-folders,
//      delete-junctions, by-age-delete-files;
//    - non-recursive delete-files whose pattern matches every name ("*", "*.*", "?*", a
//      trailing separator), and by-mask-delete-files while a collected mask does;
//    - by-list-delete-files with a mask that matches every name while a recorded file lies
//      directly in a protected folder.
//    Allowed stay the narrow selections that cannot reach the rest of such a folder: a
//    non-recursive pattern or mask that names some files ("/etc/*.bak"), the recorded list
//    under a narrow mask, and non-recursive by-list-add-files-list, which only records. The
//    option --no-preserve-root (/NoPreserveRoot) lifts this rule, and only this one, for one
//    run.
// 3. "." and "..". A command that removes the folder it names (delete-folder and the -with-base
//    forms) is refused when the last component of that folder, as written, is "." or "..", as
//    rm refuses "rm -r ." and "rm -r ..".
//
// A refusal is one line, "path  :: DIR  [reason]" with the text as expanded, counted among the
// folders left; the command does nothing else, the run goes on, and the program ends with exit
// status 1 (RunContext::RefusedCommands).
#pragma once

#include <string>
#include <vector>

namespace sweepwell {

struct RunContext;

// How a command reaches into the folder its text names.
enum class GuardReach {
  kNone,            // deletes nothing: never refused
  kPathAndPattern,  // "folder/pattern" (delete-files, delete-files-recursive)
  kFolder,          // a folder, every name in it (or, for by-mask, the collected masks)
  kFolderByMasks,   // by-mask-delete-files: a folder and the collected masks
  kRemovesFolder,   // removes the named folder too (delete-folder, the -with-base forms)
  kRecordsFolder,   // by-list-add-files-list: only records
  kRecordedList,    // by-list-delete-files: the text is a mask over the recorded files
};

struct GuardShape {
  GuardReach reach = GuardReach::kNone;
  bool recursive = false;
};

// True when the command `shape` with the expanded `text` may run; otherwise writes its refusal
// line, counts it in the run and returns false. `blank_names` are the variables of the text
// that expanded to nothing (support::ovExpandEnvironmentStringsReporting).
bool GuardAllows(RunContext& run, const GuardShape& shape, const std::string& text,
                 const std::vector<std::string>& blank_names);

// Rule 2 for a folder that a walk found and is about to remove as a whole (delete-folders-named):
// true when it may go; otherwise writes its refusal line under `path`, counts it and returns
// false. A name that matches does not make the home folder or a system folder less protected
// than delete-folder naming it would.
bool GuardAllowsFoundFolder(RunContext& run, const std::string& path);

// Whether the pattern (one or several joined by ";", as PathMatchSpec reads them) matches
// every file name: one of its patterns is only stars with at most one "?", after any number of
// trailing ".*" (which also match a name without an extension).
bool MatchesEveryName(const std::string& pattern);

}  // namespace sweepwell
