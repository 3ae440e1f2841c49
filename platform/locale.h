// The user's and the system's locale, as the names the language functions start from.
#pragma once

#include <string>

namespace platform {

// The locale that decides the language of messages: the first set of LC_ALL, LC_MESSAGES and
// LANG (glibc's order for messages), e.g. "ru_RU.UTF-8"; "" when none is set.
std::string UserLocaleName();

// The system-wide locale: LANG of /etc/default/locale (Debian), else of /etc/locale.conf
// (systemd); quotes around the value are dropped. "" when neither file says.
std::string SystemLocaleName();

// The charset of the process's locale (what the ANSI code page stands for), e.g. "UTF-8",
// "CP1251", "KOI8-R"; "ANSI_X3.4-1968" in the C and POSIX locales.
std::string LocaleCharsetName();

}  // namespace platform
