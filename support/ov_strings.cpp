#include "support/ov_strings.h"

#include <charconv>

#include "platform/locale.h"
#include "platform/platform.h"

namespace support {
namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

// The upper-case partner of a Latin-1 or Cyrillic letter (two-byte UTF-8 characters only), or
// the character itself. The same letters that PathMatchSpec folds: keys made here must agree
// with how names match.
char32_t UpperOf(char32_t c) {
  if (c >= 0xE0 && c <= 0xFE && c != 0xF7) return c - 0x20;  // à..þ except ÷
  if (c == 0xFF) return 0x178;                               // ÿ -> Ÿ
  if (c >= 0x430 && c <= 0x44F) return c - 0x20;             // а..я
  if (c >= 0x450 && c <= 0x45F) return c - 0x50;             // ѐ..џ (ё, є, і, ї, ў...)
  if ((c >= 0x460 && c <= 0x481) || (c >= 0x48A && c <= 0x4BF) || (c >= 0x4D0 && c <= 0x52F)) {
    return c & ~char32_t{1};
  }
  if (c >= 0x4C1 && c <= 0x4CE) return (c & 1) ? c : c - 1;
  if (c == 0x4CF) return 0x4C0;
  return c;
}

}  // namespace

std::string ovTrimEx(std::string_view text) {
  size_t first = 0, last = text.size();
  while (first < last && IsBlank(text[first])) ++first;
  while (last > first && IsBlank(text[last - 1])) --last;
  return std::string(text.substr(first, last - first));
}

std::string ovCutLeft(std::string_view text, long n) {
  if (n <= 0) return std::string(text);
  if (static_cast<unsigned long>(n) >= text.size()) return {};
  return std::string(text.substr(static_cast<size_t>(n)));
}

// Every letter this changes is a two-byte UTF-8 character; bytes that do not form one (other
// scripts, invalid UTF-8) are copied unchanged.
std::string UpperCase(std::string_view text) {
  std::string result;
  result.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    const auto lead = static_cast<unsigned char>(text[i]);
    if (lead < 0x80) {
      result += (lead >= 'a' && lead <= 'z') ? static_cast<char>(lead - 32) : text[i];
      continue;
    }
    if (lead >= 0xC2 && lead <= 0xDF && i + 1 < text.size() &&
        (static_cast<unsigned char>(text[i + 1]) & 0xC0) == 0x80) {
      const char32_t c = (char32_t{lead} & 0x1F) << 6 | (text[i + 1] & 0x3F);
      AppendUtf8(UpperOf(c), result);
      ++i;
      continue;
    }
    result += text[i];
  }
  return result;
}

std::string LocalText(std::string_view utf8) {
  if (platform::RunTextIsUtf8()) return std::string(utf8);
  return platform::Utf8ToAnsi(utf8);
}

std::string AnsiText(std::string_view utf8) { return platform::Utf8ToAnsi(utf8); }

std::string RunTextToAnsi(std::string_view text) {
  if (!platform::RunTextIsUtf8() || platform::AnsiIsUtf8()) return std::string(text);
  return platform::Utf8ToAnsi(text);
}

namespace {

bool IsAsciiDigit(char c) { return c >= '0' && c <= '9'; }

}  // namespace

bool ReadDecimal(std::string_view text, double& value, bool* out_of_range) {
  if (out_of_range != nullptr) *out_of_range = false;
  std::size_t i = 0;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) ++i;
  std::size_t digits = 0;
  while (i < text.size() && IsAsciiDigit(text[i])) ++i, ++digits;
  if (i < text.size() && text[i] == '.') {
    ++i;
    while (i < text.size() && IsAsciiDigit(text[i])) ++i, ++digits;
  }
  if (digits == 0) return false;
  if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
    ++i;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) ++i;
    std::size_t exponent_digits = 0;
    while (i < text.size() && IsAsciiDigit(text[i])) ++i, ++exponent_digits;
    if (exponent_digits == 0) return false;
  }
  if (i != text.size()) return false;

  // from_chars, unlike strtod, ignores the locale (a Russian locale would want a comma) but
  // does not take a leading plus.
  if (text[0] == '+') text.remove_prefix(1);
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error == std::errc::result_out_of_range) {
    if (out_of_range != nullptr) *out_of_range = true;
    return false;
  }
  return error == std::errc() && end == text.data() + text.size();
}

bool HasControlCharacters(std::string_view text) {
  for (char c : text) {
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) return true;
  }
  return false;
}

std::string WithoutControlCharacters(std::string_view text) {
  std::string shown(text);
  for (char& c : shown) {
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) c = '?';
  }
  return shown;
}

bool EqualsIgnoringAsciiCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c; };
    if (lower(a[i]) != lower(b[i])) return false;
  }
  return true;
}

void AppendUtf8(char32_t code_point, std::string& out) {
  if (code_point < 0x80) {
    out += static_cast<char>(code_point);
  } else if (code_point < 0x800) {
    out += static_cast<char>(0xC0 | (code_point >> 6));
    out += static_cast<char>(0x80 | (code_point & 0x3F));
  } else if (code_point < 0x10000) {
    out += static_cast<char>(0xE0 | (code_point >> 12));
    out += static_cast<char>(0x80 | ((code_point >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (code_point & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (code_point >> 18));
    out += static_cast<char>(0x80 | ((code_point >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((code_point >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (code_point & 0x3F));
  }
}

}  // namespace support
