#include "fileio/shell_query.h"

#include <algorithm>
#include <set>
#include <vector>

#include "platform/file.h"

#ifndef _WIN32
#include "fileio/icon_theme.h"
#include "fileio/mime_database.h"
#endif

namespace quern {

bool ReadFileHead(const std::string& path, uint64_t offset, size_t size, std::string* bytes) {
  bytes->clear();
  uint32_t error = 0;
  const platform::File file = platform::File::OpenForReading(path, &error);
  if (!file.IsOpen()) return false;
  bytes->resize(size);
  size_t done = 0;
  const bool read = file.ReadUpTo(offset, bytes->data(), size, &done) == platform::error::kSuccess;
  bytes->resize(read ? done : 0);
  return read;
}

#ifdef _WIN32

uint64_t QueryShellFileInfo(const std::string& path, uint32_t flags,
                            platform::ShellFileInfo* info) {
  return platform::GetShellFileInfo(path, flags, info);
}

std::string DefaultIconFile(int pixels) { return platform::DefaultIconFile(pixels); }

std::string MimeTypeOf(const std::string&) { return {}; }

#else

namespace {

using platform::ShellEntry;
namespace shgfi = platform::shgfi;

std::string LastComponent(const std::string& path) {
  std::string trimmed = path;
  while (trimmed.size() > 1 && trimmed.back() == '/') trimmed.pop_back();
  const size_t slash = trimmed.rfind('/');
  if (slash == std::string::npos || trimmed == "/") return trimmed;
  return trimmed.substr(slash + 1);
}

std::string MimeTypeOfEntry(const std::string& path, const ShellEntry& entry) {
  if (entry.dangling) return "inode/symlink";
  switch (entry.kind) {
    case ShellEntry::Kind::kFolder:
      return "inode/directory";
    case ShellEntry::Kind::kFifo:
      return "inode/fifo";
    case ShellEntry::Kind::kSocket:
      return "inode/socket";
    case ShellEntry::Kind::kCharDevice:
      return "inode/chardevice";
    case ShellEntry::Kind::kBlockDevice:
      return "inode/blockdevice";
    case ShellEntry::Kind::kFile:
    case ShellEntry::Kind::kOther:
      break;
  }
  const MimeDatabase& database = MimeDatabase::Installed();
  const std::set<std::string> by_name = database.TypesByName(LastComponent(path));
  if (by_name.size() == 1) return *by_name.begin();
  std::string head;
  ReadFileHead(path, 0, std::max<size_t>(database.MagicExtent(), 512), &head);
  if (!by_name.empty()) {
    const std::string chosen = database.TypeByMagic(head, by_name);
    return chosen.empty() ? *by_name.begin() : chosen;
  }
  if (entry.size == 0) return "application/x-zerosize";
  const std::string by_content = database.TypeByMagic(head, {});
  if (!by_content.empty()) return by_content;
  return LooksLikeText(head) ? "text/plain" : "application/octet-stream";
}

std::vector<std::string> IconNames(const std::string& type, const ShellEntry& entry, bool open) {
  const MimeDatabase& database = MimeDatabase::Installed();
  std::vector<std::string> names;
  if (type == "inode/directory") {
    if (open) names.push_back("folder-open");
    names.push_back("folder");
  }
  if (std::string own = database.IconOf(type); !own.empty()) names.push_back(own);
  std::string dashed = type;
  std::replace(dashed.begin(), dashed.end(), '/', '-');
  names.push_back(dashed);
  if (std::string generic = database.GenericIconOf(type); !generic.empty()) {
    names.push_back(generic);
  }
  if (entry.executable) names.push_back("application-x-executable");
  names.push_back(type.substr(0, type.find('/')) + "-x-generic");
  return names;
}

int IconPixels(uint32_t flags) {
  if (flags & shgfi::kShellIconSize) return platform::kShellIconPixels;
  return (flags & shgfi::kSmallIcon) ? platform::kSmallIconPixels : platform::kLargeIconPixels;
}

}  // namespace

std::string MimeTypeOf(const std::string& path) {
  const ShellEntry entry = platform::LookForShell(path, false);
  return entry.exists ? MimeTypeOfEntry(path, entry) : std::string();
}

std::string DefaultIconFile(int pixels) {
  return IconThemes::Installed().Find({"text-x-generic", "unknown"}, pixels, nullptr);
}

uint64_t QueryShellFileInfo(const std::string& path, uint32_t flags,
                            platform::ShellFileInfo* info) {
  const ShellEntry entry = platform::LookForShell(path, (flags & shgfi::kAttributes) != 0);
  if (!entry.exists) return 0;
  if (flags & shgfi::kExeType) return 0;
  uint64_t result = 1;
  if (flags & shgfi::kAttributes) info->attributes = entry.attributes;
  if (flags & shgfi::kDisplayName) info->display_name = LastComponent(path);
  if (flags & shgfi::kTypeName) {
    info->type_name = MimeDatabase::Installed().Description(
        MimeTypeOfEntry(path, entry),
        LanguagesOfLocale(platform::GetDesktopSettings().messages_locale));
  }
  if (flags & (shgfi::kIcon | shgfi::kIconLocation | shgfi::kSysIconIndex)) {
    IconThemes& icons = IconThemes::Installed();
    const std::vector<std::string> names =
        IconNames(MimeTypeOfEntry(path, entry), entry, (flags & shgfi::kOpenIcon) != 0);
    const int pixels = IconPixels(flags);
    std::string name = names.back();
    const std::string file = icons.Find(names, pixels, &name);
    if (flags & shgfi::kIconLocation) {
      info->display_name = file;
      info->icon_index = 0;
    }
    if (flags & shgfi::kSysIconIndex) {
      info->icon_index = icons.ImageListIndex(name);
      result = (flags & shgfi::kSmallIcon) ? platform::kSmallImageList : platform::kLargeImageList;
    }
    if (flags & shgfi::kIcon) {
      if (file.empty()) return 0;
      info->icon_file = file;
      info->icon_pixels = pixels;
      info->icon_index = icons.ImageListIndex(name);
      info->overlay_file.clear();
      if ((flags & shgfi::kLinkOverlay) && entry.is_link) {
        info->overlay_file = icons.Find({"emblem-symbolic-link"}, pixels, nullptr);
      }
    }
  }
  return result;
}

#endif  // _WIN32

}  // namespace quern
