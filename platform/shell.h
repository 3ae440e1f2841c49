// What the shell knows about a file (SHGetFileInfo), answered from the freedesktop.org
// databases: the MIME type from shared-mime-info (name globs with weights, then content magic),
// its description in the user's language, and icons as files of an icon theme. The executable
// type is not answered here: the caller reads the headers (ReadFileAt) itself.
//
// Decisions of this layer (the classes above rely on them):
// - The file name is the display name. Folders are "inode/directory"; a link is followed, a
//   dangling one is "inode/symlink"; other special files are "inode/fifo", "inode/socket",
//   "inode/chardevice", "inode/blockdevice"; an empty file whose name says nothing is
//   "application/x-zerosize"; an unknown file is "text/plain" when its first bytes look like
//   text, else "application/octet-stream".
// - The database is read from $XDG_DATA_HOME/mime (else ~/.local/share/mime), then from each
//   folder of $XDG_DATA_DIRS (else /usr/local/share:/usr/share) + "/mime", once per process.
// - The description is the type's <comment> in the language of LC_ALL, LC_MESSAGES or LANG
//   (the first set; "ru_RU.UTF-8" tries "ru_RU", then "ru"), else the English one, else the
//   type's name itself.
// - Icons: the theme named by $ORVANEL_ICON_THEME, else "Adwaita", with the themes it inherits
//   and finally "hicolor", searched in ~/.icons, $XDG_DATA_HOME/icons and each
//   $XDG_DATA_DIRS/icons (the Icon Theme Specification's lookup by size, PNG before SVG before
//   XPM). A type's icon names are tried in order: the database's own icon for the type, the
//   type with "/" made "-" ("text-plain"), its generic icon ("text-x-generic"), then
//   "<media>-x-generic"; for a folder "folder" ("folder-open" first for the open icon); for an
//   executable file also "application-x-executable".
// - Sizes: large 32 pixels, small 16, the shell size 48 (the size file managers show).
// - The "system image list" is a list of icon names met so far in this process: an icon's
//   index there never changes, and the large and small lists share the indexes, as Windows'
//   do. Its handles are the constants kLargeImageList and kSmallImageList.
// - Overlays: a link's icon asked with kLinkOverlay also names the theme's
//   "emblem-symbolic-link" as its overlay; a file that is no link has none. The selected state
//   draws the same icon (the highlight is the viewer's business).
// - Attributes (sfgao::): kFileSystem always and kCanLink; kFolder, kFileSysAncestor for
//   folders and kHasSubfolder when one holds a folder (or a link to one); kStream for regular
//   files; kLink for a symbolic link; kHidden for a name beginning with "."; kReadOnly without
//   the owner write bit; kCanCopy when the caller may read it; kCanMove, kCanRename and
//   kCanDelete when the caller may write its folder.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "platform/platform.h"

