// Helpers shared by the console window and its message boxes (Win32 backend only).
#pragma once

#include <string>
#include <string_view>

namespace platform::console_window_internal {

// `text` as a Windows control shows it: every "\n" not preceded by "\r" becomes CR LF, and a
// NUL (which would cut the text short) becomes U+FFFD.
std::wstring ForDisplay(std::u16string_view text);

// The same text as a wide string that ends in NUL, for the W functions.
inline std::wstring Wide(std::u16string_view text) {
  return std::wstring(text.begin(), text.end());
}

// An ASCII name (resource names and types) as a wide string.
inline std::wstring WideAscii(std::string_view name) {
  return std::wstring(name.begin(), name.end());
}

}  // namespace platform::console_window_internal
