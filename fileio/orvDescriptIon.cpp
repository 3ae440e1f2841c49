// orvDescriptIon: reading, editing and writing one Descript.ion file.
//
// Choices beyond the file format that the class documents:
// - A line ends at CR LF, at a CR alone or at an LF alone: Linux tools write LF, and an LF is
//   never part of a description, so reading it as a line end loses nothing.
// - A file that begins with a UTF-8 byte-order mark (as Double Commander writes it) is read as
//   UTF-8 and written back as UTF-8 with the mark; any other file is in the OEM code page.
// - A line end inside a name or a description given to AddItem is written as a space, so that
//   one entry stays one line and can never add a line of its own to the file.
// - Characters the OEM code page lacks are written as "?" (support::TextToOem).
// - A file in the OEM page whose first line would begin with the bytes of a UTF-8 mark
//   (a name beginning with U+FEFF, or with "я╗┐" in code page 866) begins with an empty line.
// - A bare name that ends with a double quote (possible on Linux, never on Windows) is written
//   with one more quote: the reader drops a closing quote from a bare name, so the name reads
//   back as it was instead of turning into the name of another file.
// - In a folder, an existing description file spelled "descript.ion" (as some Linux file
//   managers write it) or "DESCRIPT.ION" is the folder's description file: Windows would find it
//   under any spelling, and a second file beside it would split the descriptions.

#include "fileio/orvDescriptIon.h"

#include <string_view>
#include <unordered_set>

#include "fileio/text_lines.h"
#include "platform/file_system.h"
#include "platform/platform.h"
#include "support/ov_paths.h"
#include "support/ov_strings.h"
#include "support/ov_unicode.h"

