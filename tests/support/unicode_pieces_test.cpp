// Conversions in pieces (as whole files go through) and without vector instructions must give
// exactly what the one-call conversions give, for valid and broken text alike.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "support/ov_unicode.h"
#include "support/unicode_portable.h"

namespace support {
namespace {

// Bytes that hit every path of the decoder: ASCII runs long and short, two-, three- and
// four-byte characters, and the broken forms (cut sequences, stray continuation bytes,
// overlong and surrogate encodings, bytes that never occur).
std::string RandomUtf8(std::mt19937& random, size_t pieces) {
  static const char* const kParts[] = {"a",
                                       "plain ascii text ",
                                       "0123456789abcdef0123",
                                       "\xD0\xB6",
                                       "\xD0\x9F\xD1\x80",
                                       "\xE6\x97\xA5",
                                       "\xF0\x9F\x98\x80",
                                       "\xC3",
                                       "\xE2\x82",
                                       "\xF0\x9F\x98",
                                       "\x80",
                                       "\xBF",
                                       "\xC0\xAF",
                                       "\xED\xA0\x80",
                                       "\xF4\x90\x80\x80",
                                       "\xFF",
                                       "\xFE",
                                       "\r\n"};
  std::uniform_int_distribution<size_t> pick(0, std::size(kParts) - 1);
  std::string bytes;
  for (size_t i = 0; i < pieces; ++i) bytes += kParts[pick(random)];
  return bytes;
}

std::u16string RandomText(std::mt19937& random, size_t length) {
  static const char16_t kUnits[] = {u'a',   u' ',   u'z',   0x436,  0x7FF,  0x800, 0x65E5, 0xFFFD,
                                    0xD83D, 0xDE00, 0xDBFF, 0xDFFF, 0xDC80, 0x7F,  0x80};
  std::uniform_int_distribution<size_t> pick(0, std::size(kUnits) - 1);
  std::uniform_int_distribution<int> run(0, 3);
  std::u16string text;
  while (text.size() < length) {
    if (run(random) == 0) {
      text += u"an ascii run longer than sixteen units";
    } else {
      text += kUnits[pick(random)];
    }
  }
  return text;
}

// Decodes `bytes` the way a file reader does: pieces of random size, the left-over bytes of
// each moved in front of the next.
std::u16string DecodeInPieces(std::mt19937& random, const std::string& bytes, size_t* counted) {
  std::uniform_int_distribution<size_t> size(1, 40);
  std::u16string text;
  std::string buffer;
  size_t at = 0;
  *counted = 0;
  for (;;) {
    const size_t take = std::min(size(random), bytes.size() - at);
    buffer += bytes.substr(at, take);
    at += take;
    const bool last = at == bytes.size();
    size_t units = 0, count = 0;
    std::u16string out(buffer.size(), u'\0');
    const size_t used = DecodeUtf8Piece(buffer, last, out.data(), &units);
    EXPECT_EQ(CountUtf8Piece(buffer, last, &count), used);
    EXPECT_EQ(count, units);
    EXPECT_LE(buffer.size() - used, last ? 0u : 3u);
    *counted += count;
    text.append(out, 0, units);
    buffer.erase(0, used);
    if (last) return text;
  }
}

TEST(Utf8Pieces, DecodeAsTheWholeTextDecodes) {
  std::mt19937 random(7);
  for (int round = 0; round < 400; ++round) {
    const std::string bytes = RandomUtf8(random, round % 60);
    size_t counted = 0;
    const std::u16string whole = ovUTF8ToUNICODE(bytes);
    EXPECT_EQ(DecodeInPieces(random, bytes, &counted), whole) << round;
    EXPECT_EQ(counted, whole.size()) << round;
  }
}

TEST(Utf8Pieces, EncodeAsTheWholeTextEncodes) {
  // Cut anywhere, a pair split between two pieces included.
  std::mt19937 random(11);
  std::uniform_int_distribution<size_t> size(1, 30);
  for (int round = 0; round < 300; ++round) {
    const std::u16string text = RandomText(random, round % 90);
    std::string bytes, buffer;
    size_t at = 0;
    while (at < text.size()) {
      size_t take = std::min(size(random), text.size() - at);
      size_t used = 0, written = 0;
      for (;; ++take) {  // a high surrogate alone waits for the next unit
        buffer.assign(3 * take, '\0');
        used = EncodeUtf8Piece(std::u16string_view(text).substr(at, take), at + take == text.size(),
                               buffer.data(), &written);
        if (used > 0) break;
      }
      at += used;
      bytes.append(buffer, 0, written);
    }
    EXPECT_EQ(bytes, ovUNICODEToUTF8(text)) << round;
  }
}

TEST(PortableUtf8, GivesTheSameResultsAsTheVectorPath) {
  std::mt19937 random(3);
  for (int round = 0; round < 300; ++round) {
    const std::string bytes = RandomUtf8(random, round % 80);
    EXPECT_EQ(portable::Utf8ToUtf16(bytes), ovUTF8ToUNICODE(bytes)) << round;
    size_t units = 0;
    EXPECT_EQ(portable::CountUtf8Piece(bytes, true, &units), bytes.size());
    EXPECT_EQ(units, ovUTF8ToUNICODE(bytes).size());
    const std::u16string text = RandomText(random, round % 120);
    EXPECT_EQ(portable::Utf16ToUtf8(text), ovUNICODEToUTF8(text)) << round;
  }
}

}  // namespace
}  // namespace support
