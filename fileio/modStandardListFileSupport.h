// Reading a standard list file in the ANSI or OEM code page: one item per line, comment lines
// and (optionally) blank lines left out.
#pragma once

#include <string>
#include <string_view>

#include "automation/collection.h"
#include "automation/object.h"
#include "platform/file_system.h"

namespace quern {

// The items of the list file `FileName`, each keyed by its position in decimal ("1", "2", ...).
// A line ends at CR LF or at a CR alone, and on Unix also at an LF alone (on Windows an LF alone
// is part of the line). Blank and comment
// tests look at the line without blanks at its ends; CommentChar (empty: no comments) is
// compared with regard to case. With IsOem the items are read in the OEM code page. Any
// failure is raised (source "orvFSO").
automation::Ref<automation::Collection> ParseStandardListFile(platform::FileSystem& files,
                                                              const std::u16string& FileName,
                                                              bool IsOem,
                                                              const std::u16string& CommentChar,
                                                              bool IgnoreBlanks, bool TrimStrings);

// The items of a list file's bytes, read as ParseStandardListFile reads them; never fails.
automation::Ref<automation::Collection> ParseStandardListText(std::string_view bytes, bool IsOem,
                                                              const std::u16string& CommentChar,
                                                              bool IgnoreBlanks, bool TrimStrings);

// The items of a decoded list text as ReadStandardListFile2 takes them: the text splits only at
// CR LF, and on Unix also at an LF alone (a final line end leaves an empty last piece), CommentChar
// compares without regard to case.
automation::Ref<automation::Collection> ItemsOfListText(const std::u16string& text,
                                                        const std::u16string& CommentChar,
                                                        bool IgnoreBlanks, bool TrimStrings);

// `text` without blanks and tabs at both ends (ovTrimEx on text).
std::u16string TrimBlanks(const std::u16string& text);

}  // namespace quern
