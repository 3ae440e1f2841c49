// The UTF-8 conversions of ov_unicode.h without the vector instructions: what a build for a
// processor without SSE2 runs. Always compiled, so that tests on any machine can check that
// both ways give the same results.
#pragma once

#include <string>
#include <string_view>

namespace support::portable {

std::u16string Utf8ToUtf16(std::string_view bytes);
std::string Utf16ToUtf8(std::u16string_view text);
size_t CountUtf8Piece(std::string_view bytes, bool last, size_t* units);

}  // namespace support::portable
