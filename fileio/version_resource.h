// Queries on a version block (the VS_VERSIONINFO tree of a version resource), answered as
// VerQueryValue answers them, and the block of the library's own version.
//
// A node is: wLength (bytes of the node with its children), wValueLength, wType (1 text, 0
// binary), the key (UTF-16, zero-terminated), padding to 4 bytes, the value, padding to 4
// bytes, then the children up to wLength. A text value's wValueLength counts UTF-16 units, a
// binary one's bytes. All offsets count from the start of the block, which is where the
// resource starts (4-byte aligned in every file).
//
// Every read is checked against the block and its node: the root is cut to the block when its
// wLength runs past it (a truncated resource still answers for what it holds), a child whose
// wLength is 0 or runs past its parent's end ends the walk of that parent, and the walk goes
// only forwards, so no block makes a query read outside it or loop.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace quern {

struct VersionResource;

// A value found by a query: its bytes inside the block, and whether it is text.
struct VersionValue {
  std::span<const uint8_t> bytes;
  bool text = false;
};

// VerQueryValue(block, sub_block): "\" is the root's value (VS_FIXEDFILEINFO),
// "\VarFileInfo\Translation" the translation list, "\StringFileInfo\040904B0\CompanyName" a
// string. Keys compare without regard to ASCII letter case; empty parts of the path are
// skipped ("\\a\" is "\a"); of two children with the same key the first answers. Nothing when
// a part is not found or the value does not lie wholly in its node.
//
// A text value's bytes run from its start for wValueLength units, cut at the node's end (some
// writers count bytes there instead of units: the cut keeps those readable too).
std::optional<VersionValue> QueryVersionValue(std::span<const uint8_t> block,
                                              std::u16string_view sub_block);

// The text of a value up to its first NUL (a binary value is read as UTF-16 too).
std::u16string VersionValueText(const VersionValue& value);

// VS_FIXEDFILEINFO: 13 little-endian 32-bit fields.
struct FixedFileInfo {
  uint32_t signature = 0;  // 0xFEEF04BD
  uint32_t struc_version = 0;
  uint32_t file_version_ms = 0, file_version_ls = 0;
  uint32_t product_version_ms = 0, product_version_ls = 0;
  uint32_t flags_mask = 0, flags = 0;
  uint32_t os = 0, type = 0, subtype = 0;
  uint32_t date_ms = 0, date_ls = 0;
};
inline constexpr size_t kFixedFileInfoSize = 52;

// The root value when it is exactly 52 bytes long; nothing otherwise.
std::optional<FixedFileInfo> ReadFixedFileInfo(std::span<const uint8_t> block);

struct Translation {
  uint16_t language = 0;
  uint16_t code_page = 0;
  bool operator==(const Translation&) const = default;
};

// The entries of "\VarFileInfo\Translation" (whole 4-byte entries only); empty when missing.
std::vector<Translation> ReadTranslations(std::span<const uint8_t> block);

// Every string table under "\StringFileInfo", in file order: its key ("040904B0") and its
// strings (name, text up to the first NUL).
struct StringTable {
  std::u16string key;
  std::vector<std::pair<std::u16string, std::u16string>> strings;
};
std::vector<StringTable> ReadStringTables(std::span<const uint8_t> block);

// The version block of `version` as a resource compiler writes it: VS_VERSION_INFO with its
// fixed info, one string table and one translation (what the library file answers with).
std::vector<uint8_t> BuildVersionBlock(const VersionResource& version);

}  // namespace quern
