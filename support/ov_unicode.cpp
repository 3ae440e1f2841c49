// UTF-8 <-> UTF-16 by hand: whole files of text pass through here, so both directions copy runs
// of ASCII eight bytes (or four code units) at a time and only look at characters one by one
// where the text leaves ASCII. Other code pages go through the platform's converters, after a
// UTF-8 step; when the page is UTF-8 that step is all there is.
#include "support/ov_unicode.h"

#if defined(__SSE2__)
#include <emmintrin.h>  // every x86-64 processor has SSE2; a 32-bit x86 build may not
#endif

#include <algorithm>
#include <cstdint>
#include <cstring>

#include "platform/memory.h"
#include "platform/platform.h"
#include "support/unicode_portable.h"

namespace support {
namespace {

#if defined(__SSE2__)
constexpr bool kHaveVector = true;
#else
constexpr bool kHaveVector = false;
#endif

constexpr char16_t kReplacement = 0xFFFD;
constexpr char16_t kEscapeBase = 0xDC00;  // U+DC80..U+DCFF carry the bytes 0x80..0xFF of names

bool IsHighSurrogate(char16_t unit) { return unit >= 0xD800 && unit <= 0xDBFF; }
bool IsLowSurrogate(char16_t unit) { return unit >= 0xDC00 && unit <= 0xDFFF; }
bool IsEscapedByte(char16_t unit) { return unit >= 0xDC80 && unit <= 0xDCFF; }

// Sizes a result buffer that is about to be filled, mapped at once when it is big.
template <class Buffer>
void SizeForFilling(Buffer& buffer, size_t size) {
  buffer.reserve(size);
  platform::PrepareForFilling(buffer.data(), size * sizeof(buffer[0]));
  buffer.resize(size);
}

uint64_t Load8(const unsigned char* bytes) {
  uint64_t word;
  std::memcpy(&word, bytes, sizeof(word));
  return word;
}

// The length of the valid UTF-8 sequence at `in` (1 to 4), or 0 with *subpart set to the number
// of bytes that form the maximal invalid subpart (at least 1), as the Unicode standard counts
// them for replacement: a lead byte followed by fitting continuation bytes that stop short.
size_t DecodeOne(const unsigned char* in, const unsigned char* end, char32_t* code_point,
                 size_t* subpart) {
  const unsigned char lead = in[0];
  size_t size = 0;
  unsigned char low = 0x80, high = 0xBF;  // allowed range of the second byte
  char32_t value = 0;
  if (lead < 0x80) {
    *code_point = lead;
    return 1;
  } else if (lead >= 0xC2 && lead <= 0xDF) {
    size = 2;
    value = lead & 0x1F;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    size = 3;
    value = lead & 0x0F;
    if (lead == 0xE0) low = 0xA0;   // overlong
    if (lead == 0xED) high = 0x9F;  // surrogates
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    size = 4;
    value = lead & 0x07;
    if (lead == 0xF0) low = 0x90;   // overlong
    if (lead == 0xF4) high = 0x8F;  // above U+10FFFF
  } else {
    *subpart = 1;
    return 0;
  }
  size_t i = 1;
  for (; i < size; ++i) {
    if (in + i >= end) break;
    const unsigned char next = in[i];
    const unsigned char first = i == 1 ? low : 0x80;
    const unsigned char last = i == 1 ? high : 0xBF;
    if (next < first || next > last) break;
    value = (value << 6) | (next & 0x3F);
  }
  if (i < size) {
    *subpart = i;
    return 0;
  }
  *code_point = value;
  return size;
}

void PutCodePoint(char32_t code_point, char16_t*& out) {
  if (code_point < 0x10000) {
    *out++ = static_cast<char16_t>(code_point);
  } else {
    code_point -= 0x10000;
    *out++ = static_cast<char16_t>(0xD800 + (code_point >> 10));
    *out++ = static_cast<char16_t>(0xDC00 + (code_point & 0x3FF));
  }
}

// Decodes UTF-8 from `in` up to `end` into out[0..] (room for end - in units), or with `kCount`
// only counts the units. Each maximal invalid subpart becomes one U+FFFD, or with
// `escape_bytes` each of its bytes becomes U+DC00 + byte (the file-name escape, which never
// loses a byte). Unless `last`, it stops before a sequence that later bytes could still
// change (fewer than four bytes left where a character begins above ASCII): the caller hands
// those bytes in again in front of the next piece, and the pieces decode exactly as their
// concatenation would. Returns where it stopped; *units receives the count.
// `kVector` chooses the SSE2 run of ASCII; without it the same results come eight bytes at a
// time.
template <bool kVector, bool kCount>
const unsigned char* DecodeUtf8Run(const unsigned char* in, const unsigned char* end, bool last,
                                   bool escape_bytes, char16_t* out, size_t* units) {
  size_t n = 0;
  while (in < end) {
#if defined(__SSE2__)
    // The ASCII fast path: sixteen bytes at once while none has its top bit set, widened to
    // sixteen units by interleaving with zeros.
    if constexpr (kVector) {
      while (end - in >= 16) {
        const __m128i chunk = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in));
        if (_mm_movemask_epi8(chunk) != 0) break;
        if constexpr (!kCount) {
          const __m128i zero = _mm_setzero_si128();
          _mm_storeu_si128(reinterpret_cast<__m128i*>(out + n), _mm_unpacklo_epi8(chunk, zero));
          _mm_storeu_si128(reinterpret_cast<__m128i*>(out + n + 8), _mm_unpackhi_epi8(chunk, zero));
        }
        in += 16;
        n += 16;
      }
    }
#endif
    while (end - in >= 8) {
      const uint64_t word = Load8(in);
      if ((word & 0x8080808080808080ULL) != 0) break;
      if constexpr (!kCount) {
        for (int i = 0; i < 8; ++i) out[n + i] = in[i];
      }
      in += 8;
      n += 8;
    }
    // Text that mixes ASCII with two-byte characters (Cyrillic, Greek, accented Latin): up to
    // sixteen characters without a branch per character, until anything else turns up; then
    // back to the ASCII run test.
    // The window never reaches the last byte, so that `next` always exists.
    const unsigned char* stop = end - in > 17 ? in + 16 : end - 1;
    bool other = false;
    while (in < stop) {
      const unsigned lead = in[0], next = in[1];
      const bool two = lead >= 0xC2 && lead <= 0xDF && (next & 0xC0) == 0x80;
      if (lead >= 0x80 && !two) {
        other = true;
        break;
      }
      if constexpr (!kCount) {
        out[n] = static_cast<char16_t>(two ? ((lead & 0x1F) << 6) | (next & 0x3F) : lead);
      }
      ++n;
      in += 1 + two;
    }
    if (!other) {
      if (in != end - 1) continue;  // the window is done (or the text is)
      if (*in < 0x80) {             // the last byte
        if constexpr (!kCount) out[n] = *in;
        ++n;
        ++in;
        continue;
      }
    }
    if (!last && end - in < 4) break;  // the next piece may complete it
    char32_t code_point = 0;
    size_t subpart = 0;
    const size_t size = DecodeOne(in, end, &code_point, &subpart);
    if (size != 0) {
      if constexpr (!kCount) {
        char16_t* at = out + n;
        PutCodePoint(code_point, at);
      }
      n += code_point < 0x10000 ? 1 : 2;
      in += size;
    } else if (escape_bytes) {
      if constexpr (!kCount) {
        for (size_t i = 0; i < subpart; ++i)
          out[n + i] = static_cast<char16_t>(kEscapeBase + in[i]);
      }
      n += subpart;
      in += subpart;
    } else {
      if constexpr (!kCount) out[n] = kReplacement;
      ++n;
      in += subpart;
    }
  }
  *units = n;
  return in;
}

