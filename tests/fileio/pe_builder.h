// Synthetic Windows executables for the version tests (and seeds for the fuzzers): a version
// block built node by node, every length overridable so that broken blocks can be made, and a
// small PE32 or PE32+ image carrying it in its resource section. Written from the file formats,
// independently of the library's reader.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace quern::testing {

inline void Put16(std::vector<uint8_t>& out, uint16_t value) {
  out.push_back(static_cast<uint8_t>(value));
  out.push_back(static_cast<uint8_t>(value >> 8));
}
inline void Put32(std::vector<uint8_t>& out, uint32_t value) {
  Put16(out, static_cast<uint16_t>(value));
  Put16(out, static_cast<uint16_t>(value >> 16));
}
inline void Set16(std::vector<uint8_t>& out, size_t at, uint16_t value) {
  out[at] = static_cast<uint8_t>(value);
  out[at + 1] = static_cast<uint8_t>(value >> 8);
}
inline void Set32(std::vector<uint8_t>& out, size_t at, uint32_t value) {
  Set16(out, at, static_cast<uint16_t>(value));
  Set16(out, at + 2, static_cast<uint16_t>(value >> 16));
}
inline void PadTo(std::vector<uint8_t>& out, size_t alignment) {
  while (out.size() % alignment != 0) out.push_back(0);
}

// One node of a VS_VERSIONINFO tree.
struct VersionNode {
  std::u16string key;
  uint16_t type = 1;               // 1 text, 0 binary
  std::vector<uint8_t> value;      // written as is
  uint16_t value_length = 0;       // wValueLength as written
  std::optional<uint16_t> length;  // wLength instead of the real one
  std::vector<VersionNode> children;
};

inline VersionNode TextNode(std::u16string key, const std::u16string& text) {
  VersionNode node{std::move(key), 1, {}, static_cast<uint16_t>(text.size() + 1), {}, {}};
  for (char16_t unit : text) Put16(node.value, unit);
  Put16(node.value, 0);
  return node;
}

inline VersionNode BinaryNode(std::u16string key, std::vector<uint8_t> value) {
  const auto size = static_cast<uint16_t>(value.size());
  return {std::move(key), 0, std::move(value), size, {}, {}};
}

inline void WriteNode(const VersionNode& node, std::vector<uint8_t>& out) {
  PadTo(out, 4);
  const size_t start = out.size();
  Put16(out, 0);
  Put16(out, node.value_length);
  Put16(out, node.type);
  for (char16_t unit : node.key) Put16(out, unit);
  Put16(out, 0);
  PadTo(out, 4);
  out.insert(out.end(), node.value.begin(), node.value.end());
  for (const VersionNode& child : node.children) WriteNode(child, out);
  Set16(out, start, node.length ? *node.length : static_cast<uint16_t>(out.size() - start));
}

inline std::vector<uint8_t> WriteBlock(const VersionNode& root) {
  std::vector<uint8_t> out;
  WriteNode(root, out);
  return out;
}

// The usual contents of a version resource.
struct VersionSpec {
  uint16_t file_version[4] = {1, 0, 0, 0};
  uint16_t product_version[4] = {1, 0, 0, 0};
  uint32_t flags_mask = 0x3F, flags = 0;
  uint32_t os = 0x40004, type = 1, subtype = 0;
  uint32_t date_ms = 0, date_ls = 0;
  std::vector<std::pair<uint16_t, uint16_t>> translations = {{0x0409, 1200}};
  // key ("040904B0") -> strings (name, text)
  std::vector<std::pair<std::u16string, std::vector<std::pair<std::u16string, std::u16string>>>>
      tables = {{u"040904B0", {{u"CompanyName", u"Test Company"}}}};
};

inline std::vector<uint8_t> FixedInfoBytes(const VersionSpec& spec) {
  std::vector<uint8_t> out;
  auto join = [](const uint16_t parts[4], int at) {
    return static_cast<uint32_t>(parts[at]) << 16 | parts[at + 1];
  };
  for (uint32_t field :
       {0xFEEF04BDu, 0x00010000u, join(spec.file_version, 0), join(spec.file_version, 2),
        join(spec.product_version, 0), join(spec.product_version, 2), spec.flags_mask, spec.flags,
        spec.os, spec.type, spec.subtype, spec.date_ms, spec.date_ls}) {
    Put32(out, field);
  }
  return out;
}

