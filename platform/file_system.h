// The file system as the rest of the program sees it: one interface with every operation the
// cleaner's walks, its deleter, its output, the run log and the undo records take, so that a test
// can stand in for the machine's own (and make any chosen call fail) without root, loop images
// or immutable files.
//
// A map of the layer, where things live:
//   platform.h        Folder (an open folder: the handle every entry operation acts in),
//                     FindRecord (the one entry record of every listing), the entry operations
//                     and their by-path forms, error:: and attr::.
//   file.h            File (the one open file, RAII, move-only) and its openers; FileOpening.
//   file_system.h     this interface, RealFileSystem(), FileSystemWrapper, and the by-path
//                     helpers over it (GetFileAttributes(files, path), DeleteFile(files, path),
//                     OpenFileByPath, ReadWholeFile, ...): the one way above platform/ to act on
//                     a path. Each opens the folder above it once (OpenParentFolder) and calls
//                     the entry member, so the interface itself has no by-path twins.
//   find.h            the library's search listing (FindInFolder, FindEntries over any file
//                     system) with its masks and options.
//   stat_pool.h       the one engine that looks at entries in batches (io_uring on Linux).
//   trash.h           moves to the trash, their records and the way back.
//   whole_file.h      the machine's side of the whole-file members (ReadEntryWhole,
//                     ReplaceEntryFile, ...); their by-path helpers (ReadWholeFile,
//                     ReplaceWholeFile, ...) are here, below the interface.
//   streams.h, compression.h, attributes.h
//                     the machine's side of the stream, compression and attribute members
//                     (GetEntryStream, SetEntryCompression, SetEntryAttributes, ...) and their
//                     by-path calls; the by-path helpers over any file system (GetFileStream,
//                     SetFileCompression, SetFileAttributes with a FileSystem) are here.
//   posix/, win32/    the two backends of every header above; the compiler checks both against
//                     the same declarations. handles.cpp holds what they share.
//   Stand-ins (tests and the preview): tests/common/memory_file_system.* (a volume in memory),
//   tests/common/faulty_file_system.h (fails chosen calls), cleaner/PreviewFileSystem.* (acts
//   on nothing and answers as if it had).
//   Moved to this interface: the cleaner's log and undo records (made locked: kCreateLocked);
//   the library's whole files (orvFSO holds its FileSystem: UseFileSystem), its zone streams
//   and compression, and the Descript.ion lists orvFSO reads and writes (the file system
//   handed on to orvDescriptIon, which uses RealFileSystem() when made on its own).
//   The way back from the trash (FindTrashedEntry, RestoreTrashedEntry, DescribeFolder) is
//   members too, so an undo runs over a volume in memory.
//   The library's list files and the script loader (Script::LoadFromFile) read through a given
//   file system as well.
//   The library's search lists its folders through the file system its result is given
//   (orvFoundedFiles::UseFileSystem), so a search runs over a volume in memory as well.
//   The library's backup walk of a file's streams (orvFileStreams, ReadBackupStreams) goes
//   through the file system too (orvFileStreams::UseFileSystem).
//   Still by the free functions rather than through this interface: the volume root queries
//   and the cleaner's resolved-path and protected-folder checks, which must ask the machine.
//
// Which calls follow links:
//   - No entry operation (on `name` of an open folder) follows a link in the last place: it
//     acts on, or describes, the link itself. OpenEntry follows one only when asked.
//   - OpenFolder and the by-path forms follow the links on the way to the last name, as any
//     path does; the last name is followed only by OpenFolder with `follow_links`.
//   - OpenEntryFile follows a link in the last place for kRead and kAppend only; the other
//     openings refuse one.
//   - OpenEntryVerified never follows: it opens the entry only while it is still the folder
//     (device and inode) the caller saw, which is how a walk reopens an ancestor.
// Which calls may block:
//   - Nothing here opens a FIFO, a socket or a device: files are opened without waiting and
//     refused (kBadFileType) unless they are regular files, and folders are opened as folders.
//   - Every call may wait on a slow or hung volume (a network mount), as any system call does;
//     opening a folder that is an automount point mounts it first.
//   - MoveToTrash and MoveEntryToTrash never copy on Linux (a rename within the entry's own
//     volume); on Windows the shell moves the file to the recycle bin, which may copy it.
//   - DeleteEntryFiles reads the stop request between entries; a stop waits for one entry.
//
// RealFileSystem() is the machine's (platform/file_system.cpp, the same for every backend, since
// it only forwards to platform.h): each call is the function of platform.h of the same name,
// with the same meaning, failure codes and units. Another implementation keeps that meaning:
// Windows error codes (error::), attr:: bits, FILETIME ticks. A test derives from
// FileSystemWrapper, which forwards everything to another file system, and overrides the calls
// it wants to change.
//
// The machine's file system hands out real open folders (Folder). A stand-in hands out its own
// (Folder::ForStandIn), which only it resolves: a folder goes back to the file system that
// opened it, never to another.
//
// The member names are those of platform.h (DeleteFile, RemoveDirectory, CreateDirectory,
// GetFileAttributes): a file that includes <windows.h> undefines those macros before it
// includes this header, as it must before platform.h.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "platform/file.h"
#include "platform/find.h"
#include "platform/platform.h"
#include "platform/streams.h"
#include "platform/trash.h"
#include "platform/whole_file.h"

