// A file system held wholly in memory, for tests that need a case the machine gives only to root
// or on a special volume: a file that cannot be deleted, a full disk, a read-only volume, a mount
// point, a folder that cannot be read. It answers every call as the machine's Linux file system
// would (the same error codes, attributes and link rules; platform/file_system.h), but never
// grants root's exceptions, so a test means the same whoever runs it.
//
// The tree:
// - Paths are absolute and '/'-separated; a relative path is taken from "/". "." and ".." are
//   resolved as the kernel resolves them, after links (".." is the folder's real parent).
// - Entries are folders, regular files with contents, symbolic links (whose target is text,
//   resolved when a call follows it) and special files (FIFO, socket, device) that are entries
//   only: nothing here opens them.
// - A folder's identity (Folder::Id) is its device and inode; inodes are never reused, so a
//   folder replaced by another of the same name is never taken for it. A mount point is a folder
//   of another device.
// - Listings come in name order ("." and ".." first), and every time comes from the clock the
//   test sets (SetClock), so two runs of one test see the same answers.
//
// Files are opened through OpenEntryFile and come back as File::ForStandIn: their writes take
// room from the volume (SetFreeBytes) and fail as the kernel's do when it runs out, with part
// of the data written (kDiskFull); a file may have its own limit (LimitFile) for a quota or the
// largest file a volume takes. A file removed while open stays readable and writable through
// the open File, and its room comes back when the last one closes, as on Linux.
//
// Beside its contents an entry keeps what Linux keeps on a volume with user attributes (named
// streams, as "user." attributes: on files and folders, a link followed to them), a compression
// format (as a compressing volume keeps one; a compressed entry reads back as LZNT1, as on NTFS)
// and the attribute bits SetEntryAttributes sets: read-only is the owner write bit, as on Linux,
// and hidden, system, temporary, offline and not-content-indexed are kept as NTFS keeps them.
//
// The folders it hands out (Folder::ForStandIn) are resolved only by the file system that
// opened them; a folder that was removed while open lists nothing and holds nothing, as a
// removed open folder does on Linux.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/file_system.h"
#include "platform/platform.h"

namespace orvanel::testing {

class MemoryFileSystem : public platform::FileSystem {
 public:
  enum class Kind { kFolder, kFile, kLink, kFifo, kSocket, kDevice };

  // The times of an entry, as FILETIME ticks.
  struct Times {
    platform::FileTime write = 0, access = 0, change = 0, birth = 0;
  };

  // An empty volume: "/" and nothing in it, no limits, the clock at 2026-01-01 00:00 UTC.
  MemoryFileSystem();
  MemoryFileSystem(const MemoryFileSystem&) = delete;
  MemoryFileSystem& operator=(const MemoryFileSystem&) = delete;

  // ---- Building the tree. Missing folders above are made; an entry already there is replaced
  // only by AddFile over a file. These bypass every limit and refusal (the test's own setup).
  void AddFolder(const std::string& path);
  void AddFile(const std::string& path, std::string_view contents = {});
  void AddLink(const std::string& path, const std::string& target);
  void AddSpecial(const std::string& path, Kind kind);  // kFifo, kSocket or kDevice
  // A folder that is the root of another device (a mounted volume).
  void AddMountPoint(const std::string& path);

  // ---- What an entry is and how it may change.
  // Owner permission bits (0400 read, 0200 write, 0100 search), as chmod gives them: a file
  // without 0200 is kReadOnly; a folder without 0200 gains and loses no entry, without 0400
  // cannot be opened, without 0100 lets no entry in it be looked at or opened.
  void SetMode(const std::string& path, uint32_t mode);
  // The entry cannot be deleted, removed, moved or have its attributes changed, and a locked
  // folder gains and loses no entry (chattr +i gives this with kAccessDenied; a file in use on
  // Windows, with kSharingViolation). Each such call fails with `error`.
  void Lock(const std::string& path, uint32_t error = platform::error::kAccessDenied);
  // Extra attribute bits the entry shows besides those its kind gives (kSystem, kCompressed...).
  void SetExtraAttributes(const std::string& path, uint32_t attributes);
  void SetTimes(const std::string& path, const Times& times);

