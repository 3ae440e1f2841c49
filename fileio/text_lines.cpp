#include "fileio/text_lines.h"

namespace quern {

std::vector<std::string_view> SplitLines(std::string_view text, bool lone_lf_ends_line) {
  std::vector<std::string_view> lines;
  const char* const ends = lone_lf_ends_line ? "\r\n" : "\r";
  size_t start = 0;
  while (start < text.size()) {
    const size_t end = text.find_first_of(ends, start);
    if (end == std::string_view::npos) {
      lines.push_back(text.substr(start));
      break;
    }
    lines.push_back(text.substr(start, end - start));
    start = end + 1;
    if (text[end] == '\r' && start < text.size() && text[start] == '\n') ++start;
  }
  return lines;
}

}  // namespace quern
