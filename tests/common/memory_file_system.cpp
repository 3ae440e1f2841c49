#include "common/memory_file_system.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <utility>

#include "platform/compression.h"
#include "platform/posix/internal.h"
#include "platform/trash.h"

namespace orvanel::testing {

namespace error = platform::error;
namespace attr = platform::attr;
using platform::BackupStreamHeader;
using platform::FindRecord;
using platform::Folder;
using platform::FolderId;
namespace backup = platform::backup;

namespace {

constexpr uint64_t kRoot = 1;
constexpr int kMaxLinks = 40;  // as many links as the kernel follows in one path
constexpr size_t kNameMax = 255;
constexpr uint64_t kInodeBits = 40;
constexpr uint64_t kInodeMask = (uint64_t{1} << kInodeBits) - 1;
// Devices far from any the machine numbers, so that no identity of ours is taken for a real one.
constexpr uint64_t kFirstDevice = 0x6d656d0000;

// 2026-01-01 00:00 UTC.
constexpr platform::FileTime kStartClock = 134116992000000000ull;

std::atomic<uint64_t> next_serial{1};

uint32_t Code(int cause, bool removing_directory = false) {
  return platform::ErrorFromErrno(cause, removing_directory);
}

bool IsDots(std::string_view name) { return name == "." || name == ".."; }

// What EntryName refuses before any call reaches the kernel.
uint32_t CheckName(std::string_view name) {
  if (name.size() > kNameMax) return error::kFilenameTooLong;
  if (name.find('/') != std::string_view::npos || name.find('\0') != std::string_view::npos) {
    return error::kInvalidName;
  }
  return error::kSuccess;
}

struct ParentAndName {
  std::string parent, name;
};

// The parent folder and last name of a path, as the machine's by-path calls split it.
ParentAndName SplitParent(const std::string& path) {
  std::string_view rest = path;
  while (rest.size() > 1 && rest.back() == '/') rest.remove_suffix(1);
  if (rest == "/") return {"/", "."};
  const size_t cut = rest.rfind('/');
  if (cut == std::string_view::npos) return {".", std::string(rest)};
  std::string_view parent = rest.substr(0, cut);
  while (!parent.empty() && parent.back() == '/') parent.remove_suffix(1);
  if (parent.empty()) parent = "/";
  return {std::string(parent), std::string(rest.substr(cut + 1))};
}

[[noreturn]] void Misuse(const std::string& what, const std::string& path) {
  std::fprintf(stderr, "MemoryFileSystem: %s: %s\n", what.c_str(), path.c_str());
  std::abort();
}

// The DeletionDate form of a FILETIME, in UTC (a test's clock has no time zone).
std::string DeletionDate(platform::FileTime time) {
  int64_t seconds = static_cast<int64_t>(time / 10000000) - 11644473600;
  int64_t days = seconds / 86400;
  const int64_t in_day = seconds % 86400;
  // Civil from days since 1970-01-01.
  days += 719468;
  const int64_t era = days / 146097;
  const int64_t doe = days - era * 146097;
  const int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const int64_t mp = (5 * doy + 2) / 153;
  const int64_t day = doy - (153 * mp + 2) / 5 + 1;
  const int64_t month = mp < 10 ? mp + 3 : mp - 9;
  const int64_t year = yoe + era * 400 + (month <= 2 ? 1 : 0);
  char text[96];
  std::snprintf(text, sizeof text, "%04lld-%02lld-%02lldT%02lld:%02lld:%02lld",
                static_cast<long long>(year), static_cast<long long>(month),
                static_cast<long long>(day), static_cast<long long>(in_day / 3600),
                static_cast<long long>(in_day / 60 % 60), static_cast<long long>(in_day % 60));
  return text;
}

}  // namespace

MemoryFileSystem::MemoryFileSystem() : serial_(next_serial++), clock_(kStartClock) {
  Node& root = nodes_[kRoot];
  root.kind = Kind::kFolder;
  root.device = kFirstDevice + next_device_++;
  root.parent = kRoot;
  root.mode = 0755;
  root.times = {clock_, clock_, clock_, clock_};
}

// ---------------------------------------------------------------------------------------------
// Resolution

MemoryFileSystem::Resolved MemoryFileSystem::Look(Inode folder, std::string_view name) const {
  const Node& node = nodes_.at(folder);
  if ((node.mode & 0100) == 0) return {0, EACCES};
  if (name == ".") return {folder, 0};
  if (!node.linked) return {0, ENOENT};
  if (name == "..") return {node.parent, 0};
  const auto it = node.entries.find(std::string(name));
  if (it == node.entries.end()) return {0, ENOENT};
  return {it->second, 0};
}

MemoryFileSystem::Resolved MemoryFileSystem::Walk(Inode from, std::string_view path,
                                                  bool follow_last, int depth) const {
  if (path.empty()) return {0, ENOENT};
  // A trailing separator makes the last name a folder's, through a link too.
  const bool trailing = path.back() == '/';
  if (trailing) follow_last = true;
  Inode current = path.front() == '/' ? kRoot : from;
  size_t start = 0;
  while (start < path.size()) {
    size_t end = path.find('/', start);
    if (end == std::string_view::npos) end = path.size();
    const std::string_view name = path.substr(start, end - start);
    start = end + 1;
    if (name.empty()) continue;
    const bool last = path.find_first_not_of('/', end) == std::string_view::npos;
    if (name.size() > kNameMax) return {0, ENAMETOOLONG};
    const Resolved found = Look(current, name);
    if (found.error != 0) return found;
    Inode next = found.inode;
    const Node& node = nodes_.at(next);
    if (node.kind == Kind::kLink && (!last || follow_last)) {
      if (depth >= kMaxLinks) return {0, ELOOP};
      const Resolved target = Walk(current, node.data, true, depth + 1);
      if (target.error != 0) return target;
      next = target.inode;
    }
    if (nodes_.at(next).kind != Kind::kFolder && (!last || trailing)) return {0, ENOTDIR};
    current = next;
  }
  return {current, 0};
}

MemoryFileSystem::Inode MemoryFileSystem::FolderOf(const Folder& folder) const {
  const uint64_t token = folder.StandInToken();
  if (token == 0 || (token >> kInodeBits) != serial_) return 0;
  const auto it = nodes_.find(token & kInodeMask);
  if (it == nodes_.end() || it->second.kind != Kind::kFolder) return 0;
  return it->first;
}

uint32_t MemoryFileSystem::EntryFolder(const Folder& folder, std::string_view name,
                                       Inode* inode) const {
  *inode = FolderOf(folder);
  if (*inode == 0) return error::kInvalidHandle;
  return CheckName(name);
}

Folder MemoryFileSystem::Hand(Inode inode) const {
  return Folder::ForStandIn((serial_ << kInodeBits) | inode,
                            FolderId{nodes_.at(inode).device, inode});
}

FindRecord MemoryFileSystem::Describe(Inode folder, std::string_view name, Inode inode) const {
  const Node& node = nodes_.at(inode);
  FindRecord record;
  record.name = std::string(name);
  uint32_t attributes = 0;
  switch (node.kind) {
    case Kind::kFolder:
      attributes |= attr::kDirectory;
      if (!IsDots(name) && node.device != nodes_.at(folder).device) {
        attributes |= attr::kReparsePoint;
      }
      record.target = FolderId{node.device, inode};
      break;
    case Kind::kLink: {
      attributes |= attr::kReparsePoint;
      const Resolved target = Walk(folder, node.data, true);
      if (target.error == 0 && nodes_.at(target.inode).kind == Kind::kFolder) {
        attributes |= attr::kDirectory;
        record.target = FolderId{nodes_.at(target.inode).device, target.inode};
      }
      break;
    }
    default:
      if ((node.mode & 0200) == 0) attributes |= attr::kReadOnly;
      attributes |= node.kind == Kind::kFile ? attr::kArchive : attr::kDevice;
      break;
  }
  if (name.size() > 1 && name[0] == '.' && !IsDots(name)) attributes |= attr::kHidden;
  attributes |= node.extra_attributes;
  record.attributes = attributes == 0 ? attr::kNormal : attributes;
  record.size = node.kind == Kind::kFile ? node.data.size() : 0;
  record.last_write_time = node.times.write;
  record.last_access_time = node.times.access;
  record.creation_time = node.times.birth;
  return record;
}

int MemoryFileSystem::CheckFolderChange(Inode folder) const {
  if (VolumeOf(folder).read_only) return EROFS;
  const Node& node = nodes_.at(folder);
  if (node.lock_error != 0) return -static_cast<int>(node.lock_error);
  if ((node.mode & 0200) == 0) return EACCES;
  if (!node.linked) return ENOENT;
  return 0;
}

int MemoryFileSystem::CheckEntryChange(Inode inode) const {
  if (VolumeOf(inode).read_only) return EROFS;
  const uint32_t lock = nodes_.at(inode).lock_error;
  return lock != 0 ? -static_cast<int>(lock) : 0;
}

void MemoryFileSystem::Unlink(Inode folder, const std::string& name) {
  Node& parent = nodes_.at(folder);
  const Inode inode = parent.entries.at(name);
  parent.entries.erase(name);
  parent.times.write = parent.times.change = clock_;
  Node& node = nodes_.at(inode);
  node.linked = false;
  if (node.kind == Kind::kFolder) {
    // An open Folder may still name it: it stays, holding nothing.
    if (VolumeOf(inode).free_bytes) *VolumeOf(inode).free_bytes += kFolderBytes;
    if (VolumeOf(inode).free_entries) ++*VolumeOf(inode).free_entries;
  } else {
    Release(inode);
  }
}

void MemoryFileSystem::Release(Inode inode) {
  const auto it = nodes_.find(inode);
  if (it == nodes_.end() || it->second.linked || it->second.open_files > 0) return;
  if (VolumeOf(inode).free_bytes) *VolumeOf(inode).free_bytes += it->second.data.size();
  if (VolumeOf(inode).free_entries) ++*VolumeOf(inode).free_entries;
  nodes_.erase(it);
}

MemoryFileSystem::Inode MemoryFileSystem::Make(Kind kind, uint64_t device, Inode parent) {
  const Inode inode = next_inode_++;
  Node& node = nodes_[inode];
  node.kind = kind;
  node.device = device;
  node.parent = parent;
  node.mode = kind == Kind::kFolder ? 0755 : kind == Kind::kLink ? 0777 : 0644;
  node.times = {clock_, clock_, clock_, clock_};
  return inode;
}

// A code in errno terms, or a lock's own Windows code (kept negative by the checks above).
static uint32_t CodeOf(int cause, bool removing_directory = false) {
  return cause < 0 ? static_cast<uint32_t>(-cause) : Code(cause, removing_directory);
}

// ---------------------------------------------------------------------------------------------
// Building

MemoryFileSystem::Inode MemoryFileSystem::BuildParent(const std::string& path, std::string* name) {
  if (path.empty() || path.front() != '/') Misuse("not an absolute path", path);
  const ParentAndName parts = SplitParent(path);
  if (IsDots(parts.name) || parts.name.empty()) Misuse("no name to make", path);
  Inode current = kRoot;
  size_t start = 1;
  const std::string& parent = parts.parent;
  while (start < parent.size()) {
    size_t end = parent.find('/', start);
    if (end == std::string::npos) end = parent.size();
    const std::string part = parent.substr(start, end - start);
    start = end + 1;
    if (part.empty()) continue;
    Node& node = nodes_.at(current);
    const auto it = node.entries.find(part);
    if (it == node.entries.end()) {
      const Inode made = Make(Kind::kFolder, node.device, current);
      nodes_.at(current).entries[part] = made;
      current = made;
    } else if (nodes_.at(it->second).kind == Kind::kFolder) {
      current = it->second;
    } else {
      Misuse("a part of the path is not a folder", path);
    }
  }
  *name = parts.name;
  return current;
}

MemoryFileSystem::Inode MemoryFileSystem::Need(const std::string& path) const {
  const Resolved found = Walk(kRoot, path, false);
  if (found.error != 0) Misuse("no such entry", path);
  return found.inode;
}

void MemoryFileSystem::AddFolder(const std::string& path) {
  std::string name;
  const Inode parent = BuildParent(path, &name);
  Node& node = nodes_.at(parent);
  const auto it = node.entries.find(name);
  if (it != node.entries.end()) {
    if (nodes_.at(it->second).kind != Kind::kFolder) Misuse("a file is in the way", path);
    return;
  }
  const Inode made = Make(Kind::kFolder, node.device, parent);
  nodes_.at(parent).entries[name] = made;
}

void MemoryFileSystem::AddFile(const std::string& path, std::string_view contents) {
  std::string name;
  const Inode parent = BuildParent(path, &name);
  Node& folder = nodes_.at(parent);
  const auto it = folder.entries.find(name);
  Inode inode = 0;
  if (it != folder.entries.end()) {
    if (nodes_.at(it->second).kind != Kind::kFile) Misuse("another entry is in the way", path);
    inode = it->second;
  } else {
    inode = Make(Kind::kFile, folder.device, parent);
    nodes_.at(parent).entries[name] = inode;
  }
  Node& node = nodes_.at(inode);
  node.data = std::string(contents);
  node.times.write = node.times.change = clock_;
}

void MemoryFileSystem::AddLink(const std::string& path, const std::string& target) {
  std::string name;
  const Inode parent = BuildParent(path, &name);
  if (nodes_.at(parent).entries.count(name) != 0) Misuse("an entry is in the way", path);
  const Inode made = Make(Kind::kLink, nodes_.at(parent).device, parent);
  nodes_.at(made).data = target;
  nodes_.at(parent).entries[name] = made;
}

void MemoryFileSystem::AddSpecial(const std::string& path, Kind kind) {
  if (kind != Kind::kFifo && kind != Kind::kSocket && kind != Kind::kDevice) {
    Misuse("not a special kind", path);
  }
  std::string name;
  const Inode parent = BuildParent(path, &name);
  if (nodes_.at(parent).entries.count(name) != 0) Misuse("an entry is in the way", path);
  const Inode made = Make(kind, nodes_.at(parent).device, parent);
  nodes_.at(parent).entries[name] = made;
}

void MemoryFileSystem::AddMountPoint(const std::string& path) {
  std::string name;
  const Inode parent = BuildParent(path, &name);
  if (nodes_.at(parent).entries.count(name) != 0) Misuse("an entry is in the way", path);
  const Inode made = Make(Kind::kFolder, kFirstDevice + next_device_++, parent);
  nodes_.at(parent).entries[name] = made;
}

void MemoryFileSystem::SetMode(const std::string& path, uint32_t mode) {
  nodes_.at(Need(path)).mode = mode & 0777;
}

void MemoryFileSystem::Lock(const std::string& path, uint32_t error) {
  if (error == error::kSuccess) Misuse("a lock needs an error", path);
  nodes_.at(Need(path)).lock_error = error;
}

void MemoryFileSystem::SetExtraAttributes(const std::string& path, uint32_t attributes) {
  nodes_.at(Need(path)).extra_attributes = attributes;
}

void MemoryFileSystem::SetStream(const std::string& path, const std::string& stream,
                                 std::string_view value) {
  const Resolved found = Walk(kRoot, path, true);
  if (found.error != 0) Misuse("no such entry", path);
  nodes_.at(found.inode).streams[stream] = std::string(value);
}

void MemoryFileSystem::SetTimes(const std::string& path, const Times& times) {
  nodes_.at(Need(path)).times = times;
}

void MemoryFileSystem::SwapForLink(const std::string& path, const std::string& target) {
  const ParentAndName parts = SplitParent(path);
  const Inode parent = Need(parts.parent);
  Node& folder = nodes_.at(parent);
  const auto it = folder.entries.find(parts.name);
  if (it == folder.entries.end()) Misuse("nothing to swap", path);
  const Inode moved = it->second;
  folder.entries.erase(it);
  folder.entries[parts.name + ".moved-aside"] = moved;
  AddLink(path, target);
}

// ---------------------------------------------------------------------------------------------
// Reading back

bool MemoryFileSystem::Exists(const std::string& path) const { return KindOf(path).has_value(); }

std::optional<MemoryFileSystem::Kind> MemoryFileSystem::KindOf(const std::string& path) const {
  const Resolved found = Walk(kRoot, path, false);
  if (found.error != 0) return std::nullopt;
  return nodes_.at(found.inode).kind;
}

std::string MemoryFileSystem::Contents(const std::string& path) const {
  const Resolved found = Walk(kRoot, path, false);
  return found.error != 0 ? std::string() : nodes_.at(found.inode).data;
}

std::vector<std::string> MemoryFileSystem::List(const std::string& path) const {
  std::vector<std::string> names;
  const Resolved found = Walk(kRoot, path, true);
  if (found.error != 0) return names;
  for (const auto& [name, inode] : nodes_.at(found.inode).entries) names.push_back(name);
  return names;
}

std::optional<FolderId> MemoryFileSystem::IdOf(const std::string& path) const {
  const Resolved found = Walk(kRoot, path, false);
  if (found.error != 0) return std::nullopt;
  return FolderId{nodes_.at(found.inode).device, found.inode};
}

std::optional<std::string> MemoryFileSystem::Stream(const std::string& path,
                                                    const std::string& stream) const {
  const Resolved found = Walk(kRoot, path, true);
  if (found.error != 0) return std::nullopt;
  const auto& streams = nodes_.at(found.inode).streams;
  const auto it = streams.find(stream);
  return it == streams.end() ? std::nullopt : std::optional<std::string>(it->second);
}

std::optional<uint32_t> MemoryFileSystem::CompressionOf(const std::string& path) const {
  const Resolved found = Walk(kRoot, path, true);
  if (found.error != 0) return std::nullopt;
  return nodes_.at(found.inode).compression;
}

std::optional<MemoryFileSystem::Times> MemoryFileSystem::TimesOf(const std::string& path) const {
  const Resolved found = Walk(kRoot, path, false);
  if (found.error != 0) return std::nullopt;
  return nodes_.at(found.inode).times;
}

// ---------------------------------------------------------------------------------------------
// Folders and listing

// The folder a walk found, opened as OpenFolder opens one: a missing one, or a name that is no
// folder, is kPathNotFound, and one that cannot be read is refused.
Folder MemoryFileSystem::OpenFound(const Resolved& found, uint32_t* error) const {
  auto fail = [error](uint32_t code) {
    if (error != nullptr) *error = code;
    return Folder();
  };
  if (found.error == ENOENT || found.error == ENOTDIR) return fail(error::kPathNotFound);
  if (found.error != 0) return fail(Code(found.error));
  const Node& node = nodes_.at(found.inode);
  if (node.kind != Kind::kFolder) return fail(error::kPathNotFound);
  if ((node.mode & 0400) == 0) return fail(Code(EACCES));
  if (error != nullptr) *error = error::kSuccess;
  return Hand(found.inode);
}

Folder MemoryFileSystem::OpenFolder(const std::string& path, uint32_t* error, bool follow_links) {
  auto fail = [error](uint32_t code) {
    if (error != nullptr) *error = code;
    return Folder();
  };
  if (path.find('\0') != std::string::npos) return fail(error::kInvalidName);
  std::string name = path;
  if (!follow_links) {
    while (name.size() > 1 && name.back() == '/') name.pop_back();
  }
  const Resolved found = Walk(kRoot, name, follow_links);
  return OpenFound(found, error);
}

Folder MemoryFileSystem::OpenEntry(const Folder& folder, std::string_view name, uint32_t* error,
                                   bool follow_links) {
  auto fail = [error](uint32_t code) {
    if (error != nullptr) *error = code;
    return Folder();
  };
  const Inode from = FolderOf(folder);
  if (from == 0) return fail(error::kInvalidHandle);
  if (const uint32_t code = CheckName(name)) return fail(code);
  const Resolved found = Walk(from, name, follow_links);
  return OpenFound(found, error);
}

Folder MemoryFileSystem::OpenEntryVerified(const Folder& folder, std::string_view name,
                                           const FolderId& expected, uint32_t* error) {
  Folder opened = OpenEntry(folder, name, error, true);
  if (opened.IsOpen() && !(opened.Id() == expected)) {
    opened.Close();
    if (error != nullptr) *error = error::kPathNotFound;
  }
  return opened;
}

uint32_t MemoryFileSystem::ListFolder(const Folder& folder, std::vector<FindRecord>* records) {
  records->clear();
  const Inode inode = FolderOf(folder);
  if (inode == 0) return error::kInvalidHandle;
  const Node& node = nodes_.at(inode);
  if (!node.linked) return error::kSuccess;  // a removed folder lists nothing
  // Every entry is described as it is listed, which needs the right to search the folder.
  if ((node.mode & 0100) == 0) return Code(EACCES);
  records->push_back(Describe(inode, ".", inode));
  records->push_back(Describe(inode, "..", node.parent));
  for (const auto& [name, child] : node.entries) records->push_back(Describe(inode, name, child));
  return error::kSuccess;
}

// ---------------------------------------------------------------------------------------------
// Entries

uint32_t MemoryFileSystem::GetEntryAttributes(const Folder& folder, std::string_view name,
                                              uint32_t* attributes, uint64_t* size) {
  Inode inode = 0;
  if (const uint32_t code = EntryFolder(folder, name, &inode)) return code;
  if (name.empty()) return Code(ENOENT);
  const Resolved found = Look(inode, name);
  if (found.error != 0) return Code(found.error);
  const FindRecord record = Describe(inode, name, found.inode);
  if (attributes != nullptr) *attributes = record.attributes;
  if (size != nullptr) *size = record.size;
  return error::kSuccess;
}

uint32_t MemoryFileSystem::LookEntry(const Folder& folder, std::string_view name,
                                     Inode* found) const {
  Inode inode = 0;
  if (const uint32_t code = EntryFolder(folder, name, &inode)) return code;
  if (name.empty()) return Code(ENOENT);
  const Resolved looked = Look(inode, name);
  if (looked.error != 0) return Code(looked.error);
  *found = looked.inode;
  return error::kSuccess;
}

uint32_t MemoryFileSystem::SetEntryAttributesNormal(const Folder& folder, std::string_view name) {
  Inode found = 0;
  if (const uint32_t code = LookEntry(folder, name, &found)) return code;
  Node& node = nodes_.at(found);
  if ((node.kind != Kind::kFile && node.kind != Kind::kFolder) || (node.mode & 0200) != 0) {
    return error::kSuccess;
  }
  if (const int cause = CheckEntryChange(found)) return CodeOf(cause);
  node.mode |= 0200;
  node.times.change = clock_;
  return error::kSuccess;
}

uint32_t MemoryFileSystem::DeleteEntryFile(const Folder& folder, std::string_view name) {
  Inode inode = 0;
  if (const uint32_t code = EntryFolder(folder, name, &inode)) return code;
  if (IsDots(name)) return Code(EISDIR);
  if (VolumeOf(inode).read_only) return Code(EROFS);
  if (name.empty()) return Code(ENOENT);
  const Resolved found = Look(inode, name);
  if (found.error != 0) return Code(found.error);
  if (const int cause = CheckFolderChange(inode)) return CodeOf(cause);
  if (const int cause = CheckEntryChange(found.inode)) return CodeOf(cause);
  if (nodes_.at(found.inode).kind == Kind::kFolder) return Code(EISDIR);
  Unlink(inode, std::string(name));
  return error::kSuccess;
}

uint32_t MemoryFileSystem::RemoveEntryDirectory(const Folder& folder, std::string_view name) {
  Inode inode = 0;
  if (const uint32_t code = EntryFolder(folder, name, &inode)) return code;
  if (name == ".") return Code(EINVAL, true);
  if (name == "..") return Code(ENOTEMPTY, true);
  if (VolumeOf(inode).read_only) return Code(EROFS, true);
  if (name.empty()) return Code(ENOENT, true);
  const Resolved found = Look(inode, name);
  if (found.error != 0) return Code(found.error, true);
  if (const int cause = CheckFolderChange(inode)) return CodeOf(cause, true);
  if (const int cause = CheckEntryChange(found.inode)) return CodeOf(cause, true);
  const Node& node = nodes_.at(found.inode);
  if (node.kind != Kind::kFolder) {
    // A link (a junction) goes itself; its target is never looked at.
    if (node.kind != Kind::kLink) return Code(ENOTDIR, true);
  } else {
    if (node.device != nodes_.at(inode).device) return Code(EBUSY, true);
    if (!node.entries.empty()) return Code(ENOTEMPTY, true);
  }
  Unlink(inode, std::string(name));
  return error::kSuccess;
}

uint32_t MemoryFileSystem::MoveEntryToTrash(const Folder& folder, std::string_view name,
                                            const std::string& path, platform::TrashMove* move) {
  Inode inode = 0;
  if (const uint32_t code = EntryFolder(folder, name, &inode)) return code;
  if (name.empty() || IsDots(name)) return error::kAccessDenied;
  const Resolved found = Look(inode, name);
  if (found.error != 0) return Code(found.error);
  if (const int cause = CheckFolderChange(inode)) return CodeOf(cause);
  if (const int cause = CheckEntryChange(found.inode)) return CodeOf(cause);
  const Node& node = nodes_.at(found.inode);
  if (node.kind == Kind::kFolder && node.device != nodes_.at(inode).device) return Code(EBUSY);
  // The trash's files/, made on first use, on the device of the entries it takes.
  const Resolved trash = Walk(kRoot, trash_folder_ + "/files", true);
  Inode files = trash.inode;
  if (trash.error == ENOENT) {
    AddFolder(trash_folder_ + "/files");
    files = Need(trash_folder_ + "/files");
  } else if (trash.error != 0) {
    return Code(trash.error);
  }
  // Never a copy across devices: the entry stays where it is.
  if (nodes_.at(files).device != nodes_.at(inode).device) return Code(EXDEV);
  std::string chosen(name);
  for (int n = 2; nodes_.at(files).entries.count(chosen) != 0; ++n) {
    chosen = std::string(name) + "." + std::to_string(n);
  }
  if (move != nullptr) {
    move->made = {trash_folder_, chosen, path, DeletionDate(clock_)};
    if (move->before_move) move->before_move(move->made);
    if (move->refused) return error::kAccessDenied;
  }
  Node& from = nodes_.at(inode);
  from.entries.erase(std::string(name));
  from.times.write = from.times.change = clock_;
  nodes_.at(files).entries[chosen] = found.inode;
  nodes_.at(found.inode).parent = files;
  trashed_.push_back(path + " -> " + chosen);
  trash_records_[chosen] = {trash_folder_, chosen, path, DeletionDate(clock_)};
  return error::kSuccess;
}

platform::TrashEntryStatus MemoryFileSystem::FindTrashedEntry(const platform::TrashedEntry& entry,
                                                              uint64_t* size, uint32_t* error) {
  using Status = platform::TrashEntryStatus;
  *size = 0;
  *error = error::kSuccess;
  if (entry.trash_folder != trash_folder_ || entry.name.empty() || IsDots(entry.name) ||
      entry.name.find('/') != std::string::npos) {
    return Status::kNotATrash;
  }
  if (Walk(kRoot, trash_folder_, false).error != 0) return Status::kTrashMissing;
  const Resolved files = Walk(kRoot, trash_folder_ + "/files", false);
  if (files.error != 0) return Status::kGone;
  const Node& folder = nodes_.at(files.inode);
  const auto found = folder.entries.find(entry.name);
  if (found == folder.entries.end()) return Status::kGone;
  const auto record = trash_records_.find(entry.name);
  if (record == trash_records_.end() || record->second.original_path != entry.original_path ||
      record->second.deletion_date != entry.deletion_date) {
    return Status::kChanged;
  }
  const Node& node = nodes_.at(found->second);
  if (node.kind == Kind::kFile) *size = node.data.size();
  return Status::kInTrash;
}

platform::TrashEntryStatus MemoryFileSystem::RestoreTrashedEntry(
    const platform::TrashedEntry& entry, uint64_t* size, uint32_t* error,
    const platform::FolderStates* folders) {
  using Status = platform::TrashEntryStatus;
  const Status status = FindTrashedEntry(entry, size, error);
  if (status != Status::kInTrash) return status;
  const std::string& path = entry.original_path;
  if (path.empty() || path.front() != '/' || path.back() == '/') return Status::kNotATrash;
  const auto fail = [&](int cause) {
    *error = CodeOf(cause);
    return Status::kFailed;
  };
  // Folder by folder from the root, no link followed but the one the record knew.
  Inode at = kRoot;
  size_t start = 1;
  for (size_t slash = path.find('/', start); slash != std::string::npos;
       start = slash + 1, slash = path.find('/', start)) {
    const std::string name = path.substr(start, slash - start);
    const std::string so_far = path.substr(0, slash);
    if (name.empty() || name == ".") continue;
    if (name == "..") return Status::kNotATrash;
    const auto found = nodes_.at(at).entries.find(name);
    const auto state =
        folders != nullptr ? folders->find(so_far) : platform::FolderStates::const_iterator();
    const bool known = folders != nullptr && state != folders->end();
    if (found == nodes_.at(at).entries.end()) {
      if (const int cause = CheckFolderChange(at)) return fail(cause);
      const Inode made = Make(Kind::kFolder, nodes_.at(at).device, at);
      if (known && state->second.link.empty()) nodes_.at(made).mode = state->second.mode;
      nodes_.at(at).entries[name] = made;
      at = made;
      continue;
    }
    const Node& node = nodes_.at(found->second);
    if (node.kind == Kind::kLink) {
      if (!known || state->second.link != node.data) return Status::kLinkOnWay;
      const Resolved led = Walk(at, node.data, true);
      if (led.error != 0) return fail(static_cast<int>(led.error));
      at = led.inode;
      continue;
    }
    if (node.kind != Kind::kFolder) return fail(ENOTDIR);
    at = found->second;
  }
  const std::string last = path.substr(start);
  if (nodes_.at(at).entries.count(last) != 0) return Status::kPlaceTaken;
  const Inode files = Need(trash_folder_ + "/files");
  const Inode trashed = nodes_.at(files).entries.at(entry.name);
  // A rename within one device, never a copy.
  if (nodes_.at(trashed).device != nodes_.at(at).device) return fail(EXDEV);
  if (const int cause = CheckFolderChange(at)) return fail(cause);
  if (const int cause = CheckFolderChange(files)) return fail(cause);
  nodes_.at(files).entries.erase(entry.name);
  nodes_.at(at).entries[last] = trashed;
  nodes_.at(at).times.write = nodes_.at(at).times.change = clock_;
  nodes_.at(trashed).parent = at;
  trash_records_.erase(entry.name);
  return Status::kRestored;
}

bool MemoryFileSystem::DescribeFolder(const std::string& path, platform::FolderState* state) {
  const Resolved found = Walk(kRoot, path, false);
  if (found.error != 0) return false;
  const Node& node = nodes_.at(found.inode);
  if (node.kind != Kind::kFolder && node.kind != Kind::kLink) return false;
  *state = platform::FolderState();
  state->mode = node.mode & 07777;
  if (node.kind == Kind::kLink) state->link = node.data;
  return true;
}

uint32_t MemoryFileSystem::IsEntryFolderEmpty(const Folder& folder, std::string_view name,
                                              bool* empty) {
  *empty = false;
  uint32_t code = error::kSuccess;
  const Folder inner = OpenEntry(folder, name, &code, true);
  if (!inner.IsOpen()) return code;
  const Node& node = nodes_.at(FolderOf(inner));
  *empty = node.entries.empty() || !node.linked;
  return error::kSuccess;
}

// ---------------------------------------------------------------------------------------------
// Files

// One open file: the node it stands for and how it was opened. Writes take room from the volume
// and the file's own limit, and stop, with what fitted written, where either runs out.
class MemoryFileSystem::OpenFile final : public platform::StandInFile {
 public:
  OpenFile(MemoryFileSystem& files, Inode inode, bool writable, bool append)
      : files_(files), inode_(inode), writable_(writable), append_(append) {
    ++Node().open_files;
  }
  ~OpenFile() override { Close(); }

