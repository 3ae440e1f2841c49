// The operating-system seam. Everything above this layer speaks in Windows terms: find records,
// attribute bits, FILETIME ticks and Windows error codes. Only the backend (posix/) knows about
// file descriptors and errno, so a Win32 backend can stand beside it without a change above.
//
// Conventions of every function here:
// - Functions that can fail return a Windows error code: 0 (kSuccess) or one of `error::`.
// - Names are bytes and pass through unchanged (on POSIX a name is whatever the kernel holds).
// - A path is absolute or relative to the current folder; kPathSeparator separates its parts
//   ("/" on Linux; "\\" on Windows, where "/" is also accepted as one).
// - On Windows, names and paths are UTF-8 (the backend speaks UTF-16 to the system).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

struct TrashMove;  // platform/trash.h

#ifdef _WIN32
inline constexpr char kPathSeparator = '\\';
#else
inline constexpr char kPathSeparator = '/';
#endif

// Windows error codes the layer reports (see posix/errors.cpp for the errno mapping).
namespace error {
inline constexpr uint32_t kSuccess = 0;
inline constexpr uint32_t kFileNotFound = 2;
inline constexpr uint32_t kPathNotFound = 3;
inline constexpr uint32_t kAccessDenied = 5;
inline constexpr uint32_t kInvalidHandle = 6;
inline constexpr uint32_t kNotEnoughMemory = 8;
inline constexpr uint32_t kGenFailure = 31;
inline constexpr uint32_t kSharingViolation = 32;
inline constexpr uint32_t kNotSupported = 50;
inline constexpr uint32_t kFileExists = 80;
inline constexpr uint32_t kInvalidParameter = 87;
inline constexpr uint32_t kDiskFull = 112;
inline constexpr uint32_t kInvalidName = 123;
inline constexpr uint32_t kDirNotEmpty = 145;
inline constexpr uint32_t kAlreadyExists = 183;
inline constexpr uint32_t kFilenameTooLong = 206;
inline constexpr uint32_t kCantResolveFilename = 1921;
}  // namespace error

// Windows file attribute bits.
namespace attr {
inline constexpr uint32_t kReadOnly = 0x1;
inline constexpr uint32_t kHidden = 0x2;
inline constexpr uint32_t kSystem = 0x4;
inline constexpr uint32_t kDirectory = 0x10;
inline constexpr uint32_t kArchive = 0x20;
// FILE_ATTRIBUTE_DEVICE: on Linux a socket, a FIFO or a device node. Such an entry is not a file
// to clean, and opening one may block (a FIFO without a writer) or act on hardware.
inline constexpr uint32_t kDevice = 0x40;
inline constexpr uint32_t kNormal = 0x80;
inline constexpr uint32_t kSparse = 0x200;
inline constexpr uint32_t kReparsePoint = 0x400;
inline constexpr uint32_t kCompressed = 0x800;

// A junction: a folder that is a link or a mount point (a link to a folder, a junction or a
// volume mount point on Windows). The rule every walk and command asks, so that all of them
// agree on what they must not enter.
constexpr bool IsJunction(uint32_t attributes) {
  return (attributes & (kDirectory | kReparsePoint)) == (kDirectory | kReparsePoint);
}
}  // namespace attr

// ---------------------------------------------------------------------------------------------
// Time

// 100-nanosecond ticks since 1601-01-01 00:00 UTC (Windows FILETIME).
using FileTime = uint64_t;

// The current time as a FILETIME (GetSystemTimeAsFileTime).
FileTime GetSystemTimeAsFileTime();

// A local calendar time (Windows SYSTEMTIME); day_of_week 0 = Sunday.
struct SystemTime {
  int year = 0, month = 0, day_of_week = 0, day = 0;
  int hour = 0, minute = 0, second = 0, milliseconds = 0;
};

// The current local time (GetLocalTime).
SystemTime GetLocalTime();

// A steady clock in seconds for measuring durations; only differences mean anything.
double MonotonicSeconds();

// ---------------------------------------------------------------------------------------------
// Folders, listing and entries

// Identity of an open folder, used to check that a folder reopened later is the same one.
struct FolderId {
  uint64_t device = 0;
  uint64_t inode = 0;
  bool operator==(const FolderId&) const = default;
};

// The backend's handle of an open folder (a file descriptor on POSIX, a HANDLE on Windows; both
// fit the width of a pointer). Opaque above the backend: only the backend makes one and turns
// it back into what it is. kNone stands for no handle on both (-1 is also INVALID_HANDLE_VALUE).
enum class NativeHandle : intptr_t { kNone = -1 };