inline VersionNode VersionTree(const VersionSpec& spec) {
  VersionNode root = BinaryNode(u"VS_VERSION_INFO", FixedInfoBytes(spec));
  VersionNode strings{u"StringFileInfo", 1, {}, 0, {}, {}};
  for (const auto& [key, entries] : spec.tables) {
    VersionNode table{key, 1, {}, 0, {}, {}};
    for (const auto& [name, text] : entries) table.children.push_back(TextNode(name, text));
    strings.children.push_back(std::move(table));
  }
  root.children.push_back(std::move(strings));
  if (!spec.translations.empty()) {
    std::vector<uint8_t> list;
    for (auto [language, code_page] : spec.translations) {
      Put16(list, language);
      Put16(list, code_page);
    }
    VersionNode vars{u"VarFileInfo", 1, {}, 0, {}, {}};
    vars.children.push_back(BinaryNode(u"Translation", std::move(list)));
    root.children.push_back(std::move(vars));
  }
  return root;
}

inline std::vector<uint8_t> VersionBlock(const VersionSpec& spec) {
  return WriteBlock(VersionTree(spec));
}

// A PE image with a code section and a resource section holding one RT_VERSION resource
// (id 1, language 0x0409), and where its parts lie, so that tests can break them.
struct PeOptions {
  bool pe32_plus = false;
  std::optional<std::vector<uint8_t>> version_block;  // none: a resource section without one
  uint32_t code_size = 0x200;                         // raw bytes of the code section
  bool icon_type_first = false;                       // an RT_ICON type entry before RT_VERSION
  // Versions in other languages, listed before 0x0409 in the language directory, each with a
  // block of its own.
  std::vector<std::pair<uint16_t, std::vector<uint8_t>>> other_languages;
};

struct BuiltPe {
  std::vector<uint8_t> bytes;
  size_t pe_offset = 0;         // "PE\0\0"
  size_t optional_offset = 0;   // the optional header
  size_t sections_offset = 0;   // the section table (.text, .rsrc)
  size_t resources_offset = 0;  // the resource directory (file offset)
  uint32_t resources_rva = 0;
  size_t data_entry_offset = 0;  // IMAGE_RESOURCE_DATA_ENTRY of the version resource
  size_t data_offset = 0;        // the version block
};

