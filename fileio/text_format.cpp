#include "fileio/text_format.h"

#include <bit>
#include <cstring>

#include "support/ov_error.h"
#include "support/ov_unicode.h"

namespace quern {
namespace {

constexpr char kSource[] = "orvFSO";
constexpr uint8_t kUtf8Mark[] = {0xEF, 0xBB, 0xBF};

std::string_view AsChars(const std::vector<uint8_t>& bytes, size_t skip) {
  if (skip >= bytes.size()) return {};
  return std::string_view(reinterpret_cast<const char*>(bytes.data()) + skip, bytes.size() - skip);
}

std::vector<uint8_t> AsBytes(const std::string& chars, size_t reserve_front) {
  std::vector<uint8_t> bytes(reserve_front + chars.size());
  if (!chars.empty()) std::memcpy(bytes.data() + reserve_front, chars.data(), chars.size());
  return bytes;
}

}  // namespace

void RaiseFileError(uint32_t code) {
  const int32_t number = support::ErrNumberFromWin32(code);
  throw support::Error(number, support::StandardDescription(number), kSource);
}

FileFormat DetectFileFormat(const uint8_t* bytes, size_t count) {
  if (count >= 2) {
    if (bytes[0] == 0xFF && bytes[1] == 0xFE) return {feUTF16, fbBOM, ibDontInvertBytes};
    if (bytes[0] == 0xFE && bytes[1] == 0xFF) return {feUTF16, fbBOM, ibInvertBytes};
    if (count >= 3 && std::memcmp(bytes, kUtf8Mark, 3) == 0) {
      return {feUTF8, fbBOM, ibDontInvertBytes};
    }
  }
  return {feANSI, fbNoBOM, ibDontInvertBytes};
}

FileFormat Effective(const FileFormat& detected, FileEncodingConst encoding, FileBOMConst bom,
                     InvertBytesConst invert) {
  return {encoding == feAuto ? detected.encoding : encoding, bom == fbAuto ? detected.bom : bom,
          invert == ibAuto ? detected.invert : invert};
}

int32_t ByteCount(const std::vector<uint8_t>& bytes) { return static_cast<int32_t>(bytes.size()); }

void SwapBytePairs(std::vector<uint8_t>& bytes) {
  if (bytes.size() % 2 != 0)
    throw support::MakeError(support::errnum::kSubscriptOutOfRange, kSource);
  uint8_t* data = bytes.data();
  const size_t count = bytes.size();
  for (size_t i = 0; i < count; i += 2) {
    const uint8_t first = data[i];
    data[i] = data[i + 1];
    data[i + 1] = first;
  }
}

void CheckFormatArguments(FileEncodingConst encoding, FileBOMConst bom, InvertBytesConst invert) {
  if (encoding < feAuto || encoding > feUTF16 || bom < fbAuto || bom > fbBOM || invert < ibAuto ||
      invert > ibInvertBytes) {
    throw support::MakeError(support::errnum::kInvalidCall, kSource);
  }
}

std::vector<uint8_t> EncodeText(const std::u16string& text, const FileFormat& format) {
  switch (format.encoding) {
    case feUTF8: {
      const bool mark = format.bom == fbBOM;
      std::vector<uint8_t> bytes = support::Utf8BytesAfter(mark ? 3 : 0, text);
      if (mark) std::memcpy(bytes.data(), kUtf8Mark, 3);
      return bytes;
    }
    case feUTF16: {
      const size_t mark = format.bom == fbBOM ? 1 : 0;
      std::vector<uint8_t> bytes((mark + text.size()) * 2);
      uint8_t* out = bytes.data();
      if (mark != 0) {
        out[0] = 0xFF;
        out[1] = 0xFE;
      }
      // Code units go out low byte first whatever the machine's order is.
      out += mark * 2;
      if constexpr (std::endian::native == std::endian::little) {
        if (!text.empty()) std::memcpy(out, text.data(), text.size() * 2);
      } else {
        for (const char16_t unit : text) {
          *out++ = static_cast<uint8_t>(unit & 0xFF);
          *out++ = static_cast<uint8_t>(unit >> 8);
        }
      }
      if (format.invert == ibInvertBytes) SwapBytePairs(bytes);
      return bytes;
    }
    default:
      return AsBytes(support::ovStrConvB(text), 0);
  }
}

std::u16string DecodeText(std::vector<uint8_t>& bytes, const FileFormat& format) {
  switch (format.encoding) {
    case feUTF8:
      return support::ovUTF8ToUNICODE(AsChars(bytes, format.bom == fbBOM ? 3 : 0));
    case feUTF16: {
      if (format.invert == ibInvertBytes) SwapBytePairs(bytes);
      const size_t units = bytes.size() / 2;
      const bool odd = bytes.size() % 2 != 0;
      const size_t total = units + (odd ? 1 : 0);
      const size_t first = format.bom == fbBOM ? 1 : 0;  // the mark's place, whatever is there
      if (first >= total) return {};
      std::u16string text(total - first, u'\0');
      const uint8_t* in = bytes.data();
      if constexpr (std::endian::native == std::endian::little) {
        if (units > first) std::memcpy(text.data(), in + first * 2, (units - first) * 2);
      } else {
        for (size_t i = first; i < units; ++i) {
          text[i - first] = static_cast<char16_t>(in[2 * i] | (in[2 * i + 1] << 8));
        }
      }
      if (odd) text.back() = 0xFFFD;
      return text;
    }
    default:
      return support::ovStrConvW(AsChars(bytes, 0));
  }
}

}  // namespace quern
