// Where the lines of a text file end, for the readers of list files and Descript.ion files.
#pragma once

#include <string_view>
#include <vector>

namespace quern {

// Whether a lone LF ends a line of a list file here. It is the line end of every Unix tool and
// editor, so there it ends a line (besides CR LF and a CR alone, which keep their meaning); on
// Windows it stays part of the line, as it always has. What the library writes is unchanged.
#if defined(_WIN32)
inline constexpr bool kLoneLfEndsLine = false;
#else
inline constexpr bool kLoneLfEndsLine = true;
#endif

// The lines of `text`, each without its line end: a line ends at CR LF, at a CR alone and, with
// `lone_lf_ends_line`, at an LF alone (so LF CR is two line ends, CR LF one). Text after the
// last line end is one more line; a text that ends with a line end has no empty line after it,
// and an empty text has no lines. The views point into `text`.
std::vector<std::string_view> SplitLines(std::string_view text, bool lone_lf_ends_line);

}  // namespace quern
