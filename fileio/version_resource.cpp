#include "fileio/version_resource.h"

#include <algorithm>

#include "fileio/quern0102.h"
#include "support/ov_unicode.h"

namespace quern {
namespace {

constexpr size_t kNodeHeaderSize = 6;
constexpr uint16_t kTextType = 1;

size_t AlignUp4(size_t offset) { return (offset + 3) & ~size_t{3}; }

uint16_t Word(std::span<const uint8_t> block, size_t at) {
  return static_cast<uint16_t>(block[at] | block[at + 1] << 8);
}
uint32_t Dword(std::span<const uint8_t> block, size_t at) {
  return static_cast<uint32_t>(Word(block, at)) | static_cast<uint32_t>(Word(block, at + 2)) << 16;
}

// One node of the tree, with every offset already checked to lie in [start, end].
struct Node {
  size_t start = 0;
  size_t end = 0;  // start + wLength
  uint16_t value_length = 0;
  uint16_t type = 0;
  std::u16string_view::size_type key_units = 0;
  size_t key_start = 0;
  size_t value_start = 0;
  size_t children_start = 0;
};

// The node at `start`; its end may not pass `limit` (a root that does is cut to it when
// `cut_to_limit`). Nothing for a node whose header or key does not fit, or whose wLength is
// shorter than its header (0 included).
std::optional<Node> ParseNode(std::span<const uint8_t> block, size_t start, size_t limit,
                              bool cut_to_limit) {
  if (start > limit || limit - start < kNodeHeaderSize) return std::nullopt;
  Node node;
  node.start = start;
  const size_t length = Word(block, start);
  if (length < kNodeHeaderSize) return std::nullopt;
  if (length > limit - start) {
    if (!cut_to_limit) return std::nullopt;
    node.end = limit;
  } else {
    node.end = start + length;
  }
  node.value_length = Word(block, start + 2);
  node.type = Word(block, start + 4);
  node.key_start = start + kNodeHeaderSize;
  size_t at = node.key_start;
  while (true) {
    if (node.end - at < 2) return std::nullopt;  // a key without its NUL
    if (Word(block, at) == 0) break;
    at += 2;
  }
  node.key_units = (at - node.key_start) / 2;
  node.value_start = std::min(AlignUp4(at + 2), node.end);
  const size_t value_size = size_t{node.value_length} * (node.type == kTextType ? 2 : 1);
  node.children_start = std::min(AlignUp4(node.value_start + value_size), node.end);
  return node;
}

bool KeyEquals(std::span<const uint8_t> block, const Node& node, std::u16string_view key) {
  if (node.key_units != key.size()) return false;
  auto fold = [](char16_t c) -> char16_t { return c >= u'a' && c <= u'z' ? c - 32 : c; };
  for (size_t i = 0; i < key.size(); ++i) {
    if (fold(Word(block, node.key_start + 2 * i)) != fold(key[i])) return false;
  }
  return true;
}

std::u16string KeyOf(std::span<const uint8_t> block, const Node& node) {
  std::u16string key(node.key_units, u'\0');
  for (size_t i = 0; i < key.size(); ++i) key[i] = Word(block, node.key_start + 2 * i);
  return key;
}

// Calls visit(child) for each child of `parent` in order until it returns false. A child that
// does not parse ends the walk of this parent; each step moves forwards by at least a header.
template <class Visit>
void ForEachChild(std::span<const uint8_t> block, const Node& parent, Visit visit) {
  size_t at = parent.children_start;
  while (at < parent.end && parent.end - at >= kNodeHeaderSize) {
    auto child = ParseNode(block, at, parent.end, false);
    if (!child || !visit(*child)) return;
    at = AlignUp4(child->end);
  }
}

std::optional<Node> FindChild(std::span<const uint8_t> block, const Node& parent,
                              std::u16string_view key) {
  std::optional<Node> found;
  ForEachChild(block, parent, [&](const Node& child) {
    if (KeyEquals(block, child, key)) found = child;
    return !found;
  });
  return found;
}

std::optional<Node> ParseRoot(std::span<const uint8_t> block) {
  return ParseNode(block, 0, block.size(), true);
}

std::optional<VersionValue> ValueOf(std::span<const uint8_t> block, const Node& node) {
  VersionValue value;
  value.text = node.type == kTextType;
  size_t size = node.value_length;
  if (value.text) {
    size = std::min(size * 2, node.end - node.value_start);
  } else if (size > node.end - node.value_start) {
    return std::nullopt;
  }
  value.bytes = block.subspan(node.value_start, size);
  return value;
}

}  // namespace

std::optional<VersionValue> QueryVersionValue(std::span<const uint8_t> block,
                                              std::u16string_view sub_block) {
  auto node = ParseRoot(block);
  while (node) {
    const size_t part_start = sub_block.find_first_not_of(u'\\');
    if (part_start == std::u16string_view::npos) return ValueOf(block, *node);
    sub_block.remove_prefix(part_start);
    const size_t part_end = std::min(sub_block.find(u'\\'), sub_block.size());
    node = FindChild(block, *node, sub_block.substr(0, part_end));
    sub_block.remove_prefix(part_end);
  }
  return std::nullopt;
}

std::u16string VersionValueText(const VersionValue& value) {
  std::u16string text;
  for (size_t at = 0; at + 1 < value.bytes.size(); at += 2) {
    const char16_t unit = Word(value.bytes, at);
    if (unit == 0) break;
    text.push_back(unit);
  }
  return text;
}

std::optional<FixedFileInfo> ReadFixedFileInfo(std::span<const uint8_t> block) {
  auto value = QueryVersionValue(block, u"\\");
  if (!value || value->bytes.size() != kFixedFileInfoSize) return std::nullopt;
  const auto bytes = value->bytes;
  FixedFileInfo info;
  uint32_t* fields[] = {&info.signature,
                        &info.struc_version,
                        &info.file_version_ms,
                        &info.file_version_ls,
                        &info.product_version_ms,
                        &info.product_version_ls,
                        &info.flags_mask,
                        &info.flags,
                        &info.os,
                        &info.type,
                        &info.subtype,
                        &info.date_ms,
                        &info.date_ls};
  for (size_t i = 0; i < std::size(fields); ++i) *fields[i] = Dword(bytes, 4 * i);
  return info;
}

std::vector<Translation> ReadTranslations(std::span<const uint8_t> block) {
  std::vector<Translation> list;
  auto value = QueryVersionValue(block, u"\\VarFileInfo\\Translation");
  if (!value) return list;
  for (size_t at = 0; at + 4 <= value->bytes.size(); at += 4) {
    list.push_back({Word(value->bytes, at), Word(value->bytes, at + 2)});
  }
  return list;
}

std::vector<StringTable> ReadStringTables(std::span<const uint8_t> block) {
  std::vector<StringTable> tables;
  auto root = ParseRoot(block);
  if (!root) return tables;
  ForEachChild(block, *root, [&](const Node& info) {
    if (!KeyEquals(block, info, u"StringFileInfo")) return true;
    ForEachChild(block, info, [&](const Node& table) {
      StringTable& entry = tables.emplace_back();
      entry.key = KeyOf(block, table);
      ForEachChild(block, table, [&](const Node& string) {
        auto value = ValueOf(block, string);
        entry.strings.emplace_back(KeyOf(block, string),
                                   value ? VersionValueText(*value) : std::u16string());
        return true;
      });
      return true;
    });
    return true;
  });
  return tables;
}

namespace {

// Writes a node as a resource compiler does: header, key, padding, value, children (each
// starting on a 4-byte boundary); wLength covers the node without the padding after it.
class BlockWriter {
 public:
  size_t Begin(std::u16string_view key, uint16_t type) {
    Pad();
    const size_t start = out_.size();
    Put16(0);
    Put16(0);
    Put16(type);
    for (char16_t unit : key) Put16(unit);
    Put16(0);
    Pad();
    return start;
  }
  void Value(size_t start, std::span<const uint8_t> bytes, uint16_t value_length) {
    out_.insert(out_.end(), bytes.begin(), bytes.end());
    Set16(start + 2, value_length);
  }
  void TextValue(size_t start, std::u16string_view text) {
    for (char16_t unit : text) Put16(unit);
    Put16(0);
    Set16(start + 2, static_cast<uint16_t>(text.size() + 1));
  }
  void End(size_t start) { Set16(start, static_cast<uint16_t>(out_.size() - start)); }
  std::vector<uint8_t> Take() { return std::move(out_); }