  // ---- The volume: the one "/" is on. A mounted volume (AddMountPoint) has no limits and is
  // never read-only, so a test can keep the run's log apart from the volume it tries.
  // Every change fails with kAccessDenied, as on a volume mounted read-only.
  void SetReadOnly(bool read_only) { main_.read_only = read_only; }
  // Bytes free (a file takes its size, a folder kFolderBytes) and entries that may still be
  // made; nullopt: no limit. A folder that does not fit fails with kDiskFull.
  static constexpr uint64_t kFolderBytes = 4096;
  void SetFreeBytes(std::optional<uint64_t> bytes) { main_.free_bytes = bytes; }
  void SetFreeEntries(std::optional<uint64_t> entries) { main_.free_entries = entries; }
  std::optional<uint64_t> FreeBytes() const { return main_.free_bytes; }
  // The time every change is stamped with from now on.
  void SetClock(platform::FileTime now) { clock_ = now; }
  platform::FileTime Clock() const { return clock_; }
  // Where MoveEntryToTrash puts entries: the folder `path`/files (made on first use).
  void SetTrashFolder(const std::string& path) { trash_folder_ = path; }

  // Writes that would make the file at `path` longer than `max_size` bytes write what fits and
  // fail with `error`: kDiskQuotaExceeded for the user's quota, kFileTooLarge for the volume's
  // largest file, or any other code a write may give.
  void LimitFile(const std::string& path, uint64_t max_size, uint32_t error);

  // Every stream call fails with kNotSupported, as on a volume without user attributes.
  void SetKeepsNoStreams(bool none) { main_.no_streams = none; }
  // A stream value longer than `max_size` bytes is refused with kFileTooLarge, as the room a
  // volume keeps beside a file is limited; nullopt: no limit.
  void SetLargestStream(std::optional<size_t> max_size) { main_.largest_stream = max_size; }
  // Every compression call fails with kNotSupported, as on a volume that does not compress.
  void SetCompresses(bool compresses) { main_.no_compression = !compresses; }
  // A stream for the test's setup (no limit or refusal); the entry must be there.
  void SetStream(const std::string& path, const std::string& stream, std::string_view value);

  // The folder at `path` is moved aside (to `path` + ".moved-aside") and a link to `target`
  // takes its name: another program swapping a folder for a link between a look and an action.
  void SwapForLink(const std::string& path, const std::string& target);

  // ---- Reading the tree back (links are not followed; false/empty when the path is missing).
  bool Exists(const std::string& path) const;
  std::optional<Kind> KindOf(const std::string& path) const;
  std::string Contents(const std::string& path) const;
  std::vector<std::string> List(const std::string& path) const;  // names, "." and ".." left out
  std::optional<platform::FolderId> IdOf(const std::string& path) const;
  std::optional<Times> TimesOf(const std::string& path) const;
  // The value of stream `stream` of the entry; nullopt when it has none.
  std::optional<std::string> Stream(const std::string& path, const std::string& stream) const;
  std::optional<uint32_t> CompressionOf(const std::string& path) const;
  // The entries moved to the trash, in order, as "original path -> name in files/".
  const std::vector<std::string>& Trashed() const { return trashed_; }

