// The shell's file information from the freedesktop.org databases: shared-mime-info (globs2,
// magic, icons, generic-icons and the per-type XML files) and icon themes (index.theme). Both
// are read once per process and kept; the icon files found are remembered per name and size.

#include "platform/shell.h"

#include <dirent.h>
#include <fcntl.h>
#include <fnmatch.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <map>
#include <mutex>
#include <set>
#include <sstream>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "platform/file_reader.h"
#include "platform/posix/internal.h"

namespace platform {

namespace {

std::string Environment(const char* name) {
  const char* value = std::getenv(name);
  return value ? std::string(value) : std::string();
}

std::vector<std::string> SplitList(const std::string& text, char separator) {
  std::vector<std::string> parts;
  std::stringstream in(text);
  std::string part;
  while (std::getline(in, part, separator)) {
    if (!part.empty()) parts.push_back(part);
  }
  return parts;
}

std::string Trim(const std::string& text) {
  const size_t first = text.find_first_not_of(" \t\r\n");
  if (first == std::string::npos) return {};
  const size_t last = text.find_last_not_of(" \t\r\n");
  return text.substr(first, last - first + 1);
}

// A data file of the desktop (MIME database, icon theme); only a regular file is read, so a
// FIFO in its place never keeps the caller waiting.
std::string ReadTextFile(const std::string& path) {
  uint32_t error = 0;
  File reader = File::OpenForReading(path, &error);
  std::vector<uint8_t> bytes;
  if (!reader.IsOpen() || reader.ReadAt(0, static_cast<size_t>(reader.Size()), &bytes) != 0) {
    return {};
  }
  return std::string(bytes.begin(), bytes.end());
}

// The data folders in the order of precedence: the user's, then the system's.
std::vector<std::string> DataFolders() {
  std::vector<std::string> folders;
  std::string home_data = posix::XdgUserFolder("XDG_DATA_HOME", ".local/share");
  if (!home_data.empty()) folders.push_back(home_data);
  std::string system = Environment("XDG_DATA_DIRS");
  if (system.empty()) system = "/usr/local/share/:/usr/share/";
  for (std::string folder : SplitList(system, ':')) {
    if (folder[0] != kPathSeparator) continue;  // relative: invalid, as in XDG_DATA_HOME
    while (folder.size() > 1 && folder.back() == '/') folder.pop_back();
    folders.push_back(folder);
  }
  return folders;
}

// ---------------------------------------------------------------------------------------------
// The MIME database

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

struct MimeDatabase {
  std::vector<std::string> folders;  // each ".../mime"
  std::vector<Glob> globs;
  std::vector<MagicSection> magic;  // highest priority first
  size_t magic_extent = 0;          // bytes of a file the magic rules can look at
  std::unordered_map<std::string, std::string> icons;
  std::unordered_map<std::string, std::string> generic_icons;
};

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

const MimeDatabase& Database() {
  static const MimeDatabase database = [] {
    MimeDatabase db;
    for (const std::string& data : DataFolders()) {
      const std::string folder = data + "/mime";
      struct stat status;
      if (stat(folder.c_str(), &status) != 0 || !S_ISDIR(status.st_mode)) continue;
      db.folders.push_back(folder);
      LoadGlobs(ReadTextFile(folder + "/globs2"), &db.globs);
      LoadMagic(ReadTextFile(folder + "/magic"), &db.magic);
      LoadNameList(ReadTextFile(folder + "/icons"), &db.icons);
      LoadNameList(ReadTextFile(folder + "/generic-icons"), &db.generic_icons);
    }
    std::stable_sort(
        db.magic.begin(), db.magic.end(),
        [](const MagicSection& a, const MagicSection& b) { return a.priority > b.priority; });
    for (const MagicSection& section : db.magic) {
      for (const MagicRule& rule : section.rules) {
        db.magic_extent =
            std::max<size_t>(db.magic_extent, size_t{rule.offset} + rule.range + rule.value.size());
      }
    }
    // Rules that look deep into a file are rare; reading more than this for each file is not
    // worth what they could tell.
    db.magic_extent = std::min<size_t>(db.magic_extent, 64 * 1024);
    return db;
  }();
  return database;
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
std::string TypeByMagic(const std::string& head, const std::set<std::string>& allowed) {
  for (const MagicSection& section : Database().magic) {
    if (!allowed.empty() && !allowed.count(section.type)) continue;
    if (RulesMatch(section.rules, 0, section.rules.size(), head)) return section.type;
  }
  return {};
}

// The types the best globs give for `name` (more than one when they tie). Case-sensitive
// patterns are tried first and win when one matches, so "x.c" is C and "x.C" is C++.
std::set<std::string> TypesByName(const std::string& name) {
  for (const bool case_sensitive : {true, false}) {
    std::set<std::string> types;
    int best_weight = -1;
    size_t best_length = 0;
    for (const Glob& glob : Database().globs) {
      if (glob.case_sensitive != case_sensitive) continue;
      const int flags = case_sensitive ? 0 : FNM_CASEFOLD;
      if (fnmatch(glob.pattern.c_str(), name.c_str(), flags) != 0) continue;
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

std::string LastComponent(const std::string& path) {
  std::string trimmed = path;
  while (trimmed.size() > 1 && trimmed.back() == '/') trimmed.pop_back();
  const size_t slash = trimmed.rfind('/');
  if (slash == std::string::npos || trimmed == "/") return trimmed;
  return trimmed.substr(slash + 1);
}

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
std::vector<std::string> UserLanguages() {
  std::string locale = Environment("LC_ALL");
  if (locale.empty()) locale = Environment("LC_MESSAGES");
  if (locale.empty()) locale = Environment("LANG");
  locale = locale.substr(0, locale.find_first_of(".@"));
  if (locale.empty() || locale == "C" || locale == "POSIX") return {};
  std::vector<std::string> languages{locale};
  const size_t underscore = locale.find('_');
  if (underscore != std::string::npos) languages.push_back(locale.substr(0, underscore));
  return languages;
}

std::string TypeDescription(const std::string& type) {
  if (type.find("..") != std::string::npos) return type;
  const std::vector<std::string> languages = UserLanguages();
  for (const std::string& folder : Database().folders) {
    const std::string xml = ReadTextFile(folder + "/" + type + ".xml");
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

// ---------------------------------------------------------------------------------------------
// Icon themes

struct IconFolder {
  std::string name;  // "32x32/mimetypes"
  int size = 0, min_size = 0, max_size = 0, threshold = 2;
  enum Type { kFixed, kScalable, kThreshold } type = kThreshold;

  bool MatchesSize(int pixels) const {
    switch (type) {
      case kFixed:
        return size == pixels;
      case kScalable:
        return min_size <= pixels && pixels <= max_size;
      case kThreshold:
        return size - threshold <= pixels && pixels <= size + threshold;
    }
    return false;
  }
  int Distance(int pixels) const {
    switch (type) {
      case kFixed:
        return std::abs(size - pixels);
      case kScalable:
        return pixels < min_size ? min_size - pixels : pixels > max_size ? pixels - max_size : 0;
      case kThreshold:
        return pixels < size - threshold   ? size - threshold - pixels
               : pixels > size + threshold ? pixels - size - threshold
                                           : 0;
    }
    return 0;
  }
};

struct IconTheme {
  std::vector<std::string> roots;  // each base folder that holds this theme
  std::vector<IconFolder> folders;
  std::vector<std::string> parents;
};

std::vector<std::string> IconBaseFolders() {
  std::vector<std::string> bases;
  if (std::string home = posix::HomeFolder(); !home.empty()) bases.push_back(home + "/.icons");
  for (const std::string& data : DataFolders()) bases.push_back(data + "/icons");
  return bases;
}

// index.theme as sections of keys.
std::map<std::string, std::map<std::string, std::string>> ReadIni(const std::string& text) {
  std::map<std::string, std::map<std::string, std::string>> sections;
  std::string section;
  std::stringstream in(text);
  std::string line;
  while (std::getline(in, line)) {
    line = Trim(line);
    if (line.empty() || line[0] == '#') continue;
    if (line.front() == '[' && line.back() == ']') {
      section = line.substr(1, line.size() - 2);
      continue;
    }
    const size_t equals = line.find('=');
    if (equals == std::string::npos) continue;
    sections[section][Trim(line.substr(0, equals))] = Trim(line.substr(equals + 1));
  }
  return sections;
}

class IconFinder {
 public:
  // The icon file of the first of `names` the theme chain has at `pixels`; "" when none.
  std::string Find(const std::vector<std::string>& names, int pixels, std::string* found_name) {
    std::lock_guard<std::mutex> lock(mutex_);
    for (const std::string& name : names) {
      const std::string key = name + "@" + std::to_string(pixels);
      auto cached = found_.find(key);
      if (cached == found_.end()) cached = found_.emplace(key, Lookup(name, pixels)).first;
      if (!cached->second.empty()) {
        if (found_name) *found_name = name;
        return cached->second;
      }
    }
    return {};
  }

  // The index of an icon name in the process's image list, added when new.
  int32_t ImageListIndex(const std::string& name) {
    std::lock_guard<std::mutex> lock(mutex_);
    auto [entry, added] = image_list_.emplace(name, static_cast<int32_t>(image_list_.size()));
    return entry->second;
  }

 private:
  const IconTheme* Theme(const std::string& name) {
    auto known = themes_.find(name);
    if (known != themes_.end()) return known->second.roots.empty() ? nullptr : &known->second;
    IconTheme& theme = themes_[name];
    if (name.empty() || name.find('/') != std::string::npos || name == "..") return nullptr;
    bool described = false;
    for (const std::string& base : IconBaseFolders()) {
      const std::string root = base + "/" + name;
      struct stat status;
      if (stat(root.c_str(), &status) != 0 || !S_ISDIR(status.st_mode)) continue;
      theme.roots.push_back(root);
      if (described) continue;
      const std::string index = ReadTextFile(root + "/index.theme");
      if (index.empty()) continue;
      described = true;
      const auto ini = ReadIni(index);
      const auto head = ini.find("Icon Theme");
      if (head == ini.end()) continue;
      const auto& keys = head->second;
      if (auto inherits = keys.find("Inherits"); inherits != keys.end()) {
        theme.parents = SplitList(inherits->second, ',');
      }
      auto directories = keys.find("Directories");
      if (directories == keys.end()) continue;
      for (const std::string& folder_name : SplitList(directories->second, ',')) {
        auto section = ini.find(folder_name);
        if (section == ini.end()) continue;
        const auto value = [&](const char* key, int fallback) {
          auto found = section->second.find(key);
          return found == section->second.end() ? fallback : std::atoi(found->second.c_str());
        };
        if (value("Scale", 1) != 1) continue;
        IconFolder folder;
        folder.name = folder_name;
        folder.size = value("Size", 0);
        folder.min_size = value("MinSize", folder.size);
        folder.max_size = value("MaxSize", folder.size);
        folder.threshold = value("Threshold", 2);
        const auto type = section->second.find("Type");
        const std::string kind = type == section->second.end() ? "Threshold" : type->second;
        folder.type = kind == "Fixed"      ? IconFolder::kFixed
                      : kind == "Scalable" ? IconFolder::kScalable
                                           : IconFolder::kThreshold;
        theme.folders.push_back(folder);
      }
    }
    if (!described) theme.roots.clear();
    return theme.roots.empty() ? nullptr : &theme;
  }

  // The names of the files in `folder` (read once).
  const std::unordered_set<std::string>& FilesOf(const std::string& folder) {
    auto known = listings_.find(folder);
    if (known != listings_.end()) return known->second;
    std::unordered_set<std::string>& files = listings_[folder];
    if (DIR* dir = opendir(folder.c_str())) {
      while (const dirent* entry = readdir(dir)) files.insert(entry->d_name);
      closedir(dir);
    }
    return files;
  }

  std::string FileIn(const IconTheme& theme, const IconFolder& folder, const std::string& name) {
    for (const std::string& root : theme.roots) {
      const std::string path = root + "/" + folder.name;
      const auto& files = FilesOf(path);
      for (const char* extension : {".png", ".svg", ".xpm"}) {
        if (files.count(name + extension)) return path + "/" + name + extension;
      }
    }
    return {};
  }

  std::string LookupInTheme(const IconTheme& theme, const std::string& name, int pixels) {
    for (const IconFolder& folder : theme.folders) {
      if (!folder.MatchesSize(pixels)) continue;
      std::string file = FileIn(theme, folder, name);
      if (!file.empty()) return file;
    }
    std::string closest;
    int best = 0;
    for (const IconFolder& folder : theme.folders) {
      const int distance = folder.Distance(pixels);
      if (!closest.empty() && distance >= best) continue;
      std::string file = FileIn(theme, folder, name);
      if (!file.empty()) {
        closest = std::move(file);
        best = distance;
      }
    }
    return closest;
  }

  // The theme, what it inherits (depth first, each once), and hicolor last.
  std::vector<const IconTheme*> Chain() {
    std::vector<const IconTheme*> chain;
    std::set<std::string> seen;
    std::string first = Environment("ORVANEL_ICON_THEME");
    if (first.empty()) first = "Adwaita";
    std::vector<std::string> pending{first};
    while (!pending.empty()) {
      const std::string name = pending.front();
      pending.erase(pending.begin());
      if (name == "hicolor" || !seen.insert(name).second) continue;
      const IconTheme* theme = Theme(name);
      if (theme == nullptr) continue;
      chain.push_back(theme);
      pending.insert(pending.begin(), theme->parents.begin(), theme->parents.end());
    }
    if (const IconTheme* hicolor = Theme("hicolor")) chain.push_back(hicolor);
    return chain;
  }

  std::string Lookup(const std::string& name, int pixels) {
    for (const IconTheme* theme : Chain()) {
      std::string file = LookupInTheme(*theme, name, pixels);
      if (!file.empty()) return file;
    }
    return {};
  }

  std::mutex mutex_;
  std::map<std::string, IconTheme> themes_;
  std::unordered_map<std::string, std::unordered_set<std::string>> listings_;
  std::unordered_map<std::string, std::string> found_;
  std::unordered_map<std::string, int32_t> image_list_;
};

IconFinder& Icons() {
  static IconFinder* finder = new IconFinder;  // lives as long as the process
  return *finder;
}

// ---------------------------------------------------------------------------------------------
// One file

struct FileFacts {
  bool exists = false;
  bool is_link = false;
  bool dangling = false;
  struct stat status {};
};

FileFacts Look(const std::string& path) {
  FileFacts facts;
  if (path.empty() || path.find('\0') != std::string::npos) return facts;
  struct stat own;
  if (lstat(path.c_str(), &own) != 0) return facts;
  facts.exists = true;
  facts.is_link = S_ISLNK(own.st_mode);
  if (stat(path.c_str(), &facts.status) != 0) {
    facts.dangling = true;
    facts.status = own;
  }
  return facts;
}

std::string ReadHead(const std::string& path, size_t size) {
  std::string head;
  ReadFileAt(path, 0, size, &head);
  return head;
}

std::string MimeTypeOfFacts(const std::string& path, const FileFacts& facts) {
  if (facts.dangling) return "inode/symlink";
  const mode_t mode = facts.status.st_mode;
  if (S_ISDIR(mode)) return "inode/directory";
  if (S_ISFIFO(mode)) return "inode/fifo";
  if (S_ISSOCK(mode)) return "inode/socket";
  if (S_ISCHR(mode)) return "inode/chardevice";
  if (S_ISBLK(mode)) return "inode/blockdevice";
  const std::set<std::string> by_name = TypesByName(LastComponent(path));
  if (by_name.size() == 1) return *by_name.begin();
  const std::string head = ReadHead(path, std::max<size_t>(Database().magic_extent, 512));
  if (!by_name.empty()) {
    const std::string chosen = TypeByMagic(head, by_name);
    return chosen.empty() ? *by_name.begin() : chosen;
  }
  if (facts.status.st_size == 0) return "application/x-zerosize";
  const std::string by_content = TypeByMagic(head, {});
  if (!by_content.empty()) return by_content;
  return LooksLikeText(head) ? "text/plain" : "application/octet-stream";
}

std::vector<std::string> IconNames(const std::string& type, const FileFacts& facts, bool open) {
  const MimeDatabase& db = Database();
  std::vector<std::string> names;
  if (type == "inode/directory") {
    if (open) names.push_back("folder-open");
    names.push_back("folder");
  }
  if (auto own = db.icons.find(type); own != db.icons.end()) names.push_back(own->second);
  std::string dashed = type;
  std::replace(dashed.begin(), dashed.end(), '/', '-');
  names.push_back(dashed);
  if (auto generic = db.generic_icons.find(type); generic != db.generic_icons.end()) {
    names.push_back(generic->second);
  }
  if (S_ISREG(facts.status.st_mode) && (facts.status.st_mode & 0111)) {
    names.push_back("application-x-executable");
  }
  names.push_back(type.substr(0, type.find('/')) + "-x-generic");
  return names;
}

uint32_t ItemAttributes(const std::string& path, const FileFacts& facts) {
  uint32_t bits = sfgao::kFileSystem | sfgao::kCanLink;
  const mode_t mode = facts.status.st_mode;
  const std::string name = LastComponent(path);
  if (facts.is_link) bits |= sfgao::kLink;
  if (!name.empty() && name[0] == '.' && name != "." && name != "..") bits |= sfgao::kHidden;
  if (!(mode & S_IWUSR)) bits |= sfgao::kReadOnly;
  if (S_ISREG(mode)) bits |= sfgao::kStream;
  const int readable = S_ISDIR(mode) ? R_OK | X_OK : R_OK;
  if (faccessat(AT_FDCWD, path.c_str(), readable, AT_EACCESS) == 0) bits |= sfgao::kCanCopy;
  const posix::ParentAndName parent = posix::SplitParent(path);
  if (faccessat(AT_FDCWD, parent.parent.c_str(), W_OK | X_OK, AT_EACCESS) == 0) {
    bits |= sfgao::kCanMove | sfgao::kCanRename | sfgao::kCanDelete;
  }
  if (S_ISDIR(mode) && !facts.dangling) {
    bits |= sfgao::kFolder | sfgao::kFileSysAncestor;
    if (DIR* dir = opendir(path.c_str())) {
      while (const dirent* entry = readdir(dir)) {
        if (!std::strcmp(entry->d_name, ".") || !std::strcmp(entry->d_name, "..")) continue;
        bool folder = entry->d_type == DT_DIR;
        if (entry->d_type == DT_UNKNOWN || entry->d_type == DT_LNK) {
          struct stat status;
          folder = fstatat(dirfd(dir), entry->d_name, &status, 0) == 0 && S_ISDIR(status.st_mode);
        }
        if (folder) {
          bits |= sfgao::kHasSubfolder;
          break;
        }
      }
      closedir(dir);
    }
  }
  return bits;
}

int IconPixels(uint32_t flags) {
  if (flags & shgfi::kShellIconSize) return kShellIconPixels;
  return (flags & shgfi::kSmallIcon) ? kSmallIconPixels : kLargeIconPixels;
}

}  // namespace

std::string MimeTypeOf(const std::string& path) {
  const FileFacts facts = Look(path);
  return facts.exists ? MimeTypeOfFacts(path, facts) : std::string();
}

std::string DefaultIconFile(int pixels) {
  return Icons().Find({"text-x-generic", "unknown"}, pixels, nullptr);
}

uint64_t GetShellFileInfo(const std::string& path, uint32_t flags, ShellFileInfo* info) {
  const FileFacts facts = Look(path);
  if (!facts.exists) return 0;
  if (flags & shgfi::kExeType) return 0;
  uint64_t result = 1;
  if (flags & shgfi::kAttributes) info->attributes = ItemAttributes(path, facts);
  if (flags & shgfi::kDisplayName) info->display_name = LastComponent(path);
  if (flags & shgfi::kTypeName) info->type_name = TypeDescription(MimeTypeOfFacts(path, facts));
  if (flags & (shgfi::kIcon | shgfi::kIconLocation | shgfi::kSysIconIndex)) {
    const std::vector<std::string> names =
        IconNames(MimeTypeOfFacts(path, facts), facts, (flags & shgfi::kOpenIcon) != 0);
    const int pixels = IconPixels(flags);
    std::string name = names.back();
    const std::string file = Icons().Find(names, pixels, &name);
    if (flags & shgfi::kIconLocation) {
      info->display_name = file;
      info->icon_index = 0;
    }
    if (flags & shgfi::kSysIconIndex) {
      info->icon_index = Icons().ImageListIndex(name);
      result = (flags & shgfi::kSmallIcon) ? kSmallImageList : kLargeImageList;
    }
    if (flags & shgfi::kIcon) {
      if (file.empty()) return 0;
      info->icon_file = file;
      info->icon_pixels = pixels;
      info->icon_index = Icons().ImageListIndex(name);
      info->overlay_file.clear();
      if ((flags & shgfi::kLinkOverlay) && facts.is_link) {
        info->overlay_file = Icons().Find({"emblem-symbolic-link"}, pixels, nullptr);
      }
    }
  }
  return result;
}

uint32_t ReadFileAt(const std::string& path, uint64_t offset, size_t size, std::string* bytes) {
  bytes->clear();
  if (path.empty() || path.find('\0') != std::string::npos) return error::kFileNotFound;
  const int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
  if (fd < 0) return ErrorFromErrno(errno);
  struct stat status;
  if (fstat(fd, &status) != 0 || !S_ISREG(status.st_mode)) {
    close(fd);
    return error::kAccessDenied;
  }
  bytes->resize(size);
  size_t done = 0;
  while (done < size) {
    const ssize_t got =
        pread(fd, bytes->data() + done, size - done, static_cast<off_t>(offset + done));
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) break;
    done += static_cast<size_t>(got);
  }
  bytes->resize(done);
  close(fd);
  return error::kSuccess;
}

}  // namespace platform
