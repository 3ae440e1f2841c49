// Folders, listings and single entries on Windows. A Folder holds a directory handle; every
// entry is opened relative to it with NtCreateFile (the folder as root directory) and, unless a
// caller asks to follow links, with FILE_OPEN_REPARSE_POINT, so a junction put in the place of a
// listed folder is seen as what it is and never entered. Listing and deletion go by handle
// (GetFileInformationByHandleEx, SetFileInformationByHandle): no path is resolved twice
// between a check and an action, and paths of any length work.
#include <utility>
#include <vector>

#include "platform/platform.h"
#include "platform/win32/internal.h"

namespace platform {

namespace win32 {

NTSTATUS CreateRelative(HANDLE root, std::wstring_view name, ACCESS_MASK access, ULONG share,
                        ULONG disposition, ULONG options, HANDLE* handle) {
  *handle = INVALID_HANDLE_VALUE;
  UNICODE_STRING object_name;
  object_name.Buffer = const_cast<wchar_t*>(name.data());
  object_name.Length = static_cast<USHORT>(name.size() * sizeof(wchar_t));
  object_name.MaximumLength = object_name.Length;
  OBJECT_ATTRIBUTES attributes;
  InitializeObjectAttributes(&attributes, &object_name, OBJ_CASE_INSENSITIVE, root, nullptr);
  IO_STATUS_BLOCK status_block{};
  HANDLE opened = nullptr;
  const NTSTATUS status = NtCreateFile(&opened, access | SYNCHRONIZE, &attributes, &status_block,
                                       nullptr, FILE_ATTRIBUTE_NORMAL, share, disposition,
                                       options | FILE_SYNCHRONOUS_IO_NONALERT, nullptr, 0);
  if (NT_SUCCESS(status)) *handle = opened;
  return status;
}

uint32_t OpenRelative(HANDLE root, std::wstring_view name, ACCESS_MASK access, ULONG options,
                      HANDLE* handle) {
  const NTSTATUS status =
      CreateRelative(root, name, access, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                     FILE_OPEN, options, handle);
  return NT_SUCCESS(status) ? error::kSuccess : ErrorFromStatus(status);
}

uint32_t QueryAttributeTag(HANDLE handle, DWORD* attributes, DWORD* reparse_tag) {
  FILE_ATTRIBUTE_TAG_INFO info{};
  if (!GetFileInformationByHandleEx(handle, FileAttributeTagInfo, &info, sizeof info)) {
    return GetLastError();
  }
  *attributes = info.FileAttributes;
  *reparse_tag = (info.FileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) ? info.ReparseTag : 0;
  return error::kSuccess;
}

bool IsLinkTag(DWORD reparse_tag) {
  return reparse_tag == IO_REPARSE_TAG_MOUNT_POINT || reparse_tag == IO_REPARSE_TAG_SYMLINK;
}

uint32_t VisibleAttributes(DWORD attributes, DWORD reparse_tag) {
  if ((attributes & FILE_ATTRIBUTE_REPARSE_POINT) && !IsLinkTag(reparse_tag)) {
    attributes &= ~static_cast<DWORD>(FILE_ATTRIBUTE_REPARSE_POINT);
  }
  return attributes;
}

uint32_t FinalPathOf(HANDLE handle, std::wstring* path) {
  path->assign(32768, L'\0');
  const DWORD length =
      GetFinalPathNameByHandleW(handle, path->data(), static_cast<DWORD>(path->size()), 0);
  if (length > 0 && length < path->size()) {
    path->resize(length);
    return error::kSuccess;
  }
  const DWORD code = length == 0 ? GetLastError() : DWORD{error::kFilenameTooLong};
  path->clear();
  if (code != ERROR_MORE_DATA || !RunningUnderWine()) return code;
  // The object's own name, "\??\C:\x" under Wine: the final path with the other prefix.
  std::vector<uint8_t> buffer(sizeof(OBJECT_NAME_INFORMATION) + 65536);
  ULONG returned = 0;
  if (!NT_SUCCESS(NtQueryObject(handle, ObjectNameInformation, buffer.data(),
                                static_cast<ULONG>(buffer.size()), &returned))) {
    return code;
  }
  const auto* info = reinterpret_cast<const OBJECT_NAME_INFORMATION*>(buffer.data());
  const std::wstring_view name(info->Name.Buffer, info->Name.Length / sizeof(wchar_t));
  if (name.size() < 5 || name.substr(0, 4) != L"\\??\\") return code;
  path->assign(L"\\\\?\\");
  path->append(name.substr(4));
  return error::kSuccess;
}

}  // namespace win32

namespace {

using win32::Wide;

void SetError(uint32_t* error, uint32_t value) {
  if (error != nullptr) *error = value;
}

// An entry name as Windows takes it, checked so that it can only ever name one entry of the
// folder: no separator (it would reach into another folder), no ":" (a stream, or a drive), no
// NUL, at most 255 UTF-16 units. "." stands for the folder itself (an empty relative name).
uint32_t EntryName(std::string_view name, std::wstring* wide) {
  if (name.empty() || name.find_first_of(std::string_view("\\/:\0", 4)) != std::string_view::npos) {
    return error::kInvalidName;
  }
  *wide = name == "." ? std::wstring() : Wide(name);
  if (wide->size() > 255) return error::kFilenameTooLong;
  return error::kSuccess;
}

// The identity of an open entry: volume serial number and file index.
uint32_t IdentityOf(HANDLE handle, FolderId* id, DWORD* attributes) {
  BY_HANDLE_FILE_INFORMATION info{};
  if (!GetFileInformationByHandle(handle, &info)) return GetLastError();
  id->device = info.dwVolumeSerialNumber;
  id->inode = (static_cast<uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow;
  if (attributes != nullptr) *attributes = info.dwFileAttributes;
  return error::kSuccess;
}

// After a folder was opened: checks that it is one, and, when links must not be followed, that
// it is no link. Closes the handle on failure.
uint32_t CheckOpenedFolder(HANDLE handle, bool follow_links, FolderId* id) {
  DWORD attributes = 0;
  uint32_t code = IdentityOf(handle, id, &attributes);
  if (code == error::kSuccess && !(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
    code = error::kPathNotFound;
  }
  if (code == error::kSuccess && !follow_links) {
    DWORD tag = 0;
    code = win32::QueryAttributeTag(handle, &attributes, &tag);
    if (code == error::kSuccess && win32::IsLinkTag(tag)) code = error::kCantResolveFilename;
  }
  if (code != error::kSuccess) CloseHandle(handle);
  return code;
}

// A missing name, or one that is no folder, is kPathNotFound, as FindFirstFile says of
// "name\*.*".
uint32_t FolderOpenError(uint32_t code) {
  if (code == ERROR_FILE_NOT_FOUND || code == ERROR_DIRECTORY || code == ERROR_BAD_PATHNAME) {
    return error::kPathNotFound;
  }
  return code;
}

constexpr ACCESS_MASK kFolderAccess = FILE_LIST_DIRECTORY | FILE_READ_ATTRIBUTES | FILE_TRAVERSE;

// Reads the listing of an open folder from its start and calls visit(const FILE_ID_BOTH_DIR_INFO&)
// for each entry as long as it returns true.
template <typename Visit>
uint32_t ForEachListedEntry(HANDLE folder, size_t buffer_size, Visit visit) {
  std::vector<unsigned char> buffer(buffer_size);
  FILE_INFO_BY_HANDLE_CLASS info_class = FileIdBothDirectoryRestartInfo;
  for (;;) {
    if (!GetFileInformationByHandleEx(folder, info_class, buffer.data(),
                                      static_cast<DWORD>(buffer.size()))) {
      const DWORD code = GetLastError();
      return code == ERROR_NO_MORE_FILES ? error::kSuccess : code;
    }
    info_class = FileIdBothDirectoryInfo;
    for (size_t offset = 0;;) {
      const auto* entry = reinterpret_cast<const FILE_ID_BOTH_DIR_INFO*>(buffer.data() + offset);
      if (!visit(*entry)) return error::kSuccess;
      if (entry->NextEntryOffset == 0) break;
      offset += entry->NextEntryOffset;
    }
  }
}

std::wstring_view NameOf(const FILE_ID_BOTH_DIR_INFO& entry) {
  return std::wstring_view(entry.FileName, entry.FileNameLength / sizeof(wchar_t));
}

bool IsDots(std::wstring_view name) { return name == L"." || name == L".."; }

// Describes an open entry as a listing does.
uint32_t DescribeOpenEntry(HANDLE handle, uint32_t* attributes, uint64_t* size) {
  DWORD raw = 0, tag = 0;
  uint32_t code = win32::QueryAttributeTag(handle, &raw, &tag);
  if (code != error::kSuccess) return code;
  const uint32_t visible = win32::VisibleAttributes(raw, tag);
  uint64_t bytes = 0;
  if (!(visible & (attr::kDirectory | attr::kReparsePoint))) {
    FILE_STANDARD_INFO standard{};
    if (!GetFileInformationByHandleEx(handle, FileStandardInfo, &standard, sizeof standard)) {
      return GetLastError();
    }
    bytes = static_cast<uint64_t>(standard.EndOfFile.QuadPart);
  }
  if (attributes != nullptr) *attributes = visible;
  if (size != nullptr) *size = bytes;
  return error::kSuccess;
}

// Marks an open entry for deletion. The POSIX form first (the name goes at once, even while
// another program holds the file open with delete sharing, so the folder can be removed right
// after it); the classic form where the system or the file system does not know it.
uint32_t DeleteByHandle(HANDLE handle) {
  struct DispositionEx {
    ULONG flags;
  };
  constexpr int kFileDispositionInfoEx = 21;
  constexpr ULONG kDelete = 0x1, kPosixSemantics = 0x2;
  DispositionEx ex{kDelete | kPosixSemantics};
  if (SetFileInformationByHandle(
          handle, static_cast<FILE_INFO_BY_HANDLE_CLASS>(kFileDispositionInfoEx), &ex, sizeof ex)) {
    return error::kSuccess;
  }
  const DWORD ex_error = GetLastError();
  if (ex_error != ERROR_INVALID_PARAMETER && ex_error != ERROR_NOT_SUPPORTED &&
      ex_error != ERROR_INVALID_FUNCTION && ex_error != ERROR_CALL_NOT_IMPLEMENTED) {
    return ex_error;
  }
  FILE_DISPOSITION_INFO disposition{TRUE};
  if (!SetFileInformationByHandle(handle, FileDispositionInfo, &disposition, sizeof disposition)) {
    return GetLastError();
  }
  return error::kSuccess;
}

// Removes the entry `name` of `folder`; `options` says whether it must be a folder or not.
uint32_t DeleteEntry(const Folder& folder, std::string_view name, ULONG options) {
  if (!folder.IsOpen()) return error::kInvalidHandle;
  std::wstring wide;
  uint32_t code = EntryName(name, &wide);
  if (code != error::kSuccess) return code;
  if (wide.empty()) return error::kAccessDenied;  // "." is the folder that holds the walk
  HANDLE handle;
  code = win32::OpenRelative(win32::HandleOf(folder), wide, DELETE | FILE_READ_ATTRIBUTES,
                             options | FILE_OPEN_REPARSE_POINT, &handle);
  if (code != error::kSuccess) return code;
  code = DeleteByHandle(handle);
  CloseHandle(handle);
  return code;
}

}  // namespace

uint32_t win32::CheckedEntryName(std::string_view name, std::wstring* wide) {
  return EntryName(name, wide);
}

// ---------------------------------------------------------------------------------------------
// Folder

void Folder::Close() {
  // A stand-in's folder holds no handle to close.
  if (handle_ != NativeHandle::kNone) CloseHandle(win32::HandleOf(*this));
  handle_ = NativeHandle::kNone;
  token_ = 0;
  id_ = FolderId{};
}

Folder Folder::Open(const std::string& path, uint32_t* error, bool follow_links) {
  if (path.empty() || path.find('\0') != std::string::npos) {
    SetError(error, path.empty() ? error::kPathNotFound : error::kInvalidName);
    return Folder();
  }
  const std::wstring full = win32::LongPath(path);
  const DWORD flags =
      FILE_FLAG_BACKUP_SEMANTICS | (follow_links ? 0 : FILE_FLAG_OPEN_REPARSE_POINT);
  HANDLE handle = CreateFileW(full.c_str(), kFolderAccess,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, flags, nullptr);
  if (handle == INVALID_HANDLE_VALUE) {
    SetError(error, FolderOpenError(GetLastError()));
    return Folder();
  }
  FolderId id;
  const uint32_t code = CheckOpenedFolder(handle, follow_links, &id);
  SetError(error, code);
  if (code != error::kSuccess) return Folder();
  return win32::AdoptHandle(handle, id);
}

Folder Folder::OpenEntry(std::string_view name, uint32_t* error, bool follow_links) const {
  if (!IsOpen()) {
    SetError(error, error::kInvalidHandle);
    return Folder();
  }
  if (name == "..") {
    // NT names know no "..": the parent is opened by the folder's own path. The walks check
    // the identity of what they reach this way (OpenEntryVerified).
    std::wstring final_path;
    if (const uint32_t code = win32::FinalPathOf(win32::HandleOf(*this), &final_path);
        code != error::kSuccess) {
      SetError(error, code);
      return Folder();
    }
    std::wstring_view self(final_path);
    const size_t cut = self.rfind(L'\\');
    // A root is its own parent, as ".." of a root is on Windows.
    std::wstring parent(cut == std::wstring_view::npos ? self : self.substr(0, cut));
    if (parent.size() == 6 && parent[5] == L':') parent += L'\\';
    return Open(win32::Utf8(parent), error, follow_links);
  }
  std::wstring wide;
  uint32_t code = EntryName(name, &wide);
  if (code != error::kSuccess) {
    SetError(error, code);
    return Folder();
  }
  HANDLE handle;
  code = win32::OpenRelative(win32::HandleOf(*this), wide, kFolderAccess,
                             FILE_DIRECTORY_FILE | (follow_links ? 0 : FILE_OPEN_REPARSE_POINT),
                             &handle);
  if (code != error::kSuccess) {
    SetError(error, FolderOpenError(code));
    return Folder();
  }
  FolderId id;
  code = CheckOpenedFolder(handle, follow_links, &id);
  SetError(error, code);
  if (code != error::kSuccess) return Folder();
  return win32::AdoptHandle(handle, id);
}

// ---------------------------------------------------------------------------------------------
// Entries of an open folder

uint32_t ListFolder(const Folder& folder, std::vector<FindRecord>* records) {
  records->clear();
  if (!folder.IsOpen()) return error::kInvalidHandle;
  return ForEachListedEntry(
      win32::HandleOf(folder), 65536, [&](const FILE_ID_BOTH_DIR_INFO& entry) {
        FindRecord& record = records->emplace_back();
        record.name = win32::Utf8(NameOf(entry));
        // The tag of a reparse point stands where extended attributes'
        // size would.
        const DWORD tag = (entry.FileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) ? entry.EaSize : 0;
        record.attributes = win32::VisibleAttributes(entry.FileAttributes, tag);
        record.creation_time = win32::Ticks(entry.CreationTime);
        record.last_access_time = win32::Ticks(entry.LastAccessTime);
        record.last_write_time = win32::Ticks(entry.LastWriteTime);
        record.change_time = win32::Ticks(entry.ChangeTime);
        if (!(record.attributes & (attr::kDirectory | attr::kReparsePoint))) {
          record.size = static_cast<uint64_t>(entry.EndOfFile.QuadPart);
        }
        return true;
      });
}

uint32_t GetEntryAttributes(const Folder& folder, std::string_view name, uint32_t* attributes,
                            uint64_t* size) {
  if (!folder.IsOpen()) return error::kInvalidHandle;
  std::wstring wide;
  uint32_t code = EntryName(name, &wide);
  if (code != error::kSuccess) return code;
  HANDLE handle;
  code = win32::OpenRelative(win32::HandleOf(folder), wide, FILE_READ_ATTRIBUTES,
                             FILE_OPEN_REPARSE_POINT, &handle);
  if (code != error::kSuccess) return code;
  code = DescribeOpenEntry(handle, attributes, size);
  CloseHandle(handle);
  return code;
}

uint32_t SetEntryAttributesNormal(const Folder& folder, std::string_view name) {
  if (!folder.IsOpen()) return error::kInvalidHandle;
  std::wstring wide;
  uint32_t code = EntryName(name, &wide);
  if (code != error::kSuccess) return code;
  HANDLE handle;
  // The entry itself, never what a link leads to.
  code = win32::OpenRelative(win32::HandleOf(folder), wide, FILE_WRITE_ATTRIBUTES,
                             FILE_OPEN_REPARSE_POINT, &handle);
  if (code != error::kSuccess) return code;
  FILE_BASIC_INFO basic{};  // zero times: left as they are
  basic.FileAttributes = FILE_ATTRIBUTE_NORMAL;
  if (!SetFileInformationByHandle(handle, FileBasicInfo, &basic, sizeof basic)) {
    code = GetLastError();
  }
  CloseHandle(handle);
  return code;
}

uint32_t DeleteEntryFile(const Folder& folder, std::string_view name) {
  constexpr uint32_t kDirectoryNotSupported = 336;  // ERROR_DIRECTORY_NOT_SUPPORTED
  const uint32_t code = DeleteEntry(folder, name, FILE_NON_DIRECTORY_FILE);
  // DeleteFile of a folder is refused as access denied, whichever way the system words it.
  return code == kDirectoryNotSupported || code == ERROR_DIRECTORY ? error::kAccessDenied : code;
}

uint32_t RemoveEntryDirectory(const Folder& folder, std::string_view name) {
  return DeleteEntry(folder, name, FILE_DIRECTORY_FILE);
}

uint32_t IsEntryFolderEmpty(const Folder& folder, std::string_view name, bool* empty) {
  *empty = false;
  uint32_t code = error::kSuccess;
  const Folder inner = folder.OpenEntry(name, &code);
  if (!inner.IsOpen()) return code;
  bool found = false;
  code = ForEachListedEntry(win32::HandleOf(inner), 4096, [&](const FILE_ID_BOTH_DIR_INFO& entry) {
    found = !IsDots(NameOf(entry));
    return !found;
  });
  *empty = code == error::kSuccess && !found;
  return code;
}

// ---------------------------------------------------------------------------------------------
// By path

Folder OpenParentFolder(const std::string& path, std::string* name, uint32_t* error) {
  name->clear();
  std::string trimmed = path;
  for (char& c : trimmed) {
    if (c == '/') c = '\\';
  }
  while (trimmed.size() > 1 && trimmed.back() == '\\') trimmed.pop_back();
  if (trimmed.empty()) {
    *error = error::kPathNotFound;
    return Folder();
  }
  const std::wstring full = win32::LongPath(trimmed);
  // The cut is made in the absolute form, where "." and ".." are gone.
  const size_t cut = full.rfind(L'\\');
  std::wstring parent = full.substr(0, cut);
  std::wstring last = full.substr(cut + 1);
  // A drive root "\\?\C:\" or share root: the folder itself.
  const bool root = last.empty() || parent == L"\\\\?" || parent == L"\\\\?\\UNC";
  if (root) {
    parent = full;
    last = L".";
  } else if (parent.size() == 6 && parent[5] == L':') {
    parent += L'\\';  // "\\?\C:" -> "\\?\C:\"
  }
  *error = error::kSuccess;
  Folder folder = Folder::Open(win32::Utf8(parent), error);
  if (!folder.IsOpen()) {
    if (*error == error::kSuccess) *error = error::kPathNotFound;
    return folder;
  }
  *name = win32::Utf8(last);
  return folder;
}

namespace {

// Opens the parent of `path` and returns action(parent, name).
template <typename Action>
uint32_t OnParent(const std::string& path, Action action) {
  std::string name;
  uint32_t code = error::kSuccess;
  const Folder folder = OpenParentFolder(path, &name, &code);
  if (!folder.IsOpen()) return code;
  return action(folder, name);
}

}  // namespace

uint32_t GetFileAttributes(const std::string& path, uint32_t* attributes, uint64_t* size) {
  return OnParent(path, [&](const Folder& parent, const std::string& name) {
    return GetEntryAttributes(parent, name, attributes, size);
  });
}

uint32_t SetFileAttributesNormal(const std::string& path) {
  return OnParent(path, [](const Folder& parent, const std::string& name) {
    return SetEntryAttributesNormal(parent, name);
  });
}

uint32_t DeleteFile(const std::string& path) {
  return OnParent(path, [](const Folder& parent, const std::string& name) {
    return DeleteEntryFile(parent, name);
  });
}

uint32_t RemoveDirectory(const std::string& path) {
  return OnParent(path, [](const Folder& parent, const std::string& name) {
    return RemoveEntryDirectory(parent, name);
  });
}

uint32_t IsFolderEmpty(const std::string& path, bool* empty) {
  *empty = false;
  return OnParent(path, [&](const Folder& parent, const std::string& name) {
    return IsEntryFolderEmpty(parent, name, empty);
  });
}

uint32_t CreateDirectory(const std::string& path) {
  if (path.empty()) return error::kPathNotFound;
  const std::wstring full = win32::LongPath(path);
  if (CreateDirectoryW(full.c_str(), nullptr)) return error::kSuccess;
  return GetLastError();
}

std::string AbsolutePath(const std::string& path) {
  return win32::Utf8(win32::PlainAbsolutePath(path));
}

}  // namespace platform
