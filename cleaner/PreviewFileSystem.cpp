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

// The device number of the folders the preview makes: no volume of the machine's or of a
// stand-in has it, so their identities never meet a real one.
constexpr uint64_t kMadeDevice = ~uint64_t{0};
// Their tokens carry a mark in the high bits, so no other file system takes one for its own.
constexpr uint64_t kMadeMark = uint64_t{0xFFFF} << 48;

platform::Folder MadeFolder(uint64_t token) {
  return platform::Folder::ForStandIn(token, platform::FolderId{kMadeDevice, token});
}

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

uint64_t PreviewFileSystem::MadeToken(const platform::Folder& folder, std::string_view name) const {
  if (made_.empty() || !folder.IsOpen()) return 0;
  const auto found = made_.find(KeyOf(folder, name));
  return found == made_.end() ? 0 : found->second;
}

bool PreviewFileSystem::IsMade(const platform::Folder& folder) {
  return folder.IsOpen() && folder.Id().device == kMadeDevice;
}

bool PreviewFileSystem::HoldsMade(const platform::Folder& folder) const {
  if (!IsMade(folder)) return false;
  const auto first = made_.lower_bound(Key(kMadeDevice, folder.Id().inode, std::string()));
  return first != made_.end() && std::get<0>(first->first) == kMadeDevice &&
         std::get<1>(first->first) == folder.Id().inode;
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
  if (Went(folder, name) || IsMade(folder) || MadeToken(folder, name) != 0) {
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
  if (IsMade(folder)) {
    records->clear();  // never opened as a folder: nothing lists it
    return kSuccess;
  }
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
  if (MadeToken(folder, name) != 0) {
    *attributes = platform::attr::kDirectory;
    if (size != nullptr) *size = 0;
    return kSuccess;
  }
  if (Went(folder, name) || IsMade(folder)) return kFileNotFound;
  uint32_t code = target().GetEntryAttributes(folder, name, attributes, size);
  if (code == kSuccess) ForgetGoneTarget(folder, name, attributes);
  return code;
}

uint32_t PreviewFileSystem::IsEntryFolderEmpty(const platform::Folder& folder,
                                               std::string_view name, bool* empty) {
  *empty = false;
  if (const uint64_t token = MadeToken(folder, name)) {
    *empty = !HoldsMade(MadeFolder(token));
    return kSuccess;
  }
  uint32_t code = kSuccess;
  const platform::Folder inner = OpenEntry(folder, name, &code, true);
  if (!inner.IsOpen()) return code;
  *empty = HoldsOnlyGone(inner);
  return kSuccess;
}

uint32_t PreviewFileSystem::SetEntryAttributesNormal(const platform::Folder&, std::string_view) {
  return kSuccess;
}

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
  if (IsDotName(name)) return kAccessDenied;  // a root, or a folder by "." or ".."
  if (const uint64_t token = MadeToken(folder, name)) {
    if (!folder_entry) return kAccessDenied;
    if (HoldsMade(MadeFolder(token))) return kDirNotEmpty;
    made_.erase(KeyOf(folder, name));
    return kSuccess;
  }
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

uint32_t PreviewFileSystem::CreateEntryDirectory(const platform::Folder& folder,
                                                 std::string_view name) {
  uint32_t attributes = 0;
  uint64_t size = 0;
  if (GetEntryAttributes(folder, name, &attributes, &size) == kSuccess) return kAlreadyExists;
  made_[KeyOf(folder, name)] = kMadeMark | ++next_made_;
  return kSuccess;
}

platform::TrashEntryStatus PreviewFileSystem::RestoreTrashedEntry(
    const platform::TrashedEntry& entry, uint64_t* size, uint32_t* error,
    const platform::FolderStates*) {
  const platform::TrashEntryStatus status = target().FindTrashedEntry(entry, size, error);
  return status == platform::TrashEntryStatus::kInTrash ? platform::TrashEntryStatus::kRestored
                                                        : status;
}

platform::Folder PreviewFileSystem::OpenParentFolder(const std::string& path, std::string* name,
                                                     uint32_t* error) {
  name->clear();
  const PathParts parts = Split(path);
  if (!parts.name.empty() && !IsDotName(parts.name)) {
    if (!made_.empty()) {
      // The folder above may be one the preview made: found as a name in the folder above it.
      std::string above_name;
      uint32_t above_error = kSuccess;
      const platform::Folder above = OpenParentFolder(parts.parent, &above_name, &above_error);
      if (const uint64_t token = above.IsOpen() ? MadeToken(above, above_name) : 0) {
        *name = parts.name;
        *error = kSuccess;
        return MadeFolder(token);
      }
    }
    if (CheckPath(parts.parent) != kSuccess) {
      *error = kPathNotFound;
      return platform::Folder();
    }
  }
  platform::Folder folder = target().OpenParentFolder(path, name, error);
  if (IsGoneFolder(folder)) {
    *error = kPathNotFound;
    name->clear();
    return platform::Folder();
  }
  return folder;
}

}  // namespace sweepwell
