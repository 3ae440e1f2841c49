#include "platform/names.h"

#include "platform/win32/internal.h"

namespace platform {

std::string NameInAnsi(std::string_view name) { return Utf8ToAnsi(name); }

}  // namespace platform
