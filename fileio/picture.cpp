#include "fileio/picture.h"

#include <atomic>

#include "fileio/member_helpers.h"
#include "fileio/shell_query.h"
#include "support/ov_unicode.h"

namespace quern {

using namespace members;

namespace {

int32_t NextHandle() {
  // Starts away from 0 and from small numbers a client might take for an error code.
  static std::atomic<int32_t> next{0x10000};
  return next++;
}

StdPicture& Self(Object& object) { return static_cast<StdPicture&>(object); }

automation::MemberInfo Property(std::string name, int slot, std::string type,
                                std::string description, automation::Invoker invoke) {
  return {std::move(name),
          Slot(slot),
          MemberKind::kPropertyGet,
          {},
          std::move(type),
          std::move(description),
          false,
          invoke};
}

int32_t Himetric(int32_t pixels) {
  return static_cast<int32_t>((static_cast<int64_t>(pixels) * 2540 + 48) / 96);
}

}  // namespace

StdPicture::StdPicture(std::u16string file_name, int32_t pixels, std::u16string overlay_file_name)
    : handle_(NextHandle()),
      type_(kTypeIcon),
      file_name_(std::move(file_name)),
      pixels_(pixels),
      overlay_file_name_(std::move(overlay_file_name)),
      width_(Himetric(pixels)),
      height_(width_) {}

void StdPicture::SetSystemPicture(std::shared_ptr<void> picture, uint32_t handle, int16_t type,
                                  int32_t width, int32_t height) {
  if (!picture) return;
  system_picture_ = std::move(picture);
  handle_ = static_cast<int32_t>(handle);
  type_ = type;
  width_ = width;
  height_ = height;
}

automation::Ref<StdPicture> DefaultIconPicture(int32_t pixels) {
  auto picture = automation::MakeObject<StdPicture>(
      support::FileNameFromNative(DefaultIconFile(pixels)), pixels);
  const platform::IconPicture system = platform::DefaultIconPicture(pixels);
  picture->SetSystemPicture(system.object, system.handle, system.type, system.width, system.height);
  return picture;
}

const automation::ClassInfo& StdPicture::Class() {
  static const automation::ClassInfo info = [] {
    automation::ClassInfo c;
    c.name = "StdPicture";
    c.interface_name = "IPictureDisp";
    c.clsid = {0x358F835B, 0x077D, 0x4C6C, {0x87, 0x4F, 0xE9, 0x01, 0x58, 0x58, 0xB3, 0x77}};
    c.iid = {0x9304F49F, 0x1F10, 0x4CAD, {0xB3, 0xD0, 0x78, 0x43, 0x26, 0x3D, 0xE5, 0x1B}};
    c.creatable = false;
    c.description = "An icon picture: an icon theme file at a pixel size.";
    c.members = {
        Property("Handle", 0, "Long", "A non-zero id of the picture, unique in the process.",
                 [](Object& o, CallArgs&) { return Variant(Self(o).Handle()); }),
        Property("Type", 1, "Integer", "The picture type: 3, an icon.",
                 [](Object& o, CallArgs&) { return Variant(Self(o).Type()); }),
        Property("Width", 2, "Long", "The width in HIMETRIC units (pixels * 2540 / 96).",
                 [](Object& o, CallArgs&) { return Variant(Self(o).Width()); }),
        Property("Height", 3, "Long", "The height in HIMETRIC units (pixels * 2540 / 96).",
                 [](Object& o, CallArgs&) { return Variant(Self(o).Height()); }),
        Property("FileName", 4, "String", "The icon file; empty when no theme has one.",
                 [](Object& o, CallArgs&) { return Variant(Self(o).FileName()); }),
        Property("Size", 5, "Long", "The icon's size in pixels.",
                 [](Object& o, CallArgs&) { return Variant(Self(o).Size()); }),
        Property("OverlayFileName", 6, "String",
                 "The emblem drawn over a link's icon; empty when none.",
                 [](Object& o, CallArgs&) { return Variant(Self(o).OverlayFileName()); }),
    };
    c.create = nullptr;
    c.system_object = [](Object& o) { return Self(o).SystemPicture(); };
    return c;
  }();
  return info;
}

}  // namespace quern