namespace platform {

class FileSystem {
 public:
  virtual ~FileSystem() = default;

  // Folder::Open, Folder::OpenEntry and Folder::OpenEntryVerified: open folders, by path or
  // relative to an open one; `follow_links` false refuses a link in the last place.
  virtual Folder OpenFolder(const std::string& path, uint32_t* error, bool follow_links) = 0;
  virtual Folder OpenEntry(const Folder& folder, std::string_view name, uint32_t* error,
                           bool follow_links) = 0;
  virtual Folder OpenEntryVerified(const Folder& folder, std::string_view name,
                                   const FolderId& expected, uint32_t* error) = 0;

  // ListFolder: every entry of an open folder, "." and ".." included.
  virtual uint32_t ListFolder(const Folder& folder, std::vector<FindRecord>* records) = 0;

  // The entry operations of platform.h on the entry `name` of an open folder.
  virtual uint32_t GetEntryAttributes(const Folder& folder, std::string_view name,
                                      uint32_t* attributes, uint64_t* size) = 0;
  virtual uint32_t SetEntryAttributesNormal(const Folder& folder, std::string_view name) = 0;
  virtual uint32_t DeleteEntryFile(const Folder& folder, std::string_view name) = 0;
  virtual uint32_t RemoveEntryDirectory(const Folder& folder, std::string_view name) = 0;
  // `move`, when given, learns the trash entry before the entry moves (platform/trash.h).
  virtual uint32_t MoveEntryToTrash(const Folder& folder, std::string_view name,
                                    const std::string& path, TrashMove* move = nullptr) = 0;
  virtual uint32_t IsEntryFolderEmpty(const Folder& folder, std::string_view name, bool* empty) = 0;

  // Files, relative to an open folder (OpenEntryFile and CreateEntryDirectory of file.h). Every
  // caller holds the one File type whoever serves it: the machine's file system hands out
  // files of the system, a stand-in its own (File::ForStandIn with a StandInFile body), whose
  // calls it answers itself. So code that reads or writes files needs no other seam than this
  // class, and a stand-in's faults (a full disk, a read-only volume) reach it through File's
  // own calls.
  virtual uint32_t OpenEntryFile(const Folder& folder, std::string_view name, FileOpening how,
                                 File* file) = 0;
  virtual uint32_t CreateEntryDirectory(const Folder& folder, std::string_view name) = 0;
  // The whole file into *data (replaced): OpenEntryFile with kRead, then File::ReadAll.
  virtual uint32_t ReadEntryFile(const Folder& folder, std::string_view name, std::string* data);

