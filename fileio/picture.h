// StdPicture: the picture object (IPictureDisp) of ShellFileIcon.Icon and of the default icon.
// What a picture holds depends on where the icons come from:
// - Linux: an icon is a file of the icon theme at a pixel size, so the picture holds that
//   file's path and the size, with the members a picture client knows: Handle (a non-zero id,
//   unique in the process), Type (3, an icon) and Width/Height in HIMETRIC units (0.01 mm at 96
//   pixels per inch, as IPictureDisp gives them), plus our FileName, Size (pixels) and
//   OverlayFileName (the emblem drawn over a link's icon; "" when none). Clients get the
//   object itself, through the library's member table.
// - Windows: the picture also holds the system's own picture of the icon, an OLE picture that
//   owns the shell's HICON (platform::IconPicture), and COM clients get that OLE picture in
//   its place, as a VB6 client gets its StdPicture: an IPictureDisp (and IPicture) whose
//   Handle is the HICON, Type 3 and Width/Height in HIMETRIC, with Render and the rest of
//   IPicture. FileName, Size and OverlayFileName are facts of the icon theme and are not part
//   of a Windows picture, so COM clients do not see them; C++ callers still have them (the
//   file the shell takes the icon from, the size Windows draws it at, and "" since the shell
//   draws the overlay into the icon). Handle, Type, Width and Height are the OLE picture's.
// Made only by the library; not in the type library's class list (its type there is stdole's
// IPictureDisp).
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "automation/object.h"

namespace quern {

class StdPicture : public automation::Object {
 public:
  StdPicture(std::u16string file_name, int32_t pixels, std::u16string overlay_file_name = {});
  static const automation::ClassInfo& Class();
  const automation::ClassInfo& TypeInfo() const noexcept override { return Class(); }

  static constexpr int16_t kTypeIcon = 3;

  int32_t Handle() const { return handle_; }
  // kTypeIcon; with a system picture, what that picture says (0 for an empty one).
  int16_t Type() const { return type_; }
  // Without a system picture, pixels * 2540 / 96, rounded to the nearest unit (32 pixels ->
  // 847); with one, what that picture says.
  int32_t Width() const { return width_; }
  int32_t Height() const { return height_; }
  std::u16string FileName() const { return file_name_; }
  int32_t Size() const { return pixels_; }
  std::u16string OverlayFileName() const { return overlay_file_name_; }

  // Internal initialiser: the system's own picture of the icon (Windows: the OLE picture of
  // platform::IconPicture, as its IUnknown*), whose handle, type and size (HIMETRIC) this
  // picture reports from then on. A null `picture` changes nothing.
  void SetSystemPicture(std::shared_ptr<void> picture, uint32_t handle, int16_t type, int32_t width,
                        int32_t height);
  // The system's picture (the IUnknown*, borrowed: valid while this object lives); null when
  // there is none.
  void* SystemPicture() const { return system_picture_.get(); }

 private:
  int32_t handle_;
  int16_t type_;
  std::u16string file_name_;
  int32_t pixels_;
  std::u16string overlay_file_name_;
  int32_t width_;
  int32_t height_;
  std::shared_ptr<void> system_picture_;
};

// ovLoadResIcon("") / ovLoadResIconSmall(""): the default icon at `pixels`. Linux: the
// theme's "text-x-generic", else "unknown"; a picture with FileName "" when no theme has
// either. Windows: shell32.dll's document icon (platform::DefaultIconPicture).
automation::Ref<StdPicture> DefaultIconPicture(int32_t pixels);

}  // namespace quern