namespace quern {

namespace {

constexpr std::string_view kDescriptionFile = "Descript.ion";
constexpr std::string_view kUtf8Mark = "\xEF\xBB\xBF";

std::string KeyOf(const std::u16string& name) {
  return support::UpperCase(support::Utf8FromUtf16(name));
}

// One line taken apart into a name and a description (still in the file's encoding); false for
// a line that is skipped.
bool ParseDescriptionLine(std::string_view line, std::string_view* name, std::string* description) {
  if (line.empty() || line[0] == ' ' || line[0] == '\t') return false;
  size_t end = 0;  // where the name ends: its closing quote, or the first blank
  if (line[0] == '"') {
    end = line.find('"', 1);
  } else {
    end = line.find_first_of(" \t");
  }
  if (end == std::string_view::npos) return false;
  std::string_view text = line.substr(0, end);
  if (!text.empty() && text.front() == '"') text.remove_prefix(1);
  if (!text.empty() && text.back() == '"') text.remove_suffix(1);
  if (text.empty()) return false;
  *description = support::ovTrimEx(line.substr(end + 1));
  if (*description == "\"") return false;
  *name = text;
  return true;
}

// Text in the file's encoding, with no line end left in it.
std::string EncodeField(const std::u16string& text, bool utf8) {
  std::string bytes = utf8 ? support::ovUNICODEToUTF8(text) : support::TextToOem(text);
  for (char& c : bytes) {
    if (c == '\r' || c == '\n') c = ' ';
  }
  return bytes;
}

// The description file of `folder`: Descript.ion, or an existing file of that name in the other
// spellings file managers use. Only those few names are tried, each with one look: listing the
// folder to compare every name would cost a pass over a folder of any size on every call.
std::u16string DescriptionFileOf(platform::FileSystem& files, const std::u16string& folder) {
  static constexpr std::string_view kSpellings[] = {kDescriptionFile, "descript.ion",
                                                    "DESCRIPT.ION"};
  const std::string native_folder = support::NativeFileName(folder);
  for (const std::string_view spelling : kSpellings) {
    const std::string path = support::ovBuildFileName(native_folder, spelling);
    uint32_t attributes = 0;
    uint64_t size = 0;
    if (platform::GetFileAttributes(files, path, &attributes, &size) !=
        platform::error::kFileNotFound) {
      return support::FileNameFromNative(path);
    }
  }
  return support::FileNameFromNative(support::ovBuildFileName(native_folder, kDescriptionFile));
}

}  // namespace

DescriptIonEntries ParseDescriptIonText(std::string_view text) {
  DescriptIonEntries entries;
  if (text.starts_with(kUtf8Mark)) {
    entries.utf8_with_mark = true;
    text.remove_prefix(kUtf8Mark.size());
  }
  const bool utf8 = entries.utf8_with_mark;
  // The first line for a name wins; the set keeps that test linear in the number of lines.
  std::unordered_set<std::string> seen;
  std::string_view name;
  std::string description;
  // A lone LF ends a line everywhere (see the top of this file).
  for (std::string_view line : SplitLines(text, true)) {
    if (!ParseDescriptionLine(line, &name, &description)) continue;
    std::u16string name_text = utf8 ? support::ovUTF8ToUNICODE(name) : support::OemToText(name);
    if (!seen.insert(KeyOf(name_text)).second) continue;
    entries.names.push_back(std::move(name_text));
    entries.descriptions.push_back(utf8 ? support::ovUTF8ToUNICODE(description)
                                        : support::OemToText(description));
  }
  return entries;
}

std::string DescriptIonTextOf(const DescriptIonEntries& entries) {
  const bool utf8 = entries.utf8_with_mark;
  std::string out;
  if (utf8) out.assign(kUtf8Mark);
  for (size_t i = 0; i < entries.names.size(); ++i) {
    const std::string name = EncodeField(entries.names[i], utf8);
    if (name.find_first_of(" \t") == std::string::npos) {
      out += name;
      // The reader drops one closing quote from a bare name: one more keeps the name's own.
      if (name.ends_with('"')) out += '"';
    } else {
      out += '"';
      out += name;
      out += '"';
    }
    out += ' ';
    out += EncodeField(i < entries.descriptions.size() ? entries.descriptions[i] : u"", utf8);
    out += "\r\n";
  }
  // A file in the OEM page whose first name begins with the bytes of a UTF-8 mark would read
  // back as UTF-8, every other name garbled: an empty line first (skipped by every reader)
  // keeps the mark's bytes where they belong, in the name.
  if (!utf8 && std::string_view(out).starts_with(kUtf8Mark)) out.insert(0, "\r\n");
  return out;
}

int32_t orvDescriptIon::IndexOf(const std::u16string& FileName) const {
  if (FileName.empty()) return -1;
  const std::string key = KeyOf(FileName);
  for (size_t i = 0; i < keys_.size(); ++i) {
    if (keys_[i] == key) return static_cast<int32_t>(i);
  }
  return -1;
}

void orvDescriptIon::Append(const std::u16string& FileName, const std::u16string& Description) {
  names_.push_back(FileName);
  descriptions_.push_back(Description);
  keys_.push_back(KeyOf(FileName));
}

void orvDescriptIon::Erase(size_t index) {
  names_.erase(names_.begin() + static_cast<std::ptrdiff_t>(index));
  descriptions_.erase(descriptions_.begin() + static_cast<std::ptrdiff_t>(index));
  keys_.erase(keys_.begin() + static_cast<std::ptrdiff_t>(index));
}

std::u16string orvDescriptIon::ItemFileName(int32_t Index) const {
  if (Index < 0 || Index >= ItemCount()) return {};
  return names_[static_cast<size_t>(Index)];
}

std::u16string orvDescriptIon::ItemDescription(int32_t Index) const {
  if (Index < 0 || Index >= ItemCount()) return {};
  return descriptions_[static_cast<size_t>(Index)];
}

std::u16string orvDescriptIon::ItemDescriptionByFileName(const std::u16string& FileName) const {
  const int32_t index = IndexOf(FileName);
  return index < 0 ? std::u16string() : descriptions_[static_cast<size_t>(index)];
}

bool orvDescriptIon::RemoveItem(int32_t Index) {
  if (Index < 0 || Index >= ItemCount()) return false;
  Erase(static_cast<size_t>(Index));
  return true;
}

bool orvDescriptIon::RemoveItemByFileName(const std::u16string& FileName) {
  const int32_t index = IndexOf(FileName);
  if (index < 0) return false;
  Erase(static_cast<size_t>(index));
  return true;
}

void orvDescriptIon::AddItem(const std::u16string& FileName, const std::u16string& Description) {
  if (FileName.empty() || Description.empty() || !support::IsPossibleFileName(FileName)) return;
  RemoveItemByFileName(FileName);
  Append(FileName, Description);
}

void orvDescriptIon::Clear() {
  file_name_.clear();
  names_.clear();
  descriptions_.clear();
  keys_.clear();
  utf8_with_mark_ = false;
}

bool orvDescriptIon::ReadFile(const std::u16string& FileName) {
  Clear();
  std::vector<uint8_t> data;
  const uint32_t code = platform::ReadWholeFile(*files_, support::NativeFileName(FileName), &data);
  if (code == platform::error::kFileNotFound) {
    file_name_ = FileName;  // a folder without descriptions: an empty list
    return true;
  }
  if (code != platform::error::kSuccess) return false;
  DescriptIonEntries entries = ParseDescriptIonText(
      std::string_view(reinterpret_cast<const char*>(data.data()), data.size()));
  names_ = std::move(entries.names);
  descriptions_ = std::move(entries.descriptions);
  utf8_with_mark_ = entries.utf8_with_mark;
  keys_.reserve(names_.size());
  for (const std::u16string& name : names_) keys_.push_back(KeyOf(name));
  file_name_ = FileName;
  return true;
}

bool orvDescriptIon::WriteFile(const std::u16string& FileName) {
  if (FileName.empty() && file_name_.empty()) return false;
  // Checked here, not left to the write: an empty list writes nothing and would succeed.
  if (!support::IsPossibleFileName(FileName)) return false;
  const std::string target = support::NativeFileName(FileName.empty() ? file_name_ : FileName);
  // So that a hidden or read-only file can be replaced; a failure shows in the write itself.
  platform::SetFileAttributes(*files_, target, platform::attr::kNormal);
  if (names_.empty()) {
    uint32_t attributes = 0;
    uint64_t size = 0;
    const uint32_t code = platform::GetFileAttributes(*files_, target, &attributes, &size);
    if (code != platform::error::kSuccess || (attributes & platform::attr::kDirectory) != 0) {
      return true;  // no file to delete
    }
    return platform::DeleteFile(*files_, target) == platform::error::kSuccess;
  }
  const std::string out = DescriptIonTextOf({names_, descriptions_, utf8_with_mark_});
  if (platform::ReplaceWholeFile(*files_, target, out) != platform::error::kSuccess) return false;
  platform::SetFileAttributes(*files_, target, platform::attr::kHidden);
  return true;
}

bool orvDescriptIon::ReadDirectoryFile(const std::u16string& PathName) {
  if (!support::IsPossibleFileName(PathName)) return false;
  return ReadFile(DescriptionFileOf(*files_, PathName));
}

bool orvDescriptIon::WriteDirectoryFile(const std::u16string& PathName) {
  if (!support::IsPossibleFileName(PathName)) return false;
  if (PathName.empty()) return WriteFile();
  return WriteFile(DescriptionFileOf(*files_, PathName));
}

orvDescriptIon::orvDescriptIon() = default;

}  // namespace quern
