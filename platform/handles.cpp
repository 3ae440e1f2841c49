// What the open folder and the open file do the same way on every system: moving their
// handle from one object to another, checking a reopened folder's identity, and the file's
// exact and whole reads, made of its one read at an offset. Opening, reading and closing are the
// backend's (posix/, win32/).
#include <utility>

#include "platform/file.h"
#include "platform/platform.h"

namespace platform {

Folder::~Folder() { Close(); }

Folder::Folder(Folder&& other) noexcept
    : handle_(std::exchange(other.handle_, NativeHandle::kNone)),
      token_(std::exchange(other.token_, 0)),
      id_(std::exchange(other.id_, FolderId{})) {}

Folder& Folder::operator=(Folder&& other) noexcept {
  if (this != &other) {
    Close();
    handle_ = std::exchange(other.handle_, NativeHandle::kNone);
    token_ = std::exchange(other.token_, 0);
    id_ = std::exchange(other.id_, FolderId{});
  }
  return *this;
}

Folder Folder::OpenEntryVerified(std::string_view name, const FolderId& expected,
                                 uint32_t* error) const {
  Folder folder = OpenEntry(name, error);
  if (folder.IsOpen() && !(folder.Id() == expected)) {
    folder.Close();
    if (error != nullptr) *error = error::kPathNotFound;
  }
  return folder;
}

File::~File() { Close(); }

File::File(File&& other) noexcept
    : handle_(std::exchange(other.handle_, -1)),
      stand_in_(std::move(other.stand_in_)),
      size_(other.size_),
      id_(other.id_) {}

File& File::operator=(File&& other) noexcept {
  if (this != &other) {
    Close();
    handle_ = std::exchange(other.handle_, -1);
    stand_in_ = std::move(other.stand_in_);
    size_ = other.size_;
    id_ = other.id_;
  }
  return *this;
}

File File::Adopt(intptr_t handle, uint64_t size, const FolderId& id) {
  File file;
  file.handle_ = handle;
  file.size_ = size;
  file.id_ = id;
  return file;
}

File File::ForStandIn(std::unique_ptr<StandInFile> body, uint64_t size, const FolderId& id) {
  File file;
  file.stand_in_ = std::move(body);
  file.size_ = size;
  file.id_ = id;
  return file;
}

intptr_t File::Release() { return std::exchange(handle_, -1); }

uint32_t File::ReadAt(uint64_t offset, size_t count, std::vector<uint8_t>* out) const {
  out->resize(count);
  size_t done = 0;
  const uint32_t code = ReadUpTo(offset, out->data(), count, &done);
  if (code != error::kSuccess || done < count) {
    out->clear();
    return code != error::kSuccess ? code : error::kGenFailure;
  }
  return error::kSuccess;
}

uint32_t File::ReadAll(std::string* data) const {
  data->clear();
  char buffer[65536];
  uint64_t offset = 0;
  for (;;) {
    size_t got = 0;
    if (const uint32_t code = ReadUpTo(offset, buffer, sizeof buffer, &got);
        code != error::kSuccess) {
      return code;
    }
    if (got == 0) return error::kSuccess;
    data->append(buffer, got);
    offset += got;
  }
}

}  // namespace platform
