#include "platform/names.h"

namespace platform {

std::string NameInAnsi(std::string_view name) { return std::string(name); }

}  // namespace platform