namespace platform {

// The query flags (SHGFI_*).
namespace shgfi {
inline constexpr uint32_t kLargeIcon = 0x0;
inline constexpr uint32_t kSmallIcon = 0x1;
inline constexpr uint32_t kOpenIcon = 0x2;
inline constexpr uint32_t kShellIconSize = 0x4;
inline constexpr uint32_t kIcon = 0x100;
inline constexpr uint32_t kDisplayName = 0x200;
inline constexpr uint32_t kTypeName = 0x400;
inline constexpr uint32_t kAttributes = 0x800;
inline constexpr uint32_t kIconLocation = 0x1000;
inline constexpr uint32_t kExeType = 0x2000;
inline constexpr uint32_t kSysIconIndex = 0x4000;
inline constexpr uint32_t kLinkOverlay = 0x8000;
inline constexpr uint32_t kSelected = 0x10000;
}  // namespace shgfi

// The shell item attributes this layer sets (SFGAO_*).
namespace sfgao {
inline constexpr uint32_t kCanCopy = 0x1;
inline constexpr uint32_t kCanMove = 0x2;
inline constexpr uint32_t kCanLink = 0x4;
inline constexpr uint32_t kCanRename = 0x10;
inline constexpr uint32_t kCanDelete = 0x20;
inline constexpr uint32_t kLink = 0x10000;
inline constexpr uint32_t kReadOnly = 0x40000;
inline constexpr uint32_t kHidden = 0x80000;
inline constexpr uint32_t kStream = 0x400000;
inline constexpr uint32_t kFileSysAncestor = 0x10000000;
inline constexpr uint32_t kFolder = 0x20000000;
inline constexpr uint32_t kFileSystem = 0x40000000;
inline constexpr uint32_t kHasSubfolder = 0x80000000;
}  // namespace sfgao

inline constexpr int kLargeIconPixels = 32;
inline constexpr int kSmallIconPixels = 16;
inline constexpr int kShellIconPixels = 48;
inline constexpr uint32_t kLargeImageList = 0x51A00001;
inline constexpr uint32_t kSmallImageList = 0x51A00002;

// An icon as the system's component mechanism hands it to clients, where it has such an object.
// Windows: an OLE picture (IPictureDisp) made with OleCreatePictureIndirect from the HICON the
// shell gave, with fOwn, so the picture is the icon's one owner and destroys it when its last
// reference goes; `object` holds one reference to the picture's IUnknown and releases it with
// its last copy. Linux: none (an icon is a file of the icon theme, named in the record).
struct IconPicture {
  std::shared_ptr<void> object;  // the picture's IUnknown*; null for none
  uint32_t handle = 0;           // the picture's Handle (OLE_HANDLE): the HICON
  int16_t type = 0;              // PICTYPE_ICON (3), or 0 for an empty picture
  int32_t width = 0;             // HIMETRIC (0.01 mm), as IPicture gives them
  int32_t height = 0;
};

// The information record (SHFILEINFO). Texts are bytes: names as the system holds them, the
// type name in UTF-8.
struct ShellFileInfo {
  std::string icon_file;     // kIcon: the icon's file ("" when the theme has none)
  int icon_pixels = 0;       // kIcon: its size in pixels
  std::string overlay_file;  // kIcon | kLinkOverlay of a link: the overlay's file
  IconPicture picture;       // kIcon on Windows: the shell's icon itself, as the flags draw it
  int32_t icon_index = 0;    // kIcon, kSysIconIndex: the index in the system image list
  uint32_t attributes = 0;   // kAttributes: sfgao:: bits
  std::string display_name;  // kDisplayName: the name; kIconLocation: the icon's file
  std::string type_name;     // kTypeName
};

// SHGetFileInfo for one question (flags as the shell takes them; kExeType is not answered).
// 0 when `path` is missing or cannot be reached, or when an icon is asked for and no theme has
// one; for kSysIconIndex the image list handle; otherwise 1.
uint64_t GetShellFileInfo(const std::string& path, uint32_t flags, ShellFileInfo* info);

// The default icon of the given size: the theme's "text-x-generic", else "unknown"; "" when
// no theme has either.
std::string DefaultIconFile(int pixels);

// The default icon of the given size as a picture object: on Windows shell32.dll's document
// icon (resource 1), or an empty picture (no handle, type 0) when it cannot be loaded; none
// on Linux, where the default icon is DefaultIconFile's.
#ifdef _WIN32
IconPicture DefaultIconPicture(int pixels);
#else
inline IconPicture DefaultIconPicture(int) { return {}; }
#endif

// The MIME type of `path` as described above; "" when the file cannot be reached.
std::string MimeTypeOf(const std::string& path);

// Reads up to `size` bytes at `offset` of the regular file `path` into *bytes (fewer at its
// end). A folder or special file gives kAccessDenied and is never opened for reading.
uint32_t ReadFileAt(const std::string& path, uint64_t offset, size_t size, std::string* bytes);

}  // namespace platform