  uint32_t Write(std::string_view data, size_t* written) override {
    if (written != nullptr) *written = 0;
    if (closed_) return error::kInvalidHandle;
    if (!writable_) return error::kAccessDenied;  // EBADF of a descriptor opened for reading
    MemoryFileSystem::Node& node = Node();
    std::optional<uint64_t>& free = files_.VolumeOf(inode_).free_bytes;
    if (append_) position_ = node.data.size();
    uint64_t room = data.size();
    uint32_t failure = error::kSuccess;
    // Overwritten bytes take no room; only what grows the file does.
    const uint64_t end = position_ + data.size();
    const uint64_t growth = end > node.data.size() ? end - node.data.size() : 0;
    if (node.size_limit != 0 && end > node.size_limit) {
      room = node.size_limit > position_ ? node.size_limit - position_ : 0;
      failure = node.limit_error;
    }
    if (free && growth > *free) {
      const uint64_t fits = data.size() - (growth - *free);
      if (fits < room) {
        room = fits;
        failure = platform::FileErrorFromErrno(ENOSPC);
      }
    }
    const size_t count = static_cast<size_t>(std::min<uint64_t>(room, data.size()));
    if (count > 0) {
      if (node.data.size() < position_) node.data.resize(static_cast<size_t>(position_), '\0');
      const uint64_t before = node.data.size();
      node.data.replace(static_cast<size_t>(position_),
                        std::min<size_t>(count, node.data.size() - static_cast<size_t>(position_)),
                        data.substr(0, count));
      if (free) *free -= node.data.size() - before;
      position_ += count;
      node.times.write = node.times.change = files_.clock_;
    }
    if (written != nullptr) *written = count;
    return count == data.size() ? error::kSuccess : failure;
  }

