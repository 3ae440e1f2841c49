// The freedesktop.org shared-mime-info database (Linux): the name globs with their weights
// (globs2), the content magic (magic), the types' own and generic icon names (icons,
// generic-icons) and each type's descriptions (<type>.xml). Read through the platform's File,
// from each `<data folder>/mime` given, the first folder first; malformed lines are skipped and
// a magic file stops being read at its first malformed rule (the rest cannot be trusted).
#pragma once

#include <cstddef>
#include <set>
#include <string>
#include <unordered_map>
#include <vector>

namespace quern {

class MimeDatabase {
 public:
  // Reads the database from `mime_folders` (each ".../mime"); a folder that is not there, or a
  // file missing from one, adds nothing.
  explicit MimeDatabase(const std::vector<std::string>& mime_folders);

  // The database of the user's environment ($XDG_DATA_HOME/mime, then each
  // $XDG_DATA_DIRS/mime), read on first use and kept for the process.
  static const MimeDatabase& Installed();

  // The types the best globs give for `name` (more than one when they tie: the highest weight,
  // then the longest pattern). Case-sensitive patterns are tried first and win when one
  // matches, so "x.c" is C and "x.C" is C++. Empty when no glob matches.
  std::set<std::string> TypesByName(const std::string& name) const;

  // The type the content `head` says, among `allowed` when that is not empty; the magic of the
  // highest priority decides. "" when no rule matches.
  std::string TypeByMagic(const std::string& head, const std::set<std::string>& allowed) const;

  // How many bytes of a file the magic rules can look at (at most 64 KiB).
  size_t MagicExtent() const { return magic_extent_; }

  // The <comment> of `type` in the first of `languages` ("ru_RU", then "ru") that it has, else
  // the English one, else `type` itself.
  std::string Description(const std::string& type, const std::vector<std::string>& languages) const;

  // The type's own icon name (icons) and its generic one (generic-icons); "" when none.
  std::string IconOf(const std::string& type) const;
  std::string GenericIconOf(const std::string& type) const;

  struct Glob {
    int weight = 50;
    std::string type;
    std::string pattern;
    bool case_sensitive = false;
  };
  struct MagicRule {
    int indent = 0;
    uint32_t offset = 0;
    uint32_t range = 1;
    std::string value;
    std::string mask;  // empty: all bits count
  };
  struct MagicSection {
    int priority = 50;
    std::string type;
    std::vector<MagicRule> rules;
  };

 private:
  std::vector<std::string> folders_;  // those that are there
  std::vector<Glob> globs_;
  std::vector<MagicSection> magic_;  // highest priority first
  size_t magic_extent_ = 0;
  std::unordered_map<std::string, std::string> icons_;
  std::unordered_map<std::string, std::string> generic_icons_;
};

// The languages to try for descriptions, best first, from a locale name ("ru_RU.UTF-8" gives
// "ru_RU", then "ru"); empty for English ("", "C", "POSIX").
std::vector<std::string> LanguagesOfLocale(const std::string& locale);

// True when the first 512 bytes of `head` hold no control character other than tab, line
// ends, form feed and escape.
bool LooksLikeText(const std::string& head);

// A data file of the desktop (MIME database, icon theme) whole; "" when it cannot be read.
// Only a regular file is read, so a FIFO in its place never keeps the caller waiting.
std::string ReadDesktopFile(const std::string& path);

// True when `path` is a folder (a link to one counts).
bool IsDesktopFolder(const std::string& path);

}  // namespace quern