 private:
  void Put16(uint16_t value) {
    out_.push_back(static_cast<uint8_t>(value));
    out_.push_back(static_cast<uint8_t>(value >> 8));
  }
  void Set16(size_t at, uint16_t value) {
    out_[at] = static_cast<uint8_t>(value);
    out_[at + 1] = static_cast<uint8_t>(value >> 8);
  }
  void Pad() {
    while (out_.size() % 4 != 0) out_.push_back(0);
  }
  std::vector<uint8_t> out_;
};

std::u16string Hex4(uint16_t value) {
  static constexpr char16_t kDigits[] = u"0123456789ABCDEF";
  std::u16string text(4, u'0');
  for (int i = 3; i >= 0; --i, value >>= 4) text[i] = kDigits[value & 0xF];
  return text;
}

}  // namespace

std::vector<uint8_t> BuildVersionBlock(const VersionResource& version) {
  auto join = [](const uint16_t parts[4], int high) {
    return static_cast<uint32_t>(parts[high]) << 16 | parts[high + 1];
  };
  // The library is a 32-bit-style Windows NT DLL: mask of every flag, none set, no date.
  const uint32_t fixed[13] = {0xFEEF04BD,
                              0x00010000,
                              join(version.file_version, 0),
                              join(version.file_version, 2),
                              join(version.product_version, 0),
                              join(version.product_version, 2),
                              0x3F,
                              0,
                              0x40004,
                              2,
                              0,
                              0,
                              0};
  std::vector<uint8_t> fixed_bytes;
  for (uint32_t field : fixed) {
    for (int shift = 0; shift < 32; shift += 8) fixed_bytes.push_back(uint8_t(field >> shift));
  }

  BlockWriter writer;
  const size_t root = writer.Begin(u"VS_VERSION_INFO", 0);
  writer.Value(root, fixed_bytes, kFixedFileInfoSize);
  const size_t string_info = writer.Begin(u"StringFileInfo", 1);
  const size_t table = writer.Begin(Hex4(version.language) + Hex4(version.code_page), 1);
  for (const auto& [name, value] : version.strings) {
    const size_t string = writer.Begin(support::Utf16FromUtf8(name), 1);
    writer.TextValue(string, support::Utf16FromUtf8(value));
    writer.End(string);
  }
  writer.End(table);
  writer.End(string_info);
  const size_t var_info = writer.Begin(u"VarFileInfo", 1);
  const size_t translation = writer.Begin(u"Translation", 0);
  const uint8_t pair[4] = {uint8_t(version.language), uint8_t(version.language >> 8),
                           uint8_t(version.code_page), uint8_t(version.code_page >> 8)};
  writer.Value(translation, pair, 4);
  writer.End(translation);
  writer.End(var_info);
  writer.End(root);
  return writer.Take();
}

}  // namespace quern
