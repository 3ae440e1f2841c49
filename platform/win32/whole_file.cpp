// Whole files, each held as a File (win32::OpenRegular). The entry `name` of an open folder is
// reached by the folder's final path and the name: the calls here go by path (ReplaceFile and
// MoveFileEx know no handles). A folder, device or pipe where a file is expected gives
// kAccessDenied, as CreateFile itself reports a folder.
#include "platform/whole_file.h"

#include <cwchar>
#include <string>

#include "platform/win32/internal.h"

namespace platform {
namespace {

// The by-path calls here answer as CreateFile itself does: what is no disk file (a folder, a
// device, a pipe) is access denied.
uint32_t ByPathError(uint32_t code) {
  return code == error::kBadFileType ? error::kAccessDenied : code;
}

File OpenFile(const std::string& path, DWORD access, DWORD disposition, uint32_t* error) {
  File file =
      win32::OpenRegular(path, access, FILE_SHARE_READ | FILE_SHARE_DELETE, disposition, 0, error);
  *error = ByPathError(*error);
  return file;
}

// Reads from the start up to `max_bytes`, or to the end where the file shrank meanwhile.
uint32_t ReadUpTo(const File& file, size_t max_bytes, std::vector<uint8_t>* data, uint64_t* size) {
  uint64_t length = 0;
  if (const uint32_t code = file.GetSize(&length); code != error::kSuccess) return code;
  if (size != nullptr) *size = length;
  uint64_t wanted = length;
  if (wanted > max_bytes) wanted = max_bytes;
  if (wanted > SIZE_MAX / 2) return error::kNotEnoughMemory;
  data->resize(static_cast<size_t>(wanted));
  size_t done = 0;
  const uint32_t code = file.ReadUpTo(0, data->data(), data->size(), &done);
  data->resize(code == error::kSuccess ? done : 0);
  return code;
}

uint32_t ReadFileStart(const std::string& path, size_t max_bytes, std::vector<uint8_t>* data,
                       uint64_t* size) {
  data->clear();
  uint32_t code = error::kSuccess;
  const File file = OpenFile(path, GENERIC_READ, OPEN_EXISTING, &code);
  if (!file.IsOpen()) return code;
  return ReadUpTo(file, max_bytes, data, size);
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
  if (win32::NamesDevice(target)) return error::kAccessDenied;
  const DWORD found = GetFileAttributesW(target.c_str());
  if (found != INVALID_FILE_ATTRIBUTES && (found & FILE_ATTRIBUTE_DIRECTORY)) {
    return error::kAccessDenied;
  }
  if (found != INVALID_FILE_ATTRIBUTES && (found & FILE_ATTRIBUTE_REPARSE_POINT)) {
    HANDLE link =
        CreateFileW(target.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                    nullptr, OPEN_EXISTING, 0, nullptr);
    if (link != INVALID_HANDLE_VALUE) {
      std::wstring final_path;
      const uint32_t code = win32::FinalPathOf(link, &final_path);
      CloseHandle(link);
      if (code == error::kSuccess) target = final_path;
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
  uint32_t code = error::kSuccess;
  File file = win32::OpenRegular(win32::Utf8(temporary), GENERIC_WRITE, 0, CREATE_NEW,
                                 FILE_ATTRIBUTE_HIDDEN, &code);
  if (!file.IsOpen()) return code;
  code = contents([&file](std::string_view piece) { return file.Write(piece); });
  if (code == error::kSuccess) code = file.Sync();
  if (const uint32_t close_code = file.Close(); code == error::kSuccess) code = close_code;
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

File OpenWholeFile(const std::string& path, uint32_t* error) {
  File file =
      win32::OpenRegular(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                         OPEN_EXISTING, 0, error);
  *error = ByPathError(*error);
  return file;
}

uint32_t AppendToFile(const std::string& path, std::string_view data) {
  uint32_t code = error::kSuccess;
  File file = OpenFile(path, FILE_APPEND_DATA | SYNCHRONIZE, OPEN_ALWAYS, &code);
  if (!file.IsOpen()) return code;
  code = file.Write(data);
  const uint32_t close_code = file.Close();
  return code != error::kSuccess ? code : close_code;
}

uint32_t OverwriteFile(const std::string& path, std::string_view data) {
  uint32_t code = error::kSuccess;
  // Cut in place (OPEN_ALWAYS, then the end set to 0) keeps the file's streams and security;
  // CREATE_ALWAYS would cut a device or pipe before it could be refused.
  File file = OpenFile(path, GENERIC_WRITE, OPEN_ALWAYS, &code);
  if (!file.IsOpen()) return code;
  // The handle's own end, at its position 0 (File::Truncate goes through a second handle, which
  // the sharing mode of this one refuses).
  if (!SetEndOfFile(reinterpret_cast<HANDLE>(file.Handle()))) code = GetLastError();
  if (code == error::kSuccess) code = file.Write(data);
  const uint32_t close_code = file.Close();
  return code != error::kSuccess ? code : close_code;
}

uint32_t GetFileSize(const std::string& path, uint64_t* size) {
  uint32_t code = error::kSuccess;
  const File file = OpenFile(path, FILE_READ_ATTRIBUTES, OPEN_EXISTING, &code);
  if (!file.IsOpen()) return code;
  *size = file.Size();
  return error::kSuccess;
}

}  // namespace

uint32_t win32::EntryPath(const Folder& folder, std::string_view name, std::string* path,
                          bool itself) {
  if (!folder.IsOpen()) return error::kInvalidHandle;
  std::wstring wide;
  if (const uint32_t code = win32::CheckedEntryName(name, &wide); code != error::kSuccess) {
    return code;
  }
  if (wide.empty() && !itself) return error::kAccessDenied;  // "." names the folder itself
  std::wstring full;
  if (const uint32_t code = win32::FinalPathOf(win32::HandleOf(folder), &full);
      code != error::kSuccess) {
    return code;
  }
  if (full.back() != L'\\' && !wide.empty()) full += L'\\';
  *path = win32::Utf8(full + wide);
  return error::kSuccess;
}

uint32_t ReadEntryWhole(const Folder& folder, std::string_view name, std::vector<uint8_t>* data) {
  data->clear();
  std::string path;
  const uint32_t code = win32::EntryPath(folder, name, &path);
  return code != error::kSuccess ? code : ReadFileStart(path, SIZE_MAX, data, nullptr);
}

File OpenEntryWhole(const Folder& folder, std::string_view name, uint32_t* error) {
  std::string path;
  *error = win32::EntryPath(folder, name, &path);
  return *error != error::kSuccess ? File() : OpenWholeFile(path, error);
}

uint32_t ReadEntryStart(const Folder& folder, std::string_view name, size_t max_bytes,
                        std::vector<uint8_t>* data, uint64_t* size) {
  data->clear();
  std::string path;
  const uint32_t code = win32::EntryPath(folder, name, &path);
  return code != error::kSuccess ? code : ReadFileStart(path, max_bytes, data, size);
}

uint32_t ReplaceEntryFile(const Folder& folder, std::string_view name,
                          const ContentsMaker& contents) {
  std::string path;
  const uint32_t code = win32::EntryPath(folder, name, &path);
  return code != error::kSuccess ? code : ReplaceWholeFile(path, contents);
}

uint32_t AppendEntryFile(const Folder& folder, std::string_view name, std::string_view data) {
  std::string path;
  const uint32_t code = win32::EntryPath(folder, name, &path);
  return code != error::kSuccess ? code : AppendToFile(path, data);
}

uint32_t OverwriteEntryFile(const Folder& folder, std::string_view name, std::string_view data) {
  std::string path;
  const uint32_t code = win32::EntryPath(folder, name, &path);
  return code != error::kSuccess ? code : OverwriteFile(path, data);
}

uint32_t GetEntryFileSize(const Folder& folder, std::string_view name, uint64_t* size) {
  std::string path;
  const uint32_t code = win32::EntryPath(folder, name, &path);
  return code != error::kSuccess ? code : GetFileSize(path, size);
}

Folder OpenWriteFolder(const std::string& path, uint32_t* error) {
  return Folder::Open(path, error, true);
}

}  // namespace platform
