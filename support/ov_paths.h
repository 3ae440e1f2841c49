// Path and file chores of the support library, on top of platform/. The separator is
// platform::kPathSeparator.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace platform {
class FileSystem;
}

namespace support {

// `folder` and `name` joined with one separator (none added when folder is empty or already
// ends with one). `name` may hold separators.
std::string ovBuildFileName(std::string_view folder, std::string_view name);

// The part before / after the last separator ("" / the whole path when there is none).
// The root keeps its separator: ovGetFilePath("/x") is "/" and ovGetFileName("/x") is "x"
// (as C:\Temp splits into C:\ and Temp); "/tmp/" splits into "/tmp" and "".
std::string ovGetFilePath(std::string_view path);
std::string ovGetFileName(std::string_view path);

// True for a folder or a junction; false for a file or a missing path.
bool ovIsDirectory(const std::string& path);
// A folder (or junction) exists / a file (not a folder) exists.
bool ovIsDirectoryExist(const std::string& path);
bool ovIsFileExist(const std::string& path);
// The folder is a junction (a link to a folder, or a mount point).
bool ovIsJunction(const std::string& path);

// Creates `path` with every missing level; true also when it exists. On false,
// ovGetLastDLLError() tells the Windows error code.
bool ovCreateComplexDirectory(const std::string& path);
uint32_t ovGetLastDLLError();

// ovCreateComplexDirectory on the file system `files` (a test's stand-in, or the machine's):
// kSuccess, or the Windows error code of the level that could not be made. Sets no last error.
uint32_t CreateComplexDirectoryOn(platform::FileSystem& files, const std::string& path);

// 26 (CSIDL_APPDATA): the per-user application-data folder; other ids raise error 5.
std::string ovGetSpecialFolder(int csidl);

// %NAME% references replaced by the environment (platform::ExpandEnvironmentStrings).
std::string ovExpandEnvironmentStrings(std::string_view text);

// The same expansion, and in *blank_names (in the order they stand, each once) the variables
// the text refers to that are set to nothing: empty, or blanks only. A path built from such a
// variable names a folder above the one its author meant ("%A%/%B%" with both empty is "/").
// Every text between two neighbouring percent signs is looked at, so a name that the expansion
// pairs differently (after an unknown name) is still reported. Unknown names are not reported.
std::string ovExpandEnvironmentStringsReporting(std::string_view text,
                                                std::vector<std::string>* blank_names);

// Size in bytes of the file at `path`; raises the mapped file error when it cannot be read.
double ovGetFileSizeEx(const std::string& path);

}  // namespace support
