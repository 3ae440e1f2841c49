// Initialization-file (INI) text, read and edited the way the Windows profile functions do
// (GetPrivateProfileString, GetPrivateProfileInt, WritePrivateProfileString), but on a text held
// in memory, so that the same code serves a file and a stream (the zone of a file).
//
// The text is bytes; lines end at LF, and a CR before the LF belongs to the line end. A line
// whose first non-blank character is "[" and that holds a later "]" starts a section (its name
// is between them, without surrounding blanks). Within a section, a line "key=value" is a key
// (both without surrounding blanks); lines beginning with ";" and lines without "=" are not.
// Section and key names compare without regard to letter case (support::UpperCase). A section
// that occurs twice is one section: a key is looked for in every part of it, the first one found
// counts.
//
// Text that is no INI text at all (binary data, NUL bytes, no line ends, very long lines) is
// read as lines like any other: it holds no key. An edit keeps every line it does not change
// byte for byte, its line end included; new lines end with CR LF. So writing a key into such
// a text appends a section at its end and destroys nothing.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace support {

// The value of `key` in `section` (GetPrivateProfileString: a value between matching single or
// double quotes loses them), or nothing when the key is absent. Blanks around the names given
// do not count, as in the writing functions.
std::optional<std::string> ReadIniValue(std::string_view text, std::string_view section,
                                        std::string_view key);

// GetPrivateProfileInt: the leading decimal number of the value (blanks before it skipped, an
// optional sign, digits up to the first other character, wrapping at 32 bits as Windows does);
// 0 for a value that does not start with a number; `default_value` when the key is absent or
// its value is empty.
int32_t ReadIniInteger(std::string_view text, std::string_view section, std::string_view key,
                       int32_t default_value);

// True when `key` is present in `section`.
bool IsIniKeyPresent(std::string_view text, std::string_view section, std::string_view key);

// WritePrivateProfileString(section, key, value): replaces the first line of the key with
// "key=value" (the key spelled as in the text), or adds that line after the last key of the
// section, or adds the section at the end of the text. False, with *text unchanged, for names
// and values that would not read back as written: an empty section or key, a line end in any
// of them, "]" in the section, "=" in the key or a key that begins with ";" or "[".
bool WriteIniValue(std::string* text, std::string_view section, std::string_view key,
                   std::string_view value);

// WritePrivateProfileString(section, key, NULL): removes every line of the key in the
// section; the section line stays. True when a line was removed.
bool DeleteIniKey(std::string* text, std::string_view section, std::string_view key);

// Whether `key` is present in `section` of the INI file `file_name` (a native path); a file
// that cannot be read holds no key. The two further arguments are reserved for options and
// must be 0 (they are accepted and have no effect), as every caller passes them.
bool ovIsINIKeyExist2(std::string_view section, std::string_view key, const std::string& file_name,
                      int32_t reserved1, int32_t reserved2);

}  // namespace support
