// StdPicture: the picture object (IPictureDisp) of ShellFileIcon.Icon. An icon here is a file
// of the icon theme at a pixel size, so the picture holds that file's path and the size, with
// the members a picture client knows: Handle (a non-zero id, unique in the process), Type (3,
// an icon) and Width/Height in HIMETRIC units (0.01 mm at 96 pixels per inch, as IPictureDisp
// gives them), plus our FileName, Size (pixels) and OverlayFileName (the emblem drawn over a
// link's icon; "" when none). Made only by the library; not in the type library's class list.
#pragma once

#include <cstdint>
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
  int16_t Type() const { return kTypeIcon; }
  // Pixels * 2540 / 96, rounded to the nearest unit (32 pixels -> 847).
  int32_t Width() const;
  int32_t Height() const { return Width(); }
  std::u16string FileName() const { return file_name_; }
  int32_t Size() const { return pixels_; }
  std::u16string OverlayFileName() const { return overlay_file_name_; }

 private:
  int32_t handle_;
  std::u16string file_name_;
  int32_t pixels_;
  std::u16string overlay_file_name_;
};

// ovLoadResIcon("") / ovLoadResIconSmall(""): the default icon at `pixels` (the theme's
// "text-x-generic", else "unknown"; a picture with FileName "" when no theme has either).
automation::Ref<StdPicture> DefaultIconPicture(int32_t pixels);

}  // namespace quern
