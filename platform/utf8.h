// Decoding one UTF-8 sequence, for the code that must walk text a character at a time (the
// wildcard matcher, the log's escapes of what an 8-bit page lacks).
#pragma once

#include <cstddef>
#include <string_view>

namespace platform {

struct Utf8Sequence {
  char32_t value = 0;
  size_t size = 0;  // 0: no valid sequence starts at this byte
};

// The sequence at the start of `text` (which must not be empty). Overlong forms, cut sequences
// and values past U+10FFFF are not valid; encoded surrogates (ED A0..BF xx) are valid only with
// `surrogates`, for text that carries a Windows name's lone surrogate through UTF-8.
inline Utf8Sequence DecodeUtf8(std::string_view text, bool surrogates) {
  const auto byte = [&](size_t i) { return static_cast<unsigned char>(text[i]); };
  const unsigned char lead = byte(0);
  if (lead < 0x80) return {lead, 1};
  size_t size = 0;
  char32_t value = 0;
  char32_t least = 0;
  if (lead >= 0xC2 && lead <= 0xDF) {
    size = 2, value = lead & 0x1F, least = 0x80;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    size = 3, value = lead & 0x0F, least = 0x800;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    size = 4, value = lead & 0x07, least = 0x10000;
  }
  if (size == 0 || size > text.size()) return {};
  for (size_t i = 1; i < size; ++i) {
    if ((byte(i) & 0xC0) != 0x80) return {};
    value = value << 6 | (byte(i) & 0x3F);
  }
  if (value < least || value > 0x10FFFF) return {};
  if (!surrogates && value >= 0xD800 && value <= 0xDFFF) return {};
  return {value, size};
}

}  // namespace platform
