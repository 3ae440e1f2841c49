// orvFileStreams: the streams of one file or folder as a backup walk gives them (the unnamed
// data stream, named alternate streams, security data), each a FileStream telling its kind,
// attributes, size and name. Nothing is written and no stream's contents are read.
//
// On Linux (platform::ReadBackupStreams) the walk yields, in Windows' order: with
// ProcessSecurity the security stream when the file has an access control list, then the data
// stream of a regular file, then one alternate stream per "user." extended attribute (on an
// ntfs-3g volume those are the real NTFS streams).
#pragma once

#include <cstdint>
#include <string>

#include "automation/collection.h"
#include "automation/object.h"
#include "platform/file_system.h"

namespace quern {

// One stream of a walk. Made only by orvFileStreams; read-only once set.
class FileStream : public automation::Object {
 public:
  FileStream() = default;
  static const automation::ClassInfo& Class();
  const automation::ClassInfo& TypeInfo() const noexcept override { return Class(); }

  // Internal initialiser (not on the interface): the 20-byte header's fields and the name
  // that followed it (empty when the header's name size is 0).
  void SetStreamHeader(int32_t stream_id, int32_t attributes, uint32_t size_low, uint32_t size_high,
                       const std::u16string& name);

  int32_t StreamID() const { return stream_id_; }
  int32_t Attributes() const { return attributes_; }
  double Size() const { return size_; }
  // ":NAME:$DATA" for an alternate stream, "::$DATA" for the data stream, else "".
  std::u16string Name() const { return name_; }
  // NAME of ":NAME:$DATA": the text after the first ":", cut before the next ":". A name
  // without ":" is returned whole.
  std::u16string ShortName() const;

  bool StreamIDInvalid() const { return stream_id_ == 0; }
  bool StreamIDData() const { return stream_id_ == 1; }
  bool StreamIDEAData() const { return stream_id_ == 2; }
  bool StreamIDSecurityData() const { return stream_id_ == 3; }
  bool StreamIDAlternateData() const { return stream_id_ == 4; }
  bool StreamIDLink() const { return stream_id_ == 5; }
  bool StreamIDPropertyData() const { return stream_id_ == 6; }
  bool StreamIDObjectID() const { return stream_id_ == 7; }
  bool StreamIDReparseData() const { return stream_id_ == 8; }
  bool StreamIDSparseBlock() const { return stream_id_ == 9; }
  bool AttributeModifiedWhenRead() const { return (attributes_ & 0x1) != 0; }
  bool AttributeContainsSecurity() const { return (attributes_ & 0x2) != 0; }
  bool AttributeContainsProperties() const { return (attributes_ & 0x4) != 0; }
  bool AttributeSparseAttribute() const { return (attributes_ & 0x8) != 0; }

 private:
  int32_t stream_id_ = 0;
  int32_t attributes_ = 0;
  double size_ = 0;
  std::u16string name_;
};

class orvFileStreams : public automation::Object {
 public:
  orvFileStreams();
  static const automation::ClassInfo& Class();
  const automation::ClassInfo& TypeInfo() const noexcept override { return Class(); }

  int32_t Count() const;
  // The stream at Index (from 0): error 5 out of range, 6 for Index 2147483647.
  automation::Ref<FileStream> Item(int32_t Index) const;
  // An enumerator over the streams in Item order.
  automation::Ref<automation::Object> NewEnum() const;

  // Replaces the list by the streams of FileName; False (empty list) when the file cannot be
  // opened. A failure part-way keeps the streams found so far and still gives True.
  bool ReadFileStreams(const std::u16string& FileName, bool ProcessSecurity = false);

  // The file system the streams are read from (the machine's unless another is given, which
  // must outlive this object).
  void UseFileSystem(platform::FileSystem& files) { files_ = &files; }

 private:
  platform::FileSystem* files_ = &platform::RealFileSystem();
  // Never null: an error while building the list leaves an empty one rather than none, so
  // Count stays usable.
  automation::Ref<automation::Collection> items_;
};

}  // namespace quern
