// The shell's answer about one file (SHGetFileInfo) as orvShellFileInfo and the pictures ask
// it. On Windows it is the shell's own (platform/shell.h). On Linux it is answered here from
// the freedesktop.org databases (fileio/mime_database.h, fileio/icon_theme.h): the MIME type
// from shared-mime-info (name globs with weights, then content magic), its description in the
// user's language, and icons as files of an icon theme. The executable type is not answered
// here: the caller reads the headers itself (ReadFileHead).
//
// The decisions on Linux (the classes above rely on them):
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
// - Icons: fileio/icon_theme.h. A type's icon names are tried in order: the database's own
//   icon for the type, the type with "/" made "-" ("text-plain"), its generic icon
//   ("text-x-generic"), then "<media>-x-generic"; for a folder "folder" ("folder-open" first
//   for the open icon); for an executable file also "application-x-executable".
// - Sizes: large 32 pixels, small 16, the shell size 48 (the size file managers show).
// - The "system image list" is a list of icon names met so far in this process: an icon's
//   index there never changes, and the large and small lists share the indexes, as Windows'
//   do. Its handles are the constants kLargeImageList and kSmallImageList.
// - Overlays: a link's icon asked with kLinkOverlay also names the theme's
//   "emblem-symbolic-link" as its overlay; a file that is no link has none. The selected state
//   draws the same icon (the highlight is the viewer's business).
// - Attributes (sfgao::): those of platform::LookForShell.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/shell.h"

namespace quern {

// SHGetFileInfo for one question (flags as the shell takes them; kExeType is not answered).
// 0 when `path` is missing or cannot be reached, or when an icon is asked for and no theme has
// one; for kSysIconIndex the image list handle; otherwise 1 (Windows: what the shell gives).
uint64_t QueryShellFileInfo(const std::string& path, uint32_t flags, platform::ShellFileInfo* info);

// The default icon's file of the given size: the theme's "text-x-generic", else "unknown"; ""
// when no theme has either (Windows: shell32.dll).
std::string DefaultIconFile(int pixels);

// The MIME type of `path` as described above; "" when the file cannot be reached (and always
// on Windows, whose shell speaks of no MIME types).
std::string MimeTypeOf(const std::string& path);

// Up to `size` bytes at `offset` of the regular file `path` (fewer at its end); false when it
// cannot be read. A folder or special file is refused and never opened for reading, so a FIFO
// never keeps the caller waiting.
bool ReadFileHead(const std::string& path, uint64_t offset, size_t size, std::string* bytes);

}  // namespace quern