// An open folder. Entries are named relative to it, so a walk of any depth never resolves a
// long path again and never follows a name that changed between a check and an action.
// Move-only; closes itself.
class Folder {
 public:
  Folder() = default;
  ~Folder();
  Folder(Folder&& other) noexcept;
  Folder& operator=(Folder&& other) noexcept;
  Folder(const Folder&) = delete;
  Folder& operator=(const Folder&) = delete;

  // Opens the folder at `path` (of any length). A link to a folder in its last place is followed
  // unless `follow_links` is false: then a link there is refused, so a caller that found a real
  // folder never enters a link put in its place since. On failure the result is closed and
  // *error holds the code (kPathNotFound for a missing path or for a file).
  static Folder Open(const std::string& path, uint32_t* error, bool follow_links = true);

  // Opens the entry `name` of this folder as a folder ("..": the parent). A link is followed
  // unless `follow_links` is false: then a name that became a link since it was listed is
  // refused rather than entered.
  Folder OpenEntry(std::string_view name, uint32_t* error, bool follow_links = true) const;

  // Opens `name` and checks that it is the folder `expected`; kPathNotFound when it is another.
  Folder OpenEntryVerified(std::string_view name, const FolderId& expected, uint32_t* error) const;

  bool IsOpen() const { return handle_ != NativeHandle::kNone || token_ != 0; }
  const FolderId& Id() const { return id_; }
  void Close();

  // For the backend: a folder that owns `handle` (closes it), and the handle it holds.
  static Folder Adopt(NativeHandle handle, const FolderId& id) { return Folder(handle, id); }
  NativeHandle Handle() const { return handle_; }

  // A folder of a stand-in file system (a FileSystem other than the machine's, such as the
  // tests' in-memory one). `token` (not 0) names the folder to the stand-in that made it, and
  // only that stand-in resolves it. Such a folder holds no handle of the system: it is open,
  // closing it closes nothing, and the machine's calls find no handle in it (kInvalidHandle).
  static Folder ForStandIn(uint64_t token, const FolderId& id) {
    Folder folder;
    folder.token_ = token;
    folder.id_ = id;
    return folder;
  }
  // 0 for a folder of the machine's file system.
  uint64_t StandInToken() const { return token_; }

 private:
  Folder(NativeHandle handle, const FolderId& id) : handle_(handle), id_(id) {}
  NativeHandle handle_ = NativeHandle::kNone;
  uint64_t token_ = 0;
  FolderId id_;
};

// One entry of a folder listing (WIN32_FIND_DATA).
// - attributes: attr:: bits. A link to a folder and a mount point are kDirectory|kReparsePoint
//   (a junction); a link to anything else, or a dangling one, is kReparsePoint alone (a file).
// - times: the entry's own (a link's, not its target's); creation falls back to last write
//   where the file system keeps no birth time (has_creation_time then false). change_time is
//   the last change of the entry's metadata (Linux: ctime; Windows: ChangeTime); 0 where the
//   listing does not tell it.
// - size: bytes of a regular file; 0 for folders and links.
// The one entry record of every listing: the cleaner's walks and the library's search
// (platform/find.h) both fill it, through the same look at each entry. The fields after `size`
// are the search's: the walks never read them.
struct FindRecord {
  std::string name;
  uint32_t attributes = 0;
  FileTime creation_time = 0;
  FileTime last_access_time = 0;
  FileTime last_write_time = 0;
  uint64_t size = 0;
  FileTime change_time = 0;
  bool has_creation_time = true;
  // GetCompressedFileSize: the bytes the entry occupies (blocks * 512). A folder has none
  // (has_allocated_size false), as the call fails for one.
  uint64_t allocated_size = 0;
  bool has_allocated_size = false;
  // Only with FindOptions::defer_looks: a plain file (never a folder or a link) that has not
  // been looked at yet. Its record holds what the listing said (attributes from the entry's
  // type and name, no times, no size) until LookAtEntries fills it.
  bool look_deferred = false;
  // For an entry with attr::kDirectory found by FindEntries: the folder it leads to (through a
  // link or a mount), so that a search can tell when a link leads back to a folder it is in.
  FolderId target;
};

// Lists every entry of `folder`, "." and ".." included, in the order the system returns them.
// An entry that vanishes while it is being looked at is left out. On an error part-way the
// records gathered so far stay in *records.
uint32_t ListFolder(const Folder& folder, std::vector<FindRecord>* records);

// Attributes and size of one entry, as ListFolder would report them.
uint32_t GetEntryAttributes(const Folder& folder, std::string_view name, uint32_t* attributes,
                            uint64_t* size);

// SetFileAttributes(NORMAL): gives the owner write bit back (links are left alone).
uint32_t SetEntryAttributesNormal(const Folder& folder, std::string_view name);

