// orvDescriptIon: the model of one Descript.ion file (file descriptions, one line per file, in
// the OEM code page with CR LF line ends). Names are compared without regard to case; the
// first line for a name wins when reading; indexes count from 0. Nothing here raises for a
// failure of the file system: reads and writes return false.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "automation/object.h"
#include "platform/file_system.h"

namespace quern {

// The entries of a Descript.ion file, in file order.
struct DescriptIonEntries {
  std::vector<std::u16string> names;
  std::vector<std::u16string> descriptions;
  bool utf8_with_mark = false;  // the text is UTF-8 after a byte-order mark, not the OEM page
};

// The entries of a Descript.ion file's bytes, as ReadFile reads them: never fails, whatever the
// bytes; lines that hold no entry are skipped and the first line for a name wins.
DescriptIonEntries ParseDescriptIonText(std::string_view bytes);

// The bytes WriteFile writes for `entries` (one CR LF line each, a name with blanks in quotes,
// a line end inside a field written as a space).
std::string DescriptIonTextOf(const DescriptIonEntries& entries);

class orvDescriptIon : public automation::Object {
 public:
  // Out of line: the machine's file system it starts with is the library's, not a client's.
  orvDescriptIon();
  static const automation::ClassInfo& Class();
  const automation::ClassInfo& TypeInfo() const noexcept override { return Class(); }

  // The file system the list is read from and written to: the machine's unless another is
  // handed over before the first read (orvFSO hands over its own; it must outlive the list).
  void UseFileSystem(platform::FileSystem& files) { files_ = &files; }

  // The description file last read (a missing file counts as read); empty after Clear.
  std::u16string FileName() const { return file_name_; }
  // Empty text for an index out of range.
  std::u16string ItemFileName(int32_t Index) const;
  std::u16string ItemDescription(int32_t Index) const;
  // Empty text for an empty name or one not in the list.
  std::u16string ItemDescriptionByFileName(const std::u16string& FileName) const;
  int32_t ItemCount() const { return static_cast<int32_t>(names_.size()); }
  bool RemoveItem(int32_t Index);
  bool RemoveItemByFileName(const std::u16string& FileName);
  // Nothing when either is empty; else replaces an entry of that name and appends at the end.
  void AddItem(const std::u16string& FileName, const std::u16string& Description);
  void Clear();
  bool ReadFile(const std::u16string& FileName);
  // Writes to FileName, or (empty) to the file last read. An empty list deletes the file.
  bool WriteFile(const std::u16string& FileName = {});
  // Descript.ion of the folder PathName.
  bool ReadDirectoryFile(const std::u16string& PathName);
  bool WriteDirectoryFile(const std::u16string& PathName = {});

 private:
  // The position of the entry named `FileName` (letter case ignored), or -1.
  int32_t IndexOf(const std::u16string& FileName) const;
  void Append(const std::u16string& FileName, const std::u16string& Description);
  void Erase(size_t index);

  platform::FileSystem* files_ = &platform::RealFileSystem();
  std::u16string file_name_;
  std::vector<std::u16string> names_;
  std::vector<std::u16string> descriptions_;
  std::vector<std::string> keys_;  // each name upper-cased (UTF-8), for the look-ups by name
  bool utf8_with_mark_ = false;    // the file read began with a UTF-8 mark: write it back so
};

}  // namespace quern