  uint32_t GetSize(uint64_t* size) override {
    if (closed_) return error::kInvalidHandle;
    *size = Node().data.size();
    return error::kSuccess;
  }

  uint32_t GetPosition(uint64_t* position) override {
    if (closed_) return error::kInvalidHandle;
    *position = position_;
    return error::kSuccess;
  }

  uint32_t Truncate(uint64_t size) override {
    if (closed_) return error::kInvalidHandle;
    if (!writable_) return error::kAccessDenied;
    MemoryFileSystem::Node& node = Node();
    std::optional<uint64_t>& free = files_.VolumeOf(inode_).free_bytes;
    if (size > node.data.size()) {
      const uint64_t growth = size - node.data.size();
      if (free && growth > *free) return platform::FileErrorFromErrno(ENOSPC);
      if (free) *free -= growth;
    } else if (free) {
      *free += node.data.size() - size;
    }
    node.data.resize(static_cast<size_t>(size), '\0');
    node.times.write = node.times.change = files_.clock_;
    return error::kSuccess;
  }

  uint32_t ReadUpTo(uint64_t offset, void* out, size_t count, size_t* done) override {
    *done = 0;
    if (closed_) return error::kInvalidHandle;
    const std::string& data = Node().data;
    if (offset >= data.size()) return error::kSuccess;
    *done = std::min<size_t>(count, data.size() - static_cast<size_t>(offset));
    std::memcpy(out, data.data() + offset, *done);
    return error::kSuccess;
  }