template <bool kVector>
std::u16string DecodeUtf8With(std::string_view bytes, bool escape_bytes) {
  std::u16string text;
  // Never more code units than bytes: one unit per ASCII byte, fewer for longer sequences.
  SizeForFilling(text, bytes.size());
  const auto* in = reinterpret_cast<const unsigned char*>(bytes.data());
  size_t units = 0;
  DecodeUtf8Run<kVector, false>(in, in + bytes.size(), true, escape_bytes, text.data(), &units);
  text.resize(units);
  return text;
}

std::u16string DecodeUtf8(std::string_view bytes, bool escape_bytes) {
  return DecodeUtf8With<kHaveVector>(bytes, escape_bytes);
}

// The number of UTF-8 bytes of in[0..count): one per unit, one more from 0x80, one more again
// from 0x800 (a pair counts 3 + 3, at least its 4 bytes).
template <bool kVector>
size_t Utf8Size(const char16_t* in, size_t count) {
  size_t size = 0;
  size_t first = 0;
#if defined(__SSE2__)
  if constexpr (kVector) {
    // Eight units at a time. Each lane of `wide` counts down once per unit of 0x80 and above,
    // and once more from 0x800; the lanes are added up every 4096 steps, before a 16-bit lane
    // could wrap.
    const __m128i zero = _mm_setzero_si128();
    const __m128i beyond_ascii = _mm_set1_epi16(static_cast<short>(0xFF80));
    const __m128i beyond_two = _mm_set1_epi16(static_cast<short>(0xF800));
    while (first + 8 <= count) {
      __m128i wide = zero;
      const size_t steps = std::min<size_t>((count - first) / 8, 4096);
      for (size_t step = 0; step < steps; ++step, first += 8) {
        const __m128i units = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + first));
        const __m128i ascii = _mm_cmpeq_epi16(_mm_and_si128(units, beyond_ascii), zero);
        const __m128i short_ = _mm_cmpeq_epi16(_mm_and_si128(units, beyond_two), zero);
        wide = _mm_sub_epi16(wide, _mm_add_epi16(_mm_andnot_si128(ascii, _mm_set1_epi16(1)),
                                                 _mm_andnot_si128(short_, _mm_set1_epi16(1))));
      }
      alignas(16) int16_t lanes[8];
      _mm_store_si128(reinterpret_cast<__m128i*>(lanes), wide);
      size += steps * 8;
      for (const int16_t lane : lanes) size += static_cast<uint16_t>(-lane);
    }
  }
