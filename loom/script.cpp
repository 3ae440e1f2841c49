// Loading a script file: read the bytes, drop a byte-order mark, turn UTF-16 into UTF-8.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "loom/loom.h"
#include "loom/parser.h"
#include "platform/file.h"
#include "platform/file_system.h"
#include "support/ov_strings.h"

namespace loom {
namespace {

// A cleaning script is a few kilobytes; anything this big is not one, and reading it whole
// would only eat memory (think of /dev/zero given by mistake).
constexpr std::size_t kMaxScriptBytes = 16 * 1024 * 1024;

// The whole file into `bytes`, or why it cannot be had. The folder above the name is opened
// once and the file opened in it without waiting on a FIFO; anything but a regular file is
// refused. A name ending in a separator names a folder: a file found there is not what the
// user gave, and is refused as the system refuses "file/" (kPathNotFound).
LoadFailure ReadWholeFile(platform::FileSystem& files, const std::string& file_name,
                          std::string& bytes, uint32_t& error) {
  if (file_name.empty()) {
    error = platform::error::kFileNotFound;  // as opening "" says
    return LoadFailure::kCannotOpen;
  }
  std::string name;
  const platform::Folder folder = files.OpenParentFolder(file_name, &name, &error);
  if (!folder.IsOpen()) return LoadFailure::kCannotOpen;
  platform::File file;
  error = files.OpenEntryFile(folder, name, platform::FileOpening::kRead, &file);
  if (error != platform::error::kSuccess) {
    // A folder, FIFO, device or socket is refused apart from a file that may not be read, so
    // that the message says what the user gave.
    return error == platform::error::kBadFileType ? LoadFailure::kNotRegularFile
                                                  : LoadFailure::kCannotOpen;
  }
  if (file_name.back() == '/' || file_name.back() == platform::kPathSeparator) {
    error = platform::error::kPathNotFound;
    return LoadFailure::kCannotOpen;
  }
  if (file.Size() > kMaxScriptBytes) return LoadFailure::kTooLarge;
  std::vector<uint8_t> content;
  error = file.ReadAt(0, static_cast<std::size_t>(file.Size()), &content);
  if (error != platform::error::kSuccess) return LoadFailure::kCannotRead;
  bytes.assign(content.begin(), content.end());
  return LoadFailure::kNone;
}

// UTF-16 (after its byte-order mark) to UTF-8. A unit that cannot be decoded (an unpaired
// surrogate, a lone last byte) becomes U+FFFD, and `damaged_at` receives the offset of the
// first one, so that Run can name the place instead of running a changed text.
std::string Utf16ToUtf8(std::string_view bytes, bool big_endian, std::size_t& damaged_at) {
  constexpr char32_t kReplacement = 0xFFFD;
  std::string out;
  out.reserve(bytes.size() + bytes.size() / 2);
  const auto unit_at = [&](std::size_t i) -> char32_t {
    const auto first = static_cast<unsigned char>(bytes[i]);
    const auto second = static_cast<unsigned char>(bytes[i + 1]);
    return big_endian ? (first << 8 | second) : (second << 8 | first);
  };
  const auto damaged = [&] {
    if (damaged_at == std::string::npos) damaged_at = out.size();
    support::AppendUtf8(kReplacement, out);
  };
  std::size_t i = 0;
  while (i + 1 < bytes.size()) {
    const char32_t unit = unit_at(i);
    i += 2;
    if (unit >= 0xD800 && unit <= 0xDBFF) {
      if (i + 1 < bytes.size()) {
        const char32_t low = unit_at(i);
        if (low >= 0xDC00 && low <= 0xDFFF) {
          i += 2;
          support::AppendUtf8(0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00), out);
          continue;
        }
      }
      damaged();
    } else if (unit >= 0xDC00 && unit <= 0xDFFF) {
      damaged();
    } else {
      support::AppendUtf8(unit, out);
    }
  }
  if (i < bytes.size()) damaged();  // an odd byte count
  return out;
}

}  // namespace

bool Script::LoadFromFile(const std::string& file_name, platform::FileSystem& files) {
  file_name_ = file_name;
  text_.clear();
  loaded_ = false;
  damaged_at_ = std::string::npos;

  load_failure_ = LoadFailure::kNone;
  load_error_ = 0;
  std::string bytes;
  load_failure_ = ReadWholeFile(files, file_name, bytes, load_error_);
  if (load_failure_ != LoadFailure::kNone) return false;

  const std::string_view view = bytes;
  if (view.starts_with("\xEF\xBB\xBF")) {
    text_ = view.substr(3);
  } else if (view.starts_with("\xFF\xFE")) {
    text_ = Utf16ToUtf8(view.substr(2), /*big_endian=*/false, damaged_at_);
  } else if (view.starts_with("\xFE\xFF")) {
    text_ = Utf16ToUtf8(view.substr(2), /*big_endian=*/true, damaged_at_);
  } else {
    text_ = std::move(bytes);
  }

  // Any line that is not blank or a comment counts, even a wrong one: Run reports it.
  detail::Parser parser(text_);
  detail::Statement statement;
  detail::Problem error;
  loaded_ = parser.Next(statement, error) != detail::ParseResult::kEnd;
  if (!loaded_) {
    text_.clear();
    load_failure_ = LoadFailure::kNoStatement;
  }
  return loaded_;
}

}  // namespace loom
