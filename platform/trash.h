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
#include <map>
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
  // Set by before_move when the entry must not move after all (its caller could not write it
  // down); the move then fails with kAccessDenied and nothing of it is made.
  bool refused = false;
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
  kLinkOnWay,     // RestoreTrashedEntry: a folder on the way back is a link now; nothing moved
  kOwnerChanged,  // RestoreTrashedEntry: a folder on the way belongs to another user than it
                  // did when the entry was trashed; nothing moved
  kNotRegular,    // the .trashinfo is no regular file (a FIFO, device, folder, link); not read
  kFailed,        // the look-up or the move failed; *error holds the Windows error code
};

// What a folder on an entry's way was when the entry went to the trash: enough to make it again
// as it was, and to see that a folder there now is not the one that was. A link on the way (a
// /home that leads to /var/home) is described by its text and owner, so that the same link is
// followed again and any other link is not.
struct FolderState {
  uint32_t mode = 0;  // permission bits, set-id and sticky bits (07777)
  uint32_t owner = 0;
  uint32_t group = 0;
  std::string link;  // not empty: the path was a link with this text
};

// Folder states by absolute path, as a caller recorded them at trashing time.
using FolderStates = std::map<std::string, FolderState>;

// The state of the folder (or link) `path` now, without following a link at its end; false when
// it is neither or cannot be looked at (always false where folders have no such state).
bool DescribeFolder(const std::string& path, FolderState* state);

// Looks the entry up without changing anything. *size receives the bytes of a regular file (0
// for anything else) when the entry is in the trash.
TrashEntryStatus FindTrashedEntry(const TrashedEntry& entry, uint64_t* size, uint32_t* error);

// Moves a found entry back to its original path, then removes its .trashinfo. Every folder on
// the way is reached from the one before it without following a link (kLinkOnWay when one is a
// link now); a folder that `folders` knows and that has another owner now is kOwnerChanged.
// Missing folders are made again with the mode and owner `folders` has for them (else 0777 less
// the umask, as mkdir -p does). The entry is renamed within its device and never copied; an
// entry at the original path is never replaced (nor is a dangling link there). Whatever fails
// leaves the entry in the trash as it was.
TrashEntryStatus RestoreTrashedEntry(const TrashedEntry& entry, uint64_t* size, uint32_t* error,
                                     const FolderStates* folders = nullptr);

}  // namespace platform
