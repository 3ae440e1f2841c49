// NTFS alternate data streams, opened as "FILE:NAME" with CreateFileW (in the \\?\ form, so
// any length works), listed with FindFirstStreamW, walked with BackupRead.
//
// Decisions of this backend:
// - A stream name must name exactly one stream: empty, or holding a NUL, ":" or a separator,
//   it is kInvalidName; longer than 255 UTF-16 units, kFilenameTooLong.
// - Writing a stream of a file that does not exist is kFileNotFound: CreateFileW would make
//   an empty file to hold the stream, which no caller asking for a stream of an existing file
//   means.
// - A volume without named streams (FILE_NAMED_STREAMS not among its flags) answers
//   kNotSupported, as a Linux file system without extended attributes does.
// - The security stream of the backup walk comes only when it is asked for, and then only when
//   the handle could be opened with READ_CONTROL (which the walk asks for in that case).
#include "platform/streams.h"

#include <algorithm>

#include "platform/win32/internal.h"

namespace platform {
namespace {

uint32_t CheckStreamName(std::string_view name, std::wstring* wide) {
  if (name.empty() || name.find_first_of(std::string_view(":\\/\0", 4)) != std::string_view::npos) {
    return error::kInvalidName;
  }
  *wide = win32::Wide(name);
  if (wide->size() > 255) return error::kFilenameTooLong;
  return error::kSuccess;
}

// kNotSupported when the volume of `long_path` keeps no named streams (FAT, exFAT, most network
// shares of other systems, Wine's drives): there "FILE:NAME" is refused, or would even be
// made as a file of that name beside FILE.
uint32_t CheckNamedStreams(const std::wstring& long_path) {
  std::wstring volume(long_path.size() + 2, L'\0');
  if (!GetVolumePathNameW(long_path.c_str(), volume.data(), static_cast<DWORD>(volume.size()))) {
    return error::kSuccess;  // the call on the stream itself will say what is wrong
  }
  DWORD flags = 0;
  if (!GetVolumeInformationW(volume.c_str(), nullptr, 0, nullptr, nullptr, &flags, nullptr, 0)) {
    return error::kSuccess;
  }
  return (flags & FILE_NAMED_STREAMS) ? error::kSuccess : error::kNotSupported;
}

uint32_t StreamPath(const std::string& path, std::string_view name, std::wstring* full) {
  std::wstring wide_name;
  if (uint32_t code = CheckStreamName(name, &wide_name); code != error::kSuccess) return code;
  if (uint32_t code = win32::CheckFilePath(path); code != error::kSuccess) return code;
  *full = win32::LongPath(path);
  if (full->empty()) return error::kPathNotFound;
  // A device keeps no streams, and opening one can act on it: it is never opened.
  if (win32::NamesDevice(*full)) return error::kAccessDenied;
  if (uint32_t code = CheckNamedStreams(*full); code != error::kSuccess) return code;
  *full += L':';
  *full += wide_name;
  return error::kSuccess;
}

constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

}  // namespace

uint32_t GetFileStream(const std::string& path, std::string_view name, std::string* value) {
  value->clear();
  std::wstring full;
  if (uint32_t code = StreamPath(path, name, &full); code != error::kSuccess) return code;
  HANDLE stream = CreateFileW(full.c_str(), GENERIC_READ, kShareAll, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
  if (stream == INVALID_HANDLE_VALUE) return GetLastError();
  uint32_t code = error::kSuccess;
  LARGE_INTEGER size;
  if (!GetFileSizeEx(stream, &size)) {
    code = GetLastError();
  } else if (size.QuadPart > (1LL << 30)) {
    code = error::kFileTooLarge;
  } else {
    value->resize(static_cast<size_t>(size.QuadPart));
    size_t done = 0;
    while (done < value->size()) {
      DWORD read = 0;
      if (!ReadFile(stream, value->data() + done, static_cast<DWORD>(value->size() - done), &read,
                    nullptr)) {
        code = GetLastError();
        break;
      }
      if (read == 0) break;
      done += read;
    }
    value->resize(done);
  }
  CloseHandle(stream);
  if (code != error::kSuccess) value->clear();
  return code;
}

uint32_t SetFileStream(const std::string& path, std::string_view name, std::string_view value) {
  std::wstring full;
  if (uint32_t code = StreamPath(path, name, &full); code != error::kSuccess) return code;
  if (GetFileAttributesW(win32::LongPath(path).c_str()) == INVALID_FILE_ATTRIBUTES) {
    return GetLastError();
  }
  HANDLE stream = CreateFileW(full.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
  if (stream == INVALID_HANDLE_VALUE) return GetLastError();
  uint32_t code = error::kSuccess;
  while (!value.empty()) {
    const DWORD chunk = static_cast<DWORD>(std::min<size_t>(value.size(), 1u << 30));
    DWORD written = 0;
    if (!WriteFile(stream, value.data(), chunk, &written, nullptr)) {
      code = GetLastError();
      break;
    }
    value.remove_prefix(written);
  }
  CloseHandle(stream);
  return code;
}

uint32_t RemoveFileStream(const std::string& path, std::string_view name) {
  std::wstring full;
  if (uint32_t code = StreamPath(path, name, &full); code != error::kSuccess) return code;
  if (!DeleteFileW(full.c_str())) return GetLastError();
  return error::kSuccess;
}

uint32_t ListFileStreams(const std::string& path, std::vector<std::string>* names) {
  names->clear();
  const std::wstring full = win32::LongPath(path);
  if (uint32_t code = CheckNamedStreams(full); code != error::kSuccess) return code;
  WIN32_FIND_STREAM_DATA data;
  HANDLE find = FindFirstStreamW(full.c_str(), FindStreamInfoStandard, &data, 0);
  if (find == INVALID_HANDLE_VALUE) {
    const DWORD code = GetLastError();
    return code == ERROR_HANDLE_EOF ? error::kSuccess : code;  // no stream at all (a folder)
  }
  do {
    // ":NAME:$DATA"; the unnamed data stream is "::$DATA".
    std::wstring_view name(data.cStreamName);
    if (name.size() > 7 && name.substr(name.size() - 6) == L":$DATA") {
      name = name.substr(1, name.size() - 7);
      if (!name.empty()) names->push_back(win32::Utf8(name));
    }
  } while (FindNextStreamW(find, &data));
  FindClose(find);
  return error::kSuccess;
}

uint32_t GetEntryStream(const Folder& folder, std::string_view name, std::string_view stream,
                        std::string* value) {
  value->clear();
  return win32::OnEntryPath(
      folder, name, [&](const std::string& path) { return GetFileStream(path, stream, value); });
}

uint32_t SetEntryStream(const Folder& folder, std::string_view name, std::string_view stream,
                        std::string_view value) {
  return win32::OnEntryPath(
      folder, name, [&](const std::string& path) { return SetFileStream(path, stream, value); });
}

uint32_t RemoveEntryStream(const Folder& folder, std::string_view name, std::string_view stream) {
  return win32::OnEntryPath(
      folder, name, [&](const std::string& path) { return RemoveFileStream(path, stream); });
}

uint32_t ListEntryStreams(const Folder& folder, std::string_view name,
                          std::vector<std::string>* names) {
  names->clear();
  return win32::OnEntryPath(folder, name,
                            [&](const std::string& path) { return ListFileStreams(path, names); });
}

uint32_t GetNtfsAttributes(const std::string& path, uint32_t* attributes) {
  const DWORD found = GetFileAttributesW(win32::LongPath(path).c_str());
  if (found == INVALID_FILE_ATTRIBUTES) return GetLastError();
  *attributes = found;
  return error::kSuccess;
}

uint32_t SetNtfsAttributes(const std::string& path, uint32_t attributes) {
  if (!SetFileAttributesW(win32::LongPath(path).c_str(), attributes)) return GetLastError();
  return error::kSuccess;
}

uint32_t ReadBackupStreams(const std::string& path, bool process_security,
                           std::vector<BackupStreamHeader>* streams) {
  streams->clear();
  const std::wstring full = win32::LongPath(path);
  const DWORD access = GENERIC_READ | (process_security ? READ_CONTROL : 0);
  HANDLE file = CreateFileW(full.c_str(), access, kShareAll, nullptr, OPEN_EXISTING,
                            FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (file == INVALID_HANDLE_VALUE) return GetLastError();
  if (GetFileType(file) != FILE_TYPE_DISK) {
    CloseHandle(file);
    return error::kAccessDenied;
  }
  void* context = nullptr;
  uint32_t code = error::kSuccess;
  // The fixed part of WIN32_STREAM_ID, up to its name.
  constexpr DWORD kHeaderSize = offsetof(WIN32_STREAM_ID, cStreamName);
  for (bool first = true;; first = false) {
    WIN32_STREAM_ID header{};
    DWORD read = 0;
    if (!BackupRead(file, reinterpret_cast<BYTE*>(&header), kHeaderSize, &read, FALSE,
                    process_security, &context)) {
      // A walk that cannot even start says why; one that fails part-way ends with what it has.
      if (first) code = GetLastError();
      break;
    }
    if (read < kHeaderSize) break;  // the end
    BackupStreamHeader& stream = streams->emplace_back();
    stream.stream_id = header.dwStreamId;
    stream.attributes = header.dwStreamAttributes;
    stream.size = static_cast<uint64_t>(header.Size.QuadPart);
    if (header.dwStreamNameSize > 0) {
      std::wstring name(header.dwStreamNameSize / sizeof(wchar_t), L'\0');
      if (!BackupRead(file, reinterpret_cast<BYTE*>(name.data()), header.dwStreamNameSize, &read,
                      FALSE, process_security, &context) ||
          read < header.dwStreamNameSize) {
        break;
      }
      stream.name = win32::Utf8(name);
    }
    if (stream.size > 0) {
      DWORD low = 0, high = 0;
      BackupSeek(file, static_cast<DWORD>(stream.size), static_cast<DWORD>(stream.size >> 32), &low,
                 &high, &context);
      if (((static_cast<uint64_t>(high) << 32) | low) < stream.size) break;
    }
  }
  if (context != nullptr) {
    DWORD read = 0;
    BackupRead(file, nullptr, 0, &read, TRUE, process_security, &context);
  }
  CloseHandle(file);
  if (code != error::kSuccess) streams->clear();
  return code;
}

uint32_t ReadEntryBackupStreams(const Folder& folder, std::string_view name, bool process_security,
                                std::vector<BackupStreamHeader>* streams) {
  streams->clear();
  return win32::OnEntryPath(folder, name, [&](const std::string& path) {
    return ReadBackupStreams(path, process_security, streams);
  });
}

}  // namespace platform
