// The program's own messages in the user's language. The Russian texts, exactly as the program
// writes them, are the source messages (gettext's msgids) of the "sweepwell" domain; a
// catalogue (po/en.po) gives their English form. What the user reads follows LANGUAGE,
// LC_ALL, LC_MESSAGES and LANG as in every GNU program; without a catalogue for the language,
// in a Russian locale and in the C locale the Russian text stands.
//
// Only what the user reads is translated: the monthly log is a stored record that readers
// parse, and keeps the source texts whatever the locale (see COutput::AddFixed).
//
// On Windows the program's messages stay Russian, the language of the platform it was made
// for: Tr is the identity there and no libintl is linked.
#pragma once

#include <initializer_list>
#include <string>
#include <string_view>
#include <vector>

// Marks a source text for the catalogue without translating it, where it is kept now and
// translated where it is shown (gettext's usual name, usable in a constant's initializer).
#define N_(message) message

namespace support {

// Binds the "sweepwell" domain to its catalogues: the folder named by SWEEPWELL_LOCALEDIR
// when that is set and not empty (a build tree's "locale" folder, for the tests and for
// trying the program before it is installed), else the install's locale folder fixed at build
// time. Translations come back in UTF-8, like the source texts, so LocalText and AnsiText
// encode both alike. Call once, after setlocale(LC_ALL, ""); idempotent.
void InitializeMessages();

// The user's form of `message`, one of the program's own texts (UTF-8): its translation, or
// `message` itself when the catalogue has none (a text that is not a message, such as a path,
// comes back as it is).
std::string Tr(std::string_view message);

// `text` with each "%s" replaced by the next of `values` (kept as they are, never scanned for
// "%s" again); a "%s" beyond the values stays. For messages whose words a translation may put
// in another order around the values.
std::string Fill(std::string_view text, std::initializer_list<std::string_view> values);
std::string Fill(std::string_view text, const std::vector<std::string>& values);

}  // namespace support
