// What the open folder and the open file reader do the same way on every system: moving their
// handle from one object to another, and checking a reopened folder's identity. Opening and
// closing are the backend's (posix/, win32/).
#include <utility>

#include "platform/file_reader.h"
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

FileReader::~FileReader() { Close(); }

FileReader::FileReader(FileReader&& other) noexcept
    : handle_(std::exchange(other.handle_, -1)), size_(other.size_), id_(other.id_) {}

FileReader& FileReader::operator=(FileReader&& other) noexcept {
  if (this != &other) {
    Close();
    handle_ = std::exchange(other.handle_, -1);
    size_ = other.size_;
    id_ = other.id_;
  }
  return *this;
}

}  // namespace platform
