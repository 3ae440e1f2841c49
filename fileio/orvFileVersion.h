// orvFileVersion: the version resource of an executable (program, library, driver, font): its
// fixed part and the strings of the string table that suits the user's language. It only
// reads. A missing file, one that is not a PE image, or one without a version resource makes
// ReadFile return false and leaves the object empty; nothing here raises for the file system.
//
// Texts are UTF-16 in the resource and are returned as they are: the step through the ANSI code
// page that Windows takes would only lose characters in a legacy 8-bit locale (and names pass
// through unchanged on this platform anyway).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "automation/object.h"
#include "fileio/version_resource.h"

namespace quern {

// The string table to read: the first rule that any entry of `translations` meets picks the
// first entry, in list order, that meets it —
//   1. the user's language with the ANSI code page, 2. the user's language with code page
//   1200 (Unicode), 3. the user's language, 4.-6. the same with the system's language,
//   7. English (United States, 0x0409), 8. the first entry.
// The code page is compared with the ANSI code page as a signed 16-bit value, so code pages
// from 32768 up never equal it. The result is the key: language and code page as four
// upper-case hexadecimal digits each ("041904E3"); "040904B0" for an empty list.
std::u16string ChooseTranslation(const std::vector<Translation>& translations,
                                 uint16_t user_language, uint16_t system_language,
                                 int32_t ansi_code_page);

class orvFileVersion : public automation::Object {
 public:
  orvFileVersion() = default;
  static const automation::ClassInfo& Class();
  const automation::ClassInfo& TypeInfo() const noexcept override { return Class(); }

  // Loads the version resource of FileName and chooses its string table for the user's
  // language as it is now; false (and an empty object) when the file has none or cannot be
  // read. The library's own file answers with the library's version.
  bool ReadFile(const std::u16string& FileName);
  // A copy of the loaded version block (empty when nothing is loaded).
  std::vector<uint8_t> GetBuffer() const { return buffer_; }

  // The fixed part; 0 when nothing is loaded or the root value is not 52 bytes long.
  int32_t FileDateLS() const { return static_cast<int32_t>(fixed_.date_ls); }
  int32_t FileDateMS() const { return static_cast<int32_t>(fixed_.date_ms); }
  int32_t FileSubType() const { return static_cast<int32_t>(fixed_.subtype); }
  int32_t FileType() const { return static_cast<int32_t>(fixed_.type); }
  int32_t FileOS() const { return static_cast<int32_t>(fixed_.os); }
  int32_t StrucVersion() const { return static_cast<int32_t>(fixed_.struc_version); }
  int32_t Signature() const { return static_cast<int32_t>(fixed_.signature); }
  // Version parts are signed 16-bit numbers: 65535 reads as -1.
  int32_t ProductVerMajor() const { return High(fixed_.product_version_ms); }
  int32_t ProductVerMinor() const { return Low(fixed_.product_version_ms); }
  int32_t ProductVerRevisionMajor() const { return High(fixed_.product_version_ls); }
  int32_t ProductVerRevisionMinor() const { return Low(fixed_.product_version_ls); }
  int32_t FileVerMajor() const { return High(fixed_.file_version_ms); }
  int32_t FileVerMinor() const { return Low(fixed_.file_version_ms); }
  int32_t FileVerRevisionMajor() const { return High(fixed_.file_version_ls); }
  int32_t FileVerRevisionMinor() const { return Low(fixed_.file_version_ls); }

  // The file of the last successful ReadFile; "" otherwise.
  std::u16string FileName() const { return file_name_; }

  // The flags field alone (the mask is not applied), and the mask field.
  bool FileFlagDebug() const { return (fixed_.flags & 0x1) != 0; }
  bool FileFlagSpecialBuild() const { return (fixed_.flags & 0x20) != 0; }
  bool FileFlagPrivateBuild() const { return (fixed_.flags & 0x8) != 0; }
  bool FileFlagPreRelease() const { return (fixed_.flags & 0x2) != 0; }
  bool FileFlagPatched() const { return (fixed_.flags & 0x4) != 0; }
  bool FileFlagInfoInferred() const { return (fixed_.flags & 0x10) != 0; }
  bool FileFlagMaskDebug() const { return (fixed_.flags_mask & 0x1) != 0; }
  bool FileFlagMaskSpecialBuild() const { return (fixed_.flags_mask & 0x20) != 0; }
  bool FileFlagMaskPrivateBuild() const { return (fixed_.flags_mask & 0x8) != 0; }
  bool FileFlagMaskPreRelease() const { return (fixed_.flags_mask & 0x2) != 0; }
  bool FileFlagMaskPatched() const { return (fixed_.flags_mask & 0x4) != 0; }
  bool FileFlagMaskInfoInferred() const { return (fixed_.flags_mask & 0x10) != 0; }

  // The name of a language id ("English (United States)"); see LanguageName in
  // language_names.h for unknown ids.
  std::u16string GetLanguageName(int32_t LanguageID) const;
  // The name of the chosen string table's language; "" when nothing is loaded. Never raises.
  std::u16string LanguageName() const;
  // The string Name of the chosen table; "" when nothing is loaded, Name is "", or the table
  // or the string is missing.
  std::u16string GetVersionInfoString(const std::u16string& Name) const;

  std::u16string StrComments() const { return GetVersionInfoString(u"Comments"); }
  std::u16string StrCompanyName() const { return GetVersionInfoString(u"CompanyName"); }
  std::u16string StrFileDescription() const { return GetVersionInfoString(u"FileDescription"); }
  std::u16string StrFileVersion() const { return GetVersionInfoString(u"FileVersion"); }
  std::u16string StrInternalName() const { return GetVersionInfoString(u"InternalName"); }
  std::u16string StrLegalCopyright() const { return GetVersionInfoString(u"LegalCopyright"); }
  std::u16string StrLegalTrademarks() const { return GetVersionInfoString(u"LegalTrademarks"); }
  std::u16string StrOLESelfRegister() const { return GetVersionInfoString(u"OLESelfRegister"); }
  std::u16string StrOriginalFilename() const { return GetVersionInfoString(u"OriginalFilename"); }
  std::u16string StrPrivateBuild() const { return GetVersionInfoString(u"PrivateBuild"); }
  std::u16string StrProductName() const { return GetVersionInfoString(u"ProductName"); }
  std::u16string StrProductVersion() const { return GetVersionInfoString(u"ProductVersion"); }
  std::u16string StrSpecialBuild() const { return GetVersionInfoString(u"SpecialBuild"); }

 private:
  static int32_t High(uint32_t value) { return static_cast<int16_t>(value >> 16); }
  static int32_t Low(uint32_t value) { return static_cast<int16_t>(value & 0xFFFF); }
  void Clear();

  std::vector<uint8_t> buffer_;
  FixedFileInfo fixed_;
  std::u16string language_key_;
  std::u16string file_name_;
};

}  // namespace quern