// DeleteFile: removes a file or a link to a file; a folder gives kAccessDenied.
uint32_t DeleteEntryFile(const Folder& folder, std::string_view name);

// RemoveDirectory: removes an empty folder, or a link to a folder (the link only, the target is
// never touched). A mount point cannot be removed. A full folder gives kDirNotEmpty.
uint32_t RemoveEntryDirectory(const Folder& folder, std::string_view name);

// Moves the file `name` of `folder` to the trash (the freedesktop.org Trash standard, version 1.0).
// `path` is the entry's full path as the user named it (used for the .trashinfo record).
// Never copies across devices and never deletes for good: a file that cannot be trashed stays
// where it is and the error says why. A caller that wants the entry back later passes `move`
// (see platform/trash.h).
uint32_t MoveEntryToTrash(const Folder& folder, std::string_view name, const std::string& path,
                          TrashMove* move = nullptr);

// FindFirstFile(folder\*.*) finds nothing but "." and "..". An error when the folder cannot be
// searched (the caller treats that as not empty).
uint32_t IsEntryFolderEmpty(const Folder& folder, std::string_view name, bool* empty);

// ---------------------------------------------------------------------------------------------
// The same operations by path. Each opens the parent folder and acts on the last component;
// a trailing separator is ignored.

// The folder above the last component of `path` (the links on the way followed), and that
// component in *name. Trailing separators are dropped first; a root ("/", "C:\\", a share) is
// "." of itself; on Windows the cut is made in the absolute form, where "." and ".." are gone.
// On failure the result is closed and *error holds the code (kPathNotFound for an empty path
// or a missing folder on the way).
Folder OpenParentFolder(const std::string& path, std::string* name, uint32_t* error);

uint32_t GetFileAttributes(const std::string& path, uint32_t* attributes, uint64_t* size);
uint32_t SetFileAttributesNormal(const std::string& path);
uint32_t DeleteFile(const std::string& path);
uint32_t RemoveDirectory(const std::string& path);
uint32_t MoveToTrash(const std::string& path, TrashMove* move = nullptr);
uint32_t IsFolderEmpty(const std::string& path, bool* empty);

// CreateDirectory: one level; kAlreadyExists when the name is taken.
uint32_t CreateDirectory(const std::string& path);

// The absolute form of `path`: the current folder is put in front of a relative path; nothing
// is resolved, so it works at any depth.
std::string AbsolutePath(const std::string& path);

// ---------------------------------------------------------------------------------------------
// The user's environment

// Sets the process up for the rest of the layer; the first call of a program, before any other
// thread starts. On POSIX it takes the locale from the environment (setlocale(LC_ALL, "")), so
// the ANSI code page is the user's charset.
void Initialize();

// The per-user application-data folder: $XDG_DATA_HOME, else $HOME/.local/share (a relative
// $XDG_DATA_HOME is ignored, as the XDG base directory rules say). "" when there is no home.
std::string GetUserDataFolder();

// The per-user configuration folder: $XDG_CONFIG_HOME, else $HOME/.config (same rules).
std::string GetUserConfigFolder();

// ExpandEnvironmentStrings: %NAME% is replaced by the variable's value; an unknown name stays as
// written; TEMP and TMP fall back to $TMPDIR, else /tmp, when they are not set. "%%" and a lone
// "%" stay as they are.
std::string ExpandEnvironmentStrings(std::string_view text);

// PathMatchSpec: `*` any run, `?` one character, letter case ignored, `;` separates several
// patterns (blanks around each are ignored), "*.*" matches every name.
bool PathMatchSpec(std::string_view name, std::string_view spec);

// ---------------------------------------------------------------------------------------------
// Code pages

// True when the ANSI code page is UTF-8 (a UTF-8 locale, or the C and POSIX locales).
bool AnsiIsUtf8();

// UTF-8 <-> the ANSI code page (the locale's charset). Characters the target cannot hold become
// "?". Identity when the ANSI code page is UTF-8.
std::string Utf8ToAnsi(std::string_view text);
std::string AnsiToUtf8(std::string_view text);

// True when the OEM code page is UTF-8 (whenever the ANSI one is). Beside a legacy 8-bit locale
// the OEM page is the DOS page of its language: 866 (Russian), 850 (Western Europe), else 437.
// Both code pages are read from the locale once, on first use (after setlocale(LC_ALL, "")).
bool OemIsUtf8();

// UTF-8 <-> the OEM code page, with the same rules as the ANSI conversions.
std::string Utf8ToOem(std::string_view text);
std::string OemToUtf8(std::string_view text);

}  // namespace platform
