// The folders a cleaning run must never empty or remove as a whole: the root of a file system,
// the user's home folder itself and the system's own top folders. The cleaner's guard
// (cleaner/Guard.h) decides which commands these apply to; this layer only knows where they
// are on the machine and how to bring a path to the form they are compared in.
#pragma once

#include <string>
#include <vector>

namespace platform {

// Why a folder is protected.
enum class ProtectedKind {
  kNone,
  kFileSystemRoot,  // "/" (Windows: a drive root "C:\" or a share root "\\server\share\")
  kHome,            // the user's home folder itself, not what is below it
  kSystem,  // a top folder of the system (Linux: /usr, /etc, ...; Windows: %SystemRoot%, ...)
};

// `path` made absolute and lexically clean ("//", "/./", "a/.." and a trailing separator gone),
// then, for the longest part of it that exists, the real path (every link resolved), with the
// rest appended as written. A path that names nothing still gets its lexical form, so that
// "/usr/../" is "/" whether or not anything below it exists.
std::string ResolvedFolderPath(const std::string& path);

// The protected folders of this machine in the form ResolvedFolderPath gives, each with its
// kind. Read afresh on every call (HOME may change between two runs of a test).
struct ProtectedFolder {
  std::string path;
  ProtectedKind kind;
};
std::vector<ProtectedFolder> ProtectedFolders();

// The kind of protection of `resolved` (a ResolvedFolderPath result): kFileSystemRoot for a
// root, else the kind of the protected folder it equals (letter case ignored on Windows), else
// kNone.
ProtectedKind ProtectedKindOf(const std::string& resolved);

}  // namespace platform