  // ---- platform::FileSystem
  platform::Folder OpenFolder(const std::string& path, uint32_t* error, bool follow_links) override;
  platform::Folder OpenEntry(const platform::Folder& folder, std::string_view name, uint32_t* error,
                             bool follow_links) override;
  platform::Folder OpenEntryVerified(const platform::Folder& folder, std::string_view name,
                                     const platform::FolderId& expected, uint32_t* error) override;
  uint32_t ListFolder(const platform::Folder& folder,
                      std::vector<platform::FindRecord>* records) override;
  uint32_t GetEntryAttributes(const platform::Folder& folder, std::string_view name,
                              uint32_t* attributes, uint64_t* size) override;
  uint32_t SetEntryAttributesNormal(const platform::Folder& folder, std::string_view name) override;
  uint32_t DeleteEntryFile(const platform::Folder& folder, std::string_view name) override;
  uint32_t RemoveEntryDirectory(const platform::Folder& folder, std::string_view name) override;
  uint32_t MoveEntryToTrash(const platform::Folder& folder, std::string_view name,
                            const std::string& path, platform::TrashMove* move = nullptr) override;
  // The trash's way back, as platform/trash.h has it, for the entries this file system moved
  // to its trash: looked up by name and record, moved back along the original path without
  // following a link that was not there before (kLinkOnWay), missing folders made again with
  // the modes `folders` has for them, never over an entry at the original path. A folder keeps
  // no owner here, so kOwnerChanged never comes.
  platform::TrashEntryStatus FindTrashedEntry(const platform::TrashedEntry& entry, uint64_t* size,
                                              uint32_t* error) override;
  platform::TrashEntryStatus RestoreTrashedEntry(
      const platform::TrashedEntry& entry, uint64_t* size, uint32_t* error,
      const platform::FolderStates* folders = nullptr) override;
  bool DescribeFolder(const std::string& path, platform::FolderState* state) override;
  uint32_t IsEntryFolderEmpty(const platform::Folder& folder, std::string_view name,
                              bool* empty) override;
  uint32_t OpenEntryFile(const platform::Folder& folder, std::string_view name,
                         platform::FileOpening how, platform::File* file) override;
  uint32_t CreateEntryDirectory(const platform::Folder& folder, std::string_view name) override;
  // Whole files: the file the last link leads to is read or written; ReplaceEntryFile makes the
  // new contents whole (taking room, the file's limit carried over, the old mode kept) before
  // they take the old file's place, so a failure leaves the old file as it was.
  uint32_t ReadEntryWhole(const platform::Folder& folder, std::string_view name,
                          std::vector<uint8_t>* data) override;
  platform::File OpenEntryWhole(const platform::Folder& folder, std::string_view name,
                                uint32_t* error) override;
  uint32_t ReadEntryStart(const platform::Folder& folder, std::string_view name, size_t max_bytes,
                          std::vector<uint8_t>* data, uint64_t* size) override;
  uint32_t ReplaceEntryFile(const platform::Folder& folder, std::string_view name,
                            const platform::ContentsMaker& contents) override;
  uint32_t AppendEntryFile(const platform::Folder& folder, std::string_view name,
                           std::string_view data) override;
  uint32_t OverwriteEntryFile(const platform::Folder& folder, std::string_view name,
                              std::string_view data) override;
  uint32_t GetEntryFileSize(const platform::Folder& folder, std::string_view name,
                            uint64_t* size) override;
  uint32_t GetEntryStream(const platform::Folder& folder, std::string_view name,
                          std::string_view stream, std::string* value) override;
  uint32_t SetEntryStream(const platform::Folder& folder, std::string_view name,
                          std::string_view stream, std::string_view value) override;
  uint32_t RemoveEntryStream(const platform::Folder& folder, std::string_view name,
                             std::string_view stream) override;
  uint32_t ListEntryStreams(const platform::Folder& folder, std::string_view name,
                            std::vector<std::string>* names) override;
  // The data stream of a file, then its streams; no security stream (no access lists here).
  uint32_t ReadEntryBackupStreams(const platform::Folder& folder, std::string_view name,
                                  bool process_security,
                                  std::vector<platform::BackupStreamHeader>* streams) override;
  uint32_t GetEntryCompression(const platform::Folder& folder, std::string_view name,
                               uint32_t* format) override;
  uint32_t SetEntryCompression(const platform::Folder& folder, std::string_view name,
                               uint32_t format) override;
  uint32_t SetEntryAttributes(const platform::Folder& folder, std::string_view name,
                              uint32_t attributes) override;

