// FindFirstFile / FindNextFile for the file search of the library (orvFoundedFiles), with the
// two questions the search also asks the platform: is a path a volume root (PathIsRoot), and
// how many bytes does an entry occupy (GetCompressedFileSize).
//
// On Linux:
// - A pattern is a path whose last part is either a name (the entry of that name alone) or a
//   wildcard mask with `*`, `?` or `;` (PathMatchSpec rules: letter case ignored, "*.*" is
//   every name). Trailing separators are ignored, as by every by-path function of platform.h.
// - Entries come in the order the system lists the folder, "." and ".." included when they
//   match. No 8.3 names exist.
// - A volume root is "/" or a folder that is the root of a mount of its own.
// - A pattern of PATH_MAX bytes or more is refused with kFilenameTooLong (kLongestFindPattern),
//   as the ANSI find functions refuse one longer than MAX_PATH: a search never goes deeper than
//   the path limit.
// - A search may leave the look at plain files (one statx each, most of its time) for later
//   (FindOptions::defer_looks) and run it on other threads with LookAtEntries, the one function
//   here made to run on any thread; platform/stat_pool.h runs it. What the caller shows of a
//   search stays on its own thread: it waits for the looks first.
#pragma once

#include <climits>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/platform.h"

namespace platform {

// What finishing the deferred looks of one find needs (on POSIX the listed folder, held open,
// and whether its entries carry real NTFS attributes). Each backend defines it; above the
// backend it is only handed on, from FindResult to DeferredLooks.
struct LookSource;

// The folder a find lists and everything it found, in order.
struct FindResult {
  FolderId folder;  // the listed folder (the parent of a plain name)
  std::vector<FindRecord> entries;
  // With deferred looks: what LookAtEntries needs to finish them (it holds the listed folder
  // open while any batch keeps it); null when no look was deferred.
  std::shared_ptr<const LookSource> deferred;
};

struct FindOptions {
  // Leave the look at plain files (the listing says they are neither folders nor links) to
  // LookAtEntries, so that it can run elsewhere while the search goes on. Folders, links and
  // entries whose type the listing does not give are still looked at by FindEntries, since the
  // search must know at once whether to enter them.
  bool defer_looks = false;
  // The folder the caller listed as the pattern's folder (FindRecord::target of its entry);
  // empty for none. A folder found there that is another one (the entry was replaced by a link
  // or moved since it was listed) is not listed: kPathNotFound. A search entering the folders it
  // has listed so never ends up where a swap points it, whether or not it follows links.
  FolderId expected_folder;
};

// The longest pattern FindEntries takes, in bytes: on Linux one under PATH_MAX; on Windows,
// where paths reach the system in their long form, any.
#if defined(_WIN32)
inline constexpr size_t kLongestFindPattern = SIZE_MAX;
#else
inline constexpr size_t kLongestFindPattern = PATH_MAX - 1;
#endif

// Whether the last part of a pattern is a wildcard mask (`*`, `?` or `;`) rather than one name.
inline bool IsFindMask(std::string_view name) {
  return name.find_first_of("*?;") != std::string_view::npos;
}

// FindFirstFile and FindNextFile to the end, in a folder already open: `mask` is the last part
// of the pattern, a wildcard mask (the matching names of `folder`) or a plain name (that entry
// alone). kFileNotFound when nothing matches (an empty result never comes back as success);
// other Windows codes for what the system refuses. "." and ".." are returned as folders
// without times (they are reported only to be skipped, as FindFirstFile reports them). The
// result's folder is `folder`'s identity; with deferred looks the result holds the folder
// (FindResult::deferred) until the looks are done. The by-path form, which opens the folder
// above a pattern once and checks FindOptions::expected_folder, is FindEntries(files, ...)
// of platform/file_system.h; FileSystem::FindInFolder is this call.
uint32_t FindInFolder(Folder folder, std::string_view mask, FindResult* result, bool defer_looks);

// PathIsRoot, a test of the text: true for "/" only (a mount point is an entry of its parent
// folder, never a root).
bool IsVolumeRoot(const std::string& path);

// GetFileAttributes of a volume root as Windows reports it for "C:\": a folder, never a
// reparse point, with the real attributes on an ntfs-3g volume.
uint32_t GetVolumeRootAttributes(const std::string& root, uint32_t* attributes, FolderId* folder);

// The record (attributes, times, sizes and target) of the entry `name` of an open folder: the
// one description of an entry that FindEntries gives (one statx; a second only for a link).
// "." and ".." are described as what they are (folders), never as mount points.
uint32_t DescribeFoundEntry(const Folder& folder, std::string_view name, FindRecord* entry);

// Entries of one open folder whose looks were deferred (FindOptions::defer_looks). `store` is
// called once per entry that could be looked at, with the entry's `destination`; an entry that
// vanished, or is no longer a plain file, since it was listed is left as the listing described
// it (store is not called).
struct DeferredLooks {
  struct Look {
    const char* name;   // must stay valid until the looks are done
    void* destination;  // handed to store as it is
  };
  std::shared_ptr<const LookSource> source;  // FindResult::deferred of the find
  // `looked` is the entry's record as FindEntries would have made it (its name left empty).
  void (*store)(void* destination, const FindRecord& looked) = nullptr;
  std::vector<Look> looks;
};

// Looks at every entry of `batch` (one statx each). Safe to call from any thread: it touches
// nothing but the listed folder and what `store` writes.
void LookAtEntries(const DeferredLooks& batch);

// FileTimeToLocalFileTime + FileTimeToSystemTime: the local calendar time of a FILETIME, with
// the offset from UTC that held at that moment. (Windows applies today's daylight-saving offset
// to every date, which puts the times of the other half of the year an hour off; this does
// not.) False when the result is outside what a SYSTEMTIME holds (before 1601 or after 30827).
bool FileTimeToLocalTime(FileTime time, SystemTime* local);

}  // namespace platform
