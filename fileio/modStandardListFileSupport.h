// Reading a standard list file in the ANSI or OEM code page: one item per line, comment lines
// and (optionally) blank lines left out.
#pragma once

#include <string>

#include "automation/collection.h"
#include "automation/object.h"

namespace quern {

// The items of the list file `FileName`, each keyed by its position in decimal ("1", "2", ...).
// A line ends at CR LF or at a CR alone (an LF alone is part of the line). Blank and comment
// tests look at the line without blanks at its ends; CommentChar (empty: no comments) is
// compared with regard to case. With IsOem the items are read in the OEM code page. Any
// failure is raised (source "orvFSO").
automation::Ref<automation::Collection> ParseStandardListFile(const std::u16string& FileName,
                                                              bool IsOem,
                                                              const std::u16string& CommentChar,
                                                              bool IgnoreBlanks, bool TrimStrings);

// `text` without blanks and tabs at both ends (ovTrimEx on text).
std::u16string TrimBlanks(const std::u16string& text);

}  // namespace quern
