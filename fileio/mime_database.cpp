#include "fileio/mime_database.h"

#include <algorithm>
#include <cstdlib>
#include <map>
#include <sstream>
#include <string_view>

#include "platform/file.h"
#include "platform/file_system.h"
#include "platform/shell.h"

namespace quern {

namespace {

using Glob = MimeDatabase::Glob;
using MagicRule = MimeDatabase::MagicRule;
using MagicSection = MimeDatabase::MagicSection;

void LoadGlobs(const std::string& text, std::vector<Glob>* globs) {
  std::stringstream in(text);
  std::string line;
  while (std::getline(in, line)) {
    if (line.empty() || line[0] == '#') continue;
    const std::vector<std::string> fields = [&] {
      std::vector<std::string> parts;
      size_t start = 0;
      for (int i = 0; i < 3; ++i) {
        const size_t colon = line.find(':', start);
        if (colon == std::string::npos) break;
        parts.push_back(line.substr(start, colon - start));
        start = colon + 1;
      }
      parts.push_back(line.substr(start));
      return parts;
    }();
    if (fields.size() < 3) continue;
    Glob glob;
    glob.weight = std::atoi(fields[0].c_str());
    glob.type = fields[1];
    glob.pattern = fields[2];
    // A fourth field holds flags ("cs"); a pattern with a colon in it has none of its own.
    if (fields.size() == 4) {
      if (fields[3].find("cs") != std::string::npos) {
        glob.case_sensitive = true;
      } else if (!fields[3].empty() && fields[3].find('=') == std::string::npos) {
        glob.pattern += ":" + fields[3];
      }
    }
    globs->push_back(std::move(glob));
  }
}

// Reads a decimal number at `*at`; false when there is none.
bool ReadNumber(const std::string& text, size_t* at, uint32_t* number) {
  const size_t start = *at;
  uint64_t value = 0;
  while (*at < text.size() && text[*at] >= '0' && text[*at] <= '9') {
    value = value * 10 + static_cast<uint64_t>(text[*at] - '0');
    if (value > 0xFFFFFFFFu) return false;
    ++*at;
  }
  *number = static_cast<uint32_t>(value);
  return *at > start;
}

// Parses one rule line at `*at` (up to and including its newline); false on a malformed one.
bool ReadMagicRule(const std::string& text, size_t* at, MagicRule* rule) {
  uint32_t indent = 0;
  if (text[*at] != '>' && !ReadNumber(text, at, &indent)) return false;
  rule->indent = static_cast<int>(indent);
  if (*at >= text.size() || text[(*at)++] != '>') return false;
  if (!ReadNumber(text, at, &rule->offset)) return false;
  if (*at + 3 > text.size() || text[(*at)++] != '=') return false;
  const size_t length = static_cast<uint8_t>(text[*at]) << 8 | static_cast<uint8_t>(text[*at + 1]);
  *at += 2;
  if (*at + length > text.size()) return false;
  rule->value = text.substr(*at, length);
  *at += length;
  uint32_t word_size = 1;
  while (*at < text.size() && text[*at] != '\n') {
    const char mark = text[(*at)++];
    if (mark == '&') {
      if (*at + length > text.size()) return false;
      rule->mask = text.substr(*at, length);
      *at += length;
    } else if (mark == '~') {
      if (!ReadNumber(text, at, &word_size)) return false;
    } else if (mark == '+') {
      if (!ReadNumber(text, at, &rule->range)) return false;
    } else {
      return false;
    }
  }
  if (*at >= text.size()) return false;
  ++*at;  // the newline
  // Values of wider words are written big-endian; this machine compares little-endian bytes.
  if ((word_size == 2 || word_size == 4) && length % word_size == 0) {
    for (size_t i = 0; i < length; i += word_size) {
      std::reverse(rule->value.begin() + i, rule->value.begin() + i + word_size);
      if (!rule->mask.empty()) {
        std::reverse(rule->mask.begin() + i, rule->mask.begin() + i + word_size);
      }
    }
  }
  if (rule->range == 0) rule->range = 1;
  return true;
}

void LoadMagic(const std::string& text, std::vector<MagicSection>* sections) {
  static constexpr std::string_view kHeader("MIME-Magic\0\n", 12);
  if (text.compare(0, kHeader.size(), kHeader) != 0) return;
  size_t at = kHeader.size();
  while (at < text.size()) {
    if (text[at] != '[') return;
    const size_t end = text.find("]\n", at);
    if (end == std::string::npos) return;
    const std::string header = text.substr(at + 1, end - at - 1);
    at = end + 2;
    const size_t colon = header.find(':');
    MagicSection section;
    if (colon != std::string::npos) {
      section.priority = std::atoi(header.substr(0, colon).c_str());
      section.type = header.substr(colon + 1);
    }
    while (at < text.size() && text[at] != '[') {
      MagicRule rule;
      if (!ReadMagicRule(text, &at, &rule)) return;  // the rest cannot be trusted
      section.rules.push_back(std::move(rule));
    }
    if (!section.type.empty()) sections->push_back(std::move(section));
  }
}

void LoadNameList(const std::string& text, std::unordered_map<std::string, std::string>* names) {
  std::stringstream in(text);
  std::string line;
  while (std::getline(in, line)) {
    const size_t colon = line.find(':');
    if (colon == std::string::npos || line[0] == '#') continue;
    names->emplace(line.substr(0, colon), line.substr(colon + 1));
  }
}

bool RuleMatchesHere(const MagicRule& rule, const std::string& head) {
  for (uint32_t start = rule.offset; start < rule.offset + rule.range; ++start) {
    if (start + rule.value.size() > head.size()) return false;
    bool same = true;
    for (size_t i = 0; i < rule.value.size() && same; ++i) {
      uint8_t byte = static_cast<uint8_t>(head[start + i]);
      uint8_t value = static_cast<uint8_t>(rule.value[i]);
      if (!rule.mask.empty()) {
        byte &= static_cast<uint8_t>(rule.mask[i]);
        value &= static_cast<uint8_t>(rule.mask[i]);
      }
      same = byte == value;
    }
    if (same) return true;
  }
  return false;
}

// True when a rule of `rules[begin, end)` at the top level of that range matches, together
// with one of its nested rules if it has any.
bool RulesMatch(const std::vector<MagicRule>& rules, size_t begin, size_t end,
                const std::string& head) {
  for (size_t i = begin; i < end;) {
    size_t children_end = i + 1;
    while (children_end < end && rules[children_end].indent > rules[i].indent) ++children_end;
    if (RuleMatchesHere(rules[i], head) &&
        (children_end == i + 1 || RulesMatch(rules, i + 1, children_end, head))) {
      return true;
    }
    i = children_end;
  }
  return false;
}

// The type the content says, among `allowed` when that is not empty; "" when none.
std::string DecodeEntities(const std::string& text) {
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '&') {
      out += text[i];
      continue;
    }
    const size_t semicolon = text.find(';', i);
    if (semicolon == std::string::npos) {
      out += text[i];
      continue;
    }
    const std::string entity = text.substr(i + 1, semicolon - i - 1);
    static const std::map<std::string, std::string> kNamed = {
        {"amp", "&"}, {"lt", "<"}, {"gt", ">"}, {"quot", "\""}, {"apos", "'"}};
    if (auto named = kNamed.find(entity); named != kNamed.end()) {
      out += named->second;
    } else if (entity.size() > 1 && entity[0] == '#') {
      const bool hex = entity[1] == 'x' || entity[1] == 'X';
      const uint32_t code = static_cast<uint32_t>(
          std::strtoul(entity.c_str() + (hex ? 2 : 1), nullptr, hex ? 16 : 10));
      if (code < 0x80) {
        out += static_cast<char>(code);
      } else if (code < 0x800) {
        out += static_cast<char>(0xC0 | code >> 6);
        out += static_cast<char>(0x80 | (code & 0x3F));
      } else if (code < 0x10000) {
        out += static_cast<char>(0xE0 | code >> 12);
        out += static_cast<char>(0x80 | (code >> 6 & 0x3F));
        out += static_cast<char>(0x80 | (code & 0x3F));
      } else {
        out += static_cast<char>(0xF0 | code >> 18);
        out += static_cast<char>(0x80 | (code >> 12 & 0x3F));
        out += static_cast<char>(0x80 | (code >> 6 & 0x3F));
        out += static_cast<char>(0x80 | (code & 0x3F));
      }
    } else {
      out += "&" + entity + ";";
    }
    i = semicolon;
  }
  return out;
}

