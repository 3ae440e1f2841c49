// Text decoding and encoding: the format detection of text files, every format's decoding and
// encoding back, the UTF-8 codec's SSE2 fast paths against a plain scalar codec written here,
// the file-name escape and the ANSI and OEM code pages.
//
// What must hold, for any bytes:
// - UTF-8 decoding equals the scalar decoder (one U+FFFD per maximal invalid subpart), and
//   valid UTF-8 comes back byte for byte through UTF-16;
// - UTF-16 encoding of any units (lone surrogates included) equals the scalar encoder;
// - a native file name comes back byte for byte through its text form;
// - UTF-16 files come back byte for byte (the mark rewritten as FF FE, pairs swapped back);
// - decoding what was encoded from a decoded text gives that text again (ANSI and OEM too).
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>
#include <vector>

#include "fileio/text_format.h"
#include "fuzz/fuzz_support.h"
#include "support/ov_error.h"
#include "support/ov_unicode.h"

namespace {

void PutCodePoint(char32_t code_point, std::u16string& out) {
  if (code_point < 0x10000) {
    out += static_cast<char16_t>(code_point);
  } else {
    code_point -= 0x10000;
    out += static_cast<char16_t>(0xD800 + (code_point >> 10));
    out += static_cast<char16_t>(0xDC00 + (code_point & 0x3FF));
  }
}

// UTF-8 one byte at a time, from the table of well-formed sequences in the Unicode standard
// (table 3-7). An ill-formed subpart gives one U+FFFD, or with `escape` each of its bytes as
// U+DC00 + byte.
std::u16string ScalarDecode(std::string_view bytes, bool escape) {
  std::u16string out;
  size_t i = 0;
  const size_t n = bytes.size();
  auto at = [&](size_t k) { return static_cast<uint8_t>(bytes[k]); };
  while (i < n) {
    const uint8_t lead = at(i);
    size_t length = 0;
    uint8_t low = 0x80, high = 0xBF;
    if (lead <= 0x7F) {
      out += static_cast<char16_t>(lead);
      ++i;
      continue;
    }
    if (lead >= 0xC2 && lead <= 0xDF) length = 2;
    if (lead >= 0xE0 && lead <= 0xEF) length = 3;
    if (lead >= 0xF0 && lead <= 0xF4) length = 4;
    if (lead == 0xE0) low = 0xA0;
    if (lead == 0xED) high = 0x9F;
    if (lead == 0xF0) low = 0x90;
    if (lead == 0xF4) high = 0x8F;
    size_t good = 1;  // bytes of the sequence that fit so far
    if (length != 0) {
      while (good < length && i + good < n) {
        const uint8_t byte = at(i + good);
        const uint8_t min = good == 1 ? low : 0x80;
        const uint8_t max = good == 1 ? high : 0xBF;
        if (byte < min || byte > max) break;
        ++good;
      }
    }
    if (length == 0 || good < length) {
      if (escape) {
        for (size_t k = 0; k < good; ++k) out += static_cast<char16_t>(0xDC00 + at(i + k));
      } else {
        out += u'\uFFFD';
      }
      i += good;
      continue;
    }
    char32_t code_point = lead & (length == 2 ? 0x1F : length == 3 ? 0x0F : 0x07);
    for (size_t k = 1; k < length; ++k) code_point = (code_point << 6) | (at(i + k) & 0x3F);
    PutCodePoint(code_point, out);
    i += length;
  }
  return out;
}

void PutUtf8(char32_t c, std::string& out) {
  if (c < 0x80) {
    out += static_cast<char>(c);
  } else if (c < 0x800) {
    out += static_cast<char>(0xC0 | (c >> 6));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else if (c < 0x10000) {
    out += static_cast<char>(0xE0 | (c >> 12));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (c >> 18));
    out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  }
}

// UTF-16 one unit at a time: a pair is one character, a lone surrogate U+FFFD, or with
// `unescape` a lone U+DC80..U+DCFF the byte it carries.
std::string ScalarEncode(std::u16string_view text, bool unescape) {
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    const char16_t unit = text[i];
    const bool high = unit >= 0xD800 && unit <= 0xDBFF;
    const bool low = unit >= 0xDC00 && unit <= 0xDFFF;
    if (high && i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF) {
      PutUtf8(0x10000 + ((unit - 0xD800) << 10) + (text[i + 1] - 0xDC00), out);
      ++i;
    } else if (unescape && unit >= 0xDC80 && unit <= 0xDCFF) {
      out += static_cast<char>(unit - 0xDC00);
    } else if (high || low) {
      PutUtf8(0xFFFD, out);
    } else {
      PutUtf8(unit, out);
    }
  }
  return out;
}

