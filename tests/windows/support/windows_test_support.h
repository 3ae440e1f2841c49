// Helpers of the Windows tests: real temporary trees made and checked with the W functions
// directly (never through the layer under test), and what Wine can and cannot do.
#pragma once

#include <cstdint>
#include <string>

namespace windows_test {

// UTF-8 <-> UTF-16.
std::wstring Wide(const std::string& utf8);
std::string Utf8(const std::wstring& wide);

// True under Wine (ntdll exports wine_get_version).
bool RunningUnderWine();

// True when this system really makes symbolic links to folders: Wine's CreateSymbolicLinkW
// says it did and makes nothing, so this tries one and looks.
bool FolderLinksWork();

// A folder of its own under %TEMP% (inside the test run's Wine prefix), removed with all it
// holds when the object dies. Paths are UTF-8 with "\" separators.
class TempTree {
 public:
  TempTree();
  ~TempTree();
  TempTree(const TempTree&) = delete;
  TempTree& operator=(const TempTree&) = delete;

  const std::string& root() const { return root_; }
  // root\relative.
  std::string operator/(const std::string& relative) const { return root_ + "\\" + relative; }

 private:
  std::string root_;
};

// Makes the file at `path` (any length, any name: the \\?\ form is used) with `bytes` bytes,
// and its missing parent folders.
void MakeFile(const std::string& path, size_t bytes = 1);
void MakeFolder(const std::string& path);

// True when something exists at `path` (any length, link or not).
bool Exists(const std::string& path);

// Removes `path` and all below it; links are removed, never entered.
void RemoveTree(const std::string& path);

// The \\?\ form of an absolute path with "\" separators.
std::wstring LongForm(const std::string& path);

// This month's log of Sweepwell in the user's application-data folder (CSIDL_APPDATA).
std::string SweepwellLogPath();

// Sets an environment variable of this process for the lifetime of the object, then puts the
// old value back.
class ScopedVariable {
 public:
  ScopedVariable(const std::string& name, const std::string& value);
  ~ScopedVariable();

 private:
  std::wstring name_;
  std::wstring old_;
  bool had_ = false;
};

// The Unix folder Wine's shell moves recycled files to ($XDG_DATA_HOME/Trash) as a Windows
// path ("" outside Wine or when XDG_DATA_HOME is not set).
std::string WineTrashFolder();

}  // namespace windows_test
