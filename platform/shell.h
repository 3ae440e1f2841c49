// What the shell knows about a file (SHGetFileInfo): the query flags, the attribute bits and
// the record, which both systems share, and what only the system can answer. On Windows that
// is the shell itself. On Linux the answers come from the freedesktop.org databases, which the
// library reads itself (fileio/shell_query.h says how); this layer gives it only what needs
// the system: how an entry looks (LookForShell), the places and settings of the environment
// (GetDesktopSettings) and the shell-pattern match of the MIME globs (MatchesGlob).
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

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

#ifdef _WIN32
// SHGetFileInfoW for one question (flags as the shell takes them). 0 when `path` is missing or
// cannot be reached; for kSysIconIndex the image list handle; otherwise what the shell gives.
uint64_t GetShellFileInfo(const std::string& path, uint32_t flags, ShellFileInfo* info);

// The default icon's file: shell32.dll in the system folder, whatever the size.
std::string DefaultIconFile(int pixels);

// shell32.dll's document icon (resource 1) at `pixels` as a picture object, or an empty
// picture (no handle, type 0) when it cannot be loaded.
IconPicture DefaultIconPicture(int pixels);
#else
// Linux has no picture objects: an icon is a file of the icon theme, named in the record.
inline IconPicture DefaultIconPicture(int) { return {}; }

// How an entry looks to the shell. The link at `path` is followed; a dangling one is described
// as itself.
struct ShellEntry {
  enum class Kind { kFile, kFolder, kFifo, kSocket, kCharDevice, kBlockDevice, kOther };
  bool exists = false;    // false: missing or unreachable (and nothing below is set)
  bool is_link = false;   // `path` itself is a symbolic link
  bool dangling = false;  // ... whose target is missing
  Kind kind = Kind::kOther;
  uint64_t size = 0;        // bytes of a regular file
  bool executable = false;  // a regular file with an execute bit
  // Only when asked for (with_attributes): the sfgao:: bits of platform/shell.h's rules.
  uint32_t attributes = 0;
};

// Looks at `path` (an lstat and a stat). With `with_attributes` also the item attributes:
// kFileSystem and kCanLink always; kLink, kHidden (a name beginning with "."), kReadOnly
// (no owner write bit), kStream (a regular file); kCanCopy when the caller may read it (a
// folder: read and enter); kCanMove, kCanRename and kCanDelete when the caller may write its
// folder; kFolder and kFileSysAncestor for a folder, and kHasSubfolder when it holds a folder
// or a link to one.
ShellEntry LookForShell(const std::string& path, bool with_attributes);

// The places and settings of the desktop databases, read from the environment at each call.
struct DesktopSettings {
  // $XDG_DATA_HOME (else ~/.local/share), then each absolute folder of $XDG_DATA_DIRS (else
  // /usr/local/share and /usr/share), without trailing separators: the user's first.
  std::vector<std::string> data_folders;
  std::string home;             // the home folder; "" when there is none
  std::string icon_theme;       // $ORVANEL_ICON_THEME; "" when not set
  std::string messages_locale;  // the first set of LC_ALL, LC_MESSAGES, LANG; "" when none
};
DesktopSettings GetDesktopSettings();

// True when `name` matches the shell pattern `pattern` (fnmatch without flags: `*`, `?`,
// bracket expressions and `\` escapes; `*` also matches "/" and a leading "."), letter case
// ignored (in the locale's charset) unless `case_sensitive`.
bool MatchesGlob(const std::string& pattern, const std::string& name, bool case_sensitive);
#endif

}  // namespace platform