  // ---- Whole files, relative to an open folder: the calls of platform/whole_file.h, with
  // their meaning (the machine's file system is those functions). Each follows a link in the
  // entry's place; the writing ones replace or extend the file it leads to, and a folder, FIFO
  // or device where a file is expected gives kAccessDenied. The by-path helpers below open the
  // folder above a path and call these.
  virtual uint32_t ReadEntryWhole(const Folder& folder, std::string_view name,
                                  std::vector<uint8_t>* data) = 0;
  virtual File OpenEntryWhole(const Folder& folder, std::string_view name, uint32_t* error) = 0;
  virtual uint32_t ReadEntryStart(const Folder& folder, std::string_view name, size_t max_bytes,
                                  std::vector<uint8_t>* data, uint64_t* size) = 0;
  // Atomic: the old contents stay whole until the new ones are, and stay when writing fails.
  virtual uint32_t ReplaceEntryFile(const Folder& folder, std::string_view name,
                                    const ContentsMaker& contents) = 0;
  virtual uint32_t AppendEntryFile(const Folder& folder, std::string_view name,
                                   std::string_view data) = 0;
  virtual uint32_t OverwriteEntryFile(const Folder& folder, std::string_view name,
                                      std::string_view data) = 0;
  virtual uint32_t GetEntryFileSize(const Folder& folder, std::string_view name,
                                    uint64_t* size) = 0;
  // The folder `path`, opened to write into it (platform::OpenWriteFolder: on POSIX the links on
  // the way are followed only as fs.protected_symlinks allows). The default: OpenFolder with
  // follow_links, for a stand-in that grants no such exception anyway.
  virtual Folder OpenWriteFolder(const std::string& path, uint32_t* error);

  // ---- What is kept beside an entry's contents, relative to an open folder: the calls of
  // platform/streams.h (named streams), compression.h and attributes.h (SetFileAttributes),
  // with their meaning and error codes; the machine's file system is their entry forms. The
  // stream and compression members follow a link in the entry's place, as their by-path forms
  // always have (CreateFile on "F:NAME" follows one too); SetEntryAttributes leaves a link
  // alone (success), so a link planted under a known name never lets a caller change what it
  // leads to. The name "." is the folder itself. None opens a FIFO or a device. A volume that keeps
  // no streams, or does not compress, answers kNotSupported. The by-path helpers below open the
  // folder above a path and call these.
  virtual uint32_t GetEntryStream(const Folder& folder, std::string_view name,
                                  std::string_view stream, std::string* value) = 0;
  virtual uint32_t SetEntryStream(const Folder& folder, std::string_view name,
                                  std::string_view stream, std::string_view value) = 0;
  virtual uint32_t RemoveEntryStream(const Folder& folder, std::string_view name,
                                     std::string_view stream) = 0;
  virtual uint32_t ListEntryStreams(const Folder& folder, std::string_view name,
                                    std::vector<std::string>* names) = 0;
  // ReadEntryBackupStreams of streams.h: the headers of the entry's streams, as BackupRead
  // walks them.
  virtual uint32_t ReadEntryBackupStreams(const Folder& folder, std::string_view name,
                                          bool process_security,
                                          std::vector<BackupStreamHeader>* streams) = 0;
  virtual uint32_t GetEntryCompression(const Folder& folder, std::string_view name,
                                       uint32_t* format) = 0;
  virtual uint32_t SetEntryCompression(const Folder& folder, std::string_view name,
                                       uint32_t format) = 0;
  virtual uint32_t SetEntryAttributes(const Folder& folder, std::string_view name,
                                      uint32_t attributes) = 0;

  // The folder above the last name of `path`, and that name: platform::OpenParentFolder, with
  // its meaning (trailing separators dropped, a root is "." of itself, links on the way
  // followed). Every by-path helper below reaches its entry through this one call. The
  // default: the path cut at its last separator and OpenFolder of the part before it.
  virtual Folder OpenParentFolder(const std::string& path, std::string* name, uint32_t* error);

  // ---- The library's search: FindInFolder of platform/find.h, the entries of an open folder
  // that match a mask (or the one entry of a plain name), as FindFirstFile lists them. The
  // default lists the folder (ListFolder) and keeps what matches; it never defers a look.
  virtual uint32_t FindInFolder(Folder folder, std::string_view mask, FindResult* result,
                                bool defer_looks);

  // ---- The way back from the trash: the calls of platform/trash.h, with their meaning. An
  // undo looks its entries up and moves them back through the file system they went from, and
  // a record describes the folders on an entry's way (DescribeFolder) as it trashes it.
  virtual TrashEntryStatus FindTrashedEntry(const TrashedEntry& entry, uint64_t* size,
                                            uint32_t* error) = 0;
  virtual TrashEntryStatus RestoreTrashedEntry(const TrashedEntry& entry, uint64_t* size,
                                               uint32_t* error,
                                               const FolderStates* folders = nullptr) = 0;
  virtual bool DescribeFolder(const std::string& path, FolderState* state) = 0;

