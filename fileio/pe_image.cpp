// The PE walk: MZ header -> PE header -> optional header (data directory 2) -> section table
// -> resource directory (type -> name -> language) -> data entry -> the version block.
//
// RVAs become file offsets through the section whose raw data holds them (the first such
// section in table order when sections overlap); an RVA before the first section's raw data is
// taken as a file offset, as the headers are mapped one to one. Data that a section holds only
// in memory (past its raw size) is not in the file and is not read.
#include "fileio/pe_image.h"

#include <algorithm>
#include <cstring>
#include <set>

#include "fileio/language_names.h"

namespace quern {
namespace {

constexpr uint16_t kMzMagic = 0x5A4D;      // "MZ"
constexpr uint32_t kPeSignature = 0x4550;  // "PE\0\0"
constexpr uint16_t kPe32Magic = 0x10B;
constexpr uint16_t kPe32PlusMagic = 0x20B;
constexpr uint32_t kResourceDirectoryIndex = 2;
constexpr uint32_t kRtVersion = 16;
constexpr uint32_t kVsVersionInfoId = 1;
constexpr uint32_t kHighBit = 0x80000000u;
constexpr size_t kCoffHeaderSize = 20;
constexpr size_t kSectionHeaderSize = 40;
constexpr size_t kDirectoryHeaderSize = 16;
constexpr size_t kDirectoryEntrySize = 8;
constexpr size_t kDataEntrySize = 16;
constexpr size_t kNodeHeaderSize = 6;

uint16_t Word(const std::vector<uint8_t>& bytes, size_t at) {
  return static_cast<uint16_t>(bytes[at] | bytes[at + 1] << 8);
}
uint32_t Dword(const std::vector<uint8_t>& bytes, size_t at) {
  return static_cast<uint32_t>(bytes[at]) | static_cast<uint32_t>(bytes[at + 1]) << 8 |
         static_cast<uint32_t>(bytes[at + 2]) << 16 | static_cast<uint32_t>(bytes[at + 3]) << 24;
}

struct Section {
  uint32_t virtual_address;
  uint32_t raw_size;
  uint32_t raw_offset;
};

// Reads through the caller's reader, refusing anything that does not lie wholly in the file.
class Image {
 public:
  Image(uint64_t size, const ReadFileBytes& read) : size_(size), read_(read) {}

  // The walk makes many small reads close together (headers; a directory, its entries and
  // the next directory): they are served from one aligned window of the file, so a lookup
  // costs a few reads of the file, not one per field.
  bool Read(uint64_t offset, size_t count, std::vector<uint8_t>* out) const {
    if (offset > size_ || count > size_ - offset) return false;
    if (count > kWindowSize) return read_(offset, count, out) && out->size() == count;
    if (offset < window_start_ || offset + count > window_start_ + window_.size()) {
      const uint64_t start = offset / kWindowSize * kWindowSize;
      const size_t length = static_cast<size_t>(std::min<uint64_t>(
          size_ - start, offset + count - start <= kWindowSize ? kWindowSize : 2 * kWindowSize));
      if (!read_(start, length, &window_) || window_.size() != length) {
        window_.clear();
        return false;
      }
      window_start_ = start;
    }
    const auto from = window_.begin() + static_cast<ptrdiff_t>(offset - window_start_);
    out->assign(from, from + static_cast<ptrdiff_t>(count));
    return true;
  }
  uint64_t size() const { return size_; }

  // Where the bytes at `rva` lie in the file, and how many of them the file holds there (to
  // the end of the section's raw data, or of the file). Nothing when the RVA is not in the file.
  std::optional<std::pair<uint64_t, uint64_t>> Locate(uint32_t rva) const {
    for (const Section& section : sections_) {
      if (rva < section.virtual_address) continue;
      const uint64_t into = rva - section.virtual_address;
      if (into >= section.raw_size) continue;
      const uint64_t offset = uint64_t{section.raw_offset} + into;
      if (offset >= size_) return std::nullopt;
      return std::make_pair(offset, std::min(section.raw_size - into, size_ - offset));
    }
    if (rva < first_raw_offset_ && rva < size_) {
      return std::make_pair(uint64_t{rva}, std::min(first_raw_offset_, size_) - rva);
    }
    return std::nullopt;
  }

  // The file offset of `count` bytes at `rva`, or nothing when they are not all in the file.
  std::optional<uint64_t> OffsetOf(uint32_t rva, size_t count) const {
    auto place = Locate(rva);
    if (!place || count > place->second) return std::nullopt;
    return place->first;
  }