#endif
  for (size_t i = first; i < count; ++i) {
    const char16_t unit = in[i];
    size += unit < 0x80 ? 1 : unit < 0x800 ? 2 : 3;
  }
  return size;
}

// Encodes in[0..count) as UTF-8 at `out` (room for Utf8Size bytes); returns the end of the
// bytes. A lone surrogate becomes U+FFFD, or with `unescape_bytes` a unit U+DC80..U+DCFF
// becomes the byte it carries.
template <bool kVector>
unsigned char* EncodeUtf8To(const char16_t* in, size_t count, bool unescape_bytes,
                            unsigned char* out) {
  size_t i = 0;
  while (i < count) {
#if defined(__SSE2__)
    // The ASCII fast path: eight units at once while all are below 0x80, narrowed to eight
    // bytes; then four at once.
    if constexpr (kVector) {
      const __m128i zero = _mm_setzero_si128();
      const __m128i beyond_ascii = _mm_set1_epi16(static_cast<short>(0xFF80));
      while (count - i >= 8) {
        const __m128i units = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + i));
        if (_mm_movemask_epi8(_mm_cmpeq_epi16(_mm_and_si128(units, beyond_ascii), zero)) !=
            0xFFFF) {
          break;
        }
        _mm_storel_epi64(reinterpret_cast<__m128i*>(out), _mm_packus_epi16(units, units));
        out += 8;
        i += 8;
      }
    }