  // For the walks that delete, which look at most entries only to delete them. The defaults
  // are made of the single calls above, so a stand-in that changes those changes these too
  // (FileSystemWrapper keeps the defaults); on Linux the machine's file system lists and
  // describes faster (DeleteEntryFiles is the same calls either way).
  //
  // ListFolderNames: ListFolder, except that plain files (neither folders nor links) may come
  // with only what the listing itself says of them (attributes from type and name, no size or
  // times); *plain_files_described tells which. A caller describes those it acts on first.
  virtual uint32_t ListFolderNames(const Folder& folder, std::vector<FindRecord>* records,
                                   bool* plain_files_described);
  // Completes each record as GetEntryAttributes reads it (attributes and size; the machine's
  // file system also the times). codes[i]: kSuccess, or the error of reading records[i], whose
  // record is then unchanged (kFileNotFound/kPathNotFound: it is gone).
  virtual void DescribeEntries(const Folder& folder, std::span<FindRecord* const> records,
                               uint32_t* codes);
  // DeleteEntryFile of each entry in order, each only after the one before went; stops at the
  // first that fails, and before the next once a stop was asked for (StopRequested, read
  // between entries). Returns how many went; *error is kSuccess (all went, or the stop), or
  // why the next did not go.
  virtual size_t DeleteEntryFiles(const Folder& folder, std::span<const FindRecord* const> entries,
                                  uint32_t* error);
};

// The machine's file system; one for the process, alive until it ends.
FileSystem& RealFileSystem();

// The by-path form of the file calls: opens the folder above `path` once (links on the way
// followed) and calls the entry operation on the last name. `path` ending in a separator names
// no file (kInvalidName); a name alone is in the current folder.
uint32_t OpenFileByPath(FileSystem& files, const std::string& path, FileOpening how, File* file);

// The by-path forms of the whole-file members, with the meaning of those: each opens the folder
// above `path` once (OpenFolder for the reading ones, OpenWriteFolder for the writing ones) and
// calls the member on the last name, as OpenFileByPath does. A missing folder on the way gives
// kPathNotFound, an empty path too; a folder, FIFO or device where a file is expected gives
// kAccessDenied, whoever serves the call.
uint32_t ReadWholeFile(FileSystem& files, const std::string& path, std::vector<uint8_t>* data);
File OpenWholeFile(FileSystem& files, const std::string& path, uint32_t* error);
uint32_t ReadFileStart(FileSystem& files, const std::string& path, size_t max_bytes,
                       std::vector<uint8_t>* data, uint64_t* size);
uint32_t ReplaceWholeFile(FileSystem& files, const std::string& path, std::string_view data);
uint32_t ReplaceWholeFile(FileSystem& files, const std::string& path,
                          const ContentsMaker& contents);
uint32_t AppendToFile(FileSystem& files, const std::string& path, std::string_view data);
uint32_t OverwriteFile(FileSystem& files, const std::string& path, std::string_view data);
uint32_t GetFileSize(FileSystem& files, const std::string& path, uint64_t* size);

// The by-path forms of the entry operations: each opens the folder above `path` once
// (OpenParentFolder) and calls the entry member on the last name, so a stand-in answers them
// through its entry members alone, and no path is resolved twice. MoveToTrash records `path`
// without its trailing separators.
uint32_t GetFileAttributes(FileSystem& files, const std::string& path, uint32_t* attributes,
                           uint64_t* size);
uint32_t SetFileAttributesNormal(FileSystem& files, const std::string& path);
uint32_t DeleteFile(FileSystem& files, const std::string& path);
uint32_t RemoveDirectory(FileSystem& files, const std::string& path);
uint32_t MoveToTrash(FileSystem& files, const std::string& path, TrashMove* move = nullptr);
uint32_t IsFolderEmpty(FileSystem& files, const std::string& path, bool* empty);
uint32_t CreateDirectory(FileSystem& files, const std::string& path);

// The by-path forms of the stream, compression and attribute members, with the meaning and codes
// of the by-path calls of streams.h, compression.h and attributes.h: each opens the folder above
// `path` once (links on the way followed; trailing separators are dropped, and a root is the
// folder "." of itself) and calls the member on the last name. An empty path is kFileNotFound
// for the stream calls and kPathNotFound for the others, as those calls answer it. A folder on
// the way that cannot be opened gives the code of opening it, except that on Linux a missing
// one is kFileNotFound for the stream and compression calls, as the system says there.
uint32_t GetFileStream(FileSystem& files, const std::string& path, std::string_view stream,
                       std::string* value);
uint32_t SetFileStream(FileSystem& files, const std::string& path, std::string_view stream,
                       std::string_view value);
uint32_t RemoveFileStream(FileSystem& files, const std::string& path, std::string_view stream);
uint32_t ListFileStreams(FileSystem& files, const std::string& path,
                         std::vector<std::string>* names);
uint32_t ReadBackupStreams(FileSystem& files, const std::string& path, bool process_security,
                           std::vector<BackupStreamHeader>* streams);
uint32_t GetFileCompression(FileSystem& files, const std::string& path, uint32_t* format);
uint32_t SetFileCompression(FileSystem& files, const std::string& path, uint32_t format);
uint32_t SetFileAttributes(FileSystem& files, const std::string& path, uint32_t attributes);

// FindFirstFile(pattern) and FindNextFile to the end (platform/find.h): the folder above the
// pattern's last part opened once (OpenParentFolder), compared with options.expected_folder
// once it is held (another folder: kPathNotFound), and listed with FindInFolder. An empty
// pattern is kPathNotFound, one longer than kLongestFindPattern kFilenameTooLong, one with a NUL
// kInvalidName; a missing folder gives the code of opening it.
uint32_t FindEntries(FileSystem& files, const std::string& pattern, FindResult* result,
                     FindOptions options = {});

// Forwards every call to `target` (which must outlive it).
class FileSystemWrapper : public FileSystem {
 public:
  explicit FileSystemWrapper(FileSystem& target) : target_(target) {}
  FileSystem& target() { return target_; }