// Valid UTF-8 is exactly what the scalar codec gives back unchanged: an ill-formed subpart
// comes back as EF BF BD, which it was not.
bool IsValidUtf8(std::string_view bytes) {
  return ScalarEncode(ScalarDecode(bytes, false), false) == bytes;
}

// Whether a code page is UTF-8, told by how it writes one Cyrillic letter.
bool AnsiIsUtf8() { return support::ovStrConvB(u"\u044F") == "\xD1\x8F"; }
bool OemIsUtf8() { return support::TextToOem(u"\u044F") == "\xD1\x8F"; }

std::u16string UnitsOf(const uint8_t* data, size_t size) {
  std::u16string units(size / 2, u'\0');
  for (size_t i = 0; i < units.size(); ++i) {
    units[i] = static_cast<char16_t>(data[2 * i] | (data[2 * i + 1] << 8));
  }
  return units;
}

void CheckUtf8Codec(const uint8_t* data, size_t size) {
  const std::string_view bytes = fuzz::AsChars(data, size);
  const std::u16string text = support::ovUTF8ToUNICODE(bytes);
  FUZZ_CHECK(text == ScalarDecode(bytes, false));
  const std::string back = support::ovUNICODEToUTF8(text);
  if (IsValidUtf8(bytes)) FUZZ_CHECK(back == bytes);
  FUZZ_CHECK(support::ovUTF8ToUNICODE(back) == text);

  // The same bytes as UTF-16 units, lone surrogates and all.
  const std::u16string units = UnitsOf(data, size);
  FUZZ_CHECK(support::ovUNICODEToUTF8(units) == ScalarEncode(units, false));
  const size_t front = size % 5;
  const std::vector<uint8_t> after = support::Utf8BytesAfter(front, units);
  const std::string expected = std::string(front, '\0') + ScalarEncode(units, false);
  FUZZ_CHECK(fuzz::AsChars(after.data(), after.size()) == expected);
}

void CheckFileNames(const uint8_t* data, size_t size) {
  const std::string_view native = fuzz::AsChars(data, size);
  const std::u16string name = support::FileNameFromNative(native);
  FUZZ_CHECK(support::NativeFileName(name) == native);
  if (AnsiIsUtf8()) FUZZ_CHECK(name == ScalarDecode(native, true));
}

void CheckCodePages(const uint8_t* data, size_t size) {
  const std::string_view bytes = fuzz::AsChars(data, size);
  const std::u16string ansi = support::ovStrConvW(bytes);
  FUZZ_CHECK(support::ovStrConvW(support::ovStrConvB(ansi)) == ansi);
  const std::u16string oem = support::OemToText(bytes);
  FUZZ_CHECK(support::OemToText(support::TextToOem(oem)) == oem);
  if (AnsiIsUtf8()) FUZZ_CHECK(ansi == ScalarDecode(bytes, false));
  if (OemIsUtf8()) FUZZ_CHECK(oem == ScalarDecode(bytes, false));
}

std::vector<uint8_t> Concat(std::initializer_list<uint8_t> front, const uint8_t* data, size_t size,
                            size_t skip) {
  std::vector<uint8_t> bytes(front);
  if (size > skip) bytes.insert(bytes.end(), data + skip, data + size);
  return bytes;
}