#endif
    while (count - i >= 4) {
      uint64_t word;
      std::memcpy(&word, in + i, sizeof(word));
      if ((word & 0xFF80FF80FF80FF80ULL) != 0) break;
      out[0] = static_cast<unsigned char>(in[i]);
      out[1] = static_cast<unsigned char>(in[i + 1]);
      out[2] = static_cast<unsigned char>(in[i + 2]);
      out[3] = static_cast<unsigned char>(in[i + 3]);
      out += 4;
      i += 4;
    }
    // Text that mixes ASCII with two-byte characters (Cyrillic, Greek, accented Latin): up to
    // sixteen units without a branch per character. The second byte is always stored (a later
    // character overwrites it after an ASCII one), which is safe because the window never
    // reaches the last unit: at least one more byte always follows.
    const size_t stop = count - i > 17 ? i + 16 : count - 1;
    bool other = false;
    while (i < stop) {
      const unsigned unit = in[i];
      if (unit >= 0x800) {
        other = true;
        break;
      }
      const bool two = unit >= 0x80;
      out[0] = static_cast<unsigned char>(two ? 0xC0 | (unit >> 6) : unit);
      out[1] = static_cast<unsigned char>(0x80 | (unit & 0x3F));
      out += 1 + two;
      ++i;
    }
    if (!other && i != count - 1) continue;  // the window is done (or the text is)
    if (i >= count) break;
    char32_t code_point = in[i++];
    if (code_point < 0x80) {
      *out++ = static_cast<unsigned char>(code_point);
      continue;
    }
    if (code_point < 0x800) {
      *out++ = static_cast<unsigned char>(0xC0 | (code_point >> 6));
      *out++ = static_cast<unsigned char>(0x80 | (code_point & 0x3F));
      continue;
    }
    // A pair is always a character: decoding a name never makes a high surrogate, so an
    // escaped byte is only ever a low surrogate standing alone.
    if (IsHighSurrogate(static_cast<char16_t>(code_point)) && i < count && IsLowSurrogate(in[i])) {
      code_point = 0x10000 + ((code_point - 0xD800) << 10) + (in[i++] - 0xDC00);
    } else if (unescape_bytes && IsEscapedByte(static_cast<char16_t>(code_point))) {
      *out++ = static_cast<unsigned char>(code_point - kEscapeBase);
      continue;
    } else if (IsHighSurrogate(static_cast<char16_t>(code_point)) ||
               IsLowSurrogate(static_cast<char16_t>(code_point))) {
      code_point = kReplacement;
    }
    if (code_point < 0x800) {
      *out++ = static_cast<unsigned char>(0xC0 | (code_point >> 6));
      *out++ = static_cast<unsigned char>(0x80 | (code_point & 0x3F));
    } else if (code_point < 0x10000) {
      *out++ = static_cast<unsigned char>(0xE0 | (code_point >> 12));
      *out++ = static_cast<unsigned char>(0x80 | ((code_point >> 6) & 0x3F));
      *out++ = static_cast<unsigned char>(0x80 | (code_point & 0x3F));
    } else {
      *out++ = static_cast<unsigned char>(0xF0 | (code_point >> 18));
      *out++ = static_cast<unsigned char>(0x80 | ((code_point >> 12) & 0x3F));
      *out++ = static_cast<unsigned char>(0x80 | ((code_point >> 6) & 0x3F));
      *out++ = static_cast<unsigned char>(0x80 | (code_point & 0x3F));
    }
  }
  return out;
}

template <bool kVector, class Bytes>
Bytes EncodeUtf8With(std::u16string_view text, bool unescape_bytes, size_t front) {
  // First count, so that the result is allocated once.
  Bytes bytes;
  SizeForFilling(bytes, front + Utf8Size<kVector>(text.data(), text.size()));
  auto* begin = reinterpret_cast<unsigned char*>(bytes.data());
  const unsigned char* out =
      EncodeUtf8To<kVector>(text.data(), text.size(), unescape_bytes, begin + front);
  bytes.resize(static_cast<size_t>(out - begin));
  return bytes;
}

template <class Bytes>
Bytes EncodeUtf8Into(std::u16string_view text, bool unescape_bytes, size_t front) {
  return EncodeUtf8With<kHaveVector, Bytes>(text, unescape_bytes, front);
}

std::string EncodeUtf8(std::u16string_view text, bool unescape_bytes) {
  return EncodeUtf8Into<std::string>(text, unescape_bytes, 0);
}

// A name in a legacy ANSI page: runs of text convert as usual, escaped units give their bytes.
std::string NativeFromLegacy(std::u16string_view name) {
  std::string native;
  size_t start = 0;
  for (size_t i = 0; i <= name.size(); ++i) {
    if (i < name.size() && !IsEscapedByte(name[i])) continue;
    native += platform::Utf8ToAnsi(EncodeUtf8(name.substr(start, i - start), false));
    if (i < name.size()) native += static_cast<char>(name[i] - kEscapeBase);
    start = i + 1;
  }
  return native;
}

// One byte of a legacy page as text, or nothing when the page does not give it back unchanged.
bool DecodeLegacyByte(char byte, std::u16string* text) {
  const std::string utf8 = platform::AnsiToUtf8(std::string_view(&byte, 1));
  if (platform::Utf8ToAnsi(utf8) != std::string_view(&byte, 1)) return false;
  *text += DecodeUtf8(utf8, false);
  return true;
}

