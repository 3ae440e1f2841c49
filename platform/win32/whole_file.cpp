// Whole-file reading and writing by path with CreateFileW. A folder where a file is expected
// gives kAccessDenied, as CreateFile itself reports it.
#include "platform/whole_file.h"

#include <cwchar>
#include <string>

#include "platform/win32/internal.h"

namespace platform {
namespace {

HANDLE OpenFile(const std::string& path, DWORD access, DWORD disposition, uint32_t* error) {
  if (uint32_t code = win32::CheckFilePath(path); code != error::kSuccess) {
    *error = code;
    return INVALID_HANDLE_VALUE;
  }
  const std::wstring full = win32::LongPath(path);
  HANDLE file = CreateFileW(full.c_str(), access, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr,
                            disposition, FILE_ATTRIBUTE_NORMAL, nullptr);
  *error = file == INVALID_HANDLE_VALUE ? GetLastError() : error::kSuccess;
  return file;
}

uint32_t ReadUpTo(HANDLE file, size_t max_bytes, std::vector<uint8_t>* data, uint64_t* size) {
  LARGE_INTEGER length;
  if (!GetFileSizeEx(file, &length)) return GetLastError();
  if (size != nullptr) *size = static_cast<uint64_t>(length.QuadPart);
  uint64_t wanted = static_cast<uint64_t>(length.QuadPart);
  if (wanted > max_bytes) wanted = max_bytes;
  if (wanted > SIZE_MAX / 2) return error::kNotEnoughMemory;
  data->resize(static_cast<size_t>(wanted));
  size_t done = 0;
  while (done < data->size()) {
    const size_t left = data->size() - done;
    const DWORD chunk = left > (1u << 30) ? (1u << 30) : static_cast<DWORD>(left);
    DWORD read = 0;
    if (!ReadFile(file, data->data() + done, chunk, &read, nullptr)) return GetLastError();
    if (read == 0) break;  // the file shrank meanwhile
    done += read;
  }
  data->resize(done);
  return error::kSuccess;
}

uint32_t WriteEverything(HANDLE file, std::string_view data) {
  while (!data.empty()) {
    const DWORD chunk = data.size() > (1u << 30) ? (1u << 30) : static_cast<DWORD>(data.size());
    DWORD written = 0;
    if (!WriteFile(file, data.data(), chunk, &written, nullptr)) return GetLastError();
    data.remove_prefix(written);
  }
  return error::kSuccess;
}

}  // namespace

uint32_t ReadWholeFile(const std::string& path, std::vector<uint8_t>* data) {
  return ReadFileStart(path, SIZE_MAX, data, nullptr);
}

uint32_t ReadFileStart(const std::string& path, size_t max_bytes, std::vector<uint8_t>* data,
                       uint64_t* size) {
  data->clear();
  uint32_t code;
  HANDLE file = OpenFile(path, GENERIC_READ, OPEN_EXISTING, &code);
  if (file == INVALID_HANDLE_VALUE) return code;
  code = ReadUpTo(file, max_bytes, data, size);
  CloseHandle(file);
  return code;
}

uint32_t ReplaceWholeFile(const std::string& path, std::string_view data) {
  return ReplaceWholeFile(path, [data](const PieceWriter& write) { return write(data); });
}

// The new contents are written to a hidden temporary file beside the target
// (".NAME.~<random>", so two writers never share one), flushed, given the target's attributes
// and put in its place in one step with MoveFileExW(MOVEFILE_REPLACE_EXISTING). A failure at
// any step removes the temporary file and leaves the target as it was. A target that is a
// symbolic link is replaced where the link leads, and the link stays.
//
// ReplaceFileW would also carry the target's security descriptor and named streams over, but
// where it fails part-way it leaves a backup file of its own naming behind ("rfXXXX.tmp" under
// Wine), which no caller could clean up; the new file here has the folder's inherited security
// and no streams, as the renamed file on Linux has no extended attributes of the old one.
uint32_t ReplaceWholeFile(const std::string& path, const ContentsMaker& contents) {
  if (uint32_t code = win32::CheckFilePath(path); code != error::kSuccess) return code;
  std::wstring target = win32::LongPath(path);
  if (target.empty()) return error::kPathNotFound;
  if (target.back() == L'\\') return error::kInvalidName;
  const DWORD found = GetFileAttributesW(target.c_str());
  if (found != INVALID_FILE_ATTRIBUTES && (found & FILE_ATTRIBUTE_DIRECTORY)) {
    return error::kAccessDenied;
  }
  if (found != INVALID_FILE_ATTRIBUTES && (found & FILE_ATTRIBUTE_REPARSE_POINT)) {
    HANDLE link =
        CreateFileW(target.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                    nullptr, OPEN_EXISTING, 0, nullptr);
    if (link != INVALID_HANDLE_VALUE) {
      std::wstring final_path(32768, L'\0');
      const DWORD length = GetFinalPathNameByHandleW(link, final_path.data(),
                                                     static_cast<DWORD>(final_path.size()), 0);
      CloseHandle(link);
      if (length > 0 && length < final_path.size()) {
        final_path.resize(length);
        target = final_path;
      }
    }
  }
  const size_t cut = target.rfind(L'\\');
  const std::wstring folder = target.substr(0, cut + 1);
  const std::wstring name = target.substr(cut + 1);
  LARGE_INTEGER counter;
  QueryPerformanceCounter(&counter);
  wchar_t suffix[40];
  swprintf(suffix, 40, L".~%08lx%08llx", static_cast<unsigned long>(GetCurrentProcessId()),
           static_cast<unsigned long long>(counter.QuadPart));
  const std::wstring temporary = folder + L"." + name + suffix;
  HANDLE file = CreateFileW(temporary.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                            FILE_ATTRIBUTE_HIDDEN, nullptr);
  if (file == INVALID_HANDLE_VALUE) return GetLastError();
  uint32_t code = contents([file](std::string_view piece) { return WriteEverything(file, piece); });
  if (code == error::kSuccess && !FlushFileBuffers(file)) code = GetLastError();
  CloseHandle(file);
  // The target's own attributes (hidden, system, not indexed, ...); a read-only target stays
  // read-only, so MoveFileExW refuses to replace it, as Windows refuses any write to it.
  const DWORD keep = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE |
                     FILE_ATTRIBUTE_NOT_CONTENT_INDEXED | FILE_ATTRIBUTE_TEMPORARY;
  const DWORD attributes = found != INVALID_FILE_ATTRIBUTES && (found & keep) != 0
                               ? (found & keep)
                               : FILE_ATTRIBUTE_NORMAL;
  if (code == error::kSuccess && !SetFileAttributesW(temporary.c_str(), attributes)) {
    code = GetLastError();
  }
  if (code == error::kSuccess && !MoveFileExW(temporary.c_str(), target.c_str(),
                                              MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    code = GetLastError();
  }
  if (code != error::kSuccess) DeleteFileW(temporary.c_str());
  return code;
}

FileReader OpenWholeFile(const std::string& path, uint32_t* error) {
  return FileReader::Open(path, error);
}

uint32_t AppendToFile(const std::string& path, std::string_view data) {
  uint32_t code;
  HANDLE file = OpenFile(path, FILE_APPEND_DATA, OPEN_ALWAYS, &code);
  if (file == INVALID_HANDLE_VALUE) return code;
  code = WriteEverything(file, data);
  CloseHandle(file);
  return code;
}

uint32_t OverwriteFile(const std::string& path, std::string_view data) {
  uint32_t code;
  // TRUNCATE in place (OPEN_ALWAYS, then SetEndOfFile) keeps the file's streams and security.
  HANDLE file = OpenFile(path, GENERIC_WRITE, OPEN_ALWAYS, &code);
  if (file == INVALID_HANDLE_VALUE) return code;
  if (!SetEndOfFile(file)) code = GetLastError();
  if (code == error::kSuccess) code = WriteEverything(file, data);
  CloseHandle(file);
  return code;
}

uint32_t GetFileSize(const std::string& path, uint64_t* size) {
  uint32_t code;
  HANDLE file = OpenFile(path, FILE_READ_ATTRIBUTES, OPEN_EXISTING, &code);
  if (file == INVALID_HANDLE_VALUE) return code;
  LARGE_INTEGER length;
  if (GetFileSizeEx(file, &length)) {
    *size = static_cast<uint64_t>(length.QuadPart);
  } else {
    code = GetLastError();
  }
  CloseHandle(file);
  return code;
}

}  // namespace platform