// Reads the bytes in `format` and writes the text back in it.
void CheckFileFormat(const uint8_t* data, size_t size, const quern::FileFormat& format) {
  using namespace quern;
  std::vector<uint8_t> bytes(data, data + size);
  std::u16string text;
  try {
    text = DecodeText(bytes, format);
  } catch (const support::Error& error) {
    // Only inverted UTF-16 of an odd count is refused (its last pair would reach past the end).
    FUZZ_CHECK(error.number() == 9);
    FUZZ_CHECK(format.encoding == feUTF16 && format.invert == ibInvertBytes && size % 2 != 0);
    return;
  }
  FUZZ_CHECK(!(format.encoding == feUTF16 && format.invert == ibInvertBytes && size % 2 != 0));
  std::vector<uint8_t> written = EncodeText(text, format);
  const bool mark = format.bom == fbBOM;
  switch (format.encoding) {
    case feUTF16: {
      if (size % 2 != 0 && mark && size == 1) {
        FUZZ_CHECK(text.empty());  // the one byte stands where the mark is
        break;
      }
      if (size % 2 != 0) {
        // The odd last byte was read as U+FFFD and goes out as that character.
        FUZZ_CHECK(!text.empty() && text.back() == u'\uFFFD');
        FUZZ_CHECK(written.size() >= 2 && written[written.size() - 2] == 0xFD &&
                   written.back() == 0xFF);
        written.resize(written.size() - 2);
        written.push_back(data[size - 1]);
        std::vector<uint8_t> expected =
            mark ? Concat({0xFF, 0xFE}, data, size, 2) : std::vector<uint8_t>(data, data + size);
        FUZZ_CHECK(written == expected);
        break;
      }
      const bool inverted = format.invert == ibInvertBytes;
      std::vector<uint8_t> expected = std::vector<uint8_t>(data, data + size);
      if (mark)
        expected =
            inverted ? Concat({0xFE, 0xFF}, data, size, 2) : Concat({0xFF, 0xFE}, data, size, 2);
      FUZZ_CHECK(written == expected);
      break;
    }
    case feUTF8: {
      const size_t skip = mark ? 3 : 0;
      const std::string_view body =
          fuzz::AsChars(data + std::min(skip, size), size - std::min(skip, size));
      if (IsValidUtf8(body)) {
        FUZZ_CHECK(written == (mark ? Concat({0xEF, 0xBB, 0xBF}, data, size, 3)
                                    : std::vector<uint8_t>(data, data + size)));
      }
      break;
    }
    default:
      if (AnsiIsUtf8() && IsValidUtf8(fuzz::AsChars(data, size))) {
        FUZZ_CHECK(written == std::vector<uint8_t>(data, data + size));
      }
      break;
  }
  // Whatever was read reads back the same once written.
  FUZZ_CHECK(DecodeText(written, format) == text);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  fuzz::SetUpLocale();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace quern;
  CheckUtf8Codec(data, size);
  CheckFileNames(data, size);
  CheckCodePages(data, size);

  // What GetFile2 does with a file: detect its format, read it in that format.
  const FileFormat detected = DetectFileFormat(data, size);
  if (detected.encoding == feUTF16) FUZZ_CHECK(size >= 2 && (data[0] == 0xFF || data[0] == 0xFE));
  CheckFileFormat(data, size, detected);
  for (const FileEncodingConst encoding : {feANSI, feUTF8, feUTF16}) {
    for (const FileBOMConst bom : {fbNoBOM, fbBOM}) {
      for (const InvertBytesConst invert : {ibDontInvertBytes, ibInvertBytes}) {
        if (encoding != feUTF16 && invert == ibInvertBytes) continue;
        if (encoding == feANSI && bom == fbBOM) continue;
        CheckFileFormat(data, size, {encoding, bom, invert});
      }
    }
  }
  return 0;
}
