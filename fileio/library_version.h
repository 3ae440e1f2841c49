// The library's version and the texts of its version resource, in one place for the two that
// show them: quern::LibraryVersion() (quern0102.cpp), which the library's own readers report on
// every platform, and the VERSIONINFO resource of Quern0102.dll (quern0102.rc.in), which
// Windows' version functions read. Macros, since the resource compiler takes nothing else.
#pragma once

#define QUERN_VERSION_NUMBERS 1, 2, 0, 29
#define QUERN_VERSION_TEXT "1.02.0029"
#define QUERN_VERSION_DESCRIPTION "Orvanel - File I/O support 1.02"
#define QUERN_VERSION_COMPANY "Greyfen Works"
#define QUERN_VERSION_COPYRIGHT "Copyright (C) 2026 Greyfen Works"
#define QUERN_VERSION_TRADEMARKS "Orvanel is a trademark of Greyfen Works"
#define QUERN_VERSION_INTERNAL_NAME "Quern0102"
#define QUERN_VERSION_FILE_NAME "Quern0102.DLL"
#define QUERN_VERSION_PRODUCT "Orvanel"
// The one translation of the resource: U.S. English, UTF-16 (Unicode) texts.
#define QUERN_VERSION_LANGUAGE 0x0409
#define QUERN_VERSION_CODE_PAGE 1200
#define QUERN_VERSION_BLOCK "040904B0"
