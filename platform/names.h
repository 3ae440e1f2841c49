// File names in the text a run reports (the console and the run log).
#pragma once

#include <string>
#include <string_view>

namespace platform {

// A name or path, as this layer gives and takes it, in the encoding of the run's text
// (RunTextIsUtf8 in locale.h). On Windows names are UTF-8 and so is the run's text: the name
// passes whole, and the console and the log each decide how to show a character they cannot
// hold. On Linux a name is bytes in the locale's charset and stays as it is, unless the run's
// text is UTF-8 beside a legacy charset: then its bytes are read in that charset.
std::string NameInAnsi(std::string_view name);

}  // namespace platform
