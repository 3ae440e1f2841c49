// File names in text that is written in the ANSI code page (the console and the run log).
#pragma once

#include <string>
#include <string_view>

namespace platform {

// A name or path, as this layer gives and takes it, in the ANSI code page. On Linux a name is
// bytes in the locale's charset already and stays as it is; on Windows names are UTF-8 and
// are converted, a character the page lacks becoming "?" (the name on disk is unaffected: only
// the text shows it so).
std::string NameInAnsi(std::string_view name);

}  // namespace platform
