// PathMatchSpec: the file-name wildcard test of the Windows shell, as pure logic.
//
// What a "character" is: wherever the bytes of a name form a valid UTF-8 sequence, that
// sequence is one character (so `?` takes a whole "Я", not half of it); a byte that does not
// begin a valid sequence is a character of its own. Names are bytes on Linux and need not be
// UTF-8, so a stray byte must still be matchable by `?` and `*`. Such a byte never equals a
// decoded character: it is kept apart by mapping it to the surrogate range, which valid UTF-8
// cannot produce.
//
// Letter case: ASCII, Latin-1 and Cyrillic letters compare without case, one character against
// one character. Limits, on purpose: no other scripts (Greek, Latin Extended-A such as "Ł"), no
// folding that changes the number of characters ("ß" is not "SS"), no Turkish dotted/dotless i.
//
// Windows and DOS habits kept, for a pattern's end only:
// - "NAME.*" also matches NAME without any extension, so "*.*" matches every name, dotted or
//   not, and "readme.*" matches "readme".
// - "NAME." matches names without an extension: "readme." matches "readme", and "*." matches
//   "Makefile" but not "a.txt". Kept simple: the name may hold no more dots than the pattern
//   writes out, so a star or "?" before a trailing dot never takes a dot. (A name that really
//   ends in a dot matches the pattern literally as well.)
//
// The matcher is the greedy two-pointer algorithm with one remembered star: O(name * pattern)
// at worst, never exponential, whatever the number of stars.
#include <cstdint>
#include <string_view>

#include "platform/platform.h"
#include "platform/utf8.h"

namespace platform {
namespace {

constexpr char32_t kStrayByteBase = 0xDC00;

// Decodes the character at `pos`; *length receives its size in bytes (at least 1).
char32_t DecodeAt(std::string_view text, size_t pos, size_t* length) {
  const Utf8Sequence sequence = DecodeUtf8(text.substr(pos), false);
  if (sequence.size == 0) {
    *length = 1;
    return kStrayByteBase + static_cast<unsigned char>(text[pos]);
  }
  *length = sequence.size;
  return sequence.value;
}

// One character to its lower-case partner, for the scripts named at the top of the file.
char32_t FoldCase(char32_t c) {
  if (c < 0x80) return (c >= 'A' && c <= 'Z') ? c + 0x20 : c;
  if (c >= 0xC0 && c <= 0xDE && c != 0xD7) return c + 0x20;  // À..Þ except ×
  if (c == 0x178) return 0xFF;                               // Ÿ
  if (c >= 0x410 && c <= 0x42F) return c + 0x20;             // А..Я
  if (c >= 0x400 && c <= 0x40F) return c + 0x50;             // Ѐ..Џ (Ё, Є, І, Ї, Ў...)
  // Historic and non-Russian Cyrillic letters come in upper/lower pairs, upper first.
  if ((c >= 0x460 && c <= 0x481) || (c >= 0x48A && c <= 0x4BF) || (c >= 0x4D0 && c <= 0x52F)) {
    return c | 1;
  }
  if (c >= 0x4C1 && c <= 0x4CE) return (c & 1) ? c + 1 : c;  // pairs start on an odd value
  if (c == 0x4C0) return 0x4CF;                              // Ӏ
  return c;
}

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

bool OnlyStarsFrom(std::string_view pattern, size_t pos) {
  for (; pos < pattern.size(); ++pos) {
    if (pattern[pos] != '*') return false;
  }
  return true;
}

size_t CountDots(std::string_view text) {
  size_t dots = 0;
  for (char c : text) dots += c == '.';
  return dots;
}

bool MatchPlain(std::string_view name, std::string_view pattern) {
  size_t n = 0, p = 0;
  // The last star seen, and where in the name the text it swallows ends for now.
  size_t star = std::string_view::npos, resume = 0;
  while (true) {
    if (n == name.size()) {
      if (OnlyStarsFrom(pattern, p)) return true;
    } else if (p < pattern.size() && pattern[p] == '*') {
      star = p++;
      resume = n;
      continue;
    } else if (p < pattern.size()) {
      size_t name_length = 0, pattern_length = 0;
      const char32_t c = DecodeAt(name, n, &name_length);
      if (pattern[p] == '?') {
        n += name_length;
        ++p;
        continue;
      }
      const char32_t wanted = DecodeAt(pattern, p, &pattern_length);
      if (FoldCase(c) == FoldCase(wanted)) {
        n += name_length;
        p += pattern_length;
        continue;
      }
    }
    // A mismatch: let the last star swallow one more character and try again from there.
    if (star == std::string_view::npos || resume >= name.size()) return false;
    size_t length = 0;
    DecodeAt(name, resume, &length);
    resume += length;
    n = resume;
    p = star + 1;
  }
}

// One pattern, with the extension habits described at the top of the file.
bool MatchOne(std::string_view name, std::string_view pattern) {
  if (MatchPlain(name, pattern)) return true;
  if (pattern.ends_with(".*")) return MatchPlain(name, pattern.substr(0, pattern.size() - 2));
  if (pattern.ends_with('.')) {
    const std::string_view stem = pattern.substr(0, pattern.size() - 1);
    return CountDots(name) <= CountDots(stem) && MatchPlain(name, stem);
  }
  return false;
}

}  // namespace

bool PathMatchSpec(std::string_view name, std::string_view spec) {
  size_t start = 0;
  while (start <= spec.size()) {
    size_t end = spec.find(';', start);
    if (end == std::string_view::npos) end = spec.size();
    size_t first = start, last = end;
    while (first < last && IsBlank(spec[first])) ++first;
    while (last > first && IsBlank(spec[last - 1])) --last;
    // An empty pattern (";;" or a blank one) matches nothing.
    if (first < last && MatchOne(name, spec.substr(first, last - first))) return true;
    start = end + 1;
  }
  return false;
}

}  // namespace platform
