// Helpers shared by the files of the Win32 backend. Nothing above platform/ includes this, and
// every file of the backend includes it first (it brings <windows.h> in the right way).
//
// The backend speaks UTF-8 to the layers above (like the POSIX one, whose names are bytes) and
// UTF-16 to Windows: every conversion happens here, at the boundary, and only W functions are
// called. Paths are handed to Windows in the \\?\ form, so no length limit and no silent
// rewriting of names (trailing dots and blanks, "CON", "NUL") applies.
#pragma once

// <windows.h> first: the other system headers need what it defines.
#include <windows.h>
// (kept apart so that the order stays)
#include <shellapi.h>
#include <shlobj.h>
#include <winternl.h>

// The layer's own functions carry the names of the Windows calls they stand for; the macros
// that turn those names into their A or W forms must not rename them here.
#undef CreateDirectory
#undef DeleteFile
#undef ExpandEnvironmentStrings
#undef GetFileAttributes
#undef RemoveDirectory
#undef SetFileAttributes
#undef PathMatchSpec

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/file.h"
#include "platform/platform.h"

namespace platform::win32 {

// UTF-8 -> UTF-16. Invalid UTF-8 becomes U+FFFD (it can name no file: the call then fails).
std::wstring Wide(std::string_view utf8);

// UTF-16 -> UTF-8. A lone surrogate (a name Windows allows but Unicode does not) becomes U+FFFD.
std::string Utf8(std::wstring_view wide);

// The absolute, \\?\-prefixed form of `path` for the W functions: "/" becomes "\", runs of
// separators become one, "." and ".." parts are resolved by text (as Windows itself does),
// a relative path is put after the current folder, "\\server\share" becomes "\\?\UNC\...".
// Names are otherwise kept exactly as written: a trailing dot or blank stays part of the name.
// A path that already starts with \\?\ is only given backslashes. A path holding a NUL gives
// the empty path, which names nothing.
std::wstring LongPath(const std::string& path);

// kInvalidName when `path` names no file by itself: a NUL, or a ":" anywhere but after a drive
// letter (in the \\?\ form a ":" in a name would reach a named stream of another file, or make
// a name Windows cannot show). Named streams are reached only through platform/streams.h.
uint32_t CheckFilePath(std::string_view path);

// LongPath without its \\?\ prefix (for the shell, which does not take the prefix).
std::wstring PlainAbsolutePath(const std::string& path);

// An NTSTATUS as a Windows error code (RtlNtStatusToDosError).
uint32_t ErrorFromStatus(NTSTATUS status);

// Opens the entry `name` of the open folder `root` (NtCreateFile with the folder as root
// directory, so the name is never resolved through any path again). `options` are NtCreateFile
// create options; FILE_SYNCHRONOUS_IO_NONALERT is added. A reparse point is not followed when
// `options` holds FILE_OPEN_REPARSE_POINT. Returns a Windows error code.
uint32_t OpenRelative(HANDLE root, std::wstring_view name, ACCESS_MASK access, ULONG options,
                      HANDLE* handle);
// The same call for any sharing and disposition (FILE_CREATE, FILE_OVERWRITE_IF, ...), a file
// made by it getting FILE_ATTRIBUTE_NORMAL. Returns the NTSTATUS, so that a caller can tell the
// reasons apart that the Windows codes fold together (a name taken, a folder for a file).
NTSTATUS CreateRelative(HANDLE root, std::wstring_view name, ACCESS_MASK access, ULONG share,
                        ULONG disposition, ULONG options, HANDLE* handle);

// Checks an entry name as the entry calls take it (one entry: no separator, ":" or NUL, at
// most 255 UTF-16 units) and gives it in UTF-16; "." (the folder itself) gives an empty name.
uint32_t CheckedEntryName(std::string_view name, std::wstring* wide);

// The reparse tag of an open entry (0 when it is no reparse point), and its attributes.
uint32_t QueryAttributeTag(HANDLE handle, DWORD* attributes, DWORD* reparse_tag);

// True for the reparse tags that make a folder a junction: a mount point (junctions and volume
// mount points) or a symbolic link. Other tags (cloud files, deduplication) mark folders that
// are ordinary folders to a user.
bool IsLinkTag(DWORD reparse_tag);

// The attr:: bits of Windows attributes and a reparse tag, as the layer above reads them: a
// reparse point that is not a link loses its reparse bit, so only links count as junctions.
uint32_t VisibleAttributes(DWORD attributes, DWORD reparse_tag);

// FILETIME ticks of a LARGE_INTEGER time stamp or a FILETIME.
inline FileTime Ticks(LARGE_INTEGER time) { return static_cast<FileTime>(time.QuadPart); }
inline FileTime Ticks(FILETIME time) {
  return (static_cast<FileTime>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
}

// The HANDLE an open Folder holds, and a Folder that owns `handle` (and closes it).
inline HANDLE HandleOf(const Folder& folder) {
  return reinterpret_cast<HANDLE>(static_cast<intptr_t>(folder.Handle()));
}
inline Folder AdoptHandle(HANDLE handle, const FolderId& id) {
  return Folder::Adopt(static_cast<NativeHandle>(reinterpret_cast<intptr_t>(handle)), id);
}

// True when `full` (a LongPath) names an object of the device namespace rather than a file of a
// drive, a share or a volume: "\\.\COM1", a pipe, "\\.\C:" (the raw volume), \\?\GLOBALROOT.
bool NamesDevice(std::wstring_view full);

// Opens `path` as a disk file and as nothing else, the one way every file of the backend is
// opened (CreateFileW with `access`, `share`, `disposition` and `flags`). A folder, a device, a
// pipe or a console gives kBadFileType, and so does a link when `flags` holds
// FILE_FLAG_OPEN_REPARSE_POINT; a path of the device namespace is not even opened. kFileExists
// when CREATE_NEW meets a taken name. On failure the result is closed and *error holds why.
File OpenRegular(const std::string& path, DWORD access, DWORD share, DWORD disposition, DWORD flags,
                 uint32_t* error);

// True when this process runs under Wine (ntdll exports wine_get_version).
bool RunningUnderWine();

// The final path of what `handle` has open (GetFinalPathNameByHandleW: "\\?\C:\x",
// "\\?\UNC\server\share\x"), of any length. Wine's own call holds no more than MAX_PATH
// characters; past that the name is read from the object itself (NtQueryObject), whose
// "\??\" form under Wine is the same path. Returns kSuccess or the system's error.
uint32_t FinalPathOf(HANDLE handle, std::wstring* path);

// The path of the entry `name` of `folder` (UTF-8): the folder's final path and the checked
// name, for the entry calls served by a by-path call. kInvalidHandle for a folder that is not
// open; "." (the folder itself, no entry of it) is kAccessDenied unless `itself` allows it.
uint32_t EntryPath(const Folder& folder, std::string_view name, std::string* path,
                   bool itself = false);
// call(path) on that path ("." being the folder itself), or the error of making it.
template <typename Call>
uint32_t OnEntryPath(const Folder& folder, std::string_view name, Call call) {
  std::string path;
  const uint32_t code = EntryPath(folder, name, &path, true);
  return code != error::kSuccess ? code : call(path);
}

}  // namespace platform::win32