// The languages to try for descriptions, best first ("ru_RU", "ru"); empty for English.
}  // namespace

std::string ReadDesktopFile(const std::string& path) {
  uint32_t error = 0;
  const platform::File reader = platform::File::OpenForReading(path, &error);
  std::string text;
  if (!reader.IsOpen() || reader.ReadAll(&text) != platform::error::kSuccess) return {};
  return text;
}

bool IsDesktopFolder(const std::string& path) {
  uint32_t attributes = 0;
  uint64_t size = 0;
  return platform::GetFileAttributes(platform::RealFileSystem(), path, &attributes, &size) ==
             platform::error::kSuccess &&
         (attributes & platform::attr::kDirectory) != 0;
}

MimeDatabase::MimeDatabase(const std::vector<std::string>& mime_folders) {
  for (const std::string& folder : mime_folders) {
    if (!IsDesktopFolder(folder)) continue;
    folders_.push_back(folder);
    LoadGlobs(ReadDesktopFile(folder + "/globs2"), &globs_);
    LoadMagic(ReadDesktopFile(folder + "/magic"), &magic_);
    LoadNameList(ReadDesktopFile(folder + "/icons"), &icons_);
    LoadNameList(ReadDesktopFile(folder + "/generic-icons"), &generic_icons_);
  }
  std::stable_sort(magic_.begin(), magic_.end(), [](const MagicSection& a, const MagicSection& b) {
    return a.priority > b.priority;
  });
  for (const MagicSection& section : magic_) {
    for (const MagicRule& rule : section.rules) {
      magic_extent_ =
          std::max<size_t>(magic_extent_, size_t{rule.offset} + rule.range + rule.value.size());
    }
  }
  // Rules that look deep into a file are rare; reading more than this for each file is not
  // worth what they could tell.
  magic_extent_ = std::min<size_t>(magic_extent_, 64 * 1024);
}

