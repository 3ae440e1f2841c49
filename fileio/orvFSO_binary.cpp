// orvFSO's binary files: whole files in and out as byte arrays.
//
// Decisions of this implementation:
// - PutFileB writes a temporary file beside the old one and renames it over it (keeping the old
//   file's mode; a name that is a symbolic link keeps its link and the target is replaced), so
//   a failed write leaves the old contents whole instead of a file cut to zero length.
// - Writing an array without elements counts as success: the file is then empty (or, for
//   AppendFileB, unchanged), which is what was asked for.
// - A Byte() array is counted in Longs, so a file larger than 2147483647 bytes cannot be held:
//   GetFileB fails with error 7 (out of memory) before reading any of it.
// - A name that is a folder is not a file: GetFileB says 53 (its existence test finds no file);
//   the writers get access denied from the system and say 70.
#include <cstdint>
#include <limits>
#include <string>
#include <string_view>
#include <vector>

#include "fileio/orvFSO.h"
#include "fileio/text_format.h"
#include "platform/file_system.h"
#include "platform/platform.h"
#include "support/ov_error.h"
#include "support/ov_paths.h"
#include "support/ov_unicode.h"

namespace quern {
namespace {

constexpr uint64_t kLargestByteArray = std::numeric_limits<int32_t>::max();

std::string_view AsChars(const std::vector<uint8_t>& data) {
  return std::string_view(reinterpret_cast<const char*>(data.data()), data.size());
}

void Check(uint32_t code) {
  if (code != platform::error::kSuccess) RaiseFileError(code);
}

}  // namespace

std::vector<uint8_t> orvFSO::GetFileB(const std::u16string& FileName, bool RaiseErrors,
                                      bool* lpSuccess) {
  if (lpSuccess != nullptr) *lpSuccess = false;
  return UnderRaiseErrors(RaiseErrors, std::vector<uint8_t>{}, [&] {
    const std::string path = support::NativeFileName(FileName);
    if (!IsFileThere(path)) {
      throw support::MakeError(support::errnum::kFileNotFound, "orvFSO");
    }
    std::vector<uint8_t> data;
    uint64_t size = 0;
    Check(platform::ReadFileStart(Files(), path, 0, &data, &size));
    if (size > kLargestByteArray) {
      throw support::MakeError(support::errnum::kOutOfMemory, "orvFSO");
    }
    Check(platform::ReadWholeFile(Files(), path, &data));
    if (data.size() > kLargestByteArray) {  // it grew between the two looks
      throw support::MakeError(support::errnum::kOutOfMemory, "orvFSO");
    }
    if (lpSuccess != nullptr) *lpSuccess = true;
    return data;
  });
}

bool orvFSO::GetFileBInto(const std::u16string& FileName, bool RaiseErrors, bool* lpSuccess,
                          const ByteRoom& room, size_t* Length) {
  if (lpSuccess != nullptr) *lpSuccess = false;
  *Length = 0;
  return UnderRaiseErrors(RaiseErrors, true, [&] {
    const std::string path = support::NativeFileName(FileName);
    if (!IsFileThere(path)) {
      throw support::MakeError(support::errnum::kFileNotFound, "orvFSO");
    }
    uint32_t code = platform::error::kSuccess;
    const platform::File reader = platform::OpenWholeFile(Files(), path, &code);
    Check(code);
    if (reader.Size() > kLargestByteArray) {
      throw support::MakeError(support::errnum::kOutOfMemory, "orvFSO");
    }
    const size_t size = static_cast<size_t>(reader.Size());
    uint8_t* out = room(size);
    if (out == nullptr) throw support::MakeError(support::errnum::kOutOfMemory, "orvFSO");
    size_t done = 0;
    Check(reader.ReadUpTo(0, out, size, &done));
    uint8_t probe = 0;
    size_t more = 0;
    Check(reader.ReadUpTo(done, &probe, 1, &more));
    if (more != 0) return false;
    *Length = done;
    if (lpSuccess != nullptr) *lpSuccess = true;
    return true;
  });
}

bool orvFSO::PutFileB(const std::u16string& FileName, const std::vector<uint8_t>& Data,
                      bool RaiseErrors) {
  return UnderRaiseErrors(RaiseErrors, false, [&] {
    Check(platform::ReplaceWholeFile(Files(), support::NativeFileName(FileName), AsChars(Data)));
    return true;
  });
}

bool orvFSO::AppendFileB(const std::u16string& FileName, const std::vector<uint8_t>& Data,
                         bool RaiseErrors) {
  return UnderRaiseErrors(RaiseErrors, false, [&] {
    Check(platform::AppendToFile(Files(), support::NativeFileName(FileName), AsChars(Data)));
    return true;
  });
}

bool orvFSO::OverwriteFileB(const std::u16string& FileName, const std::vector<uint8_t>& Data,
                            bool RaiseErrors) {
  return UnderRaiseErrors(RaiseErrors, false, [&] {
    Check(platform::OverwriteFile(Files(), support::NativeFileName(FileName), AsChars(Data)));
    return true;
  });
}

}  // namespace quern
