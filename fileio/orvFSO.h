// orvFSO: whole-file reading and writing (binary and text in ANSI, UTF-8 and UTF-16 with or
// without a byte-order mark), standard list files, and what the system keeps beside a file's
// contents (zone, description, compression). It holds no state between calls; the library
// also offers one shared instance as its application object (ApplicationObject()).
//
// Failures: members with a RaiseErrors parameter follow one convention: on any failure of the
// file they close what they opened, then raise the error (support::Error with the source
// "orvFSO") when RaiseErrors is true, else return their failure value. Out-of-range format
// arguments raise error 5 whatever RaiseErrors says. Members without RaiseErrors never raise
// for a failure of the file system.
//
// File names are text; they reach the system through support::NativeFileName.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "automation/collection.h"
#include "automation/object.h"
#include "fileio/enums.h"

namespace platform {
class FileSystem;  // platform/file_system.h
FileSystem& RealFileSystem();
}  // namespace platform

namespace quern {

using automation::Collection;
using automation::Ref;

// Every file the object reads or writes goes through one platform::FileSystem: the machine's,
// unless a test hands it another (UseFileSystem, before the first call; the file system must
// outlive the object). The COM and Python surfaces never see it.
class orvFSO : public automation::Object {
 public:
  // Out of line: the machine's file system it starts with is the library's, not a client's.
  orvFSO();
  static const automation::ClassInfo& Class();
  const automation::ClassInfo& TypeInfo() const noexcept override { return Class(); }

  void UseFileSystem(platform::FileSystem& files) { files_ = &files; }
  platform::FileSystem& Files() const { return *files_; }
  // A file (no folder) is at `path`, as Files() says: the look before a read whose missing
  // file is reported as such.
  bool IsFileThere(const std::string& path) const;

  // --- Text files (decoding and encoding over the binary members) -------------------------

  // Writes Data as the whole file in the given format (auto values: ANSI, with a mark, natural
  // byte order). True when written.
  bool PutFile2(const std::u16string& FileName, const std::u16string& Data,
                bool RaiseErrors = false, FileEncodingConst Encoding = feANSI,
                FileBOMConst FileBOM = fbBOM, InvertBytesConst InvertBytes = ibDontInvertBytes);
  // Detects the format from the first three bytes (a mark, else ANSI). True when detected; on
  // failure the out-values keep what the caller passed.
  bool GetFileFormat2(const std::u16string& FileName, bool RaiseErrors = false,
                      FileEncodingConst* lpEncoding = nullptr, FileBOMConst* lpFileBOM = nullptr,
                      InvertBytesConst* lpInvertBytes = nullptr);
  // As PutFile2 through OverwriteFileB; 255 when written, 0 when not.
  uint8_t OverwriteFile2(const std::u16string& FileName, const std::u16string& Data,
                         bool RaiseErrors = false, FileEncodingConst Encoding = feANSI,
                         FileBOMConst FileBOM = fbBOM,
                         InvertBytesConst InvertBytes = ibDontInvertBytes);
  // Appends Data in the existing file's format (auto values), without a mark in mid-file.
  bool AppendFile2(const std::u16string& FileName, const std::u16string& Data,
                   bool RaiseErrors = false, FileEncodingConst Encoding = feAuto,
                   FileBOMConst FileBOM = fbAuto, InvertBytesConst InvertBytes = ibAuto,
                   FileEncodingConst* lpEncoding = nullptr, FileBOMConst* lpFileBOM = nullptr,
                   InvertBytesConst* lpInvertBytes = nullptr);
  // The whole file as text; auto values are taken from the file's mark.
  std::u16string GetFile2(const std::u16string& FileName, bool RaiseErrors = false,
                          FileEncodingConst Encoding = feAuto, FileBOMConst FileBOM = fbAuto,
                          InvertBytesConst InvertBytes = ibAuto,
                          FileEncodingConst* lpEncoding = nullptr,
                          FileBOMConst* lpFileBOM = nullptr,
                          InvertBytesConst* lpInvertBytes = nullptr, bool* lpSuccess = nullptr);

  // --- Binary files ------------------------------------------------------------------------