std::u16string NameFromLegacy(std::string_view native) {
  const std::string utf8 = platform::AnsiToUtf8(native);
  if (platform::Utf8ToAnsi(utf8) == native) return DecodeUtf8(utf8, false);
  // Something did not survive the page's round trip: go byte by byte and escape what fails.
  std::u16string text;
  for (const char byte : native) {
    const auto value = static_cast<unsigned char>(byte);
    if (value < 0x80) {
      text += static_cast<char16_t>(value);
    } else if (!DecodeLegacyByte(byte, &text)) {
      text += static_cast<char16_t>(kEscapeBase + value);
    }
  }
  return text;
}

}  // namespace

std::string ovUNICODEToUTF8(std::u16string_view text) { return EncodeUtf8(text, false); }

std::u16string ovUTF8ToUNICODE(std::string_view bytes) { return DecodeUtf8(bytes, false); }

std::vector<uint8_t> Utf8BytesAfter(size_t front, std::u16string_view text) {
  return EncodeUtf8Into<std::vector<uint8_t>>(text, false, front);
}

std::string ovStrConvB(std::u16string_view text) {
  if (platform::AnsiIsUtf8()) return EncodeUtf8(text, false);
  return platform::Utf8ToAnsi(EncodeUtf8(text, false));
}

std::u16string ovStrConvW(std::string_view bytes) {
  if (platform::AnsiIsUtf8()) return DecodeUtf8(bytes, false);
  return DecodeUtf8(platform::AnsiToUtf8(bytes), false);
}

std::string TextToOem(std::u16string_view text) {
  if (platform::OemIsUtf8()) return EncodeUtf8(text, false);
  return platform::Utf8ToOem(EncodeUtf8(text, false));
}

std::u16string OemToText(std::string_view bytes) {
  if (platform::OemIsUtf8()) return DecodeUtf8(bytes, false);
  return DecodeUtf8(platform::OemToUtf8(bytes), false);
}

// The Win32 backend takes and gives every name in UTF-8 (it speaks UTF-16 to the system), so
// there a native name is UTF-8 whatever the ANSI code page.
#ifdef _WIN32
constexpr bool kNativeIsUtf8 = true;
#else
constexpr bool kNativeIsUtf8 = false;
#endif

std::string NativeFileName(std::u16string_view name) {
  if (kNativeIsUtf8 || platform::AnsiIsUtf8()) return EncodeUtf8(name, true);
  return NativeFromLegacy(name);
}

std::u16string FileNameFromNative(std::string_view native) {
  if (kNativeIsUtf8 || platform::AnsiIsUtf8()) return DecodeUtf8(native, true);
  return NameFromLegacy(native);
}

size_t DecodeUtf8Piece(std::string_view bytes, bool last, char16_t* out, size_t* units) {
  const auto* in = reinterpret_cast<const unsigned char*>(bytes.data());
  return static_cast<size_t>(
      DecodeUtf8Run<kHaveVector, false>(in, in + bytes.size(), last, false, out, units) - in);
}

size_t CountUtf8Piece(std::string_view bytes, bool last, size_t* units) {
  const auto* in = reinterpret_cast<const unsigned char*>(bytes.data());
  return static_cast<size_t>(
      DecodeUtf8Run<kHaveVector, true>(in, in + bytes.size(), last, false, nullptr, units) - in);
}

size_t EncodeUtf8Piece(std::u16string_view text, bool last, char* out, size_t* size) {
  size_t count = text.size();
  if (!last && count > 0 && IsHighSurrogate(text[count - 1])) --count;
  auto* begin = reinterpret_cast<unsigned char*>(out);
  *size = static_cast<size_t>(EncodeUtf8To<kHaveVector>(text.data(), count, false, begin) - begin);
  return count;
}

std::u16string Utf16FromUtf8(std::string_view utf8) { return DecodeUtf8(utf8, false); }

std::string Utf8FromUtf16(std::u16string_view text) { return EncodeUtf8(text, false); }

}  // namespace support

namespace support::portable {

std::u16string Utf8ToUtf16(std::string_view bytes) { return DecodeUtf8With<false>(bytes, false); }

std::string Utf16ToUtf8(std::u16string_view text) {
  return EncodeUtf8With<false, std::string>(text, false, 0);
}

size_t CountUtf8Piece(std::string_view bytes, bool last, size_t* units) {
  const auto* in = reinterpret_cast<const unsigned char*>(bytes.data());
  return static_cast<size_t>(
      DecodeUtf8Run<false, true>(in, in + bytes.size(), last, false, nullptr, units) - in);
}

}  // namespace support::portable
