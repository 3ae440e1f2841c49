#include "platform/names.h"

#include "platform/locale.h"
#include "platform/platform.h"

namespace platform {

std::string NameInAnsi(std::string_view name) {
  if (RunTextIsUtf8() && !AnsiIsUtf8()) return AnsiToUtf8(name);
  return std::string(name);
}

}  // namespace platform
