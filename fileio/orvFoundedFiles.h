// The file search: orvFoundedFiles searches a folder for the entries whose names match a mask
// and keeps the result as a tree (one FoundedFile per entry, and for a folder its own nested
// orvFoundedFiles in Childs, searched with the same mask). A callback object is told when each
// folder is finished and may stop the search (IFindFilesCallback).
//
// The search follows the Windows find functions on this platform (platform/find.h): entries in
// the order the folder lists them, "." and ".." never kept, a volume root ("/" or the root of a
// mount) found as one entry named by the path itself. A folder that cannot be listed, or in
// which nothing matches, gives False and an empty result; nothing here raises for a failure of
// the file system. An error the callback raises ends the whole search and is raised from the
// client's call (support::Error).
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "automation/collection.h"
#include "automation/object.h"
#include "platform/file_system.h"

namespace quern {

using automation::Ref;

class orvFoundedFiles;
class FileSearch;

// The library's own progress callback: it does nothing. Clients that want reports pass any
// object with a DirectoryCompleted(Path, Cancel) member instead (it is called by dispatch), or a
// C++ subclass of this class that overrides DirectoryCompleted.
class IFindFilesCallback : public automation::Object {
 public:
  IFindFilesCallback() = default;
  static const automation::ClassInfo& Class();
  const automation::ClassInfo& TypeInfo() const noexcept override { return Class(); }

  // Called once for each searched folder after its search ended, deepest first, with the
  // path that was searched. *Cancel arrives false; setting it true stops the whole search.
  virtual void DirectoryCompleted(const std::u16string& Path, bool* Cancel);
};

// One entry found: its attributes, times and sizes as the listing reported them, the folder it
// was found in, and for a folder the nested result.
class FoundedFile : public automation::Object {
 public:
  static const automation::ClassInfo& Class();
  const automation::ClassInfo& TypeInfo() const noexcept override { return Class(); }

  // The nested result: the search inside a folder; empty for a file, and for a folder that was
  // not entered (a link or mount point when links are not followed, or one that leads back to
  // a folder being searched).
  Ref<orvFoundedFiles> Childs();
  // The folder the entry was found in (with SearchWithParent: the searched path without its
  // last part and separator; "" for a root).
  std::u16string Path() const;

  // The Windows attribute bits (platform::attr, as the listing maps them) and each bit alone.
  int32_t FileAttributes() const { return static_cast<int32_t>(attributes_); }
  bool AttributeReadOnly() const { return Has(0x1); }
  bool AttributeHidden() const { return Has(0x2); }
  bool AttributeSystem() const { return Has(0x4); }
  bool AttributeDirectory() const { return Has(0x10); }
  bool AttributeArchive() const { return Has(0x20); }
  bool AttributeDevice() const { return Has(0x40); }
  bool AttributeTemporary() const { return Has(0x100); }
  bool AttributeSparseFile() const { return Has(0x200); }
  bool AttributeReparsePoint() const { return Has(0x400); }
  bool AttributeCompressed() const { return Has(0x800); }
  bool AttributeOffline() const { return Has(0x1000); }
  bool AttributeNotContentIndexed() const { return Has(0x2000); }
  bool AttributeEncrypted() const { return Has(0x4000); }

  // Local-time Dates (days since 1899-12-30), whole seconds; 0 when the time cannot be one.
  // Creation is the birth time, or the last write where the file system keeps none.
  double CreationTime() const;
  double LastAccessTime() const;
  double LastWriteTime() const;

  // Bytes: a file's size when it was found; a folder's is the sum of the FileSize of its
  // Childs (the matching files below it), computed at the first request of FileSize or
  // CompressedFileSize and then fixed. Raises 6 on overflow.
  double FileSize();
  // Bytes the file occupies on disk (allocated blocks); for a folder, which has no such size,
  // its FileSize.
  double CompressedFileSize();
  // The name as listed (a root: the path searched).
  std::u16string FileName() const;
  // Linux has no 8.3 names.
  std::u16string AlternateFileName() const { return {}; }

 private:
  friend class FileSearch;
  bool Has(uint32_t bit) const { return (attributes_ & bit) != 0; }

  std::string name_;  // native bytes, converted on request
  uint32_t attributes_ = 0;
  uint64_t creation_time_ = 0;  // FILETIME ticks (UTC)
  uint64_t last_access_time_ = 0;
  uint64_t last_write_time_ = 0;
  uint64_t size_ = 0;
  uint64_t allocated_size_ = 0;  // CompressedFileSize, when has_allocated_size_
  bool has_allocated_size_ = false;
  std::shared_ptr<const std::u16string> path_;  // shared by the entries of one folder
  Ref<orvFoundedFiles> childs_;                 // made on first request when not searched
  double file_size_ = -1.0;                     // -1: not computed yet
};

// The result of one search, and the search itself.
class orvFoundedFiles : public automation::Object {
 public:
  // Out of line: the machine's file system it starts with is the library's, not a client's.
  orvFoundedFiles();
  static const automation::ClassInfo& Class();
  const automation::ClassInfo& TypeInfo() const noexcept override { return Class(); }

  // True after a search that succeeded and found at least one entry.
  bool HasSubItems() const { return has_sub_items_; }
  // The Path of the last search.
  std::u16string Path() const { return path_ ? *path_ : std::u16string(); }
  // The sum of the FileSize of the entries; 0 when empty. Raises 6 on overflow.
  double Size() const;

  // RefreshEx following links and mount points.
  bool Refresh(const std::u16string& Path, const std::u16string& Mask);
  // RefreshEx2 without SearchWithParent.
  bool RefreshEx(const std::u16string& Path, const std::u16string& Mask,
                 bool FollowReparsePoints = false,
                 Ref<automation::Object> CallBackObject = nullptr);
  // Searches Path for entries matching Mask (`*`, `?`, `;` lists, letter case ignored), and
  // each matching folder below it with the same mask, depth first. A blank Mask, or
  // SearchWithParent, finds the entry of Path itself (its contents in its Childs with
  // SearchWithParent). Links to folders and mount points are entered only with
  // FollowReparsePoints, and never when they lead back to a folder being searched.
  // CallBackObject (any object with DirectoryCompleted, or null) is called after each folder.
  // True when Path's listing succeeded; False when it failed or a folder below was cancelled
  // (then the result is empty).
  bool RefreshEx2(const std::u16string& Path, const std::u16string& Mask,
                  bool FollowReparsePoints = false,
                  Ref<automation::Object> CallBackObject = nullptr, bool SearchWithParent = false);

  // The entry at Index, from 0. Raises 5 outside 0..Count-1 and 6 for 2147483647.
  Ref<FoundedFile> Item(int32_t Index) const;
  int32_t Count() const { return static_cast<int32_t>(items_.size()); }
  // An enumerator of the entries, in Item order.
  Ref<automation::Enumerator> NewEnum() const;

  // Internal: the search of this folder or of one below it was cancelled by the callback.
  bool Cancelled() const { return cancelled_; }

  // The file system the searches list (the machine's unless another is given, which must
  // outlive this result); the Childs a search makes list the same one.
  void UseFileSystem(platform::FileSystem& files) { files_ = &files; }

 private:
  friend class FileSearch;

  std::vector<Ref<FoundedFile>> items_;
  std::shared_ptr<const std::u16string> path_;
  platform::FileSystem* files_ = &platform::RealFileSystem();
  bool has_sub_items_ = false;
  bool cancelled_ = false;
};

}  // namespace quern
