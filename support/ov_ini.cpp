#include "support/ov_ini.h"

#include <vector>

#include "platform/file_system.h"
#include "support/ov_strings.h"

namespace support {

namespace {

enum class LineKind { kOther, kSection, kKey };

// One line of the text: its content is text[begin, end); next is where the following line
// starts (after the LF), or the text's size.
struct Line {
  size_t begin = 0;
  size_t end = 0;
  size_t next = 0;
  LineKind kind = LineKind::kOther;
  bool in_section = false;  // a key line of the section asked for, or that section's own line
  std::string_view key;     // a key line's key, without blanks
};

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

std::string_view TrimBlanks(std::string_view text) {
  while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
  while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
  return text;
}

bool SameName(std::string_view a, std::string_view b) {
  if (a.size() > 4 * b.size() + 4 || b.size() > 4 * a.size() + 4) return false;  // cheap no
  return UpperCase(a) == UpperCase(b);
}

// Takes the text apart into lines, marking the lines of `section` and, among them, the key
// lines (whatever their key: `key` is matched by the callers).
std::vector<Line> ScanLines(std::string_view text, std::string_view section) {
  std::vector<Line> lines;
  bool in_section = false;
  size_t begin = 0;
  while (begin < text.size()) {
    Line line;
    line.begin = begin;
    const size_t lf = text.find('\n', begin);
    line.next = lf == std::string_view::npos ? text.size() : lf + 1;
    line.end = lf == std::string_view::npos ? text.size() : lf;
    if (line.end > begin && lf != std::string_view::npos && text[line.end - 1] == '\r') {
      --line.end;
    }
    std::string_view content = text.substr(line.begin, line.end - line.begin);
    const std::string_view trimmed = TrimBlanks(content);
    const size_t close = trimmed.rfind(']');
    if (!trimmed.empty() && trimmed.front() == '[' && close != std::string_view::npos &&
        close > 0) {
      line.kind = LineKind::kSection;
      in_section = SameName(TrimBlanks(trimmed.substr(1, close - 1)), section);
      line.in_section = in_section;
    } else if (in_section && !trimmed.empty() && trimmed.front() != ';') {
      const size_t equals = trimmed.find('=');
      if (equals != std::string_view::npos) {
        line.kind = LineKind::kKey;
        line.in_section = true;
        line.key = TrimBlanks(trimmed.substr(0, equals));
      }
    }
    lines.push_back(line);
    begin = line.next;
  }
  return lines;
}

bool IsKeyLine(const Line& line, std::string_view key) {
  return line.kind == LineKind::kKey && line.in_section && SameName(line.key, key);
}

bool HasLineEnd(std::string_view text) {
  return text.find('\n') != std::string_view::npos || text.find('\r') != std::string_view::npos;
}

}  // namespace

std::optional<std::string> ReadIniValue(std::string_view text, std::string_view section,
                                        std::string_view key) {
  // The names lose their blanks as in WriteIniValue and DeleteIniKey, so that what a write
  // with these names put in the text is what a read with them finds.
  section = TrimBlanks(section);
  key = TrimBlanks(key);
  for (const Line& line : ScanLines(text, section)) {
    if (!IsKeyLine(line, key)) continue;
    std::string_view content = text.substr(line.begin, line.end - line.begin);
    std::string_view value = TrimBlanks(content.substr(content.find('=') + 1));
    if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
        value.back() == value.front()) {
      value = value.substr(1, value.size() - 2);
    }
    return std::string(value);
  }
  return std::nullopt;
}

int32_t ReadIniInteger(std::string_view text, std::string_view section, std::string_view key,
                       int32_t default_value) {
  const std::optional<std::string> value = ReadIniValue(text, section, key);
  if (!value || value->empty()) return default_value;
  std::string_view digits = *value;
  while (!digits.empty() && IsBlank(digits.front())) digits.remove_prefix(1);
  bool negative = false;
  if (!digits.empty() && (digits.front() == '-' || digits.front() == '+')) {
    negative = digits.front() == '-';
    digits.remove_prefix(1);
  }
  uint32_t number = 0;  // unsigned, so that an overlong number wraps instead of overflowing
  for (char c : digits) {
    if (c < '0' || c > '9') break;
    number = number * 10 + static_cast<uint32_t>(c - '0');
  }
  if (negative) number = 0u - number;
  return static_cast<int32_t>(number);
}

bool IsIniKeyPresent(std::string_view text, std::string_view section, std::string_view key) {
  return ReadIniValue(text, section, key).has_value();
}

bool WriteIniValue(std::string* text, std::string_view section, std::string_view key,
                   std::string_view value) {
  const std::string_view trimmed_section = TrimBlanks(section);
  const std::string_view trimmed_key = TrimBlanks(key);
  if (trimmed_section.empty() || trimmed_key.empty() || HasLineEnd(section) || HasLineEnd(key) ||
      HasLineEnd(value) || section.find(']') != std::string_view::npos ||
      key.find('=') != std::string_view::npos || trimmed_key.front() == ';' ||
      trimmed_key.front() == '[') {
    return false;
  }
  const std::vector<Line> lines = ScanLines(*text, trimmed_section);
  for (const Line& line : lines) {
    if (!IsKeyLine(line, trimmed_key)) continue;
    std::string replacement(line.key);
    replacement += '=';
    replacement += value;
    text->replace(line.begin, line.end - line.begin, replacement);
    return true;
  }
  std::string added(trimmed_key);
  added += '=';
  added += value;
  added += "\r\n";
  // After the last key of the section's first part, else right after its section line.
  const Line* after = nullptr;
  for (const Line& line : lines) {
    if (line.kind == LineKind::kSection) {
      if (after != nullptr) break;
      if (line.in_section) after = &line;
    } else if (after != nullptr && line.kind == LineKind::kKey) {
      after = &line;
    }
  }
  if (after != nullptr) {
    if (after->next == after->end) added.insert(0, "\r\n");  // the last line had no line end
    text->insert(after->next, added);
    return true;
  }
  if (!text->empty() && text->back() != '\n') text->append("\r\n");
  text->append("[");
  text->append(trimmed_section);
  text->append("]\r\n");
  text->append(added);
  return true;
}

bool DeleteIniKey(std::string* text, std::string_view section, std::string_view key) {
  const std::vector<Line> lines = ScanLines(*text, TrimBlanks(section));
  bool removed = false;
  for (auto line = lines.rbegin(); line != lines.rend(); ++line) {
    if (!IsKeyLine(*line, TrimBlanks(key))) continue;
    text->erase(line->begin, line->next - line->begin);
    removed = true;
  }
  return removed;
}

bool ovIsINIKeyExist2(std::string_view section, std::string_view key, const std::string& file_name,
                      int32_t /*reserved1*/, int32_t /*reserved2*/) {
  std::vector<uint8_t> data;
  if (platform::ReadWholeFile(platform::RealFileSystem(), file_name, &data) != 0) return false;
  const std::string_view text(reinterpret_cast<const char*>(data.data()), data.size());
  return IsIniKeyPresent(text, section, key);
}

}  // namespace support
