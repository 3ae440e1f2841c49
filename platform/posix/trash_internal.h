// Pure text helpers of the POSIX trash (trash.cpp), apart so that they can be tested without a
// trash, a mount or a clock.
#pragma once

#include <ctime>
#include <string>
#include <string_view>
#include <vector>

namespace platform::trash {

// The longest name a trash may give an entry: it must still fit in NAME_MAX with ".trashinfo".
inline constexpr size_t kMaxTrashNameLength = 255 - 10;

// Percent-encodes a path for the Path= line of a .trashinfo. Letters, digits, "-", ".", "_",
// "~" and "/" stay; every other byte becomes %XX (upper-case hex). The RFC 2396 marks
// (!*'()) are encoded too: escaping an unreserved character is allowed and every reader
// decodes it, while a bare quote would trip shell-minded readers.
std::string PercentEncodePath(std::string_view path);

// The reverse of PercentEncodePath; a "%" not followed by two hex digits stays as it is.
std::string PercentDecodePath(std::string_view text);

// The whole .trashinfo text for an already encoded Path and a local deletion time.
std::string TrashInfoText(std::string_view encoded_path, const std::tm& local_time);

// The name the entry `name` takes in the trash on the given attempt (1, 2, 3...): attempt 1 is
// the name itself, attempt N appends ".N". A name too long for kMaxTrashNameLength keeps its
// extension (when short) and loses the end of its stem, never splitting a UTF-8 character.
std::string TrashEntryName(std::string_view name, int attempt);

// The mount points listed by /proc/self/mountinfo text, in file order, with the \040-style
// octal escapes decoded.
std::vector<std::string> ParseMountPoints(std::string_view mountinfo);

// The longest mount point that contains `absolute_path` (a whole-component prefix); a later
// mount over the same point wins, as the kernel stacks them. Empty when none does.
std::string LongestMountPrefix(std::string_view absolute_path,
                               const std::vector<std::string>& mount_points);

// The text of /proc/self/mountinfo; empty when it cannot be read.
std::string ReadMountInfo();

// Drops empty and "." components of an absolute path ("//a/./b/" -> "/a/b"). ".." is kept: it
// can only be resolved against the real folders, and the kernel resolves it the same way on
// restore.
std::string CleanAbsolutePath(std::string_view path);

}  // namespace platform::trash
