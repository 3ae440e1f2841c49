// Whole-file reading and writing by path with CreateFileW. A folder where a file is expected
// gives kAccessDenied, as CreateFile itself reports it.
#include "platform/whole_file.h"

#include <string>

#include "platform/win32/internal.h"

namespace platform {
namespace {

HANDLE OpenFile(const std::string& path, DWORD access, DWORD disposition, uint32_t* error) {
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
  const std::string temporary = path + ".~replace";
  uint32_t code;
  HANDLE file = OpenFile(temporary, GENERIC_WRITE, CREATE_ALWAYS, &code);
  if (file == INVALID_HANDLE_VALUE) return code;
  code = WriteEverything(file, data);
  if (code == error::kSuccess && !FlushFileBuffers(file)) code = GetLastError();
  CloseHandle(file);
  const std::wstring from = win32::LongPath(temporary), to = win32::LongPath(path);
  if (code == error::kSuccess &&
      !MoveFileExW(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    code = GetLastError();
  }
  if (code != error::kSuccess) DeleteFileW(from.c_str());
  return code;
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
