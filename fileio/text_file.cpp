#include "fileio/text_file.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <limits>
#include <memory>
#include <vector>

#include "platform/file.h"
#include "platform/file_system.h"
#include "platform/memory.h"
#include "platform/platform.h"
#include "support/ov_error.h"
#include "support/ov_unicode.h"

namespace quern {
namespace {

constexpr uint64_t kLargestByteArray = std::numeric_limits<int32_t>::max();
// The block each file passes through: with the units decoded from it, it stays in the
// processor's second-level cache.
constexpr size_t kBlock = 64 * 1024;
// Results get their pages mapped this far ahead of the copy (see platform/memory.h).
constexpr size_t kMapAhead = 2 * 1024 * 1024;
// Text handed to the file in pieces of this many units when it must be converted.
constexpr size_t kWritePiece = 32 * 1024;

void Check(uint32_t code) {
  if (code != platform::error::kSuccess) RaiseFileError(code);
}

void CheckSize(uint64_t size) {
  if (size > kLargestByteArray) {
    throw support::MakeError(support::errnum::kOutOfMemory, "orvFSO");
  }
}

// The result of a reader: allocated once at the size it will have, its pages given large where
// the system can and mapped a step ahead of the units appended to it.
class Result {
 public:
  explicit Result(size_t units) {
    text_.reserve(units);
    platform::AdviseLargePages(text_.data(), units * sizeof(char16_t));
  }
  void Append(const char16_t* units, size_t count) {
    const size_t end = (text_.size() + count) * sizeof(char16_t);
    const size_t capacity = text_.capacity() * sizeof(char16_t);
    if (end > mapped_ && mapped_ < capacity && capacity >= 2 * kMapAhead) {
      const size_t step = std::min(kMapAhead, capacity - mapped_);
      platform::MapPages(reinterpret_cast<const char*>(text_.data()) + mapped_, step);
      mapped_ += step;
    }
    text_.append(units, count);
  }
  // A file that changed between the count and the reading may leave the result shorter than
  // its allocation (or have grown it): never more than a few megabytes held in vain.
  std::u16string Take() {
    if ((text_.capacity() - text_.size()) * sizeof(char16_t) > kMapAhead) text_.shrink_to_fit();
    return std::move(text_);
  }