  Folder OpenFolder(const std::string& path, uint32_t* error, bool follow_links) override {
    return target_.OpenFolder(path, error, follow_links);
  }
  Folder OpenEntry(const Folder& folder, std::string_view name, uint32_t* error,
                   bool follow_links) override {
    return target_.OpenEntry(folder, name, error, follow_links);
  }
  Folder OpenEntryVerified(const Folder& folder, std::string_view name, const FolderId& expected,
                           uint32_t* error) override {
    return target_.OpenEntryVerified(folder, name, expected, error);
  }
  uint32_t ListFolder(const Folder& folder, std::vector<FindRecord>* records) override {
    return target_.ListFolder(folder, records);
  }
  uint32_t GetEntryAttributes(const Folder& folder, std::string_view name, uint32_t* attributes,
                              uint64_t* size) override {
    return target_.GetEntryAttributes(folder, name, attributes, size);
  }
  uint32_t SetEntryAttributesNormal(const Folder& folder, std::string_view name) override {
    return target_.SetEntryAttributesNormal(folder, name);
  }
  uint32_t DeleteEntryFile(const Folder& folder, std::string_view name) override {
    return target_.DeleteEntryFile(folder, name);
  }
  uint32_t RemoveEntryDirectory(const Folder& folder, std::string_view name) override {
    return target_.RemoveEntryDirectory(folder, name);
  }
  uint32_t MoveEntryToTrash(const Folder& folder, std::string_view name, const std::string& path,
                            TrashMove* move = nullptr) override {
    return target_.MoveEntryToTrash(folder, name, path, move);
  }
  uint32_t IsEntryFolderEmpty(const Folder& folder, std::string_view name, bool* empty) override {
    return target_.IsEntryFolderEmpty(folder, name, empty);
  }
  uint32_t OpenEntryFile(const Folder& folder, std::string_view name, FileOpening how,
                         File* file) override {
    return target_.OpenEntryFile(folder, name, how, file);
  }
  uint32_t CreateEntryDirectory(const Folder& folder, std::string_view name) override {
    return target_.CreateEntryDirectory(folder, name);
  }
  uint32_t ReadEntryFile(const Folder& folder, std::string_view name, std::string* data) override {
    return target_.ReadEntryFile(folder, name, data);
  }
  uint32_t ReadEntryWhole(const Folder& folder, std::string_view name,
                          std::vector<uint8_t>* data) override {
    return target_.ReadEntryWhole(folder, name, data);
  }
  File OpenEntryWhole(const Folder& folder, std::string_view name, uint32_t* error) override {
    return target_.OpenEntryWhole(folder, name, error);
  }
  uint32_t ReadEntryStart(const Folder& folder, std::string_view name, size_t max_bytes,
                          std::vector<uint8_t>* data, uint64_t* size) override {
    return target_.ReadEntryStart(folder, name, max_bytes, data, size);
  }
  uint32_t ReplaceEntryFile(const Folder& folder, std::string_view name,
                            const ContentsMaker& contents) override {
    return target_.ReplaceEntryFile(folder, name, contents);
  }
  uint32_t AppendEntryFile(const Folder& folder, std::string_view name,
                           std::string_view data) override {
    return target_.AppendEntryFile(folder, name, data);
  }
  uint32_t OverwriteEntryFile(const Folder& folder, std::string_view name,
                              std::string_view data) override {
    return target_.OverwriteEntryFile(folder, name, data);
  }
  uint32_t GetEntryFileSize(const Folder& folder, std::string_view name, uint64_t* size) override {
    return target_.GetEntryFileSize(folder, name, size);
  }
  Folder OpenWriteFolder(const std::string& path, uint32_t* error) override {
    return target_.OpenWriteFolder(path, error);
  }
  Folder OpenParentFolder(const std::string& path, std::string* name, uint32_t* error) override {
    return target_.OpenParentFolder(path, name, error);
  }
  uint32_t FindInFolder(Folder folder, std::string_view mask, FindResult* result,
                        bool defer_looks) override {
    return target_.FindInFolder(std::move(folder), mask, result, defer_looks);
  }
  TrashEntryStatus FindTrashedEntry(const TrashedEntry& entry, uint64_t* size,
                                    uint32_t* error) override {
    return target_.FindTrashedEntry(entry, size, error);
  }
  TrashEntryStatus RestoreTrashedEntry(const TrashedEntry& entry, uint64_t* size, uint32_t* error,
                                       const FolderStates* folders = nullptr) override {
    return target_.RestoreTrashedEntry(entry, size, error, folders);
  }
  bool DescribeFolder(const std::string& path, FolderState* state) override {
    return target_.DescribeFolder(path, state);
  }
  uint32_t GetEntryStream(const Folder& folder, std::string_view name, std::string_view stream,
                          std::string* value) override {
    return target_.GetEntryStream(folder, name, stream, value);
  }
  uint32_t SetEntryStream(const Folder& folder, std::string_view name, std::string_view stream,
                          std::string_view value) override {
    return target_.SetEntryStream(folder, name, stream, value);
  }
  uint32_t RemoveEntryStream(const Folder& folder, std::string_view name,
                             std::string_view stream) override {
    return target_.RemoveEntryStream(folder, name, stream);
  }
  uint32_t ReadEntryBackupStreams(const Folder& folder, std::string_view name,
                                  bool process_security,
                                  std::vector<BackupStreamHeader>* streams) override {
    return target_.ReadEntryBackupStreams(folder, name, process_security, streams);
  }
  uint32_t ListEntryStreams(const Folder& folder, std::string_view name,
                            std::vector<std::string>* names) override {
    return target_.ListEntryStreams(folder, name, names);
  }
  uint32_t GetEntryCompression(const Folder& folder, std::string_view name,
                               uint32_t* format) override {
    return target_.GetEntryCompression(folder, name, format);
  }
  uint32_t SetEntryCompression(const Folder& folder, std::string_view name,
                               uint32_t format) override {
    return target_.SetEntryCompression(folder, name, format);
  }
  uint32_t SetEntryAttributes(const Folder& folder, std::string_view name,
                              uint32_t attributes) override {
    return target_.SetEntryAttributes(folder, name, attributes);
  }

 private:
  FileSystem& target_;
};

}  // namespace platform
