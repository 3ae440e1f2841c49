#include "fileio/orvShellFileInfo.h"

#include "fileio/exe_type.h"
#include "fileio/shell_query.h"
#include "support/ov_unicode.h"

namespace quern {

namespace {

// The query flags of each icon property, in IconKind order.
constexpr uint32_t kIconFlags[] = {
    0x100, 0x101, 0x8100, 0x8101, 0x102, 0x103, 0x10100, 0x10101, 0x104,
};

// The executable-type query: the headers of the file read a piece at a time.
uint32_t QueryExeType(const std::string& path) {
  return ReadExeType([&path](uint64_t offset, uint8_t* buffer, size_t size) -> size_t {
    std::string bytes;
    if (!ReadFileHead(path, offset, size, &bytes)) return 0;
    std::copy(bytes.begin(), bytes.end(), buffer);
    return bytes.size();
  });
}

}  // namespace

void ShellFileEXE::SetExeType(uint32_t value) {
  os_version_major_ = static_cast<int32_t>(value >> 24 & 0xFF);
  os_version_minor_ = static_cast<int32_t>(value >> 16 & 0xFF);
  const char16_t first = static_cast<char16_t>(value & 0xFF);
  const char16_t second = static_cast<char16_t>(value >> 8 & 0xFF);
  signature_.clear();
  if (first != 0 || second != 0) {
    // Each byte is an ANSI character; the signatures are ASCII, which every code page shares.
    const std::string bytes{static_cast<char>(first), static_cast<char>(second)};
    signature_ = support::ovStrConvW(bytes);
  }
}

void ShellFileIcon::SetIcon(int32_t index, automation::Ref<StdPicture> picture) {
  index_ = index;
  icon_ = std::move(picture);
}

void orvShellFileInfo::ResetInfo() {
  attributes_ = 0;
  file_name_.clear();
  display_name_.clear();
  type_name_.clear();
  icon_location_.clear();
  system_icon_index_ = 0;
  system_image_list_ = 0;
  exe_type_.reset();
  for (auto& icon : icons_) icon.reset();
}

bool orvShellFileInfo::ReadFile(const std::u16string& FileName) {
  ResetInfo();
  file_name_ = FileName;
  const std::string path = support::NativeFileName(FileName);
  platform::ShellFileInfo record;
  const auto query = [&](uint32_t flags) { return QueryShellFileInfo(path, flags, &record); };
  if (query(platform::shgfi::kAttributes) == 0) {
    ResetInfo();
    return false;
  }
  attributes_ = static_cast<int32_t>(record.attributes);
  if (query(platform::shgfi::kDisplayName) == 0) {
    ResetInfo();
    return false;
  }
  display_name_ = support::FileNameFromNative(record.display_name);
  if (query(platform::shgfi::kIconLocation) == 0) {
    ResetInfo();
    return false;
  }
  icon_location_ = support::FileNameFromNative(record.display_name);
  const uint64_t image_list = query(platform::shgfi::kSysIconIndex);
  if (image_list == 0) {
    ResetInfo();
    return false;
  }
  system_image_list_ = static_cast<int32_t>(image_list);
  system_icon_index_ = record.icon_index;
  if (query(platform::shgfi::kTypeName) == 0) {
    ResetInfo();
    return false;
  }
  type_name_ = support::Utf16FromUtf8(record.type_name);
  return true;
}

automation::Ref<ShellFileEXE> orvShellFileInfo::EXEType() {
  if (file_name_.empty()) return nullptr;
  if (!exe_type_) {
    auto made = automation::MakeObject<ShellFileEXE>();
    made->SetExeType(QueryExeType(support::NativeFileName(file_name_)));
    exe_type_ = made;
  }
  return exe_type_;
}

automation::Ref<ShellFileIcon> orvShellFileInfo::CachedIcon(IconKind kind) {
  if (file_name_.empty()) return nullptr;
  automation::Ref<ShellFileIcon>& cached = icons_[kind];
  if (!cached) {
    const uint32_t flags = kIconFlags[kind];
    const bool small = (flags & platform::shgfi::kSmallIcon) != 0;
    platform::ShellFileInfo record;
    const uint64_t result = QueryShellFileInfo(support::NativeFileName(file_name_), flags, &record);
    auto icon = automation::MakeObject<ShellFileIcon>();
    if (result != 0) {
      auto picture = automation::MakeObject<StdPicture>(
          support::FileNameFromNative(record.icon_file), record.icon_pixels,
          support::FileNameFromNative(record.overlay_file));
      const platform::IconPicture& system = record.picture;
      picture->SetSystemPicture(system.object, system.handle, system.type, system.width,
                                system.height);
      icon->SetIcon(record.icon_index, std::move(picture));
    } else {
      icon->SetIcon(
          -1, DefaultIconPicture(small ? platform::kSmallIconPixels : platform::kLargeIconPixels));
    }
    cached = icon;
  }
  return cached;
}

automation::Ref<ShellFileIcon> orvShellFileInfo::Icon() { return CachedIcon(kIcon); }
automation::Ref<ShellFileIcon> orvShellFileInfo::SmallIcon() { return CachedIcon(kSmallIcon); }
automation::Ref<ShellFileIcon> orvShellFileInfo::LinkOverlayIcon() {
  return CachedIcon(kLinkOverlayIcon);
}
automation::Ref<ShellFileIcon> orvShellFileInfo::LinkOverlaySmallIcon() {
  return CachedIcon(kLinkOverlaySmallIcon);
}
automation::Ref<ShellFileIcon> orvShellFileInfo::OpenIcon() { return CachedIcon(kOpenIcon); }
automation::Ref<ShellFileIcon> orvShellFileInfo::OpenSmallIcon() {
  return CachedIcon(kOpenSmallIcon);
}
automation::Ref<ShellFileIcon> orvShellFileInfo::SelectedIcon() {
  return CachedIcon(kSelectedIcon);
}
automation::Ref<ShellFileIcon> orvShellFileInfo::SelectedSmallIcon() {
  return CachedIcon(kSelectedSmallIcon);
}
automation::Ref<ShellFileIcon> orvShellFileInfo::ShellSizeIcon() {
  return CachedIcon(kShellSizeIcon);
}

}  // namespace quern
