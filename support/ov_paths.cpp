#include "support/ov_paths.h"

#include <algorithm>
#include <vector>

#include "platform/file_system.h"
#include "platform/platform.h"
#include "support/ov_error.h"

namespace support {
namespace {

constexpr char kSeparator = platform::kPathSeparator;

// Windows takes "/" for "\\" as well, so a script written either way splits the same.
constexpr bool IsSeparator(char c) { return c == kSeparator || (kSeparator == '\\' && c == '/'); }

size_t LastSeparator(std::string_view path) {
  for (size_t i = path.size(); i > 0; --i) {
    if (IsSeparator(path[i - 1])) return i - 1;
  }
  return std::string_view::npos;
}

// "X:" + separator: a drive root, which keeps its separator (without it, "X:" would name the
// current folder of the drive, not its root).
bool EndsDriveRoot(std::string_view path, size_t separator) {
  return kSeparator == '\\' && separator == 2 && path[1] == ':';
}
constexpr int kCsidlAppData = 26;

thread_local uint32_t last_error = platform::error::kSuccess;

bool GetAttributes(const std::string& path, uint32_t* attributes, uint64_t* size = nullptr) {
  uint64_t ignored = 0;
  return platform::GetFileAttributes(path, attributes, size != nullptr ? size : &ignored) ==
         platform::error::kSuccess;
}

}  // namespace

std::string ovBuildFileName(std::string_view folder, std::string_view name) {
  std::string result(folder);
  if (!result.empty() && !IsSeparator(result.back())) result += kSeparator;
  result += name;
  return result;
}

std::string ovGetFilePath(std::string_view path) {
  const size_t last = LastSeparator(path);
  if (last == std::string_view::npos) return {};
  // The root keeps its separator: "/tmp" is "tmp" in the folder "/" (as C:\Temp is in C:\).
  if (last == 0) return std::string(1, path[0]);
  if (EndsDriveRoot(path, last)) return std::string(path.substr(0, 3));
  return std::string(path.substr(0, last));
}

std::string ovGetFileName(std::string_view path) {
  const size_t last = LastSeparator(path);
  if (last == std::string_view::npos) return std::string(path);
  return std::string(path.substr(last + 1));
}

bool ovIsDirectory(const std::string& path) {
  uint32_t attributes = 0;
  return GetAttributes(path, &attributes) && (attributes & platform::attr::kDirectory) != 0;
}

bool ovIsDirectoryExist(const std::string& path) { return ovIsDirectory(path); }

bool ovIsFileExist(const std::string& path) {
  uint32_t attributes = 0;
  return GetAttributes(path, &attributes) && (attributes & platform::attr::kDirectory) == 0;
}

bool ovIsJunction(const std::string& path) {
  uint32_t attributes = 0;
  return GetAttributes(path, &attributes) && platform::attr::IsJunction(attributes);
}

// mkdir -p: find the deepest level that already is a folder, then create the levels below it
// one by one. A file in the way fails with the platform's own code: kAlreadyExists when it
// holds the last name, kPathNotFound when a deeper level should go through it.
bool ovCreateComplexDirectory(const std::string& path) {
  last_error = CreateComplexDirectoryOn(platform::RealFileSystem(), path);
  return last_error == platform::error::kSuccess;
}

uint32_t CreateComplexDirectoryOn(platform::FileSystem& files, const std::string& path) {
  auto is_directory = [&files](const std::string& level) {
    uint32_t attributes = 0;
    uint64_t size = 0;
    return platform::GetFileAttributes(files, level, &attributes, &size) ==
               platform::error::kSuccess &&
           (attributes & platform::attr::kDirectory) != 0;
  };
  // Every prefix of `path` that ends a component, shortest first ("a", "a/b", "a/b/c").
  std::vector<std::string> levels;
  for (size_t pos = 0; pos <= path.size(); ++pos) {
    const bool component_ends =
        pos == path.size() ? pos > 0 && !IsSeparator(path[pos - 1])
                           : IsSeparator(path[pos]) && pos > 0 && !IsSeparator(path[pos - 1]);
    if (component_ends) levels.push_back(path.substr(0, pos));
  }
  if (levels.empty()) {
    // "" names nothing; "/" (the root) always exists.
    return path.empty() ? platform::error::kPathNotFound : platform::error::kSuccess;
  }

  size_t first_missing = levels.size();
  while (first_missing > 0 && !is_directory(levels[first_missing - 1])) --first_missing;
  for (size_t i = first_missing; i < levels.size(); ++i) {
    const uint32_t code = platform::CreateDirectory(files, levels[i]);
    if (code == platform::error::kSuccess) continue;
    // The name is taken: by a folder someone made meanwhile (fine), or by a file in the way.
    // Below the last level the next mkdir then tells "path not found", as Windows does.
    if (code == platform::error::kAlreadyExists &&
        (i + 1 < levels.size() || is_directory(levels[i]))) {
      continue;
    }
    return code;
  }
  return platform::error::kSuccess;
}

uint32_t ovGetLastDLLError() { return last_error; }

std::string ovGetSpecialFolder(int csidl) {
  if (csidl != kCsidlAppData) throw MakeError(errnum::kInvalidCall, "ovGetSpecialFolder");
  return platform::GetUserDataFolder();
}

std::string ovExpandEnvironmentStrings(std::string_view text) {
  return platform::ExpandEnvironmentStrings(text);
}

std::string ovExpandEnvironmentStringsReporting(std::string_view text,
                                                std::vector<std::string>* blank_names) {
  blank_names->clear();
  size_t open = text.find('%');
  while (open != std::string_view::npos) {
    const size_t close = text.find('%', open + 1);
    if (close == std::string_view::npos) break;
    if (close > open + 1) {
      const std::string reference(text.substr(open, close - open + 1));
      const std::string value = platform::ExpandEnvironmentStrings(reference);
      // Unknown: the expansion leaves the reference as written.
      const bool known = value != reference;
      const std::string name = reference.substr(1, reference.size() - 2);
      if (known && value.find_first_not_of(" \t\r\n\v\f") == std::string::npos &&
          std::find(blank_names->begin(), blank_names->end(), name) == blank_names->end()) {
        blank_names->push_back(name);
      }
    }
    open = close;
  }
  return platform::ExpandEnvironmentStrings(text);
}

double ovGetFileSizeEx(const std::string& path) {
  uint32_t attributes = 0;
  uint64_t size = 0;
  const uint32_t code = platform::GetFileAttributes(path, &attributes, &size);
  if (code != platform::error::kSuccess)
    throw MakeError(ErrNumberFromWin32(code), "ovGetFileSizeEx");
  if ((attributes & platform::attr::kDirectory) != 0) return 0;
  return static_cast<double>(size);
}

}  // namespace support
