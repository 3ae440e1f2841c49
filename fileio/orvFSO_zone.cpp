// orvFSO: what the system keeps beside a file's contents — its security zone (an INI text in
// the file's "Zone.Identifier" stream), its description (the Descript.ion of its folder) and
// its compression. None of these raises for a failure of the file system.

#include <string>

#include "fileio/orvDescriptIon.h"
#include "fileio/orvFSO.h"
#include "platform/compression.h"
#include "platform/file_system.h"
#include "support/ov_ini.h"
#include "support/ov_paths.h"
#include "support/ov_unicode.h"

namespace quern {

namespace {

constexpr std::string_view kZoneStream = "Zone.Identifier";
constexpr std::string_view kZoneSection = "ZoneTransfer";
constexpr std::string_view kZoneKey = "ZoneId";

// The zone stream's text. A stream that is not there is an empty text (the profile functions
// create it on a write); false when it exists but cannot be read, so that a write never
// replaces a stream it could not see.
bool ReadZoneText(platform::FileSystem& files, const std::string& path, std::string* text) {
  const uint32_t code = platform::GetFileStream(files, path, kZoneStream, text);
  if (code == platform::error::kFileNotFound) text->clear();
  return code == platform::error::kSuccess || code == platform::error::kFileNotFound;
}

// The folder and the bare name of a full file name, as text.
struct FolderAndName {
  std::u16string folder;
  std::u16string name;
};

FolderAndName SplitFileName(const std::u16string& file_name) {
  const std::string native = support::NativeFileName(file_name);
  return {support::FileNameFromNative(support::ovGetFilePath(native)),
          support::FileNameFromNative(support::ovGetFileName(native))};
}

void SetErrorCode(int32_t* lpErrorCode, uint32_t code) {
  if (lpErrorCode != nullptr) *lpErrorCode = static_cast<int32_t>(code);
}

}  // namespace

// --- Zone ------------------------------------------------------------------------------------

FileZoneConst orvFSO::GetFileZone(const std::u16string& FileName) {
  std::string text;
  if (platform::GetFileStream(Files(), support::NativeFileName(FileName), kZoneStream, &text) !=
      platform::error::kSuccess) {
    return fzLocalMachine;
  }
  return FileZoneConst(support::ReadIniInteger(text, kZoneSection, kZoneKey, 0));
}

bool orvFSO::SetFileZone(const std::u16string& FileName, FileZoneConst FileZone) {
  const std::string path = support::NativeFileName(FileName);
  if (!IsFileThere(path)) return false;
  std::string text;
  if (!ReadZoneText(Files(), path, &text)) return false;
  if (!support::WriteIniValue(&text, kZoneSection, kZoneKey,
                              std::to_string(static_cast<int32_t>(FileZone)))) {
    return false;
  }
  return platform::SetFileStream(Files(), path, kZoneStream, text) == platform::error::kSuccess;
}

bool orvFSO::IsFileZoneDefined(const std::u16string& FileName) {
  const std::string path = support::NativeFileName(FileName);
  if (!IsFileThere(path)) return false;
  std::string text;
  if (platform::GetFileStream(Files(), path, kZoneStream, &text) != platform::error::kSuccess) {
    return false;
  }
  return support::IsIniKeyPresent(text, kZoneSection, kZoneKey);
}

bool orvFSO::DeleteFileZone(const std::u16string& FileName) {
  const std::string path = support::NativeFileName(FileName);
  if (!IsFileThere(path)) return false;
  std::string text;
  if (platform::GetFileStream(Files(), path, kZoneStream, &text) != platform::error::kSuccess) {
    return false;
  }
  // The stream and the section stay; only the key goes.
  if (!support::DeleteIniKey(&text, kZoneSection, kZoneKey)) return false;
  return platform::SetFileStream(Files(), path, kZoneStream, text) == platform::error::kSuccess;
}

// --- Description -----------------------------------------------------------------------------

std::u16string orvFSO::GetFileDescription(const std::u16string& FileName) {
  if (!support::IsPossibleFileName(FileName)) return {};
  const FolderAndName parts = SplitFileName(FileName);
  const Ref<orvDescriptIon> list = automation::MakeObject<orvDescriptIon>();
  list->UseFileSystem(Files());
  if (!list->ReadDirectoryFile(parts.folder)) return {};
  return list->ItemDescriptionByFileName(parts.name);
}

bool orvFSO::SetFileDescription(const std::u16string& FileName,
                                const std::u16string& DescriptionText) {
  if (!support::IsPossibleFileName(FileName)) return false;
  const FolderAndName parts = SplitFileName(FileName);
  const Ref<orvDescriptIon> list = automation::MakeObject<orvDescriptIon>();
  list->UseFileSystem(Files());
  if (!list->ReadDirectoryFile(parts.folder)) return false;
  list->AddItem(parts.name, DescriptionText);
  return list->WriteDirectoryFile(parts.folder);
}

bool orvFSO::DeleteFileDescription(const std::u16string& FileName) {
  if (!support::IsPossibleFileName(FileName)) return false;
  const FolderAndName parts = SplitFileName(FileName);
  const Ref<orvDescriptIon> list = automation::MakeObject<orvDescriptIon>();
  list->UseFileSystem(Files());
  if (!list->ReadDirectoryFile(parts.folder)) return false;
  list->RemoveItemByFileName(parts.name);
  return list->WriteDirectoryFile(parts.folder);
}

// --- Compression -----------------------------------------------------------------------------

bool orvFSO::SetFileCompression(const std::u16string& FileName,
                                CompressionFormatConst CompressionFormat, int32_t* lpErrorCode) {
  SetErrorCode(lpErrorCode, platform::error::kSuccess);
  // Windows reads only the low two bytes of the format; here the whole value counts, so that a
  // value beyond them (65536, or cfError) is refused rather than taken for another format.
  const auto format = static_cast<uint32_t>(static_cast<int32_t>(CompressionFormat));
  const uint32_t code =
      platform::SetFileCompression(Files(), support::NativeFileName(FileName), format);
  SetErrorCode(lpErrorCode, code);
  return code == platform::error::kSuccess;
}

CompressionFormatConst orvFSO::GetFileCompression(const std::u16string& FileName,
                                                  int32_t* lpErrorCode) {
  uint32_t format = platform::compression::kNone;
  const uint32_t code =
      platform::GetFileCompression(Files(), support::NativeFileName(FileName), &format);
  SetErrorCode(lpErrorCode, code);
  if (code != platform::error::kSuccess) return cfError;
  return CompressionFormatConst(static_cast<int32_t>(format));
}

bool orvFSO::IsFileThere(const std::string& path) const {
  uint32_t attributes = 0;
  uint64_t size = 0;
  return platform::GetFileAttributes(Files(), path, &attributes, &size) ==
             platform::error::kSuccess &&
         (attributes & platform::attr::kDirectory) == 0;
}

}  // namespace quern
