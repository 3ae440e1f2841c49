// orvShellFileInfo: what the shell knows about a file or folder (fileio/shell_query.h says how
// Linux answers): its shell attributes, display name, type name, icon location and place in
// the system image list, read by ReadFile; its icons in nine variants and its executable type,
// made on first use and kept until the next ReadFile. ShellFileEXE and ShellFileIcon are the
// result objects; only the library makes them.
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "automation/object.h"
#include "fileio/picture.h"

namespace quern {

// The executable type of a file: "PE", "NE", "MZ" or "" and the Windows version it needs.
class ShellFileEXE : public automation::Object {
 public:
  ShellFileEXE() = default;
  static const automation::ClassInfo& Class();
  const automation::ClassInfo& TypeInfo() const noexcept override { return Class(); }

  // Internal initialiser: the 32-bit executable-type value (fileio/exe_type.h).
  void SetExeType(uint32_t value);

  int32_t OSVersionMinor() const { return os_version_minor_; }
  int32_t OSVersionMajor() const { return os_version_major_; }
  std::u16string Signature() const { return signature_; }

 private:
  int32_t os_version_minor_ = 0;
  int32_t os_version_major_ = 0;
  std::u16string signature_;
};

// One icon of a file with its index in the system image list (-1 for the default icon).
class ShellFileIcon : public automation::Object {
 public:
  ShellFileIcon() = default;
  static const automation::ClassInfo& Class();
  const automation::ClassInfo& TypeInfo() const noexcept override { return Class(); }

  // Internal initialiser.
  void SetIcon(int32_t index, automation::Ref<StdPicture> picture);

  // A new reference to the picture.
  automation::Ref<StdPicture> Icon() const { return icon_; }
  int32_t Index() const { return index_; }

 private:
  int32_t index_ = 0;
  automation::Ref<StdPicture> icon_;
};

class orvShellFileInfo : public automation::Object {
 public:
  orvShellFileInfo() = default;
  static const automation::ClassInfo& Class();
  const automation::ClassInfo& TypeInfo() const noexcept override { return Class(); }

  // Asks the five questions of the shell in order (attributes, display name, icon location,
  // system icon index, type name); False, with everything reset, when one fails (a missing or
  // unreachable file fails the first).
  bool ReadFile(const std::u16string& FileName);

  std::u16string FileName() const { return file_name_; }
  int32_t Attributes() const { return attributes_; }
  std::u16string DisplayName() const { return display_name_; }
  std::u16string TypeName() const { return type_name_; }
  // None when FileName is ""; otherwise made on first use and the same object until the next
  // ReadFile. A file that is not an executable (or is gone) gives Signature "" and 0, 0.
  automation::Ref<ShellFileEXE> EXEType();
  // None when FileName is ""; otherwise made on first use and the same object until the next
  // ReadFile. When the shell has no icon, the default icon with Index -1.
  automation::Ref<ShellFileIcon> Icon();
  automation::Ref<ShellFileIcon> SmallIcon();
  automation::Ref<ShellFileIcon> LinkOverlayIcon();
  automation::Ref<ShellFileIcon> LinkOverlaySmallIcon();
  automation::Ref<ShellFileIcon> OpenIcon();
  automation::Ref<ShellFileIcon> OpenSmallIcon();
  automation::Ref<ShellFileIcon> SelectedIcon();
  automation::Ref<ShellFileIcon> SelectedSmallIcon();
  automation::Ref<ShellFileIcon> ShellSizeIcon();
  std::u16string IconLocation() const { return icon_location_; }
  int32_t SystemIconIndex() const { return system_icon_index_; }
  int32_t hSystemImageList() const { return system_image_list_; }

 private:
  enum IconKind {
    kIcon,
    kSmallIcon,
    kLinkOverlayIcon,
    kLinkOverlaySmallIcon,
    kOpenIcon,
    kOpenSmallIcon,
    kSelectedIcon,
    kSelectedSmallIcon,
    kShellSizeIcon,
    kIconKinds
  };
  void ResetInfo();
  automation::Ref<ShellFileIcon> CachedIcon(IconKind kind);

  int32_t attributes_ = 0;
  std::u16string file_name_;
  std::u16string display_name_;
  std::u16string type_name_;
  std::u16string icon_location_;
  int32_t system_icon_index_ = 0;
  int32_t system_image_list_ = 0;
  automation::Ref<ShellFileEXE> exe_type_;
  std::array<automation::Ref<ShellFileIcon>, kIconKinds> icons_;
};

}  // namespace quern
