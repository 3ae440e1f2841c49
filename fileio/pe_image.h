// The version resource of a Windows executable (PE32 or PE32+), found by reading the file's own
// headers and resource directory: what GetFileVersionInfo loads on Windows.
//
// The walk trusts nothing in the file. Every offset and size is checked against the file's
// length before it is read; the resource directory is walked to a fixed depth of three, each
// directory's entry count is cut to the entries that the file can hold, and a directory is
// never entered twice, so a malformed or hostile file can neither make the reader look outside
// it nor keep it walking.
//
// Which resource is taken: the version resource with id 1 (VS_VERSION_INFO) when there is one,
// else the first one of type RT_VERSION; of it, the first language listed. Windows asks for id
// 1 in the language its resource loader prefers; files carry one version resource in one
// language, so the first is that one.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <vector>

namespace quern {

// Reads `size` bytes at `offset` of a file into *out (replaced); false when the file does not
// hold them all (or cannot be read).
using ReadFileBytes = std::function<bool(uint64_t offset, size_t size, std::vector<uint8_t>* out)>;

// A VS_VERSIONINFO block counts its length in 16 bits: a resource is never longer than this.
inline constexpr size_t kMaxVersionBlock = 0xFFFF;

// The version block of the PE image in `file`: the resource's bytes, cut to the length its
// root node gives (VS_VERSIONINFO.wLength) when that is shorter. Nothing when `file` is not a
// PE image, has no version resource, or the resource lies (partly) outside the file or is
// shorter than one node header (6 bytes).
std::optional<std::vector<uint8_t>> FindVersionResource(std::span<const uint8_t> file);

// The same walk over a file of `file_size` bytes read piece by piece through `read` (headers,
// section table, directory entries and the resource itself: a few small reads, whatever the
// size of the file).
std::optional<std::vector<uint8_t>> FindVersionResource(uint64_t file_size,
                                                        const ReadFileBytes& read);

}  // namespace quern