inline BuiltPe BuildPe(const PeOptions& options) {
  constexpr uint32_t kFileAlignment = 0x200, kSectionAlignment = 0x1000;
  BuiltPe pe;
  std::vector<uint8_t>& out = pe.bytes;
  out.resize(0x40);
  out[0] = 'M';
  out[1] = 'Z';
  Set32(out, 0x3C, 0x40);
  pe.pe_offset = out.size();
  Put32(out, 0x4550);
  Put16(out, options.pe32_plus ? 0x8664 : 0x14C);  // machine
  Put16(out, 2);                                   // sections
  Put32(out, 0);                                   // time stamp
  Put32(out, 0);
  Put32(out, 0);
  const uint16_t optional_size = options.pe32_plus ? 240 : 224;
  Put16(out, optional_size);
  Put16(out, options.pe32_plus ? 0x2022 : 0x2102);  // DLL, executable
  pe.optional_offset = out.size();
  out.resize(out.size() + optional_size);
  const size_t o = pe.optional_offset;
  Set16(out, o, options.pe32_plus ? 0x20B : 0x10B);
  Set32(out, o + 32, kSectionAlignment);
  Set32(out, o + 36, kFileAlignment);
  const size_t directories = o + (options.pe32_plus ? 112 : 96);
  Set32(out, directories - 4, 16);
  pe.sections_offset = out.size();
  out.resize(out.size() + 2 * 40);
  PadTo(out, kFileAlignment);
  Set32(out, o + 60, static_cast<uint32_t>(out.size()));  // size of headers

  // .text
  const size_t text_offset = out.size();
  const uint32_t text_raw =
      (options.code_size + kFileAlignment - 1) / kFileAlignment * kFileAlignment;
  out.resize(out.size() + text_raw, 0xCC);
  const uint32_t text_rva = kSectionAlignment;
  const uint32_t rsrc_rva =
      text_rva + (text_raw + kSectionAlignment - 1) / kSectionAlignment * kSectionAlignment;

  // .rsrc: type directory -> name directory -> language directory -> data entry -> data.
  pe.resources_offset = out.size();
  pe.resources_rva = rsrc_rva;
  std::vector<uint8_t> r;
  auto directory = [&r](uint16_t ids) {
    Put32(r, 0);
    Put32(r, 0);
    Put32(r, 0);
    Put16(r, 0);
    Put16(r, ids);
  };
  const bool icon = options.icon_type_first;
  const uint32_t names_at = icon ? 0x20 : 0x18;
  directory(icon ? 2 : 1);
  if (icon) {
    Put32(r, 3);
    Put32(r, 0x80000000u | names_at);
  }
  Put32(r, 16);
  Put32(r, 0x80000000u | names_at);
  const uint32_t languages_at = names_at + 0x18;
  directory(1);
  Put32(r, 1);
  Put32(r, 0x80000000u | languages_at);
  const size_t others = options.other_languages.size();
  const uint32_t entry_at = languages_at + 0x10 + 8 * static_cast<uint32_t>(others + 1);
  directory(static_cast<uint16_t>(others + 1));
  for (size_t i = 0; i < others; ++i) {
    Put32(r, options.other_languages[i].first);
    Put32(r, entry_at + 16 * static_cast<uint32_t>(i + 1));
  }
  Put32(r, 0x0409);
  Put32(r, entry_at);
  const uint32_t data_at = entry_at + 16 * static_cast<uint32_t>(others + 1);
  const std::vector<uint8_t> block = options.version_block.value_or(std::vector<uint8_t>{});
  Put32(r, rsrc_rva + data_at);
  Put32(r, static_cast<uint32_t>(block.size()));
  Put32(r, 0);
  Put32(r, 0);
  uint32_t other_at = data_at + static_cast<uint32_t>(block.size());
  for (const auto& [language, other] : options.other_languages) {
    Put32(r, rsrc_rva + other_at);
    Put32(r, static_cast<uint32_t>(other.size()));
    Put32(r, 0);
    Put32(r, 0);
    other_at += static_cast<uint32_t>(other.size());
  }
  r.insert(r.end(), block.begin(), block.end());
  for (const auto& other : options.other_languages) {
    r.insert(r.end(), other.second.begin(), other.second.end());
  }
  if (!options.version_block) {
    Set32(r, icon ? 0x18 : 0x10, 11);  // the resource is a message table instead
  }
  pe.data_entry_offset = pe.resources_offset + entry_at;
  pe.data_offset = pe.resources_offset + data_at;
  const uint32_t rsrc_size = static_cast<uint32_t>(r.size());
  out.insert(out.end(), r.begin(), r.end());
  PadTo(out, kFileAlignment);
  const uint32_t rsrc_raw = static_cast<uint32_t>(out.size() - pe.resources_offset);

  auto section = [&](size_t at, const char* name, uint32_t virtual_size, uint32_t rva,
                     uint32_t raw_size, uint32_t raw_offset) {
    for (int i = 0; name[i] != 0 && i < 8; ++i) out[at + i] = static_cast<uint8_t>(name[i]);
    Set32(out, at + 8, virtual_size);
    Set32(out, at + 12, rva);
    Set32(out, at + 16, raw_size);
    Set32(out, at + 20, raw_offset);
  };
  section(pe.sections_offset, ".text", options.code_size, text_rva, text_raw,
          static_cast<uint32_t>(text_offset));
  section(pe.sections_offset + 40, ".rsrc", rsrc_size, rsrc_rva, rsrc_raw,
          static_cast<uint32_t>(pe.resources_offset));
  Set32(out, directories + 2 * 8, rsrc_rva);
  Set32(out, directories + 2 * 8 + 4, rsrc_size);
  Set32(out, o + 56,
        rsrc_rva + (rsrc_raw + kSectionAlignment - 1) / kSectionAlignment *
                       kSectionAlignment);  // size of image
  return pe;
}

}  // namespace quern::testing
