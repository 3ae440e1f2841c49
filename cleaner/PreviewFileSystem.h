// The file system of a preview ("--preview"): every deletion, removal, move to the trash,
// attribute change and folder creation is answered as the file system it wraps would answer a
// real run, while nothing on disk changes. What "went" is remembered by the identity of its
// folder (device and inode) and its name, so a name reached again by another path or through a
// link is recognised; from then on listings leave it out, emptiness tests do not count it, a
// path through it leads nowhere, and a link to a folder that went is listed as the dangling link
// it would be. A recursive command therefore sees a folder as empty when everything in it would
// have gone, and the preview writes the lines and totals of the real run.
//
// A folder the preview "creates" exists for later questions about it and about names in it (so
// a second create-folder of it answers as a real one would, it is empty until a folder is
// "created" in it, and it can be "removed"): the by-path calls reach it as the folder above a
// name (OpenParentFolder hands out a folder of the preview's own for it). But it cannot be
// opened as a folder and a listing of the folder above it does not show it: a later walk over
// that folder does not see it, where a real run would find it there, empty.
//
// What the preview cannot know it assumes: a removal the system would refuse for want of
// permission (another user's file in a sticky folder, an immutable file, a trash on another
// device) is shown as done.
#pragma once

#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <string_view>
#include <tuple>
#include <utility>
#include <vector>

#include "platform/file_system.h"
#include "platform/platform.h"

namespace sweepwell {

class PreviewFileSystem : public platform::FileSystemWrapper {
 public:
  // Reads through `target`, which must outlive the preview, and never changes it.
  explicit PreviewFileSystem(platform::FileSystem& target) : FileSystemWrapper(target) {}

  platform::Folder OpenFolder(const std::string& path, uint32_t* error, bool follow_links) override;
  platform::Folder OpenEntry(const platform::Folder& folder, std::string_view name, uint32_t* error,
                             bool follow_links) override;
  uint32_t ListFolder(const platform::Folder& folder,
                      std::vector<platform::FindRecord>* records) override;
  uint32_t GetEntryAttributes(const platform::Folder& folder, std::string_view name,
                              uint32_t* attributes, uint64_t* size) override;
  uint32_t IsEntryFolderEmpty(const platform::Folder& folder, std::string_view name,
                              bool* empty) override;

  // Attribute changes are answered with success and change nothing.
  uint32_t SetEntryAttributesNormal(const platform::Folder& folder, std::string_view name) override;
  // So are the changes of what is kept beside an entry: its streams, its compression and its
  // attributes.
  uint32_t SetEntryStream(const platform::Folder& folder, std::string_view name,
                          std::string_view stream, std::string_view value) override;
  uint32_t RemoveEntryStream(const platform::Folder& folder, std::string_view name,
                             std::string_view stream) override;
  uint32_t SetEntryCompression(const platform::Folder& folder, std::string_view name,
                               uint32_t format) override;
  uint32_t SetEntryAttributes(const platform::Folder& folder, std::string_view name,
                              uint32_t attributes) override;

  // kSuccess and the entry is gone from now on, or the error the real call would meet now:
  // kFileNotFound when the entry is not there (any more), kAccessDenied for a file deletion of a
  // folder, kDirNotEmpty for a folder with entries that did not go. A link to a folder goes as
  // a link; its target stays.
  uint32_t DeleteEntryFile(const platform::Folder& folder, std::string_view name) override;
  uint32_t RemoveEntryDirectory(const platform::Folder& folder, std::string_view name) override;
  // A preview moves nothing, so `move` learns of no trash entry.
  uint32_t MoveEntryToTrash(const platform::Folder& folder, std::string_view name,
                            const std::string& path, platform::TrashMove* move = nullptr) override;

  // kAlreadyExists when the name is taken, else kSuccess and the folder counts as made (a
  // missing folder above it is kPathNotFound from OpenParentFolder, as on disk).
  uint32_t CreateEntryDirectory(const platform::Folder& folder, std::string_view name) override;

  // Nothing comes back from the trash: an entry that would is answered kRestored and stays
  // there.
  platform::TrashEntryStatus RestoreTrashedEntry(
      const platform::TrashedEntry& entry, uint64_t* size, uint32_t* error,
      const platform::FolderStates* folders = nullptr) override;

  // The folder above the last name of `path`: a folder that went leads nowhere, and a folder
  // made by the preview comes back as a folder of the preview's own, which only the calls
  // above answer for.
  platform::Folder OpenParentFolder(const std::string& path, std::string* name,
                                    uint32_t* error) override;

 private:
  using Key = std::tuple<uint64_t, uint64_t, std::string>;
  static Key KeyOf(const platform::Folder& folder, std::string_view name);

  bool Went(const platform::Folder& folder, std::string_view name) const;
  bool IsGoneFolder(const platform::Folder& folder) const;
  // kSuccess when no step of `path` went, kFileNotFound when its last one did, kPathNotFound
  // when a folder on the way did.
  uint32_t CheckPath(const std::string& path);
  uint32_t Remove(const platform::Folder& folder, std::string_view name, bool folder_entry);
  // The token of the folder the preview made as `name` in `folder`; 0 when it made none.
  uint64_t MadeToken(const platform::Folder& folder, std::string_view name) const;
  static bool IsMade(const platform::Folder& folder);
  bool HoldsMade(const platform::Folder& folder) const;
  bool HoldsOnlyGone(const platform::Folder& folder);
  // A link to a folder that went is a dangling link: no longer a folder.
  void ForgetGoneTarget(const platform::Folder& folder, std::string_view name,
                        uint32_t* attributes);

  std::set<Key> gone_;
  std::set<std::pair<uint64_t, uint64_t>> gone_folders_;  // identities of folders that went
  std::map<Key, uint64_t> made_;  // folders create-folder would make, and their tokens
  uint64_t next_made_ = 0;
};

}  // namespace sweepwell
