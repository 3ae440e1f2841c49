// Text chores of the support library. Text is a byte string (UTF-8 or native names); functions
// that count characters say so.
#pragma once

#include <string>
#include <string_view>

namespace support {

// Blanks and tabs removed at both ends.
std::string ovTrimEx(std::string_view text);

// `text` without its first `n` bytes ("" when n >= size; the whole text when n <= 0).
std::string ovCutLeft(std::string_view text, long n);

// Upper case of ASCII, Latin-1 and Cyrillic letters (UTF-8); other bytes unchanged. Used for
// case-insensitive keys of names: it folds the same letters PathMatchSpec ignores the case of.
std::string UpperCase(std::string_view text);

// Reads `text` as a decimal number the way scripts and users write one: an optional sign,
// digits with an optional fraction, an optional exponent; "." is the decimal point whatever the
// locale says. False for anything else, and for numbers beyond a double (`out_of_range` set).
bool ReadDecimal(std::string_view text, double& value, bool* out_of_range = nullptr);

// Appends the UTF-8 form of one Unicode code point.
void AppendUtf8(char32_t code_point, std::string& out);

// ASCII letters compared without case; other bytes exactly.
bool EqualsIgnoringAsciiCase(std::string_view a, std::string_view b);

// True when `text` holds a control character (below 0x20, or 0x7F).
bool HasControlCharacters(std::string_view text);

// `text` with every control character replaced by "?": a file name is shown this way, so that a
// name holding a line end or a terminal escape can neither forge a line of the log nor drive
// the terminal.
std::string WithoutControlCharacters(std::string_view text);

// A message of the program (UTF-8 source text) in the encoding of the run's text, which the
// console and the log take (platform::RunTextIsUtf8: UTF-8, or the ANSI code page).
std::string LocalText(std::string_view utf8);

// A message of the program in the ANSI code page, for standard output and standard error
// outside the run's text (a character the page lacks becomes "?").
std::string AnsiText(std::string_view utf8);

// The run's text (LocalText, names from platform::NameInAnsi) in the ANSI code page, for a
// terminal that shows that page: unchanged unless the run's text is UTF-8 beside an 8-bit page.
std::string RunTextToAnsi(std::string_view text);

}  // namespace support