 private:
  using Inode = uint64_t;
  class OpenFile;  // the body of the files it hands out
  struct Node {
    Kind kind = Kind::kFile;
    uint64_t device = 0;
    Inode parent = 0;  // folders: the folder holding it (the root: itself)
    uint32_t mode = 0;
    uint32_t extra_attributes = 0;
    uint32_t lock_error = 0;  // 0: not locked
    bool linked = true;       // false once removed (an open folder may still name it)
    Times times;
    std::string data;                      // a file's contents, a link's target
    std::map<std::string, Inode> entries;  // a folder's, by name
    uint32_t open_files = 0;               // Files open on it
    bool file_locked = false;              // File::TryLock holds it
    uint64_t size_limit = 0;               // LimitFile; 0: none
    uint32_t limit_error = 0;
    std::map<std::string, std::string> streams;  // by name, without the "user." prefix
    uint32_t compression = 0;                    // platform::compression::
  };

  struct Resolved {
    Inode inode = 0;
    uint32_t error = 0;
  };
  // The file or folder the entry `name` of `folder` leads to (links followed), for the stream
  // and compression calls; kBadFileType for a FIFO, socket or device.
  uint32_t EntryTarget(const platform::Folder& folder, std::string_view name, Inode* inode) const;
  // What the stream calls check first: the volume keeps streams, the name can be one.
  uint32_t CheckStream(Inode inode, std::string_view stream) const;
  // What a stream change checks besides: the entry may be changed and written.
  uint32_t StreamChange(const platform::Folder& folder, std::string_view name,
                        std::string_view stream, Inode* inode) const;

  // The node `path` names, starting at `from`; links in every place but the last are followed,
  // the last one only when `follow_last`. Errors as a walk of openat calls meets them (ENOENT,
  // ENOTDIR, EACCES, ELOOP, ENAMETOOLONG), in errno terms.
  Resolved Walk(Inode from, std::string_view path, bool follow_last, int depth = 0) const;
  // The entry `name` of the folder `folder` (no link followed), as statx meets it.
  Resolved Look(Inode folder, std::string_view name) const;
  // The folder a Folder of this file system stands for; 0 when it is none of ours.
  Inode FolderOf(const platform::Folder& folder) const;
  // What every entry operation checks first: *inode is the folder (kInvalidHandle when it is
  // none of ours) and `name` a single name (CheckName).
  uint32_t EntryFolder(const platform::Folder& folder, std::string_view name, Inode* inode) const;
  // The entry `name` itself (no link followed), as an entry operation checks and looks it up.
  uint32_t LookEntry(const platform::Folder& folder, std::string_view name, Inode* found) const;
  platform::Folder Hand(Inode inode) const;
  platform::Folder OpenFound(const Resolved& found, uint32_t* error) const;
  platform::FindRecord Describe(Inode folder, std::string_view name, Inode inode) const;
  // 0, or the errno of changing the entries of `folder` (its permission, its lock, the volume).
  int CheckFolderChange(Inode folder) const;
  int CheckEntryChange(Inode inode) const;
  void Unlink(Inode folder, const std::string& name);
  Inode Make(Kind kind, uint64_t device, Inode parent);
  // Forgets a file no folder names once no File holds it, and gives its room back.
  void Release(Inode inode);
  // The node at `path` for the builders, making folders as needed (dies on a misuse).
  Inode BuildParent(const std::string& path, std::string* name);
  Inode Need(const std::string& path) const;

  uint64_t serial_;  // tells this file system's folders from another's
  std::map<Inode, Node> nodes_;
  Inode next_inode_ = 2;
  uint64_t next_device_ = 0;
  platform::FileTime clock_;
  struct Volume {
    bool read_only = false;
    std::optional<uint64_t> free_bytes, free_entries;  // nullopt: no limit
    bool no_streams = false;
    std::optional<size_t> largest_stream;
    bool no_compression = false;
  };
  // The limits of the volume `inode` is on: main_ for the root's, other_ (none, ever) elsewhere.
  Volume& VolumeOf(Inode inode) {
    return nodes_.at(inode).device == nodes_.at(1).device ? main_ : other_;
  }
  const Volume& VolumeOf(Inode inode) const {
    return nodes_.at(inode).device == nodes_.at(1).device ? main_ : other_;
  }
  Volume main_;
  Volume other_;
  std::string trash_folder_ = "/trash";
  std::vector<std::string> trashed_;
  std::map<std::string, platform::TrashedEntry> trash_records_;  // by name in files/
};

}  // namespace orvanel::testing
