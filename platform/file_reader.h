// Reading pieces of a large file without reading all of it (the headers and one section of an
// executable): a regular file opened once and read at any offset.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/platform.h"

namespace platform {

// A regular file open for reading. Move-only; closes itself.
class FileReader {
 public:
  FileReader() = default;
  ~FileReader();
  FileReader(FileReader&& other) noexcept;
  FileReader& operator=(FileReader&& other) noexcept;
  FileReader(const FileReader&) = delete;
  FileReader& operator=(const FileReader&) = delete;

  // Opens `path` (links followed). Anything but a regular file is refused: a folder with
  // kAccessDenied, a FIFO, device or socket with kAccessDenied too, without waiting on it.
  static FileReader Open(const std::string& path, uint32_t* error);

  bool IsOpen() const { return handle_ >= 0; }
  // The file's length when it was opened.
  uint64_t Size() const { return size_; }
  // The file's identity (device and inode).
  const FolderId& Id() const { return id_; }

  // Reads exactly `count` bytes at `offset` into *out (replaced); kGenFailure when the file
  // ends before them.
  uint32_t ReadAt(uint64_t offset, size_t count, std::vector<uint8_t>* out) const;

  // Reads up to `count` bytes at `offset` into `out`; *done receives how many: fewer only where
  // the file ends (0 at or past its end). Windows: ReadFile at an offset, repeated the same way.
  uint32_t ReadUpTo(uint64_t offset, void* out, size_t count, size_t* done) const;

 private:
  void Close();  // the backend's: closes the handle, if open
  friend FileReader OpenWholeFile(const std::string& path, uint32_t* error);

  intptr_t handle_ = -1;  // a descriptor on POSIX, a HANDLE on Windows
  uint64_t size_ = 0;
  FolderId id_;
};

// True when `path` (links followed) names something that is not a regular file: a folder, a
// FIFO, a device or a socket. False for a regular file and for what cannot be looked at.
bool ExistsAsOtherThanRegularFile(const std::string& path);

// The identity (device and inode) of the file at `path`, links followed.
uint32_t GetFileId(const std::string& path, FolderId* id);

}  // namespace platform
