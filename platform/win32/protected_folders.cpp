// The protected folders of a Windows system and the resolution of a folder path for comparing
// with them.
#include "platform/protected_folders.h"

#include <string>
#include <vector>

// windows.h first: the shell's headers build on it.
#include "platform/win32/internal.h"

#include <knownfolders.h>
#include <shlobj.h>

namespace platform {
namespace {

bool IsSlash(wchar_t c) { return c == L'\\' || c == L'/'; }

// "\\?\C:\x" and "\\?\UNC\server\share\x" (what GetFinalPathNameByHandleW gives) in their
// everyday spelling.
std::wstring WithoutLongPrefix(std::wstring path) {
  if (path.rfind(L"\\\\?\\UNC\\", 0) == 0) return L"\\\\" + path.substr(8);
  if (path.rfind(L"\\\\?\\", 0) == 0) return path.substr(4);
  return path;
}

std::wstring FullPath(const std::wstring& path) {
  std::wstring full(32768, L'\0');
  const DWORD length = GetFullPathNameW(path.c_str(), 32768, full.data(), nullptr);
  if (length == 0 || length >= 32768) return {};
  full.resize(length);
  return full;
}

// Where the folder at `path` really is (links, junctions and mount points resolved); "" when
// it cannot be opened.
std::wstring FinalPath(const std::wstring& path) {
  HANDLE handle = CreateFileW(path.c_str(), FILE_READ_ATTRIBUTES,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return {};
  std::wstring final_path(32768, L'\0');
  const DWORD length = GetFinalPathNameByHandleW(handle, final_path.data(), 32768,
                                                 FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
  CloseHandle(handle);
  if (length == 0 || length >= 32768) return {};
  final_path.resize(length);
  return WithoutLongPrefix(final_path);
}

// The length of the root of the full path `path`: "C:\" (3) or "\\server\share\"; 0 for none.
size_t RootLength(const std::wstring& path) {
  if (path.size() >= 3 && path[1] == L':' && IsSlash(path[2])) return 3;
  if (path.size() >= 2 && IsSlash(path[0]) && IsSlash(path[1])) {
    size_t server_end = path.find_first_of(L"\\/", 2);
    if (server_end == std::wstring::npos) return path.size();
    size_t share_end = path.find_first_of(L"\\/", server_end + 1);
    return share_end == std::wstring::npos ? path.size() : share_end + 1;
  }
  return 0;
}

std::wstring WithoutTrailingSlashes(std::wstring path) {
  const size_t root = RootLength(path);
  while (path.size() > root && IsSlash(path.back())) path.pop_back();
  return path;
}

std::wstring ResolvedWide(const std::wstring& path) {
  std::wstring full = FullPath(path);  // lexical: "\\.\", "a\..", doubled separators
  if (full.empty()) return WithoutTrailingSlashes(path);
  full = WithoutTrailingSlashes(full);
  // The longest leading part that exists, resolved; the rest appended as written.
  std::wstring head = full;
  std::wstring tail;
  const size_t root = RootLength(full);
  while (true) {
    std::wstring final_path = FinalPath(head);
    if (!final_path.empty()) {
      final_path = WithoutTrailingSlashes(final_path);
      if (!tail.empty()) {
        if (!IsSlash(final_path.back())) final_path += L'\\';
        final_path += tail;
      }
      return final_path;
    }
    size_t slash = head.find_last_of(L"\\/");
    if (slash == std::wstring::npos || head.size() <= root || slash + 1 < root) return full;
    tail = tail.empty() ? head.substr(slash + 1) : head.substr(slash + 1) + L"\\" + tail;
    head.resize(slash < root ? root : slash);
  }
}

std::wstring CsidlFolder(int csidl) {
  wchar_t folder[MAX_PATH];
  if (SUCCEEDED(SHGetFolderPathW(nullptr, csidl, nullptr, SHGFP_TYPE_CURRENT, folder))) {
    return folder;
  }
  return {};
}

std::wstring EnvironmentFolder(const wchar_t* name) {
  wchar_t value[32768];
  const DWORD length = GetEnvironmentVariableW(name, value, 32768);
  return length > 0 && length < 32768 ? std::wstring(value, length) : std::wstring();
}

std::wstring ProfilesFolder() {
  PWSTR folder = nullptr;
  std::wstring result;
  if (SUCCEEDED(SHGetKnownFolderPath(FOLDERID_UserProfiles, 0, nullptr, &folder))) {
    result = folder;
  }
  CoTaskMemFree(folder);
  return result;
}

bool SameFolder(const std::wstring& a, const std::wstring& b) {
  return CompareStringOrdinal(a.data(), static_cast<int>(a.size()), b.data(),
                              static_cast<int>(b.size()), TRUE) == CSTR_EQUAL;
}

}  // namespace

std::string ResolvedFolderPath(const std::string& path) {
  return win32::Utf8(ResolvedWide(win32::Wide(path)));
}

std::vector<ProtectedFolder> ProtectedFolders() {
  std::vector<ProtectedFolder> folders;
  auto add = [&folders](const std::wstring& folder, ProtectedKind kind) {
    if (folder.empty()) return;
    folders.push_back({win32::Utf8(ResolvedWide(folder)), kind});
  };
  add(CsidlFolder(CSIDL_WINDOWS), ProtectedKind::kSystem);
  add(EnvironmentFolder(L"SystemRoot"), ProtectedKind::kSystem);
  add(CsidlFolder(CSIDL_SYSTEM), ProtectedKind::kSystem);
  add(CsidlFolder(CSIDL_PROGRAM_FILES), ProtectedKind::kSystem);
  add(CsidlFolder(CSIDL_PROGRAM_FILESX86), ProtectedKind::kSystem);
  add(EnvironmentFolder(L"ProgramFiles"), ProtectedKind::kSystem);
  add(EnvironmentFolder(L"ProgramFiles(x86)"), ProtectedKind::kSystem);
  add(EnvironmentFolder(L"ProgramW6432"), ProtectedKind::kSystem);
  add(ProfilesFolder(), ProtectedKind::kSystem);
  add(CsidlFolder(CSIDL_PROFILE), ProtectedKind::kHome);
  add(EnvironmentFolder(L"USERPROFILE"), ProtectedKind::kHome);
  return folders;
}

ProtectedKind ProtectedKindOf(const std::string& resolved) {
  const std::wstring wide = win32::Wide(resolved);
  if (RootLength(wide) != 0 && RootLength(wide) >= WithoutTrailingSlashes(wide).size()) {
    return ProtectedKind::kFileSystemRoot;
  }
  ProtectedKind kind = ProtectedKind::kNone;
  for (const ProtectedFolder& folder : ProtectedFolders()) {
    if (!SameFolder(win32::Wide(folder.path), wide)) continue;
    if (folder.kind == ProtectedKind::kHome) return folder.kind;
    kind = folder.kind;
  }
  return kind;
}

}  // namespace platform
