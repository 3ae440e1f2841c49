#include "support/ov_messages.h"

#include <cstdlib>
#include <string>

#ifndef _WIN32
#include <libintl.h>
#endif

namespace support {

namespace {

constexpr char kDomain[] = "sweepwell";

#ifndef SWEEPWELL_LOCALEDIR
#define SWEEPWELL_LOCALEDIR "/usr/share/locale"
#endif

}  // namespace

#ifdef _WIN32

void InitializeMessages() {}

std::string Tr(std::string_view message) { return std::string(message); }

#else

void InitializeMessages() {
  const char* folder = std::getenv("SWEEPWELL_LOCALEDIR");
  if (folder == nullptr || *folder == '\0') folder = SWEEPWELL_LOCALEDIR;
  bindtextdomain(kDomain, folder);
  bind_textdomain_codeset(kDomain, "UTF-8");
}

std::string Tr(std::string_view message) {
  if (message.empty()) return {};  // "" is the catalogue's header, never a message
  const std::string source(message);
  return dgettext(kDomain, source.c_str());
}

#endif

namespace {

template <typename Values>
std::string FillIn(std::string_view text, const Values& values) {
  std::string result;
  auto next = values.begin();
  size_t start = 0;
  while (next != values.end()) {
    const size_t at = text.find("%s", start);
    if (at == std::string_view::npos) break;
    result.append(text.substr(start, at - start));
    result.append(*next++);
    start = at + 2;
  }
  result.append(text.substr(start));
  return result;
}

}  // namespace

std::string Fill(std::string_view text, std::initializer_list<std::string_view> values) {
  return FillIn(text, values);
}

std::string Fill(std::string_view text, const std::vector<std::string>& values) {
  return FillIn(text, values);
}

}  // namespace support
