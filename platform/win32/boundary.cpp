// The conversions at the edge of the backend: UTF-8 <-> UTF-16, paths in the \\?\ form, and
// NTSTATUS values as Windows error codes.
#include <algorithm>
#include <string>
#include <vector>

#include "platform/win32/internal.h"

namespace platform::win32 {

std::wstring Wide(std::string_view utf8) {
  if (utf8.empty()) return {};
  const int size = static_cast<int>(utf8.size());
  const int length = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), size, nullptr, 0);
  std::wstring wide(static_cast<size_t>(length), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, utf8.data(), size, wide.data(), length);
  return wide;
}

std::string Utf8(std::wstring_view wide) {
  if (wide.empty()) return {};
  const int size = static_cast<int>(wide.size());
  const int length =
      WideCharToMultiByte(CP_UTF8, 0, wide.data(), size, nullptr, 0, nullptr, nullptr);
  std::string utf8(static_cast<size_t>(length), '\0');
  WideCharToMultiByte(CP_UTF8, 0, wide.data(), size, utf8.data(), length, nullptr, nullptr);
  return utf8;
}

namespace {

bool IsSeparator(wchar_t c) { return c == L'\\' || c == L'/'; }

bool IsDriveLetter(wchar_t c) { return (c >= L'A' && c <= L'Z') || (c >= L'a' && c <= L'z'); }

std::wstring CurrentFolder() {
  DWORD size = GetCurrentDirectoryW(0, nullptr);
  std::wstring folder(size, L'\0');
  size = GetCurrentDirectoryW(size, folder.data());
  folder.resize(size);
  return folder;
}

// GetFullPathNameW of a short, name-free prefix ("X:" or "\"): the current folder of a drive or
// the root of the current drive. Only prefixes go through it, since it would also drop the
// trailing dots and blanks of a last name.
std::wstring FullPathOfPrefix(const std::wstring& prefix) {
  wchar_t buffer[MAX_PATH * 2];
  const DWORD size = GetFullPathNameW(prefix.c_str(), MAX_PATH * 2, buffer, nullptr);
  if (size == 0 || size >= MAX_PATH * 2) return prefix;
  return std::wstring(buffer, size);
}

// Appends the parts of `rest` to `result` (which ends at a root of `root_length` characters),
// dropping empty and "." parts and taking ".." back to the root at most.
void AppendParts(std::wstring_view rest, size_t root_length, std::wstring* result) {
  size_t start = 0;
  while (start <= rest.size()) {
    size_t end = start;
    while (end < rest.size() && !IsSeparator(rest[end])) ++end;
    const std::wstring_view part = rest.substr(start, end - start);
    if (part == L"..") {
      size_t cut = result->size();
      while (cut > root_length && (*result)[cut - 1] != L'\\') --cut;
      if (cut > root_length) --cut;  // the separator before the last part
      result->resize(std::max(cut, root_length));
    } else if (!part.empty() && part != L".") {
      if (result->size() > root_length || (result->size() > 0 && result->back() != L'\\')) {
        *result += L'\\';
      }
      *result += part;
    }
    start = end + 1;
  }
}

}  // namespace

std::wstring LongPath(const std::string& path) {
  // A NUL would end the path early for the system and name another file: such a path names
  // none (the empty path, which every call refuses).
  if (path.find('\0') != std::string::npos) return {};
  std::wstring wide = Wide(path);
  for (wchar_t& c : wide) {
    if (c == L'/') c = L'\\';
  }
  if (wide.rfind(L"\\\\?\\", 0) == 0 || wide.rfind(L"\\\\.\\", 0) == 0) return wide;
  if (wide.empty()) return wide;

  std::wstring result;
  size_t root_length = 0;
  std::wstring_view rest;
  if (wide.size() >= 2 && wide[0] == L'\\' && wide[1] == L'\\') {
    // \\server\share\rest: the share is the root ".." cannot leave.
    size_t server_end = wide.find(L'\\', 2);
    size_t share_end =
        server_end == std::wstring::npos ? std::wstring::npos : wide.find(L'\\', server_end + 1);
    if (share_end == std::wstring::npos) share_end = wide.size();
    result = L"\\\\?\\UNC\\" + wide.substr(2, share_end - 2);
    root_length = result.size();
    rest = std::wstring_view(wide).substr(share_end);
  } else if (wide.size() >= 3 && IsDriveLetter(wide[0]) && wide[1] == L':' && wide[2] == L'\\') {
    result = L"\\\\?\\" + wide.substr(0, 3);
    root_length = result.size();
    rest = std::wstring_view(wide).substr(3);
  } else {
    // Relative to the current folder, to the current drive's root ("\x"), or to a drive's own
    // current folder ("X:x"): the base is asked of the system, the rest is ours.
    std::wstring base;
    if (wide[0] == L'\\') {
      base = FullPathOfPrefix(L"\\");
      rest = std::wstring_view(wide).substr(1);
    } else if (wide.size() >= 2 && IsDriveLetter(wide[0]) && wide[1] == L':') {
      base = FullPathOfPrefix(wide.substr(0, 2));
      rest = std::wstring_view(wide).substr(2);
    } else {
      base = CurrentFolder();
      rest = wide;
    }
    // The base and the rest are joined in the plain form and made long in one go, so that the
    // "." and ".." of the rest are resolved: a "\\?\" path reaches the system as it stands,
    // where ".\x" would name an entry called ".".
    std::wstring plain = base;
    if (plain.rfind(L"\\\\?\\UNC\\", 0) == 0) {
      plain = L"\\\\" + plain.substr(8);
    } else if (plain.rfind(L"\\\\?\\", 0) == 0) {
      plain = plain.substr(4);
    }
    const bool drive =
        plain.size() >= 3 && IsDriveLetter(plain[0]) && plain[1] == L':' && plain[2] == L'\\';
    const bool share = plain.size() >= 3 && plain[0] == L'\\' && plain[1] == L'\\';
    if (!drive && !share) return wide;  // no current folder: nothing better to offer
    std::wstring combined = plain;
    if (combined.back() != L'\\') combined += L'\\';
    combined += rest;
    return LongPath(Utf8(combined));
  }
  AppendParts(rest, root_length, &result);
  // A bare drive or share is its root folder, which Windows names with a final separator.
  if (result.size() == root_length && result.back() != L'\\') result += L'\\';
  return result;
}

std::wstring PlainAbsolutePath(const std::string& path) {
  std::wstring full = LongPath(path);
  if (full.rfind(L"\\\\?\\UNC\\", 0) == 0) return L"\\\\" + full.substr(8);
  if (full.rfind(L"\\\\?\\", 0) == 0) return full.substr(4);
  return full;
}

uint32_t CheckFilePath(std::string_view path) {
  if (path.find('\0') != std::string_view::npos) return error::kInvalidName;
  if (path.starts_with("\\\\?\\") || path.starts_with("\\\\.\\")) path.remove_prefix(4);
  if (path.size() >= 2 && path[1] == ':' && IsDriveLetter(static_cast<unsigned char>(path[0]))) {
    path.remove_prefix(2);
  }
  return path.find(':') == std::string_view::npos ? error::kSuccess : error::kInvalidName;
}

uint32_t ErrorFromStatus(NTSTATUS status) {
  return static_cast<uint32_t>(RtlNtStatusToDosError(status));
}

bool RunningUnderWine() {
  static const bool wine =
      GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "wine_get_version") != nullptr;
  return wine;
}

}  // namespace platform::win32
