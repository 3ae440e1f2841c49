// What the open folder and the open file reader do the same way on every system: moving their
// handle from one object to another. Closing it is the backend's (posix/, win32/).
#include <utility>

#include "platform/file_reader.h"
#include "platform/platform.h"

namespace platform {

Folder::~Folder() { Close(); }

Folder::Folder(Folder&& other) noexcept
    : handle_(std::exchange(other.handle_, NativeHandle::kNone)),
      id_(std::exchange(other.id_, FolderId{})) {}

Folder& Folder::operator=(Folder&& other) noexcept {
  if (this != &other) {
    Close();
    handle_ = std::exchange(other.handle_, NativeHandle::kNone);
    id_ = std::exchange(other.id_, FolderId{});
  }
  return *this;
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
