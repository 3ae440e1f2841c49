// The file search's questions on Windows: FindFirstFileExW/FindNextFileW over the listed
// folder, in the \\?\ form, so paths of any length work.
//
// Decisions of this backend:
// - A wildcard mask is matched by PathMatchSpec (platform/path_match.cpp) against the long name
//   of each entry of "folder\*", never by the system's matcher: that one also matches 8.3
//   names ("*.htm" finds "page.html" through "PAGE~1.HTM") and knows no ";" lists, and the
//   search must find the same names on both systems. No 8.3 names are asked for
//   (FindExInfoBasic).
// - Every fact of an entry comes with its name, so no look is ever deferred
//   (FindOptions::defer_looks is ignored and LookAtEntries has nothing to do).
// - The bytes an entry occupies (GetCompressedFileSize) are asked only of compressed and
//   sparse files: for any other file the system answers its size.
// - A reparse point is described as itself (its own attributes, from the listing); only a
//   folder link's target is opened, to learn which folder it leads to, so that a search that
//   follows links can tell when one leads back into a folder it is inside. Other reparse
//   points (cloud files, deduplicated files) lose the reparse bit: to a user they are plain
//   entries.
#include "platform/win32/internal.h"
// (after <windows.h>)
#include <shlwapi.h>
#undef PathMatchSpec

#include <memory>

#include "platform/find.h"