  // The whole file; *lpSuccess tells whether it was read.
  std::vector<uint8_t> GetFileB(const std::u16string& FileName, bool RaiseErrors = false,
                                bool* lpSuccess = nullptr);
  // Memory for `size` bytes that the caller owns (null when it has none).
  using ByteRoom = std::function<uint8_t*(size_t size)>;
  // GetFileB straight into memory of the caller's (`room`, asked once, for the file's size):
  // for a client whose own object holds the bytes (the Python module's bytes object), so that
  // they are read once, into it, and held once. *Length receives the count read (less than
  // asked for when the file shrank meanwhile). The same errors as GetFileB. False, with the
  // memory left as it is, when the file grew while it was read, or reports no size (/proc):
  // then GetFileB, which reads on to the end, is the one to call.
  bool GetFileBInto(const std::u16string& FileName, bool RaiseErrors, bool* lpSuccess,
                    const ByteRoom& room, size_t* Length);
  // Replaces the whole file with Data. The new contents are written to a temporary file in the
  // same folder and renamed over the old one, so a failure leaves the old contents in place;
  // the old file's mode is kept, and a name that is a symbolic link keeps its link (the
  // link's target is replaced).
  bool PutFileB(const std::u16string& FileName, const std::vector<uint8_t>& Data,
                bool RaiseErrors = false);
  // Appends Data at the end of the file (a missing file is created).
  bool AppendFileB(const std::u16string& FileName, const std::vector<uint8_t>& Data,
                   bool RaiseErrors = false);
  // Rewrites the contents of the existing file in place: the inode, its extended attributes
  // (the streams), its mode and owner stay. A missing file is created.
  bool OverwriteFileB(const std::u16string& FileName, const std::vector<uint8_t>& Data,
                      bool RaiseErrors = false);

  // --- Zone (the user.Zone.Identifier attribute, an INI text) --------------------------------

  FileZoneConst GetFileZone(const std::u16string& FileName);
  bool SetFileZone(const std::u16string& FileName, FileZoneConst FileZone);
  bool IsFileZoneDefined(const std::u16string& FileName);
  bool DeleteFileZone(const std::u16string& FileName);

  // --- Description (Descript.ion of the file's folder) ------------------------------------

  std::u16string GetFileDescription(const std::u16string& FileName);
  bool SetFileDescription(const std::u16string& FileName, const std::u16string& DescriptionText);
  bool DeleteFileDescription(const std::u16string& FileName);

  // --- List files ----------------------------------------------------------------------------

  // Null on failure when RaiseErrors is false.
  Ref<Collection> ReadStandardListFile(const std::u16string& FileName,
                                       const std::u16string& CommentChar = u";",
                                       bool IgnoreBlanks = true, bool TrimStrings = true,
                                       bool IsOem = false, bool RaiseErrors = false);

  // --- Compression ---------------------------------------------------------------------------

  // *lpErrorCode receives the Windows error code of a failure (0 on success).
  bool SetFileCompression(const std::u16string& FileName, CompressionFormatConst CompressionFormat,
                          int32_t* lpErrorCode = nullptr);
  CompressionFormatConst GetFileCompression(const std::u16string& FileName,
                                            int32_t* lpErrorCode = nullptr);

  // An empty collection on failure when RaiseErrors is false.
  Ref<Collection> ReadStandardListFile2(
      const std::u16string& FileName, const std::u16string& CommentChar = u";",
      bool IgnoreBlanks = true, bool TrimStrings = true, bool RaiseErrors = false,
      FileEncodingConst Encoding = feAuto, FileBOMConst FileBOM = fbAuto,
      InvertBytesConst InvertBytes = ibAuto, FileEncodingConst* lpEncoding = nullptr,
      FileBOMConst* lpFileBOM = nullptr, InvertBytesConst* lpInvertBytes = nullptr,
      bool* lpSuccess = nullptr);

 private:
  platform::FileSystem* files_ = &platform::RealFileSystem();
};

// The library's one shared orvFSO (the application object), made on first use.
orvFSO& ApplicationObject();

}  // namespace quern
