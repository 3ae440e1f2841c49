// The trash as a caller that wants its entries back sees it: what a move to the trash made, how
// to look an entry up again later, and how to bring it back to where it was.
//
// An entry is named by its trash folder (the folder that holds files/ and info/), its name under
// files/ and the two lines of its .trashinfo record (the original path and the deletion date).
// A later look-up trusts none of it: the folder must be a trash folder of this user (the home
// trash, or $topdir/.Trash/$uid or $topdir/.Trash-$uid at the top of a mount), the name must
// stay inside it, and the .trashinfo now there must still say the same path and date. Anything
// else means another program (a trash-restore, a file manager, trash-empty) changed the trash
// since, and the entry is left alone.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

namespace platform {

struct TrashedEntry {
  std::string trash_folder;   // absolute path of the trash folder
  std::string name;           // the entry's name under files/
  std::string original_path;  // absolute: where the entry was, as its Path= line resolves
  std::string deletion_date;  // the DeletionDate line, local "YYYY-MM-DDThh:mm:ss"
};

// Handed to MoveEntryToTrash by a caller that keeps a list of what it trashed.
struct TrashMove {
  // Called with the name the entry is about to take in the trash, before its .trashinfo is made
  // and the entry moves. Writing the entry down here means that a process killed at any moment
  // leaves nothing in the trash unlisted (at worst a listed entry that never got there). It may
  // be called more than once in one move (when another program takes the name in between); only
  // the last call of a successful move stands for an entry in the trash.
  std::function<void(const TrashedEntry&)> before_move;
  // The last entry announced to before_move (the one made, when the move succeeded).
  TrashedEntry made;
};

enum class TrashEntryStatus {
  kInTrash,       // files/NAME and a .trashinfo that agrees are there
  kGone,          // the entry is not in the trash: emptied, or restored already
  kChanged,       // something else is there now: a .trashinfo that disagrees, or one missing
  kNotATrash,     // the folder is no trash folder of ours, or the names leave it
  kTrashMissing,  // the trash folder is not there now (a disk that is not mounted)
  kRestored,      // RestoreTrashedEntry: the entry is back at its original path
  kPlaceTaken,    // RestoreTrashedEntry: something is at the original path; nothing moved
  kFailed,        // the look-up or the move failed; *error holds the Windows error code
};

// Looks the entry up without changing anything. *size receives the bytes of a regular file (0
// for anything else) when the entry is in the trash.
TrashEntryStatus FindTrashedEntry(const TrashedEntry& entry, uint64_t* size, uint32_t* error);

// Moves a found entry back to its original path, making the missing folders on the way (mode
// 0777 less the umask, as mkdir -p does), then removes its .trashinfo. The entry is renamed
// within its device and never copied; an entry at the original path is never replaced (nor is
// a dangling link there). Whatever fails leaves the entry in the trash as it was.
TrashEntryStatus RestoreTrashedEntry(const TrashedEntry& entry, uint64_t* size, uint32_t* error);

}  // namespace platform
