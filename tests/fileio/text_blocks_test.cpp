// GetFile2 and PutFile2 convert whole files block by block. Whatever the sizes, formats and
// bytes, the result must be exactly the byte image of text_format.h (EncodeText and
// DecodeText, which convert a whole file in one piece): characters and broken sequences cut
// by a block's end, odd byte counts, marks, inverted order, files that change while read.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <cstring>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "common/test_files.h"
#include "fileio/orvFSO.h"
#include "fileio/text_format.h"
#include "support/ov_error.h"
#include "support/ov_unicode.h"

namespace quern {
namespace {

using orvanel::testing::RaisedBy;
using orvanel::testing::ReadBytes;
using orvanel::testing::TempFolder;
using orvanel::testing::WriteBytes;

constexpr size_t kBlock = 64 * 1024;

std::u16string Name(const std::string& path) { return support::FileNameFromNative(path); }

// Random bytes of UTF-8 text, broken sequences and stray bytes included, of exactly `size`.
std::string RandomBytes(std::mt19937& random, size_t size) {
  static const char* const kParts[] = {
      "ascii text ", "\xD0\xB6", "\xE6\x97\xA5", "\xF0\x9F\x98\x80", "\xE2\x82",
      "\x80",        "\xFF",     "\r\n",         "\xF0\x9F\x98"};
  std::uniform_int_distribution<size_t> pick(0, std::size(kParts) - 1);
  std::string bytes;
  while (bytes.size() < size) bytes += kParts[pick(random)];
  bytes.resize(size);
  return bytes;
}

std::u16string RandomText(std::mt19937& random, size_t length) {
  static const char16_t kUnits[] = {u'a', u' ', 0x436, 0x65E5, 0xD83D, 0xDE00, 0xDBFF, 0xDC80};
  std::uniform_int_distribution<size_t> pick(0, std::size(kUnits) - 1);
  std::u16string text;
  while (text.size() < length) {
    if (pick(random) < 2) text.append(40, u'x');
    text += kUnits[pick(random)];
  }
  text.resize(length);
  return text;
}

class TextBlocks : public ::testing::Test {
 protected:
  Ref<orvFSO> fso = automation::MakeObject<orvFSO>();
  TempFolder dir;
};

// Sizes around the block steps (and, for the reader of UTF-16, an odd one next to each).
std::vector<size_t> Sizes() {
  return {0,
          1,
          2,
          3,
          4,
          5,
          kBlock - 3,
          kBlock - 1,
          kBlock,
          kBlock + 1,
          kBlock + 2,
          kBlock + 3,
          2 * kBlock,
          2 * kBlock + 5,
          5 * 1024 * 1024 + 3};
}

TEST_F(TextBlocks, GetFile2DecodesEveryFormatAsTheWholeImageDoes) {
  std::mt19937 random(1);
  const std::string path = dir / "f";
  const char* const kMarks[] = {"", "\xEF\xBB\xBF", "\xFF\xFE", "\xFE\xFF"};
  const FileEncodingConst kEncodings[] = {feAuto, feANSI, feUTF8, feUTF16};
  const FileBOMConst kBoms[] = {fbAuto, fbNoBOM, fbBOM};
  const InvertBytesConst kInverts[] = {ibAuto, ibDontInvertBytes, ibInvertBytes};
  for (const size_t size : Sizes()) {
    for (const char* mark : kMarks) {
      const std::string bytes = (mark + RandomBytes(random, size)).substr(0, size);
      WriteBytes(path, bytes);
      const std::vector<uint8_t> image(bytes.begin(), bytes.end());
      const FileFormat detected = DetectFileFormat(image.data(), image.size());
      for (const FileEncodingConst encoding : kEncodings) {
        for (const FileBOMConst bom : kBoms) {
          // Every order would take too long for the big file; one random choice each round.
          const InvertBytesConst invert = kInverts[random() % 3];
          const FileFormat format = {encoding == feAuto ? detected.encoding : encoding,
                                     bom == fbAuto ? detected.bom : bom,
                                     invert == ibAuto ? detected.invert : invert};
          std::vector<uint8_t> copy = image;
          std::u16string expected;
          int32_t expected_error = 0;
          try {
            expected = DecodeText(copy, format);
          } catch (const support::Error& error) {
            expected_error = error.number();
          }
          FileEncodingConst got_encoding = feAuto;
          FileBOMConst got_bom = fbAuto;
          InvertBytesConst got_invert = ibAuto;
          bool success = false;
          std::u16string text;
          int32_t error_number = 0;
          try {
            text = fso->GetFile2(Name(path), true, encoding, bom, invert, &got_encoding, &got_bom,
                                 &got_invert, &success);
          } catch (const support::Error& error) {
            error_number = error.number();
          }
          const std::string where = "size " + std::to_string(size) + " mark " +
                                    std::to_string(strlen(mark)) + " format " +
                                    std::to_string(format.encoding) + std::to_string(format.bom) +
                                    std::to_string(format.invert);
          ASSERT_EQ(error_number, expected_error) << where;
          ASSERT_EQ(success, expected_error == 0) << where;
          ASSERT_TRUE(text == expected) << where;
          EXPECT_EQ(got_encoding, format.encoding) << where;
          EXPECT_EQ(got_bom, format.bom) << where;
          EXPECT_EQ(got_invert, format.invert) << where;
          EXPECT_LE(text.capacity(), text.size() + 8) << where;
        }
      }
    }
  }
}

TEST_F(TextBlocks, PutFile2WritesEveryFormatAsTheWholeImage) {
  // Text long enough for many pieces, a pair cut by a piece's end included.
  std::mt19937 random(2);
  const std::string path = dir / "f";
  const FileEncodingConst kEncodings[] = {feANSI, feUTF8, feUTF16};
  for (const size_t length : {size_t{0}, size_t{1}, size_t{32 * 1024 - 1}, size_t{100000}}) {
    std::u16string text = RandomText(random, length);
    if (length > 32 * 1024) text[32 * 1024 - 1] = 0xD83D, text[32 * 1024] = 0xDE00;
    for (const FileEncodingConst encoding : kEncodings) {
      for (const FileBOMConst bom : {fbNoBOM, fbBOM}) {
        for (const InvertBytesConst invert : {ibDontInvertBytes, ibInvertBytes}) {
          ASSERT_TRUE(fso->PutFile2(Name(path), text, true, encoding, bom, invert));
          const std::vector<uint8_t> image = EncodeText(text, {encoding, bom, invert});
          EXPECT_TRUE(ReadBytes(path) == std::string(image.begin(), image.end()))
              << length << " " << encoding << bom << invert;
        }
      }
    }
  }
}

TEST_F(TextBlocks, AFileChangingWhileReadGivesTextInItsPlaces) {
  // The file grows and is cut back between and during the count and the decoding: every
  // result is a beginning of the text, and holds no more memory than it needs but a little.
  const std::string path = dir / "f";
  std::string pattern;
  while (pattern.size() < 6 * 1024 * 1024) pattern += "0123456789abcdefghijklmnopqrstuvwxyz\n";
  WriteBytes(path, pattern.substr(0, 1024 * 1024));
  const std::u16string text = support::ovUTF8ToUNICODE(pattern);
  std::atomic<bool> stop{false};
  std::thread writer([&] {
    std::mt19937 random(5);
    std::uniform_int_distribution<size_t> size(0, pattern.size());
    while (!stop) {
      const size_t target = size(random);
      const int fd = open(path.c_str(), O_WRONLY);
      if (target < pattern.size() / 4) {
        ASSERT_EQ(ftruncate(fd, static_cast<off_t>(target)), 0);
      } else {
        ASSERT_EQ(pwrite(fd, pattern.data(), target, 0), static_cast<ssize_t>(target));
      }
      close(fd);
    }
  });
  for (int round = 0; round < 30; ++round) {
    const std::u16string got = fso->GetFile2(Name(path), true, feUTF8, fbNoBOM);
    // A read that races a truncation may see the zeroed tail of a page before the writer
    // fills it again (the kernel's own behaviour): such a character is NUL, never another.
    ASSERT_LE(got.size(), text.size()) << round;
    for (size_t i = 0; i < got.size(); ++i) {
      ASSERT_TRUE(got[i] == text[i] || got[i] == u'\0') << round << " at " << i;
    }
    EXPECT_LE(got.capacity(), got.size() + 1024 * 1024) << round;
  }
  stop = true;
  writer.join();
}

}  // namespace
}  // namespace quern
