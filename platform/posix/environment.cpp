// The user's environment: the per-user data folder and %NAME% expansion.
#include <pwd.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "platform/platform.h"
#include "platform/posix/internal.h"

extern char** environ;

namespace platform {
namespace {

const char* NonEmptyEnv(const char* name) {
  const char* value = std::getenv(name);
  return (value != nullptr && value[0] != '\0') ? value : nullptr;
}

std::string WithoutTrailingSeparators(std::string path) {
  while (path.size() > 1 && path.back() == kPathSeparator) path.pop_back();
  return path;
}

}  // namespace

namespace posix {

std::string HomeFolder() {
  if (const char* home = NonEmptyEnv("HOME")) return home;
  // No $HOME (a service, a cleared environment): the account database still knows.
  long buffer_size = sysconf(_SC_GETPW_R_SIZE_MAX);
  if (buffer_size <= 0) buffer_size = 16384;
  std::vector<char> buffer(static_cast<size_t>(buffer_size));
  passwd entry{};
  passwd* found = nullptr;
  if (getpwuid_r(getuid(), &entry, buffer.data(), buffer.size(), &found) != 0 || found == nullptr ||
      found->pw_dir == nullptr) {
    return {};
  }
  return found->pw_dir;
}

std::string XdgUserFolder(const char* variable, const char* under_home) {
  // The XDG base directory rules: a relative value is invalid and must be ignored.
  if (const char* xdg = NonEmptyEnv(variable); xdg != nullptr && xdg[0] == kPathSeparator) {
    return WithoutTrailingSeparators(xdg);
  }
  std::string home = HomeFolder();
  if (home.empty()) return {};
  home = WithoutTrailingSeparators(std::move(home));
  if (home.back() != kPathSeparator) home += kPathSeparator;
  return home + under_home;
}

}  // namespace posix

namespace {

bool EqualsIgnoringAsciiCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    char x = a[i], y = b[i];
    if (x >= 'a' && x <= 'z') x = static_cast<char>(x - 32);
    if (y >= 'a' && y <= 'z') y = static_cast<char>(y - 32);
    if (x != y) return false;
  }
  return true;
}

// The value of the variable `name`, or false when there is none.
//
// Linux variables are case-sensitive, so the exact name wins. Scripts are often written by
// people used to Windows, where %temp% and %TEMP% are the same variable; so when the exact name
// is not set we try the upper-case spelling (the usual one for environment variables) and then
// any variable whose name differs only in ASCII letter case, taking the first in environ order.
// TEMP and TMP, when set under no spelling, stand for $TMPDIR or /tmp as on any Linux program.
bool LookUp(const std::string& name, std::string* value) {
  if (name.empty() || name.find('=') != std::string::npos) return false;
  if (const char* exact = std::getenv(name.c_str())) {
    *value = exact;
    return true;
  }
  std::string upper = name;
  for (char& c : upper) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 32);
  }
  if (const char* found = std::getenv(upper.c_str())) {
    *value = found;
    return true;
  }
  for (char** entry = environ; entry != nullptr && *entry != nullptr; ++entry) {
    const char* equals = std::strchr(*entry, '=');
    if (equals == nullptr) continue;
    if (EqualsIgnoringAsciiCase(std::string_view(*entry, equals - *entry), name)) {
      *value = equals + 1;
      return true;
    }
  }
  if (upper == "TEMP" || upper == "TMP") {
    const char* tmpdir = NonEmptyEnv("TMPDIR");
    *value = tmpdir != nullptr ? tmpdir : "/tmp";
    return true;
  }
  return false;
}

}  // namespace

std::string GetUserDataFolder() { return posix::XdgUserFolder("XDG_DATA_HOME", ".local/share"); }

std::string GetUserConfigFolder() { return posix::XdgUserFolder("XDG_CONFIG_HOME", ".config"); }

// Like Windows: text between two percent signs names a variable; a reference to an unknown
// variable is copied as written ("%NOPE%") and scanning goes on after its closing sign; "%%"
// and a "%" without a partner are copied as they are.
std::string ExpandEnvironmentStrings(std::string_view text) {
  std::string result;
  result.reserve(text.size());
  size_t pos = 0;
  while (pos < text.size()) {
    const size_t open = text.find('%', pos);
    if (open == std::string_view::npos) break;
    const size_t close = text.find('%', open + 1);
    if (close == std::string_view::npos) break;
    result.append(text, pos, open - pos);
    std::string value;
    if (close > open + 1 && LookUp(std::string(text.substr(open + 1, close - open - 1)), &value)) {
      result += value;
    } else {
      result.append(text, open, close - open + 1);
    }
    pos = close + 1;
  }
  result.append(text, pos, std::string_view::npos);
  return result;
}

}  // namespace platform
