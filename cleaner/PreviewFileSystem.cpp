#include "cleaner/PreviewFileSystem.h"

#include "support/ov_paths.h"

namespace sweepwell {

namespace {

using platform::error::kAccessDenied;
using platform::error::kAlreadyExists;
using platform::error::kDirNotEmpty;
using platform::error::kFileNotFound;
using platform::error::kPathNotFound;
using platform::error::kSuccess;

bool IsDotName(std::string_view name) { return name == "." || name == ".."; }

// `path` without trailing separators (the root keeps its one).
std::string WithoutTrailingSeparators(std::string path) {
  while (path.size() > 1 && path.back() == platform::kPathSeparator) path.pop_back();
  return path;
}

// The folder that holds the last step of `path`, and that step's name ("" for the root).
struct PathParts {
  std::string parent;
  std::string name;
};

PathParts Split(const std::string& path) {
  std::string whole = WithoutTrailingSeparators(path);
  PathParts parts{support::ovGetFilePath(whole), support::ovGetFileName(whole)};
  if (parts.parent.empty()) parts.parent = ".";
  return parts;
}

}  // namespace

PreviewFileSystem::Key PreviewFileSystem::KeyOf(const platform::Folder& folder,
                                                std::string_view name) {
  return Key(folder.Id().device, folder.Id().inode, std::string(name));
}

bool PreviewFileSystem::Went(const platform::Folder& folder, std::string_view name) const {
  return folder.IsOpen() && gone_.count(KeyOf(folder, name)) != 0;
}

bool PreviewFileSystem::IsGoneFolder(const platform::Folder& folder) const {
  return folder.IsOpen() && gone_folders_.count({folder.Id().device, folder.Id().inode}) != 0;
}

uint32_t PreviewFileSystem::CheckPath(const std::string& path) {
  if (gone_.empty()) return kSuccess;
  std::string current = WithoutTrailingSeparators(path);
  bool last = true;
  for (;;) {
    PathParts parts = Split(current);
    if (parts.name.empty() || IsDotName(parts.name)) return kSuccess;
    uint32_t code = kSuccess;
    const platform::Folder parent = target().OpenFolder(parts.parent, &code, true);
    if (!parent.IsOpen()) return kSuccess;  // the disk answers for itself
    if (IsGoneFolder(parent)) return kPathNotFound;
    if (Went(parent, parts.name)) return last ? kFileNotFound : kPathNotFound;
    if (parts.parent == current) return kSuccess;
    current = parts.parent;
    last = false;
  }
}

void PreviewFileSystem::ForgetGoneTarget(const platform::Folder& folder, std::string_view name,
                                         uint32_t* attributes) {
  if (gone_folders_.empty() || !platform::attr::IsJunction(*attributes)) return;
  uint32_t code = kSuccess;
  if (IsGoneFolder(target().OpenEntry(folder, name, &code, true))) {
    *attributes &= ~platform::attr::kDirectory;
  }
}

bool PreviewFileSystem::HoldsOnlyGone(const platform::Folder& folder) {
  std::vector<platform::FindRecord> records;
  if (target().ListFolder(folder, &records) != kSuccess) return false;
  for (const platform::FindRecord& record : records) {
    if (!IsDotName(record.name) && !Went(folder, record.name)) return false;
  }
  return true;
}

platform::Folder PreviewFileSystem::OpenFolder(const std::string& path, uint32_t* error,
                                               bool follow_links) {
  if (CheckPath(path) != kSuccess) {
    *error = kPathNotFound;
    return platform::Folder();
  }
  platform::Folder folder = target().OpenFolder(path, error, follow_links);
  if (IsGoneFolder(folder)) {
    *error = kPathNotFound;
    return platform::Folder();
  }
  return folder;
}

platform::Folder PreviewFileSystem::OpenEntry(const platform::Folder& folder, std::string_view name,
                                              uint32_t* error, bool follow_links) {
  if (Went(folder, name)) {
    *error = kPathNotFound;
    return platform::Folder();
  }
  platform::Folder entry = target().OpenEntry(folder, name, error, follow_links);
  if (IsGoneFolder(entry)) {
    *error = kPathNotFound;
    return platform::Folder();
  }
  return entry;
}

uint32_t PreviewFileSystem::ListFolder(const platform::Folder& folder,
                                       std::vector<platform::FindRecord>* records) {
  uint32_t code = target().ListFolder(folder, records);
  if (gone_.empty()) return code;
  std::erase_if(*records,
                [&](const platform::FindRecord& record) { return Went(folder, record.name); });
  for (platform::FindRecord& record : *records) {
    ForgetGoneTarget(folder, record.name, &record.attributes);
  }
  return code;
}

uint32_t PreviewFileSystem::GetEntryAttributes(const platform::Folder& folder,
                                               std::string_view name, uint32_t* attributes,
                                               uint64_t* size) {
  if (Went(folder, name)) return kFileNotFound;
  uint32_t code = target().GetEntryAttributes(folder, name, attributes, size);
  if (code == kSuccess) ForgetGoneTarget(folder, name, attributes);
  return code;
}

uint32_t PreviewFileSystem::GetFileAttributes(const std::string& path, uint32_t* attributes,
                                              uint64_t* size) {
  if (made_.count(WithoutTrailingSeparators(path)) != 0) {
    *attributes = platform::attr::kDirectory;
    *size = 0;
    return kSuccess;
  }
  if (uint32_t code = CheckPath(path)) return code;
  uint32_t code = target().GetFileAttributes(path, attributes, size);
  if (code == kSuccess && !gone_folders_.empty() && platform::attr::IsJunction(*attributes)) {
    uint32_t open_error = kSuccess;
    if (IsGoneFolder(target().OpenFolder(path, &open_error, true))) {
      *attributes &= ~platform::attr::kDirectory;
    }
  }
  return code;
}

uint32_t PreviewFileSystem::IsEntryFolderEmpty(const platform::Folder& folder,
                                               std::string_view name, bool* empty) {
  *empty = false;
  uint32_t code = kSuccess;
  const platform::Folder inner = OpenEntry(folder, name, &code, true);
  if (!inner.IsOpen()) return code;
  *empty = HoldsOnlyGone(inner);
  return kSuccess;
}

uint32_t PreviewFileSystem::IsFolderEmpty(const std::string& path, bool* empty) {
  *empty = false;
  if (made_.count(WithoutTrailingSeparators(path)) != 0) {
    *empty = true;
    return kSuccess;
  }
  uint32_t code = kSuccess;
  const platform::Folder folder = OpenFolder(path, &code, true);
  if (!folder.IsOpen()) return code;
  *empty = HoldsOnlyGone(folder);
  return kSuccess;
}

uint32_t PreviewFileSystem::SetEntryAttributesNormal(const platform::Folder&, std::string_view) {
  return kSuccess;
}

uint32_t PreviewFileSystem::SetFileAttributesNormal(const std::string&) { return kSuccess; }

uint32_t PreviewFileSystem::SetEntryStream(const platform::Folder&, std::string_view,
                                           std::string_view, std::string_view) {
  return kSuccess;
}

uint32_t PreviewFileSystem::RemoveEntryStream(const platform::Folder&, std::string_view,
                                              std::string_view) {
  return kSuccess;
}

uint32_t PreviewFileSystem::SetEntryCompression(const platform::Folder&, std::string_view,
                                                uint32_t) {
  return kSuccess;
}

uint32_t PreviewFileSystem::SetEntryAttributes(const platform::Folder&, std::string_view,
                                               uint32_t) {
  return kSuccess;
}

uint32_t PreviewFileSystem::Remove(const platform::Folder& folder, std::string_view name,
                                   bool folder_entry) {
  uint32_t attributes = 0;
  uint64_t size = 0;
  if (uint32_t code = GetEntryAttributes(folder, name, &attributes, &size)) return code;
  const bool is_folder = (attributes & platform::attr::kDirectory) != 0;
  if (is_folder && (attributes & platform::attr::kReparsePoint) == 0) {
    // A file deletion refuses a folder; a folder goes only when nothing is left in it.
    if (!folder_entry) return kAccessDenied;
    uint32_t code = kSuccess;
    const platform::Folder inner = target().OpenEntry(folder, name, &code, false);
    if (!inner.IsOpen()) return code;
    if (!HoldsOnlyGone(inner)) return kDirNotEmpty;
    gone_folders_.insert({inner.Id().device, inner.Id().inode});
  } else if (folder_entry && !is_folder) {
    return kPathNotFound;  // rmdir of a file or a dangling link: "not a folder"
  }
  gone_.insert(KeyOf(folder, name));
  return kSuccess;
}

uint32_t PreviewFileSystem::RemovePath(const std::string& path, bool folder_entry) {
  PathParts parts = Split(path);
  if (parts.name.empty()) return kAccessDenied;  // the root
  uint32_t code = kSuccess;
  const platform::Folder parent = OpenFolder(parts.parent, &code, true);
  if (!parent.IsOpen()) return code;
  return Remove(parent, parts.name, folder_entry);
}

uint32_t PreviewFileSystem::DeleteEntryFile(const platform::Folder& folder, std::string_view name) {
  return Remove(folder, name, false);
}

uint32_t PreviewFileSystem::RemoveEntryDirectory(const platform::Folder& folder,
                                                 std::string_view name) {
  return Remove(folder, name, true);
}

uint32_t PreviewFileSystem::MoveEntryToTrash(const platform::Folder& folder, std::string_view name,
                                             const std::string&, platform::TrashMove*) {
  return Remove(folder, name, false);
}

uint32_t PreviewFileSystem::DeleteFile(const std::string& path) { return RemovePath(path, false); }

uint32_t PreviewFileSystem::RemoveDirectory(const std::string& path) {
  return RemovePath(path, true);
}

uint32_t PreviewFileSystem::MoveToTrash(const std::string& path, platform::TrashMove*) {
  return RemovePath(path, false);
}

uint32_t PreviewFileSystem::CreateDirectory(const std::string& path) {
  uint32_t attributes = 0;
  uint64_t size = 0;
  if (GetFileAttributes(path, &attributes, &size) == kSuccess) return kAlreadyExists;
  if (GetFileAttributes(Split(path).parent, &attributes, &size) != kSuccess ||
      (attributes & platform::attr::kDirectory) == 0) {
    return kPathNotFound;
  }
  made_.insert(WithoutTrailingSeparators(path));
  return kSuccess;
}

}  // namespace sweepwell
