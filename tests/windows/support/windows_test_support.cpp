#include "support/windows_test_support.h"

#include <windows.h>
#include <shlobj.h>

#include <cstdio>
#include <string>
#include <vector>

namespace windows_test {

std::wstring Wide(const std::string& utf8) {
  if (utf8.empty()) return {};
  const int length =
      MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
  std::wstring wide(static_cast<size_t>(length), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), wide.data(), length);
  return wide;
}

std::string Utf8(const std::wstring& wide) {
  if (wide.empty()) return {};
  const int length = WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()),
                                         nullptr, 0, nullptr, nullptr);
  std::string utf8(static_cast<size_t>(length), '\0');
  WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), utf8.data(), length,
                      nullptr, nullptr);
  return utf8;
}

bool RunningUnderWine() {
  return GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "wine_get_version") != nullptr;
}

std::wstring LongForm(const std::string& path) {
  std::wstring wide = Wide(path);
  for (wchar_t& c : wide) {
    if (c == L'/') c = L'\\';
  }
  if (wide.rfind(L"\\\\?\\", 0) == 0) return wide;
  return L"\\\\?\\" + wide;
}

bool FolderLinksWork() {
  static const bool work = [] {
    TempTree tree;
    MakeFolder(tree / "target");
    const std::wstring link = LongForm(tree / "link");
    const std::wstring target = LongForm(tree / "target");
    CreateSymbolicLinkW(link.c_str(), target.c_str(),
                        SYMBOLIC_LINK_FLAG_DIRECTORY | 0x2 /* unprivileged create */);
    const DWORD attributes = GetFileAttributesW(link.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT);
  }();
  return work;
}

TempTree::TempTree() {
  wchar_t base[MAX_PATH + 1];
  const DWORD length = GetTempPathW(MAX_PATH + 1, base);
  std::wstring folder(base, length);
  if (!folder.empty() && folder.back() == L'\\') folder.pop_back();
  static unsigned counter = 0;
  for (;;) {
    const std::wstring candidate = folder + L"\\wt-" + std::to_wstring(GetCurrentProcessId()) +
                                   L"-" + std::to_wstring(++counter);
    if (CreateDirectoryW(candidate.c_str(), nullptr)) {
      root_ = Utf8(candidate);
      return;
    }
    if (GetLastError() != ERROR_ALREADY_EXISTS) std::abort();
  }
}

TempTree::~TempTree() { RemoveTree(root_); }

void MakeFolder(const std::string& path) {
  const std::wstring full = LongForm(path);
  // Every missing level, from the top.
  for (size_t pos = 7; pos <= full.size(); ++pos) {
    if (pos == full.size() || full[pos] == L'\\') {
      CreateDirectoryW(full.substr(0, pos).c_str(), nullptr);
    }
  }
}

void MakeFile(const std::string& path, size_t bytes) {
  const size_t cut = path.find_last_of('\\');
  if (cut != std::string::npos) MakeFolder(path.substr(0, cut));
  HANDLE file = CreateFileW(LongForm(path).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return;
  const std::string data(bytes, 'x');
  DWORD written = 0;
  WriteFile(file, data.data(), static_cast<DWORD>(data.size()), &written, nullptr);
  CloseHandle(file);
}

bool Exists(const std::string& path) {
  return GetFileAttributesW(LongForm(path).c_str()) != INVALID_FILE_ATTRIBUTES;
}

void RemoveTree(const std::string& path) {
  const std::wstring full = LongForm(path);
  const DWORD attributes = GetFileAttributesW(full.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) return;
  SetFileAttributesW(full.c_str(), FILE_ATTRIBUTE_NORMAL);
  if (!(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
    DeleteFileW(full.c_str());
    return;
  }
  if (!(attributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW((full + L"\\*").c_str(), &found);
    if (search != INVALID_HANDLE_VALUE) {
      std::vector<std::wstring> names;
      do {
        const std::wstring name = found.cFileName;
        if (name != L"." && name != L"..") names.push_back(name);
      } while (FindNextFileW(search, &found));
      FindClose(search);
      for (const std::wstring& name : names) RemoveTree(Utf8(full + L"\\" + name));
    }
  }
  RemoveDirectoryW(full.c_str());
}

ScopedVariable::ScopedVariable(const std::string& name, const std::string& value)
    : name_(Wide(name)) {
  wchar_t buffer[32768];
  const DWORD length = GetEnvironmentVariableW(name_.c_str(), buffer, 32768);
  had_ = length > 0 || GetLastError() != ERROR_ENVVAR_NOT_FOUND;
  if (had_) old_.assign(buffer, length);
  SetEnvironmentVariableW(name_.c_str(), Wide(value).c_str());
}

ScopedVariable::~ScopedVariable() {
  SetEnvironmentVariableW(name_.c_str(), had_ ? old_.c_str() : nullptr);
}

std::string WineTrashFolder() {
  if (!RunningUnderWine()) return {};
  char value[4096];
  const DWORD length = GetEnvironmentVariableA("XDG_DATA_HOME", value, sizeof value);
  if (length == 0 || length >= sizeof value || value[0] != '/') return {};
  // The fresh prefix maps Z: to the Unix root.
  std::string folder = "Z:" + std::string(value, length) + "/Trash";
  for (char& c : folder) {
    if (c == '/') c = '\\';
  }
  return folder;
}

std::string SweepwellLogPath() {
  SYSTEMTIME now;
  GetLocalTime(&now);
  char name[32];
  std::snprintf(name, sizeof name, "Sweep %04d-%02d.LOG", now.wYear, now.wMonth);
  wchar_t folder[MAX_PATH] = L"";
  SHGetFolderPathW(nullptr, CSIDL_APPDATA, nullptr, SHGFP_TYPE_CURRENT, folder);
  return Utf8(folder) + "\\Greyfen Works\\Sweep Well\\" + name;
}

}  // namespace windows_test