 private:
  std::u16string text_;
  size_t mapped_ = 0;
};

// Goes through the file from `offset` to its end in blocks, the bytes a block leaves over
// (the start of a character cut by the block's end) carried in front of the next one.
// `take(bytes, last)` returns how many bytes it used. Returns the number of bytes read.
template <class Take>
uint64_t ForEachBlock(const platform::File& file, uint64_t offset, char* buffer, Take take) {
  size_t carry = 0;
  uint64_t total = 0;
  for (;;) {
    size_t got = 0;
    Check(file.ReadUpTo(offset + total, buffer + carry, kBlock, &got));
    total += got;
    CheckSize(total);
    const size_t have = carry + got;
    const bool last = got < kBlock;
    const size_t used = take(std::string_view(buffer, have), last);
    if (last) return total;
    carry = have - used;
    std::memmove(buffer, buffer + used, carry);
  }
}

// UTF-8 from `skip` on: counted, then decoded into a result of that size.
std::u16string ReadUtf8(const platform::File& file, uint64_t skip) {
  const std::unique_ptr<char[]> bytes(new char[kBlock + 4]);
  size_t count = 0;
  ForEachBlock(file, skip, bytes.get(), [&count](std::string_view block, bool last) {
    size_t units = 0;
    const size_t used = support::CountUtf8Piece(block, last, &units);
    count += units;
    return used;
  });
  Result result(count);
  const std::unique_ptr<char16_t[]> units(new char16_t[kBlock + 4]);
  ForEachBlock(file, skip, bytes.get(), [&](std::string_view block, bool last) {
    size_t made = 0;
    const size_t used = support::DecodeUtf8Piece(block, last, units.get(), &made);
    result.Append(units.get(), made);
    return used;
  });
  return result.Take();
}

// UTF-16 from `skip` on: the bytes are the code units, copied (and swapped where the file's
// order is not the machine's) into a result of the file's size. *total receives the number of
// bytes read.
std::u16string ReadUtf16(const platform::File& file, uint64_t skip, bool swap, uint64_t* total) {
  const uint64_t size = file.Size() > skip ? file.Size() - skip : 0;
  Result result(static_cast<size_t>(size / 2 + size % 2));
  const std::unique_ptr<char16_t[]> units(new char16_t[kBlock / 2 + 1]);
  char* const buffer = reinterpret_cast<char*>(units.get());
  *total = ForEachBlock(file, skip, buffer, [&](std::string_view block, bool last) {
    const size_t count = block.size() / 2;
    if (swap) {
      for (size_t i = 0; i < count; ++i) {
        units[i] = static_cast<char16_t>((units[i] << 8) | (units[i] >> 8));
      }
    }
    result.Append(units.get(), count);
    // An odd last byte stands for a unit of its own, so that no byte vanishes without a trace.
    if (last && block.size() % 2 != 0) {
      const char16_t replacement = 0xFFFD;
      result.Append(&replacement, 1);
    }
    return count * 2;  // the block size is even: nothing is carried
  });
  return result.Take();
}

// The whole file as bytes, for the code pages that convert the whole text at once.
std::vector<uint8_t> ReadBytes(const platform::File& file) {
  std::vector<uint8_t> bytes;
  bytes.reserve(static_cast<size_t>(file.Size()));
  const std::unique_ptr<char[]> buffer(new char[kBlock]);
  ForEachBlock(file, 0, buffer.get(), [&bytes](std::string_view block, bool) {
    bytes.insert(bytes.end(), block.begin(), block.end());
    return block.size();
  });
  return bytes;
}

// Writes `text` as UTF-8 after `mark`, a piece at a time through a buffer.
uint32_t WriteUtf8(const platform::PieceWriter& write, std::u16string_view text,
                   std::string_view mark) {
  if (const uint32_t code = write(mark)) return code;
  const std::unique_ptr<char[]> buffer(new char[3 * kWritePiece]);
  while (!text.empty()) {
    const size_t take = std::min(kWritePiece, text.size());
    size_t size = 0;
    // A piece of one high surrogate is handed in with its partner.
    size_t used =
        support::EncodeUtf8Piece(text.substr(0, take), take == text.size(), buffer.get(), &size);
    if (used == 0) {
      used = support::EncodeUtf8Piece(text.substr(0, take + 1), take + 1 == text.size(),
                                      buffer.get(), &size);
    }
    if (const uint32_t code = write(std::string_view(buffer.get(), size))) return code;
    text.remove_prefix(used);
  }
  return platform::error::kSuccess;
}

// Writes `text` as UTF-16 after a mark when asked, low byte first unless inverted: straight
// from the text where its order is the file's, else swapped a piece at a time.
uint32_t WriteUtf16(const platform::PieceWriter& write, std::u16string_view text, bool mark,
                    bool invert) {
  const bool swap = invert == (std::endian::native == std::endian::little);
  const std::u16string_view marked = mark ? std::u16string_view(u"\uFEFF") : std::u16string_view();
  const std::unique_ptr<char16_t[]> buffer(swap ? new char16_t[kWritePiece] : nullptr);
  for (std::u16string_view part : {marked, text}) {
    while (!part.empty()) {
      const size_t take = swap ? std::min(kWritePiece, part.size()) : part.size();
      const char16_t* units = part.data();
      if (swap) {
        for (size_t i = 0; i < take; ++i) {
          buffer[i] = static_cast<char16_t>((part[i] << 8) | (part[i] >> 8));
        }
        units = buffer.get();
      }
      const uint32_t code = write(std::string_view(reinterpret_cast<const char*>(units), take * 2));
      if (code != platform::error::kSuccess) return code;
      part.remove_prefix(take);
    }
  }
  return platform::error::kSuccess;
}

}  // namespace

TextFile ReadTextFile(platform::FileSystem& files, const std::string& path,
                      FileEncodingConst encoding, FileBOMConst bom, InvertBytesConst invert) {
  uint32_t code = platform::error::kSuccess;
  const platform::File file = platform::OpenWholeFile(files, path, &code);
  Check(code);
  CheckSize(file.Size());
  uint8_t head[3];
  size_t got = 0;
  Check(file.ReadUpTo(0, head, sizeof(head), &got));
  TextFile result;
  result.format = Effective(DetectFileFormat(head, got), encoding, bom, invert);
  const bool marked = result.format.bom == fbBOM;  // the mark's place is dropped, whatever is there
  switch (result.format.encoding) {
    case feUTF16: {
      const uint64_t skip = marked ? 2 : 0;
      const bool inverted = result.format.invert == ibInvertBytes;
      uint64_t total = 0;
      result.text =
          ReadUtf16(file, skip, inverted == (std::endian::native == std::endian::little), &total);
      // The parity of the whole file, the mark's bytes included: a file shorter than the mark
      // counts with the bytes it has.
      const uint64_t whole = total > 0 ? skip + total : std::min<uint64_t>(skip, got);
      if (inverted && whole % 2 != 0) {
        result.text.clear();
        result.odd_inverted = true;
      }
      return result;
    }
    case feUTF8:
      result.text = ReadUtf8(file, marked ? 3 : 0);
      return result;
    default:
      if (platform::AnsiIsUtf8()) {
        result.text = ReadUtf8(file, 0);
      } else {
        std::vector<uint8_t> bytes = ReadBytes(file);
        result.text = DecodeText(bytes, result.format);
      }
      return result;
  }
}

uint32_t WriteTextFile(platform::FileSystem& files, const std::string& path,
                       const std::u16string& text, const FileFormat& format) {
  const bool mark = format.bom == fbBOM;
  switch (format.encoding) {
    case feUTF16:
      return platform::ReplaceWholeFile(files, path, [&](const platform::PieceWriter& write) {
        return WriteUtf16(write, text, mark, format.invert == ibInvertBytes);
      });
    case feUTF8:
      return platform::ReplaceWholeFile(files, path, [&](const platform::PieceWriter& write) {
        return WriteUtf8(write, text, mark ? "\xEF\xBB\xBF" : "");
      });
    default:
      if (platform::AnsiIsUtf8()) {
        return platform::ReplaceWholeFile(files, path, [&](const platform::PieceWriter& write) {
          return WriteUtf8(write, text, "");
        });
      }
      const std::vector<uint8_t> bytes = EncodeText(text, format);
      return platform::ReplaceWholeFile(
          files, path, std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
  }
}

}  // namespace quern
