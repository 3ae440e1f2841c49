// Helpers of the tests of the library's classes on Windows: files read and written with the W
// functions directly, never through the layer under test.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "support/windows_test_support.h"

namespace fileio_test {

// UTF-8 -> the text the classes take.
inline std::u16string Text(const std::string& utf8) {
  const std::wstring wide = windows_test::Wide(utf8);
  return std::u16string(wide.begin(), wide.end());
}

inline std::string ReadBytes(const std::string& path) {
  HANDLE file = CreateFileW(windows_test::LongForm(path).c_str(), GENERIC_READ,
                            FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                            OPEN_EXISTING, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return "<missing>";
  std::string bytes;
  char buffer[65536];
  DWORD read = 0;
  while (ReadFile(file, buffer, sizeof buffer, &read, nullptr) && read > 0) {
    bytes.append(buffer, read);
  }
  CloseHandle(file);
  return bytes;
}

inline void WriteBytes(const std::string& path, const std::string& bytes) {
  HANDLE file = CreateFileW(windows_test::LongForm(path).c_str(), GENERIC_WRITE, 0, nullptr,
                            CREATE_ALWAYS, 0, nullptr);
  DWORD written = 0;
  if (file == INVALID_HANDLE_VALUE) return;
  WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
  CloseHandle(file);
}

// The names in a folder (FindFirstFileW), "." and ".." left out.
inline std::vector<std::string> NamesIn(const std::string& folder) {
  std::vector<std::string> names;
  WIN32_FIND_DATAW data;
  HANDLE find = FindFirstFileW((windows_test::LongForm(folder) + L"\\*").c_str(), &data);
  if (find == INVALID_HANDLE_VALUE) return names;
  do {
    const std::wstring name = data.cFileName;
    if (name != L"." && name != L"..") names.push_back(windows_test::Utf8(name));
  } while (FindNextFileW(find, &data));
  FindClose(find);
  return names;
}

// Bytes of a text in the given code page, as WideCharToMultiByte gives them.
inline std::string InCodePage(const std::string& utf8, UINT code_page) {
  const std::wstring wide = windows_test::Wide(utf8);
  const int length = WideCharToMultiByte(code_page, 0, wide.data(), static_cast<int>(wide.size()),
                                         nullptr, 0, nullptr, nullptr);
  std::string bytes(static_cast<size_t>(length), '\0');
  WideCharToMultiByte(code_page, 0, wide.data(), static_cast<int>(wide.size()), bytes.data(),
                      length, nullptr, nullptr);
  return bytes;
}

inline std::string FromCodePage(const std::string& bytes, UINT code_page) {
  const int length =
      MultiByteToWideChar(code_page, 0, bytes.data(), static_cast<int>(bytes.size()), nullptr, 0);
  std::wstring wide(static_cast<size_t>(length), L'\0');
  MultiByteToWideChar(code_page, 0, bytes.data(), static_cast<int>(bytes.size()), wide.data(),
                      length);
  return windows_test::Utf8(wide);
}

}  // namespace fileio_test
