#include "platform/names.h"

namespace platform {

// The run's text is UTF-8 on Windows, as names are here.
std::string NameInAnsi(std::string_view name) { return std::string(name); }

}  // namespace platform
