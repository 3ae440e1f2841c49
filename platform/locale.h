// The user's and the system's locale, as the names the language functions start from, and what
// the ANSI code page can hold.
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

// The ANSI code page holds every letter of the Russian alphabet, which is what the program's
// own messages are written in (UTF-8 holds them, as do 1251, KOI8-R and ISO-8859-5; 1252 and
// ISO-8859-1 do not). Decided once.
bool AnsiHoldsCyrillic();

// The encoding of the text a run reports (what goes to the console and the log): UTF-8 when
// true, else the ANSI code page. On Windows it is always UTF-8, since the window shows UTF-16
// and nothing on the way may go through a page that lacks a character of a file name. On
// POSIX it is the ANSI code page wherever that holds the program's messages (file names are
// the disk's own bytes there and pass untouched), and UTF-8 under a locale whose page cannot
// hold them (ISO-8859-1), so the log need not lose them.
bool RunTextIsUtf8();

}  // namespace platform
