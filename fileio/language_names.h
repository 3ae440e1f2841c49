// Windows language identifiers (LANGID: primary language in the low 10 bits, sublanguage in the
// high 6) and their names, the default languages of the user and of the system, and the ANSI
// code page's number, worked out from the Linux locale.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace quern {

// VerLanguageName: "English (United States)", "German (Germany)", "Russian". A language spoken
// under one name only is named alone; one with several sublanguages names the country or
// script in brackets. 0 is "Language Neutral". An id not in the table but whose primary
// language is (a neutral or unusual sublanguage, 0x0009) gets the language's name alone; an id
// whose primary language is unknown, or any value outside 0..0xFFFF, gets "".
std::u16string LanguageName(int64_t language_id);

// The LANGID of a locale name "ll_CC.charset@modifier" ("ru_RU.UTF-8" -> 0x0419, "pt_BR" ->
// 0x0416, "sr_RS@latin" -> 0x241A); a known language in an unknown country gets its main
// sublanguage ("de_BE" -> 0x0407). C, POSIX, "" and unknown languages give 0x0409.
uint16_t LanguageFromLocale(std::string_view locale);

// GetUserDefaultLangID: the language of the user's locale (platform::UserLocaleName).
uint16_t UserDefaultLanguage();
// GetSystemDefaultLangID: the language of the system's locale (platform::SystemLocaleName);
// 0x0409 when the system names none. Read once per process: like Windows' system language, it
// changes only with a restart.
uint16_t SystemDefaultLanguage();

// The Windows number of a charset name: "UTF-8" -> 65001, "CP1251" -> 1251, "KOI8-R" -> 20866,
// "ISO-8859-5" -> 28595. The C and POSIX locales' ASCII counts as UTF-8 (as the conversions of
// the ANSI code page treat it). -1 for a charset Windows has no number for.
int32_t CodePageFromCharset(std::string_view charset);

// GetACP: the number of the process locale's charset.
int32_t SystemAnsiCodePage();

}  // namespace quern
