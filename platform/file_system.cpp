// The machine's file system is the functions of platform.h, whichever backend implements them,
// so one forwarding class serves every backend.
#include "platform/file_system.h"

#include "platform/attributes.h"
#include "platform/compression.h"
#include "platform/streams.h"
#include "platform/terminal.h"

#if !defined(_WIN32)
#include "platform/posix/internal.h"
#endif

namespace platform {

uint32_t FileSystem::ListFolderNames(const Folder& folder, std::vector<FindRecord>* records,
                                     bool* plain_files_described) {
  *plain_files_described = true;
  return ListFolder(folder, records);
}

void FileSystem::DescribeEntries(const Folder& folder, std::span<FindRecord* const> records,
                                 uint32_t* codes) {
  for (size_t i = 0; i < records.size(); ++i) {
    FindRecord& record = *records[i];
    codes[i] = GetEntryAttributes(folder, record.name, &record.attributes, &record.size);
  }
}

uint32_t FileSystem::FindInFolder(Folder folder, std::string_view mask, FindResult* result, bool) {
  result->entries.clear();
  result->deferred.reset();
  result->folder = FolderId{};
  if (!folder.IsOpen()) return error::kInvalidHandle;
  result->folder = folder.Id();
  if (mask.empty()) return error::kInvalidName;
  std::vector<FindRecord> listed;
  if (const uint32_t code = ListFolder(folder, &listed); code != error::kSuccess) return code;
  const bool one_name = !IsFindMask(mask);
  for (FindRecord& entry : listed) {
    if (one_name ? entry.name == mask : PathMatchSpec(entry.name, mask)) {
      result->entries.push_back(std::move(entry));
    }
  }
  return result->entries.empty() ? error::kFileNotFound : error::kSuccess;
}

size_t FileSystem::DeleteEntryFiles(const Folder& folder,
                                    std::span<const FindRecord* const> entries, uint32_t* error) {
  *error = error::kSuccess;
  for (size_t i = 0; i < entries.size(); ++i) {
    // A stop asked for while an entry went ends the batch after it: one flag read, no call.
    if (i > 0 && StopRequested()) return i;
    *error = DeleteEntryFile(folder, entries[i]->name);
    if (*error != error::kSuccess) return i;
  }
  return entries.size();
}

uint32_t FileSystem::ReadEntryFile(const Folder& folder, std::string_view name, std::string* data) {
  data->clear();
  File file;
  const uint32_t code = OpenEntryFile(folder, name, FileOpening::kRead, &file);
  return code != error::kSuccess ? code : file.ReadAll(data);
}

Folder FileSystem::OpenWriteFolder(const std::string& path, uint32_t* error) {
  return OpenFolder(path, error, true);
}

namespace {

bool IsSeparator(char c) {
#ifdef _WIN32
  return c == '/' || c == '\\';
#else
  return c == '/';
#endif
}

// `path` without trailing separators; a root ("/", "C:\\") keeps its own.
std::string WithoutTrailingSeparators(std::string path) {
  while (path.size() > 1 && IsSeparator(path.back()) && path[path.size() - 2] != ':') {
    path.pop_back();
  }
  return path;
}

// The folder above `path` and the last name in it; false when `path` names no file (it ends in
// a separator). A name alone is in the current folder.
bool SplitParent(const std::string& path, std::string* parent, std::string_view* name) {
#ifdef _WIN32
  const size_t cut = path.find_last_of("/\\");
#else
  const size_t cut = path.rfind('/');
#endif
  *name = path;
  if (cut == std::string::npos) {
    *parent = ".";
  } else {
    *name = std::string_view(path).substr(cut + 1);
    *parent = path.substr(0, cut);
    // The separator stays where the folder above is a root: "/", "C:\" (a drive), "\\?\C:\".
    if (parent->empty() || parent->back() == ':' ||
        parent->find_first_not_of("/\\") == std::string::npos) {
      *parent = path.substr(0, cut + 1);
    }
  }
  return !name->empty();
}

// The whole-file helpers' one pattern: the folder above `path` opened once, then
// action(folder, name); the library's by-path contract for what is no regular file.
template <typename Action>
uint32_t OnWholeFile(FileSystem& files, const std::string& path, bool writing, Action action) {
  if (path.empty()) return error::kPathNotFound;
#ifdef _WIN32
  // A device or pipe ("\\.\NUL", "\\.\pipe\x") is no file, as CreateFile reports it; its
  // namespace holds no folder to open.
  if (path.size() > 4 && (path[0] == '\\' || path[0] == '/') &&
      (path[1] == '\\' || path[1] == '/') && path[2] == '.' &&
      (path[3] == '\\' || path[3] == '/')) {
    return error::kAccessDenied;
  }
#endif
  std::string parent;
  std::string_view name;
  if (!SplitParent(path, &parent, &name)) return error::kInvalidName;
  uint32_t code = error::kSuccess;
  const Folder folder =
      writing ? files.OpenWriteFolder(parent, &code) : files.OpenFolder(parent, &code, true);
  if (!folder.IsOpen()) {
    // Whatever keeps the folder above from being opened, the file's path names nothing.
    return code == error::kSuccess || code == error::kFileNotFound ? error::kPathNotFound : code;
  }
  code = action(folder, name);
  return code == error::kBadFileType ? error::kAccessDenied : code;
}

}  // namespace

uint32_t OpenFileByPath(FileSystem& files, const std::string& path, FileOpening how, File* file) {
  *file = File();
  std::string parent;
  std::string_view name;
  if (!SplitParent(path, &parent, &name)) return error::kInvalidName;
  uint32_t code = error::kSuccess;
  const Folder folder = files.OpenFolder(parent, &code, true);
  if (!folder.IsOpen()) return code != error::kSuccess ? code : error::kPathNotFound;
  return files.OpenEntryFile(folder, name, how, file);
}

uint32_t ReadWholeFile(FileSystem& files, const std::string& path, std::vector<uint8_t>* data) {
  data->clear();
  return OnWholeFile(files, path, false, [&](const Folder& folder, std::string_view name) {
    return files.ReadEntryWhole(folder, name, data);
  });
}

File OpenWholeFile(FileSystem& files, const std::string& path, uint32_t* error) {
  File file;
  *error = OnWholeFile(files, path, false, [&](const Folder& folder, std::string_view name) {
    uint32_t code = error::kSuccess;
    file = files.OpenEntryWhole(folder, name, &code);
    return file.IsOpen() || code != error::kSuccess ? code : error::kGenFailure;
  });
  if (*error != error::kSuccess) file = File();
  return file;
}

uint32_t ReadFileStart(FileSystem& files, const std::string& path, size_t max_bytes,
                       std::vector<uint8_t>* data, uint64_t* size) {
  data->clear();
  return OnWholeFile(files, path, false, [&](const Folder& folder, std::string_view name) {
    return files.ReadEntryStart(folder, name, max_bytes, data, size);
  });
}

uint32_t ReplaceWholeFile(FileSystem& files, const std::string& path, std::string_view data) {
  return ReplaceWholeFile(files, path, [data](const PieceWriter& write) { return write(data); });
}

uint32_t ReplaceWholeFile(FileSystem& files, const std::string& path,
                          const ContentsMaker& contents) {
  return OnWholeFile(files, path, true, [&](const Folder& folder, std::string_view name) {
    return files.ReplaceEntryFile(folder, name, contents);
  });
}

uint32_t AppendToFile(FileSystem& files, const std::string& path, std::string_view data) {
  return OnWholeFile(files, path, true, [&](const Folder& folder, std::string_view name) {
    return files.AppendEntryFile(folder, name, data);
  });
}

uint32_t OverwriteFile(FileSystem& files, const std::string& path, std::string_view data) {
  return OnWholeFile(files, path, true, [&](const Folder& folder, std::string_view name) {
    return files.OverwriteEntryFile(folder, name, data);
  });
}

uint32_t GetFileSize(FileSystem& files, const std::string& path, uint64_t* size) {
  return OnWholeFile(files, path, false, [&](const Folder& folder, std::string_view name) {
    return files.GetEntryFileSize(folder, name, size);
  });
}

Folder FileSystem::OpenParentFolder(const std::string& path, std::string* name, uint32_t* error) {
  name->clear();
  const std::string whole = WithoutTrailingSeparators(path);
  if (whole.empty()) {
    *error = error::kPathNotFound;
    return Folder();
  }
  std::string parent;
  std::string_view last;
  if (IsSeparator(whole.back()) || !SplitParent(whole, &parent, &last)) {
    parent = whole;  // a root: "." of itself
    last = ".";
  }
  *error = error::kSuccess;
  Folder folder = OpenFolder(parent, error, true);
  if (!folder.IsOpen()) {
    if (*error == error::kSuccess) *error = error::kPathNotFound;
    return folder;
  }
  *name = std::string(last);
  return folder;
}

uint32_t FindEntries(FileSystem& files, const std::string& pattern, FindResult* result,
                     FindOptions options) {
  result->entries.clear();
  result->folder = FolderId{};
  result->deferred.reset();
  if (pattern.empty()) return error::kPathNotFound;
  if (pattern.size() > kLongestFindPattern) return error::kFilenameTooLong;
  if (pattern.find('\0') != std::string::npos) return error::kInvalidName;
  std::string mask;
  uint32_t code = error::kSuccess;
  Folder folder = files.OpenParentFolder(pattern, &mask, &code);
  if (!folder.IsOpen()) return code;
  // Compared once the folder is held: what is listed is then the folder that was checked.
  if (options.expected_folder != FolderId{} && folder.Id() != options.expected_folder) {
    return error::kPathNotFound;
  }
  return files.FindInFolder(std::move(folder), mask, result, options.defer_looks);
}

namespace {

// The by-path helpers' one pattern: the folder above `path` opened once, then
// action(folder, name).
template <typename Action>
uint32_t OnParentOf(FileSystem& files, const std::string& path, Action action) {
  std::string name;
  uint32_t code = error::kSuccess;
  const Folder folder = files.OpenParentFolder(path, &name, &code);
  if (!folder.IsOpen()) return code;
  return action(folder, name);
}

}  // namespace

uint32_t GetFileAttributes(FileSystem& files, const std::string& path, uint32_t* attributes,
                           uint64_t* size) {
  return OnParentOf(files, path, [&](const Folder& folder, const std::string& name) {
    return files.GetEntryAttributes(folder, name, attributes, size);
  });
}

uint32_t SetFileAttributesNormal(FileSystem& files, const std::string& path) {
  return OnParentOf(files, path, [&](const Folder& folder, const std::string& name) {
    return files.SetEntryAttributesNormal(folder, name);
  });
}

uint32_t DeleteFile(FileSystem& files, const std::string& path) {
  return OnParentOf(files, path, [&](const Folder& folder, const std::string& name) {
    return files.DeleteEntryFile(folder, name);
  });
}

uint32_t RemoveDirectory(FileSystem& files, const std::string& path) {
  return OnParentOf(files, path, [&](const Folder& folder, const std::string& name) {
    return files.RemoveEntryDirectory(folder, name);
  });
}

uint32_t MoveToTrash(FileSystem& files, const std::string& path, TrashMove* move) {
  const std::string trimmed = WithoutTrailingSeparators(path);
  return OnParentOf(files, trimmed, [&](const Folder& folder, const std::string& name) {
    return files.MoveEntryToTrash(folder, name, trimmed, move);
  });
}

uint32_t IsFolderEmpty(FileSystem& files, const std::string& path, bool* empty) {
  *empty = false;
  return OnParentOf(files, path, [&](const Folder& folder, const std::string& name) {
    return files.IsEntryFolderEmpty(folder, name, empty);
  });
}

uint32_t CreateDirectory(FileSystem& files, const std::string& path) {
  return OnParentOf(files, path, [&](const Folder& folder, const std::string& name) {
    return files.CreateEntryDirectory(folder, name);
  });
}

namespace {

// The by-path pattern of the stream, compression and attribute helpers: the folder above `path`
// opened once (a root stands for itself, as "." in it), then action(folder, name).
template <typename Action>
uint32_t OnEntryOfPath(FileSystem& files, const std::string& path, uint32_t empty_path,
                       [[maybe_unused]] bool missing_is_file, Action action) {
  if (path.empty()) return empty_path;
  std::string name;
  uint32_t code = error::kSuccess;
  const Folder folder = files.OpenParentFolder(path, &name, &code);
  if (folder.IsOpen()) return action(folder, name);
#ifndef _WIN32
  // The stream and compression calls of Linux say kFileNotFound for a folder missing on the
  // way (ENOENT), where opening that folder says kPathNotFound; a file in the folder's place
  // stays kPathNotFound (ENOTDIR).
  std::string parent;
  std::string_view last;
  uint32_t attributes = 0;
  uint64_t size = 0;
  if (missing_is_file && code == error::kPathNotFound &&
      SplitParent(WithoutTrailingSeparators(path), &parent, &last) &&
      GetFileAttributes(files, parent, &attributes, &size) != error::kSuccess) {
    code = error::kFileNotFound;
  }
#endif
  return code;
}

}  // namespace

uint32_t GetFileStream(FileSystem& files, const std::string& path, std::string_view stream,
                       std::string* value) {
  value->clear();
  return OnEntryOfPath(files, path, error::kFileNotFound, true,
                       [&](const Folder& folder, std::string_view name) {
                         return files.GetEntryStream(folder, name, stream, value);
                       });
}

uint32_t SetFileStream(FileSystem& files, const std::string& path, std::string_view stream,
                       std::string_view value) {
  return OnEntryOfPath(files, path, error::kFileNotFound, true,
                       [&](const Folder& folder, std::string_view name) {
                         return files.SetEntryStream(folder, name, stream, value);
                       });
}

uint32_t RemoveFileStream(FileSystem& files, const std::string& path, std::string_view stream) {
  return OnEntryOfPath(files, path, error::kFileNotFound, true,
                       [&](const Folder& folder, std::string_view name) {
                         return files.RemoveEntryStream(folder, name, stream);
                       });
}

uint32_t ListFileStreams(FileSystem& files, const std::string& path,
                         std::vector<std::string>* names) {
  names->clear();
  return OnEntryOfPath(files, path, error::kFileNotFound, true,
                       [&](const Folder& folder, std::string_view name) {
                         return files.ListEntryStreams(folder, name, names);
                       });
}

uint32_t ReadBackupStreams(FileSystem& files, const std::string& path, bool process_security,
                           std::vector<BackupStreamHeader>* streams) {
  streams->clear();
  return OnEntryOfPath(
      files, path, error::kFileNotFound, true, [&](const Folder& folder, std::string_view name) {
        return files.ReadEntryBackupStreams(folder, name, process_security, streams);
      });
}

uint32_t GetFileCompression(FileSystem& files, const std::string& path, uint32_t* format) {
  return OnEntryOfPath(files, path, error::kPathNotFound, true,
                       [&](const Folder& folder, std::string_view name) {
                         return files.GetEntryCompression(folder, name, format);
                       });
}

uint32_t SetFileCompression(FileSystem& files, const std::string& path, uint32_t format) {
  return OnEntryOfPath(files, path, error::kPathNotFound, true,
                       [&](const Folder& folder, std::string_view name) {
                         return files.SetEntryCompression(folder, name, format);
                       });
}

uint32_t SetFileAttributes(FileSystem& files, const std::string& path, uint32_t attributes) {
  return OnEntryOfPath(files, path, error::kPathNotFound, false,
                       [&](const Folder& folder, std::string_view name) {
                         return files.SetEntryAttributes(folder, name, attributes);
                       });
}

namespace {

class MachineFileSystem final : public FileSystem {
 public:
  Folder OpenFolder(const std::string& path, uint32_t* error, bool follow_links) override {
    return Folder::Open(path, error, follow_links);
  }
  Folder OpenEntry(const Folder& folder, std::string_view name, uint32_t* error,
                   bool follow_links) override {
    return folder.OpenEntry(name, error, follow_links);
  }
  Folder OpenEntryVerified(const Folder& folder, std::string_view name, const FolderId& expected,
                           uint32_t* error) override {
    return folder.OpenEntryVerified(name, expected, error);
  }
  uint32_t ListFolder(const Folder& folder, std::vector<FindRecord>* records) override {
    return platform::ListFolder(folder, records);
  }
  uint32_t GetEntryAttributes(const Folder& folder, std::string_view name, uint32_t* attributes,
                              uint64_t* size) override {
    return platform::GetEntryAttributes(folder, name, attributes, size);
  }
  uint32_t SetEntryAttributesNormal(const Folder& folder, std::string_view name) override {
    return platform::SetEntryAttributesNormal(folder, name);
  }
  uint32_t DeleteEntryFile(const Folder& folder, std::string_view name) override {
    return platform::DeleteEntryFile(folder, name);
  }
  uint32_t RemoveEntryDirectory(const Folder& folder, std::string_view name) override {
    return platform::RemoveEntryDirectory(folder, name);
  }
  uint32_t MoveEntryToTrash(const Folder& folder, std::string_view name, const std::string& path,
                            TrashMove* move = nullptr) override {
    return platform::MoveEntryToTrash(folder, name, path, move);
  }
  uint32_t IsEntryFolderEmpty(const Folder& folder, std::string_view name, bool* empty) override {
    return platform::IsEntryFolderEmpty(folder, name, empty);
  }
  uint32_t OpenEntryFile(const Folder& folder, std::string_view name, FileOpening how,
                         File* file) override {
    return platform::OpenEntryFile(folder, name, how, file);
  }
  uint32_t CreateEntryDirectory(const Folder& folder, std::string_view name) override {
    return platform::CreateEntryDirectory(folder, name);
  }
  uint32_t ReadEntryWhole(const Folder& folder, std::string_view name,
                          std::vector<uint8_t>* data) override {
    return platform::ReadEntryWhole(folder, name, data);
  }
  File OpenEntryWhole(const Folder& folder, std::string_view name, uint32_t* error) override {
    return platform::OpenEntryWhole(folder, name, error);
  }
  uint32_t ReadEntryStart(const Folder& folder, std::string_view name, size_t max_bytes,
                          std::vector<uint8_t>* data, uint64_t* size) override {
    return platform::ReadEntryStart(folder, name, max_bytes, data, size);
  }
  uint32_t ReplaceEntryFile(const Folder& folder, std::string_view name,
                            const ContentsMaker& contents) override {
    return platform::ReplaceEntryFile(folder, name, contents);
  }
  uint32_t AppendEntryFile(const Folder& folder, std::string_view name,
                           std::string_view data) override {
    return platform::AppendEntryFile(folder, name, data);
  }
  uint32_t OverwriteEntryFile(const Folder& folder, std::string_view name,
                              std::string_view data) override {
    return platform::OverwriteEntryFile(folder, name, data);
  }
  uint32_t GetEntryFileSize(const Folder& folder, std::string_view name, uint64_t* size) override {
    return platform::GetEntryFileSize(folder, name, size);
  }
  Folder OpenWriteFolder(const std::string& path, uint32_t* error) override {
    return platform::OpenWriteFolder(path, error);
  }
  Folder OpenParentFolder(const std::string& path, std::string* name, uint32_t* error) override {
    return platform::OpenParentFolder(path, name, error);
  }
  uint32_t FindInFolder(Folder folder, std::string_view mask, FindResult* result,
                        bool defer_looks) override {
    return platform::FindInFolder(std::move(folder), mask, result, defer_looks);
  }
  TrashEntryStatus FindTrashedEntry(const TrashedEntry& entry, uint64_t* size,
                                    uint32_t* error) override {
    return platform::FindTrashedEntry(entry, size, error);
  }
  TrashEntryStatus RestoreTrashedEntry(const TrashedEntry& entry, uint64_t* size, uint32_t* error,
                                       const FolderStates* folders = nullptr) override {
    return platform::RestoreTrashedEntry(entry, size, error, folders);
  }
  bool DescribeFolder(const std::string& path, FolderState* state) override {
    return platform::DescribeFolder(path, state);
  }
  uint32_t GetEntryStream(const Folder& folder, std::string_view name, std::string_view stream,
                          std::string* value) override {
    return platform::GetEntryStream(folder, name, stream, value);
  }
  uint32_t SetEntryStream(const Folder& folder, std::string_view name, std::string_view stream,
                          std::string_view value) override {
    return platform::SetEntryStream(folder, name, stream, value);
  }
  uint32_t RemoveEntryStream(const Folder& folder, std::string_view name,
                             std::string_view stream) override {
    return platform::RemoveEntryStream(folder, name, stream);
  }
  uint32_t ListEntryStreams(const Folder& folder, std::string_view name,
                            std::vector<std::string>* names) override {
    return platform::ListEntryStreams(folder, name, names);
  }
  uint32_t ReadEntryBackupStreams(const Folder& folder, std::string_view name,
                                  bool process_security,
                                  std::vector<BackupStreamHeader>* streams) override {
    return platform::ReadEntryBackupStreams(folder, name, process_security, streams);
  }
  uint32_t GetEntryCompression(const Folder& folder, std::string_view name,
                               uint32_t* format) override {
    return platform::GetEntryCompression(folder, name, format);
  }
  uint32_t SetEntryCompression(const Folder& folder, std::string_view name,
                               uint32_t format) override {
    return platform::SetEntryCompression(folder, name, format);
  }
  uint32_t SetEntryAttributes(const Folder& folder, std::string_view name,
                              uint32_t attributes) override {
    return platform::SetEntryAttributes(folder, name, attributes);
  }
#if !defined(_WIN32)
  // On Linux a listing gives names and types only, so the looks a deletion does not need are
  // left out. On Windows a listing already carries sizes and times, and the defaults serve.
  uint32_t ListFolderNames(const Folder& folder, std::vector<FindRecord>* records,
                           bool* plain_files_described) override {
    return posix::ListFolderNames(folder, records, plain_files_described);
  }
  void DescribeEntries(const Folder& folder, std::span<FindRecord* const> records,
                       uint32_t* codes) override {
    posix::DescribeEntries(folder, records, codes);
  }
#endif
};

}  // namespace

FileSystem& RealFileSystem() {
  static MachineFileSystem machine;
  return machine;
}

}  // namespace platform