const MimeDatabase& MimeDatabase::Installed() {
  static const MimeDatabase database = [] {
    std::vector<std::string> folders;
    for (const std::string& data : platform::GetDesktopSettings().data_folders) {
      folders.push_back(data + "/mime");
    }
    return MimeDatabase(folders);
  }();
  return database;
}

std::string MimeDatabase::TypeByMagic(const std::string& head,
                                      const std::set<std::string>& allowed) const {
  for (const MagicSection& section : magic_) {
    if (!allowed.empty() && !allowed.count(section.type)) continue;
    if (RulesMatch(section.rules, 0, section.rules.size(), head)) return section.type;
  }
  return {};
}

std::set<std::string> MimeDatabase::TypesByName(const std::string& name) const {
  for (const bool case_sensitive : {true, false}) {
    std::set<std::string> types;
    int best_weight = -1;
    size_t best_length = 0;
    for (const Glob& glob : globs_) {
      if (glob.case_sensitive != case_sensitive) continue;
      if (!platform::MatchesGlob(glob.pattern, name, case_sensitive)) continue;
      if (glob.weight > best_weight ||
          (glob.weight == best_weight && glob.pattern.size() > best_length)) {
        types.clear();
        best_weight = glob.weight;
        best_length = glob.pattern.size();
      }
      if (glob.weight == best_weight && glob.pattern.size() == best_length) {
        types.insert(glob.type);
      }
    }
    if (!types.empty()) return types;
  }
  return {};
}

std::string MimeDatabase::Description(const std::string& type,
                                      const std::vector<std::string>& languages) const {
  // A type names a file of the database: never one outside it.
  if (type.find("..") != std::string::npos) return type;
  for (const std::string& folder : folders_) {
    const std::string xml = ReadDesktopFile(folder + "/" + type + ".xml");
    if (xml.empty()) continue;
    std::map<std::string, std::string> comments;  // language ("" for English) -> text
    for (size_t at = xml.find("<comment"); at != std::string::npos;
         at = xml.find("<comment", at + 1)) {
      const size_t close = xml.find('>', at);
      const size_t end = xml.find("</comment>", at);
      if (close == std::string::npos || end == std::string::npos || end < close) break;
      const std::string tag = xml.substr(at, close - at);
      std::string language;
      if (const size_t lang = tag.find("xml:lang=\""); lang != std::string::npos) {
        const size_t quote = tag.find('"', lang + 10);
        language = tag.substr(lang + 10, quote - lang - 10);
      }
      comments.emplace(language, DecodeEntities(xml.substr(close + 1, end - close - 1)));
    }
    for (const std::string& language : languages) {
      if (auto found = comments.find(language); found != comments.end()) return found->second;
    }
    if (auto english = comments.find(""); english != comments.end()) return english->second;
  }
  return type;
}

std::string MimeDatabase::IconOf(const std::string& type) const {
  const auto own = icons_.find(type);
  return own == icons_.end() ? std::string() : own->second;
}

std::string MimeDatabase::GenericIconOf(const std::string& type) const {
  const auto generic = generic_icons_.find(type);
  return generic == generic_icons_.end() ? std::string() : generic->second;
}

std::vector<std::string> LanguagesOfLocale(const std::string& locale_name) {
  const std::string locale = locale_name.substr(0, locale_name.find_first_of(".@"));
  if (locale.empty() || locale == "C" || locale == "POSIX") return {};
  std::vector<std::string> languages{locale};
  const size_t underscore = locale.find('_');
  if (underscore != std::string::npos) languages.push_back(locale.substr(0, underscore));
  return languages;
}

bool LooksLikeText(const std::string& head) {
  for (const char c : head.substr(0, 512)) {
    const auto byte = static_cast<uint8_t>(c);
    if (byte < 0x20 && byte != '\t' && byte != '\n' && byte != '\r' && byte != '\f' &&
        byte != 0x1B) {
      return false;
    }
  }
  return true;
}

}  // namespace quern