  uint32_t TryLock(bool* locked) override {
    *locked = false;
    if (closed_) return error::kInvalidHandle;
    if (holds_lock_) {
      *locked = true;
    } else if (!Node().file_locked) {
      Node().file_locked = holds_lock_ = *locked = true;
    }
    return error::kSuccess;
  }

  uint32_t Sync() override { return closed_ ? error::kInvalidHandle : error::kSuccess; }

  uint32_t Close() override {
    if (closed_) return error::kSuccess;
    closed_ = true;
    MemoryFileSystem::Node& node = Node();
    if (holds_lock_) node.file_locked = false;
    --node.open_files;
    files_.Release(inode_);
    return error::kSuccess;
  }

 private:
  MemoryFileSystem::Node& Node() { return files_.nodes_.at(inode_); }

  MemoryFileSystem& files_;
  Inode inode_;
  bool writable_;
  bool append_;
  bool closed_ = false;
  bool holds_lock_ = false;
  uint64_t position_ = 0;
};

void MemoryFileSystem::LimitFile(const std::string& path, uint64_t max_size, uint32_t error) {
  Node& node = nodes_.at(Need(path));
  if (node.kind != Kind::kFile) Misuse("not a file", path);
  node.size_limit = max_size;
  node.limit_error = error;
}

uint32_t MemoryFileSystem::OpenEntryFile(const Folder& folder, std::string_view name,
                                         platform::FileOpening how, platform::File* file) {
  using platform::FileOpening;
  *file = platform::File();
  Inode inode = 0;
  if (const uint32_t code = EntryFolder(folder, name, &inode)) return code;
  if (name.empty()) return Code(ENOENT);
  const bool writing = how != FileOpening::kRead && how != FileOpening::kReadEntry;
  const bool follow = how == FileOpening::kRead || how == FileOpening::kAppend;
  const bool create_new = how == FileOpening::kCreateNew || how == FileOpening::kCreateLocked;
  const bool may_create = how == FileOpening::kAppend || create_new || how == FileOpening::kReplace;
  // Write errors keep their own codes, as the machine's openers give them (EROFS: kWriteProtect).
  auto fail = [writing](int cause) {
    return cause < 0 ? static_cast<uint32_t>(-cause)
           : writing ? platform::FileErrorFromErrno(cause)
                     : Code(cause);
  };
  Resolved found = follow ? Walk(inode, name, true) : Look(inode, name);
  if (found.error == 0 && create_new) return error::kFileExists;
  Inode target = found.inode;
  if (found.error == ENOENT && may_create) {
    // The name is made in the folder the last link leads to, or in this one.
    Inode where = inode;
    std::string made_name(name);
    const Resolved entry = Look(inode, name);
    if (entry.error == 0) {
      // A link to a missing file: the kernel makes its target (O_CREAT follows the link).
      if (!follow) return error::kBadFileType;
      const std::string& link = nodes_.at(entry.inode).data;
      const ParentAndName parts = SplitParent(link);
      const Resolved parent = Walk(inode, parts.parent, true);
      if (parent.error != 0) return fail(parent.error);
      if (nodes_.at(parent.inode).kind != Kind::kFolder) return fail(ENOTDIR);
      where = parent.inode;
      made_name = parts.name;
    }
    if (const int cause = CheckFolderChange(where)) return fail(cause);
    if (VolumeOf(where).free_entries && *VolumeOf(where).free_entries == 0) return fail(ENOSPC);
    if (VolumeOf(where).free_entries) --*VolumeOf(where).free_entries;
    target = Make(Kind::kFile, nodes_.at(where).device, where);
    nodes_.at(target).mode = create_new ? 0600 : 0644;
    Node& parent = nodes_.at(where);
    parent.entries[made_name] = target;
    parent.times.write = parent.times.change = clock_;
  } else if (found.error != 0) {
    return fail(found.error);
  } else {
    const Node& node = nodes_.at(target);
    // A link taken as itself, a folder, a FIFO, a socket or a device: no regular file.
    if (node.kind != Kind::kFile) return error::kBadFileType;
    if (writing && VolumeOf(target).read_only) return fail(EROFS);
    if (writing && node.lock_error != 0) return node.lock_error;
    if ((node.mode & (writing ? 0200 : 0400)) == 0) return fail(EACCES);
  }
  Node& node = nodes_.at(target);
  if (how == FileOpening::kReplace && !node.data.empty()) {
    if (VolumeOf(target).free_bytes) *VolumeOf(target).free_bytes += node.data.size();
    node.data.clear();
    node.times.write = node.times.change = clock_;
  }
  const bool append = writing && how != FileOpening::kReplace;
  *file = platform::File::ForStandIn(std::make_unique<OpenFile>(*this, target, writing, append),
                                     node.data.size(), FolderId{node.device, target});
  // A file just made has no other holder: its lock is taken before anyone can see it.
  bool locked = false;
  if (how == FileOpening::kCreateLocked) file->TryLock(&locked);
  return error::kSuccess;
}

uint32_t MemoryFileSystem::CreateEntryDirectory(const Folder& folder, std::string_view name) {
  Inode inode = 0;
  if (const uint32_t code = EntryFolder(folder, name, &inode)) return code;
  if (name.empty()) return Code(ENOENT);
  const Resolved found = Look(inode, name);
  if (found.error == 0) return Code(EEXIST);
  if (found.error != ENOENT) return Code(found.error);
  if (const int cause = CheckFolderChange(inode)) return CodeOf(cause);
  if ((VolumeOf(inode).free_bytes && *VolumeOf(inode).free_bytes < kFolderBytes) ||
      (VolumeOf(inode).free_entries && *VolumeOf(inode).free_entries == 0)) {
    return Code(ENOSPC);
  }
  if (VolumeOf(inode).free_bytes) *VolumeOf(inode).free_bytes -= kFolderBytes;
  if (VolumeOf(inode).free_entries) --*VolumeOf(inode).free_entries;
  const Inode made = Make(Kind::kFolder, nodes_.at(inode).device, inode);
  Node& parent = nodes_.at(inode);
  parent.entries[std::string(name)] = made;
  parent.times.write = parent.times.change = clock_;
  return error::kSuccess;
}

// ---------------------------------------------------------------------------------------------
// Whole files

namespace {

// The whole-file calls' contract for what is no regular file.
uint32_t WholeFileError(uint32_t code) {
  return code == error::kBadFileType ? error::kAccessDenied : code;
}

}  // namespace

uint32_t MemoryFileSystem::ReadEntryWhole(const Folder& folder, std::string_view name,
                                          std::vector<uint8_t>* data) {
  data->clear();
  uint32_t code = error::kSuccess;
  const platform::File file = OpenEntryWhole(folder, name, &code);
  if (code != error::kSuccess) return code;
  std::string contents;
  code = file.ReadAll(&contents);
  if (code == error::kSuccess) data->assign(contents.begin(), contents.end());
  return code;
}

platform::File MemoryFileSystem::OpenEntryWhole(const Folder& folder, std::string_view name,
                                                uint32_t* error) {
  platform::File file;
  *error = WholeFileError(OpenEntryFile(folder, name, platform::FileOpening::kRead, &file));
  return file;
}

uint32_t MemoryFileSystem::ReadEntryStart(const Folder& folder, std::string_view name,
                                          size_t max_bytes, std::vector<uint8_t>* data,
                                          uint64_t* size) {
  data->clear();
  uint32_t code = error::kSuccess;
  const platform::File file = OpenEntryWhole(folder, name, &code);
  if (code != error::kSuccess) return code;
  *size = file.Size();
  data->resize(std::min<uint64_t>(max_bytes, file.Size()));
  size_t done = 0;
  code = file.ReadUpTo(0, data->data(), data->size(), &done);
  data->resize(code == error::kSuccess ? done : 0);
  return code;
}

uint32_t MemoryFileSystem::ReplaceEntryFile(const Folder& folder, std::string_view name,
                                            const platform::ContentsMaker& contents) {
  Inode where = FolderOf(folder);
  if (where == 0) return error::kInvalidHandle;
  if (const uint32_t code = CheckName(name)) return code;
  if (name.empty()) return Code(ENOENT);
  // The links in the entry's place are followed to the name the file has, or is to have.
  std::string target(name);
  Resolved found = Look(where, target);
  for (int links = 0; found.error == 0 && nodes_.at(found.inode).kind == Kind::kLink; ++links) {
    if (links == kMaxLinks) return Code(ELOOP);
    const ParentAndName parts = SplitParent(nodes_.at(found.inode).data);
    const Resolved parent = Walk(where, parts.parent, true);
    if (parent.error != 0)
      return parent.error == ENOENT ? error::kPathNotFound : Code(parent.error);
    if (nodes_.at(parent.inode).kind != Kind::kFolder) return error::kPathNotFound;
    where = parent.inode;
    target = parts.name;
    found = Look(where, target);
  }
  if (found.error != 0 && found.error != ENOENT) return Code(found.error);
  const Inode old = found.error == 0 ? found.inode : 0;
  if (old != 0 && nodes_.at(old).kind != Kind::kFile) return error::kAccessDenied;
  if (const int cause = CheckFolderChange(where)) return CodeOf(cause);
  if (old != 0) {
    if (const int cause = CheckEntryChange(old)) return CodeOf(cause);
  }
  Volume& volume = VolumeOf(where);
  if (volume.free_entries && *volume.free_entries == 0) return Code(ENOSPC);
  // The new contents, whole, in a file of their own: they take room beside the old ones.
  const uint64_t limit = old != 0 ? nodes_.at(old).size_limit : 0;
  const uint32_t limit_error = old != 0 ? nodes_.at(old).limit_error : 0;
  std::string made;
  const uint32_t code = contents([&](std::string_view piece) {
    if (limit != 0 && made.size() + piece.size() > limit) return limit_error;
    if (volume.free_bytes && made.size() + piece.size() > *volume.free_bytes) {
      return Code(ENOSPC);
    }
    made.append(piece);
    return error::kSuccess;
  });
  if (code != error::kSuccess) return code;
  if (volume.free_bytes) *volume.free_bytes -= made.size();
  const uint32_t mode = old != 0 ? nodes_.at(old).mode : 0644;
  if (old != 0) Unlink(where, target);  // its room comes back once no File holds it
  if (volume.free_entries) --*volume.free_entries;
  const Inode inode = Make(Kind::kFile, nodes_.at(where).device, where);
  Node& node = nodes_.at(inode);
  node.mode = mode;
  node.data = std::move(made);
  node.size_limit = limit;
  node.limit_error = limit_error;
  Node& parent = nodes_.at(where);
  parent.entries[target] = inode;
  parent.times.write = parent.times.change = clock_;
  return error::kSuccess;
}

uint32_t MemoryFileSystem::AppendEntryFile(const Folder& folder, std::string_view name,
                                           std::string_view data) {
  platform::File file;
  uint32_t code = OpenEntryFile(folder, name, platform::FileOpening::kAppend, &file);
  if (code != error::kSuccess) return WholeFileError(code);
  code = file.Write(data);
  const uint32_t close_code = file.Close();
  return code != error::kSuccess ? code : close_code;
}

uint32_t MemoryFileSystem::OverwriteEntryFile(const Folder& folder, std::string_view name,
                                              std::string_view data) {
  // The same node, cut and written (kAppend follows the link and creates a missing file).
  platform::File file;
  uint32_t code = OpenEntryFile(folder, name, platform::FileOpening::kAppend, &file);
  if (code != error::kSuccess) return WholeFileError(code);
  code = file.Truncate(0);
  if (code == error::kSuccess) code = file.Write(data);
  const uint32_t close_code = file.Close();
  return code != error::kSuccess ? code : close_code;
}

uint32_t MemoryFileSystem::GetEntryFileSize(const Folder& folder, std::string_view name,
                                            uint64_t* size) {
  Inode inode = 0;
  if (const uint32_t code = EntryFolder(folder, name, &inode)) return code;
  const Resolved found = Walk(inode, name, true);
  if (found.error != 0) return Code(found.error);
  const Node& node = nodes_.at(found.inode);
  *size = node.kind == Kind::kFile ? node.data.size() : 0;
  return error::kSuccess;
}

// ---------------------------------------------------------------------------------------------
// What an entry keeps beside its contents

namespace {

// The attribute bits kept as they are set (read-only is the mode's write bit).
constexpr uint32_t kKeptAttributes = attr::kHidden | attr::kSystem | 0x100 | 0x1000 | 0x2000;
// "user." and the name must fit the kernel's 255 bytes of an attribute name.
constexpr size_t kMaxStreamName = 255 - 5;

}  // namespace

uint32_t MemoryFileSystem::EntryTarget(const Folder& folder, std::string_view name,
                                       Inode* inode) const {
  Inode where = 0;
  if (const uint32_t code = EntryFolder(folder, name, &where)) return code;
  if (name.empty()) return Code(ENOENT);
  const Resolved found = Walk(where, name, true);
  if (found.error != 0) return Code(found.error);
  *inode = found.inode;
  const Kind kind = nodes_.at(found.inode).kind;
  return kind == Kind::kFile || kind == Kind::kFolder ? error::kSuccess : error::kBadFileType;
}

uint32_t MemoryFileSystem::CheckStream(Inode inode, std::string_view stream) const {
  if (VolumeOf(inode).no_streams) return error::kNotSupported;
  if (stream.empty() || stream.find('\0') != std::string_view::npos) return error::kInvalidName;
  if (stream.size() > kMaxStreamName) return error::kFilenameTooLong;
  return error::kSuccess;
}

uint32_t MemoryFileSystem::StreamChange(const Folder& folder, std::string_view name,
                                        std::string_view stream, Inode* inode) const {
  uint32_t code = EntryTarget(folder, name, inode);
  // The kernel lets no user attribute be set on a FIFO or device.
  if (code == error::kBadFileType) return Code(EPERM);
  if (code == error::kSuccess) code = CheckStream(*inode, stream);
  if (code != error::kSuccess) return code;
  if (const int cause = CheckEntryChange(*inode)) return CodeOf(cause);
  return (nodes_.at(*inode).mode & 0200) == 0 ? Code(EACCES) : error::kSuccess;
}

uint32_t MemoryFileSystem::GetEntryStream(const Folder& folder, std::string_view name,
                                          std::string_view stream, std::string* value) {
  value->clear();
  Inode inode = 0;
  const uint32_t code = EntryTarget(folder, name, &inode);
  // A FIFO or device keeps no user attributes: the kernel answers that it has none.
  if (code == error::kBadFileType) return error::kFileNotFound;
  if (code != error::kSuccess) return code;
  if (const uint32_t checked = CheckStream(inode, stream)) return checked;
  const Node& node = nodes_.at(inode);
  if ((node.mode & 0400) == 0) return Code(EACCES);
  const auto it = node.streams.find(std::string(stream));
  if (it == node.streams.end()) return error::kFileNotFound;
  *value = it->second;
  return error::kSuccess;
}

uint32_t MemoryFileSystem::SetEntryStream(const Folder& folder, std::string_view name,
                                          std::string_view stream, std::string_view value) {
  Inode inode = 0;
  if (const uint32_t code = StreamChange(folder, name, stream, &inode)) return code;
  Node& node = nodes_.at(inode);
  const std::optional<size_t> largest = VolumeOf(inode).largest_stream;
  if (largest && value.size() > *largest) return error::kFileTooLarge;
  node.streams[std::string(stream)] = std::string(value);
  node.times.change = clock_;
  return error::kSuccess;
}

uint32_t MemoryFileSystem::RemoveEntryStream(const Folder& folder, std::string_view name,
                                             std::string_view stream) {
  Inode inode = 0;
  if (const uint32_t code = StreamChange(folder, name, stream, &inode)) return code;
  Node& node = nodes_.at(inode);
  if (node.streams.erase(std::string(stream)) == 0) return error::kFileNotFound;
  node.times.change = clock_;
  return error::kSuccess;
}

uint32_t MemoryFileSystem::ListEntryStreams(const Folder& folder, std::string_view name,
                                            std::vector<std::string>* names) {
  names->clear();
  Inode inode = 0;
  const uint32_t code = EntryTarget(folder, name, &inode);
  if (code == error::kBadFileType) return error::kSuccess;  // none to list
  if (code != error::kSuccess) return code;
  if (VolumeOf(inode).no_streams) return error::kNotSupported;
  for (const auto& [stream, value] : nodes_.at(inode).streams) names->push_back(stream);
  return error::kSuccess;
}

uint32_t MemoryFileSystem::ReadEntryBackupStreams(const Folder& folder, std::string_view name, bool,
                                                  std::vector<BackupStreamHeader>* streams) {
  streams->clear();
  Inode inode = 0;
  const uint32_t code = EntryTarget(folder, name, &inode);
  if (code == error::kBadFileType) return error::kSuccess;  // opened, and nothing to walk
  if (code != error::kSuccess) return code;
  const Node& node = nodes_.at(inode);
  if ((node.mode & 0400) == 0) return Code(EACCES);  // it is opened for reading
  if (node.kind == Kind::kFile) streams->push_back({backup::kData, 0, node.data.size(), ""});
  if (VolumeOf(inode).no_streams) return error::kSuccess;  // the walk ends there
  for (const auto& [stream, value] : node.streams) {
    streams->push_back({backup::kAlternateData, 0, value.size(), ":" + stream + ":$DATA"});
  }
  return error::kSuccess;
}

uint32_t MemoryFileSystem::GetEntryCompression(const Folder& folder, std::string_view name,
                                               uint32_t* format) {
  Inode inode = 0;
  const uint32_t code = EntryTarget(folder, name, &inode);
  if (code == error::kBadFileType) return error::kNotSupported;
  if (code != error::kSuccess) return code;
  if (VolumeOf(inode).no_compression) return error::kNotSupported;
  *format = nodes_.at(inode).compression;
  return error::kSuccess;
}

uint32_t MemoryFileSystem::SetEntryCompression(const Folder& folder, std::string_view name,
                                               uint32_t format) {
  Inode inode = 0;
  const uint32_t code = EntryTarget(folder, name, &inode);
  if (code == error::kBadFileType) return error::kNotSupported;
  if (code != error::kSuccess) return code;
  // The file is opened for writing before the format is looked at, as Windows opens it.
  Node& node = nodes_.at(inode);
  if (node.kind == Kind::kFile && (node.mode & 0200) == 0) return Code(EACCES);
  if (const int cause = CheckEntryChange(inode)) return CodeOf(cause);
  if (format != platform::compression::kNone && format != platform::compression::kDefault &&
      format != platform::compression::kLznt1) {
    return error::kInvalidParameter;
  }
  if (VolumeOf(inode).no_compression) return error::kNotSupported;
  node.compression =
      format == platform::compression::kNone ? format : platform::compression::kLznt1;
  node.times.change = clock_;
  return error::kSuccess;
}

uint32_t MemoryFileSystem::SetEntryAttributes(const Folder& folder, std::string_view name,
                                              uint32_t attributes) {
  Inode found = 0;
  if (const uint32_t code = LookEntry(folder, name, &found)) return code;
  Node& node = nodes_.at(found);
  if (node.kind != Kind::kFile && node.kind != Kind::kFolder) return error::kSuccess;
  const bool read_only = node.kind == Kind::kFile && (attributes & attr::kReadOnly) != 0;
  const uint32_t mode = read_only ? node.mode & ~0200u : node.mode | 0200u;
  const uint32_t extra =
      (node.extra_attributes & ~kKeptAttributes) | (attributes & kKeptAttributes);
  if (mode == node.mode && extra == node.extra_attributes) return error::kSuccess;
  if (const int cause = CheckEntryChange(found)) return CodeOf(cause);
  node.mode = mode;
  node.extra_attributes = extra;
  node.times.change = clock_;
  return error::kSuccess;
}

}  // namespace orvanel::testing