namespace platform {

// Never made on Windows (no look is deferred), but FindResult names it.
struct LookSource {};

namespace {

bool IsSeparator(char c) { return c == '\\' || c == '/'; }

struct ParentAndName {
  std::string parent;
  std::string name;
};

// "a\b\c" -> "a\b" and "c"; trailing separators are dropped first. A name without a folder is
// in the current one; a name right under a root keeps the root's separator ("C:\x" -> "C:\").
ParentAndName SplitParent(std::string path) {
  while (path.size() > 1 && IsSeparator(path.back())) path.pop_back();
  size_t cut = path.size();
  while (cut > 0 && !IsSeparator(path[cut - 1])) --cut;
  if (cut == 0) {
    if (path.size() >= 2 && path[1] == ':') return {path.substr(0, 2), path.substr(2)};
    return {".", path};
  }
  std::string parent = path.substr(0, cut);
  if (parent.size() > 1 && !(parent.size() == 3 && parent[1] == ':')) {
    while (parent.size() > 1 && IsSeparator(parent.back())) parent.pop_back();
  }
  return {parent, path.substr(cut)};
}

// The identity of a folder (volume serial number and file index), links followed.
uint32_t FolderIdentity(const std::wstring& long_path, FolderId* id) {
  HANDLE folder = CreateFileW(long_path.c_str(), FILE_READ_ATTRIBUTES,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (folder == INVALID_HANDLE_VALUE) return GetLastError();
  BY_HANDLE_FILE_INFORMATION info{};
  uint32_t code = error::kSuccess;
  if (!GetFileInformationByHandle(folder, &info)) {
    code = GetLastError();
  } else if (!(info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
    code = error::kPathNotFound;
  } else {
    id->device = info.dwVolumeSerialNumber;
    id->inode = (static_cast<uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow;
  }
  CloseHandle(folder);
  return code;
}

std::wstring Child(const std::wstring& folder, std::wstring_view name) {
  std::wstring path = folder;
  if (!path.empty() && path.back() != L'\\') path += L'\\';
  path += name;
  return path;
}

// One entry of a listing as the search sees it.
void Describe(const std::wstring& folder, const WIN32_FIND_DATAW& data, FindRecord* entry) {
  *entry = FindRecord{};
  entry->name = win32::Utf8(data.cFileName);
  const DWORD tag = (data.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) ? data.dwReserved0 : 0;
  entry->attributes = win32::VisibleAttributes(data.dwFileAttributes, tag);
  entry->creation_time = win32::Ticks(data.ftCreationTime);
  entry->last_access_time = win32::Ticks(data.ftLastAccessTime);
  entry->last_write_time = win32::Ticks(data.ftLastWriteTime);
  const bool directory = (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
  const bool dots =
      std::wstring_view(data.cFileName) == L"." || std::wstring_view(data.cFileName) == L"..";
  if (dots) {
    entry->attributes = attr::kDirectory;
    entry->creation_time = entry->last_access_time = entry->last_write_time = 0;
    return;
  }
  entry->size =
      directory ? 0 : (static_cast<uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
  if (!directory) {
    entry->allocated_size = entry->size;
    entry->has_allocated_size = true;
    if (data.dwFileAttributes & (FILE_ATTRIBUTE_COMPRESSED | FILE_ATTRIBUTE_SPARSE_FILE)) {
      const std::wstring path = Child(folder, data.cFileName);
      DWORD high = 0;
      const DWORD low = GetCompressedFileSizeW(path.c_str(), &high);
      if (low != INVALID_FILE_SIZE || GetLastError() == NO_ERROR) {
        entry->allocated_size = (static_cast<uint64_t>(high) << 32) | low;
      }
    }
  } else if (entry->attributes & attr::kReparsePoint) {
    // Where the link leads; a dangling one leads nowhere (an empty identity).
    FolderIdentity(Child(folder, data.cFileName), &entry->target);
  }
}

// Calls visit(const WIN32_FIND_DATAW&) for every entry FindFirstFileExW finds for `query`.
template <typename Visit>
uint32_t ForEachFound(const std::wstring& query, Visit visit) {
  WIN32_FIND_DATAW data;
  HANDLE find = FindFirstFileExW(query.c_str(), FindExInfoBasic, &data, FindExSearchNameMatch,
                                 nullptr, FIND_FIRST_EX_LARGE_FETCH);
  if (find == INVALID_HANDLE_VALUE) return GetLastError();
  uint32_t code = error::kSuccess;
  do {
    visit(data);
  } while (FindNextFileW(find, &data));
  if (const DWORD last = GetLastError(); last != ERROR_NO_MORE_FILES) code = last;
  FindClose(find);
  return code;
}

}  // namespace

uint32_t FindInFolder(Folder folder, std::string_view mask, FindResult* result, bool) {
  result->entries.clear();
  result->folder = FolderId{};
  result->deferred.reset();
  if (!folder.IsOpen()) return error::kInvalidHandle;
  if (mask.empty() || mask.find('\0') != std::string_view::npos) return error::kInvalidName;
  // The folder is listed by the path of the folder held, so that what is listed is the folder
  // that was opened (and checked by the caller), wherever its path now leads.
  std::wstring path;
  if (const uint32_t code = win32::FinalPathOf(win32::HandleOf(folder), &path);
      code != error::kSuccess) {
    return code;
  }
  result->folder = folder.Id();
  uint32_t code;
  if (IsFindMask(mask)) {
    const bool every_name = mask == "*" || mask == "*.*";
    code = ForEachFound(Child(path, L"*"), [&](const WIN32_FIND_DATAW& data) {
      if (!every_name && !PathMatchSpec(win32::Utf8(data.cFileName), mask)) return;
      Describe(path, data, &result->entries.emplace_back());
    });
  } else {
    // One name, never a pattern to the system: "?" and "*" were ruled out above, and a name
    // with a "<", ">" or '"' (which FindFirstFile would take as DOS wildcards) is no file's.
    if (mask.find_first_of("<>\"|\\/") != std::string_view::npos) return error::kInvalidName;
    code = ForEachFound(Child(path, win32::Wide(mask)), [&](const WIN32_FIND_DATAW& data) {
      Describe(path, data, &result->entries.emplace_back());
    });
  }
  if (code != error::kSuccess) {
    result->entries.clear();
    return code == ERROR_PATH_NOT_FOUND || code == ERROR_NO_MORE_FILES ? error::kFileNotFound
                                                                       : code;
  }
  return result->entries.empty() ? error::kFileNotFound : error::kSuccess;
}

uint32_t DescribeFoundEntry(const Folder& folder, std::string_view name, FindRecord* entry) {
  if (!folder.IsOpen()) return error::kInvalidHandle;
  if (name.empty() ||
      name.find_first_of(std::string_view("\\/:*?<>\"|\0", 10)) != std::string_view::npos) {
    return error::kInvalidName;
  }
  *entry = FindRecord{};
  entry->name.assign(name);
  if (name == "." || name == "..") {
    entry->attributes = attr::kDirectory;
    return error::kSuccess;
  }
  // The listed folder's path, from its handle: then the entry is described by the same call
  // that lists it.
  const HANDLE handle = win32::HandleOf(folder);
  std::wstring path;
  if (const uint32_t code = win32::FinalPathOf(handle, &path); code != error::kSuccess) {
    return code;
  }
  WIN32_FIND_DATAW data;
  HANDLE find = FindFirstFileExW(Child(path, win32::Wide(name)).c_str(), FindExInfoBasic, &data,
                                 FindExSearchNameMatch, nullptr, 0);
  if (find == INVALID_HANDLE_VALUE) return GetLastError();
  FindClose(find);
  Describe(path, data, entry);
  return error::kSuccess;
}

void LookAtEntries(const DeferredLooks&) {}

bool IsVolumeRoot(const std::string& path) {
  if (path.empty() || path.find('\0') != std::string::npos) return false;
  if (IsFindMask(SplitParent(path).name)) return false;
  std::wstring wide = win32::Wide(path);
  for (wchar_t& c : wide) {
    if (c == L'/') c = L'\\';
  }
  return PathIsRootW(wide.c_str()) != FALSE;
}

uint32_t GetVolumeRootAttributes(const std::string& root, uint32_t* attributes, FolderId* folder) {
  std::wstring full = win32::LongPath(root);
  if (!full.empty() && full.back() != L'\\') full += L'\\';
  const DWORD found = GetFileAttributesW(full.c_str());
  if (found == INVALID_FILE_ATTRIBUTES) return GetLastError();
  if (uint32_t code = FolderIdentity(full, folder); code != error::kSuccess) return code;
  *attributes =
      (found | FILE_ATTRIBUTE_DIRECTORY) & ~static_cast<DWORD>(FILE_ATTRIBUTE_REPARSE_POINT);
  return error::kSuccess;
}

bool FileTimeToLocalTime(FileTime time, SystemTime* local) {
  // SystemTimeToTzSpecificLocalTime applies the daylight-saving rule of the date itself, where
  // FileTimeToLocalFileTime would apply today's.
  if (time > static_cast<uint64_t>(INT64_MAX)) return false;
  FILETIME file_time;
  file_time.dwLowDateTime = static_cast<DWORD>(time);
  file_time.dwHighDateTime = static_cast<DWORD>(time >> 32);
  SYSTEMTIME utc, there;
  if (!FileTimeToSystemTime(&file_time, &utc)) return false;
  if (!SystemTimeToTzSpecificLocalTime(nullptr, &utc, &there)) return false;
  local->year = there.wYear;
  local->month = there.wMonth;
  local->day_of_week = there.wDayOfWeek;
  local->day = there.wDay;
  local->hour = there.wHour;
  local->minute = there.wMinute;
  local->second = there.wSecond;
  local->milliseconds = there.wMilliseconds;
  return true;
}

}  // namespace platform
