#include "platform/locale.h"

#include <langinfo.h>

#include <algorithm>
#include <clocale>
#include <cstdlib>
#include <string_view>
#include <vector>

#include "platform/file_system.h"
#include "platform/platform.h"

namespace platform {
namespace {

// The value of LANG in a shell-style assignment file ("LANG=ru_RU.UTF-8", maybe quoted).
std::string LangOfConfig(const std::string& path) {
  std::vector<uint8_t> bytes;
  if (ReadWholeFile(RealFileSystem(), path, &bytes) != error::kSuccess) return {};
  std::string_view text(reinterpret_cast<const char*>(bytes.data()), bytes.size());
  std::string value;
  while (!text.empty()) {
    const size_t end = std::min(text.find('\n'), text.size());
    std::string_view line = text.substr(0, end);
    text.remove_prefix(std::min(end + 1, text.size()));
    while (!line.empty() && (line.front() == ' ' || line.front() == '\t')) line.remove_prefix(1);
    if (line.starts_with("export ")) line.remove_prefix(7);
    if (!line.starts_with("LANG=")) continue;
    line.remove_prefix(5);
    while (!line.empty() && (line.back() == '\r' || line.back() == ' ')) line.remove_suffix(1);
    if (line.size() >= 2 && (line.front() == '"' || line.front() == '\'') &&
        line.back() == line.front()) {
      line = line.substr(1, line.size() - 2);
    }
    value = line;  // the last assignment wins, as in the shell
  }
  return value;
}

}  // namespace

void Initialize() { std::setlocale(LC_ALL, ""); }

std::string UserLocaleName() {
  for (const char* name : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
    const char* value = std::getenv(name);
    if (value != nullptr && *value != '\0') return value;
  }
  return {};
}

std::string SystemLocaleName() {
  for (const char* path : {"/etc/default/locale", "/etc/locale.conf"}) {
    std::string value = LangOfConfig(path);
    if (!value.empty()) return value;
  }
  return {};
}

std::string LocaleCharsetName() {
  const char* codeset = nl_langinfo(CODESET);
  return codeset != nullptr ? codeset : "";
}

}  // namespace platform