  void SetSections(std::vector<Section> sections) {
    sections_ = std::move(sections);
    first_raw_offset_ = size_;
    for (const Section& section : sections_) {
      if (section.raw_size != 0) {
        first_raw_offset_ = std::min<uint64_t>(first_raw_offset_, section.raw_offset);
      }
    }
  }

 private:
  static constexpr size_t kWindowSize = 4096;

  uint64_t size_;
  const ReadFileBytes& read_;
  mutable std::vector<uint8_t> window_;
  mutable uint64_t window_start_ = 0;
  std::vector<Section> sections_;
  uint64_t first_raw_offset_ = 0;
};

// The RVA and size of the resource directory, with the section table loaded into `image`.
std::optional<std::pair<uint32_t, uint32_t>> ReadHeaders(Image& image) {
  std::vector<uint8_t> bytes;
  if (!image.Read(0, 64, &bytes) || Word(bytes, 0) != kMzMagic) return std::nullopt;
  const uint32_t pe_offset = Dword(bytes, 0x3C);

  if (!image.Read(pe_offset, 4 + kCoffHeaderSize, &bytes) || Dword(bytes, 0) != kPeSignature) {
    return std::nullopt;
  }
  const uint16_t section_count = Word(bytes, 4 + 2);
  const uint16_t optional_size = Word(bytes, 4 + 16);
  const uint64_t optional_offset = uint64_t{pe_offset} + 4 + kCoffHeaderSize;

  if (!image.Read(optional_offset, optional_size, &bytes) || optional_size < 2) return std::nullopt;
  size_t directories_at = 0;
  switch (Word(bytes, 0)) {
    case kPe32Magic:
      directories_at = 96;
      break;
    case kPe32PlusMagic:
      directories_at = 112;
      break;
    default:
      return std::nullopt;
  }
  if (directories_at > optional_size) return std::nullopt;
  const uint32_t directory_count = Dword(bytes, directories_at - 4);
  const size_t resource_at = directories_at + kResourceDirectoryIndex * 8;
  if (directory_count <= kResourceDirectoryIndex || resource_at + 8 > optional_size) {
    return std::nullopt;
  }
  const uint32_t resource_rva = Dword(bytes, resource_at);
  const uint32_t resource_size = Dword(bytes, resource_at + 4);
  if (resource_rva == 0 || resource_size == 0) return std::nullopt;

  // The section table: no more entries than the file holds after the optional header.
  const uint64_t table_offset = optional_offset + optional_size;
  if (table_offset > image.size()) return std::nullopt;
  const uint64_t fitting = (image.size() - table_offset) / kSectionHeaderSize;
  const size_t count = static_cast<size_t>(std::min<uint64_t>(section_count, fitting));
  if (!image.Read(table_offset, count * kSectionHeaderSize, &bytes)) return std::nullopt;
  std::vector<Section> sections;
  sections.reserve(count);
  for (size_t i = 0; i < count; ++i) {
    const size_t at = i * kSectionHeaderSize;
    sections.push_back({Dword(bytes, at + 12), Dword(bytes, at + 16), Dword(bytes, at + 20)});
  }
  image.SetSections(std::move(sections));
  return std::make_pair(resource_rva, resource_size);
}

struct DirectoryEntry {
  uint32_t name;    // an id, or (high bit set) the offset of a name
  uint32_t target;  // a data entry, or (high bit set) the offset of a subdirectory
};

// The entries of the directory at `offset` (from the start of the resource directory). Nothing
// when the directory was visited before or its header is not in the file.
std::optional<std::vector<DirectoryEntry>> ReadDirectory(const Image& image, uint32_t root_rva,
                                                         uint32_t offset,
                                                         std::set<uint32_t>* visited) {
  if (!visited->insert(offset).second) return std::nullopt;
  const uint64_t rva = uint64_t{root_rva} + offset;
  if (rva > UINT32_MAX) return std::nullopt;
  std::vector<uint8_t> bytes;
  auto at = image.OffsetOf(static_cast<uint32_t>(rva), kDirectoryHeaderSize);
  if (!at || !image.Read(*at, kDirectoryHeaderSize, &bytes)) return std::nullopt;
  const size_t listed = size_t{Word(bytes, 12)} + Word(bytes, 14);
  std::vector<DirectoryEntry> result;
  // Only the entries the file holds where the directory lies; the rest of a count too large
  // for it is ignored.
  if (rva + kDirectoryHeaderSize > UINT32_MAX) return result;
  auto entries = image.Locate(static_cast<uint32_t>(rva + kDirectoryHeaderSize));
  if (!entries) return result;
  const size_t count =
      static_cast<size_t>(std::min<uint64_t>(listed, entries->second / kDirectoryEntrySize));
  if (count == 0 || !image.Read(entries->first, count * kDirectoryEntrySize, &bytes)) {
    return result;
  }
  result.reserve(count);
  for (size_t i = 0; i < count; ++i) {
    result.push_back({Dword(bytes, i * 8), Dword(bytes, i * 8 + 4)});
  }
  return result;
}

// The subdirectory an entry leads to (its offset), or nothing for a data entry.
std::optional<uint32_t> Subdirectory(const DirectoryEntry& entry) {
  if ((entry.target & kHighBit) == 0) return std::nullopt;
  return entry.target & ~kHighBit;
}

// The language of a resource the system's resource loader takes when no language is asked for
// (as GetFileVersionInfo asks): language-neutral, the user's language, then its primary
// language alone, the same for the system's language, English (United States), English, and
// else the first listed. A file with versions in several languages then gives the one Windows
// shows, not the one that sorts first (Arabic, 0x0401, in a file translated into many).
const DirectoryEntry& PreferredLanguage(const std::vector<DirectoryEntry>& languages) {
  constexpr uint32_t kPrimaryMask = 0x3FF;
  const uint32_t user = UserDefaultLanguage();
  const uint32_t system = SystemDefaultLanguage();
  const uint32_t order[] = {0,      user,  user & kPrimaryMask, system, system & kPrimaryMask,
                            0x0409, 0x0009};
  for (uint32_t wanted : order) {
    for (const DirectoryEntry& entry : languages) {
      if (entry.name == wanted) return entry;
    }
  }
  return languages.front();
}

std::optional<std::vector<uint8_t>> Walk(const Image& image, uint32_t root_rva) {
  std::set<uint32_t> visited;
  auto types = ReadDirectory(image, root_rva, 0, &visited);
  if (!types) return std::nullopt;
  auto type = std::find_if(types->begin(), types->end(),
                           [](const DirectoryEntry& e) { return e.name == kRtVersion; });
  if (type == types->end() || !Subdirectory(*type)) return std::nullopt;

  auto names = ReadDirectory(image, root_rva, *Subdirectory(*type), &visited);
  if (!names || names->empty()) return std::nullopt;
  auto name = std::find_if(names->begin(), names->end(),
                           [](const DirectoryEntry& e) { return e.name == kVsVersionInfoId; });
  if (name == names->end()) name = names->begin();
  if (!Subdirectory(*name)) return std::nullopt;

  auto languages = ReadDirectory(image, root_rva, *Subdirectory(*name), &visited);
  if (!languages || languages->empty()) return std::nullopt;
  const DirectoryEntry& language = PreferredLanguage(*languages);
  if (Subdirectory(language)) return std::nullopt;

  const uint64_t entry_rva = uint64_t{root_rva} + language.target;
  if (entry_rva > UINT32_MAX) return std::nullopt;
  std::vector<uint8_t> bytes;
  auto entry_at = image.OffsetOf(static_cast<uint32_t>(entry_rva), kDataEntrySize);
  if (!entry_at || !image.Read(*entry_at, kDataEntrySize, &bytes)) return std::nullopt;
  const uint32_t data_rva = Dword(bytes, 0);
  const uint32_t data_size = Dword(bytes, 4);
  if (data_size < kNodeHeaderSize) return std::nullopt;

  auto data_at = image.OffsetOf(data_rva, data_size);
  if (!data_at || !image.Read(*data_at, kNodeHeaderSize, &bytes)) return std::nullopt;
  const size_t root_length = Word(bytes, 0);
  if (root_length < kNodeHeaderSize) return std::nullopt;
  const size_t length = std::min<size_t>(data_size, root_length);
  if (!image.Read(*data_at, length, &bytes)) return std::nullopt;
  return bytes;
}

}  // namespace

std::optional<std::vector<uint8_t>> FindVersionResource(uint64_t file_size,
                                                        const ReadFileBytes& read) {
  Image image(file_size, read);
  auto resources = ReadHeaders(image);
  if (!resources) return std::nullopt;
  return Walk(image, resources->first);
}

std::optional<std::vector<uint8_t>> FindVersionResource(std::span<const uint8_t> file) {
  return FindVersionResource(file.size(),
                             [file](uint64_t offset, size_t size, std::vector<uint8_t>* out) {
                               if (offset > file.size() || size > file.size() - offset)
                                 return false;
                               out->assign(file.begin() + static_cast<ptrdiff_t>(offset),
                                           file.begin() + static_cast<ptrdiff_t>(offset + size));
                               return true;
                             });
}

}  // namespace quern
