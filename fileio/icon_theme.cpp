#include "fileio/icon_theme.h"

#include <cstdlib>
#include <set>
#include <sstream>

#include "fileio/mime_database.h"
#include "platform/file_system.h"
#include "platform/shell.h"

namespace quern {

namespace {

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

std::vector<std::string> IconBaseFolders(const platform::DesktopSettings& settings) {
  std::vector<std::string> bases;
  if (!settings.home.empty()) bases.push_back(settings.home + "/.icons");
  for (const std::string& data : settings.data_folders) bases.push_back(data + "/icons");
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

}  // namespace

bool IconThemes::Folder::MatchesSize(int pixels) const {
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

int IconThemes::Folder::Distance(int pixels) const {
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

IconThemes& IconThemes::Installed() {
  static IconThemes* themes = new IconThemes;  // lives as long as the process
  return *themes;
}

std::string IconThemes::Find(const std::vector<std::string>& names, int pixels,
                             std::string* found_name) {
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

int32_t IconThemes::ImageListIndex(const std::string& name) {
  std::lock_guard<std::mutex> lock(mutex_);
  auto [entry, added] = image_list_.emplace(name, static_cast<int32_t>(image_list_.size()));
  return entry->second;
}

const IconThemes::Theme* IconThemes::ThemeNamed(const std::string& name) {
  auto known = themes_.find(name);
  if (known != themes_.end()) return known->second.roots.empty() ? nullptr : &known->second;
  Theme& theme = themes_[name];
  if (name.empty() || name.find('/') != std::string::npos || name == "..") return nullptr;
  bool described = false;
  for (const std::string& base : IconBaseFolders(platform::GetDesktopSettings())) {
    const std::string root = base + "/" + name;
    if (!IsDesktopFolder(root)) continue;
    theme.roots.push_back(root);
    if (described) continue;
    const std::string index = ReadDesktopFile(root + "/index.theme");
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
      Folder folder;
      folder.name = folder_name;
      folder.size = value("Size", 0);
      folder.min_size = value("MinSize", folder.size);
      folder.max_size = value("MaxSize", folder.size);
      folder.threshold = value("Threshold", 2);
      const auto type = section->second.find("Type");
      const std::string kind = type == section->second.end() ? "Threshold" : type->second;
      folder.type = kind == "Fixed"      ? Folder::kFixed
                    : kind == "Scalable" ? Folder::kScalable
                                         : Folder::kThreshold;
      theme.folders.push_back(folder);
    }
  }
  if (!described) theme.roots.clear();
  return theme.roots.empty() ? nullptr : &theme;
}

// The names in `folder` (listed once). Only the names count, so plain files are not looked at.
const std::unordered_set<std::string>& IconThemes::FilesOf(const std::string& folder) {
  auto known = listings_.find(folder);
  if (known != listings_.end()) return known->second;
  std::unordered_set<std::string>& files = listings_[folder];
  platform::FileSystem& file_system = platform::RealFileSystem();
  uint32_t error = 0;
  const platform::Folder open = file_system.OpenFolder(folder, &error, true);
  if (open.IsOpen()) {
    std::vector<platform::FindRecord> records;
    bool described = false;
    file_system.ListFolderNames(open, &records, &described);
    for (platform::FindRecord& record : records) files.insert(std::move(record.name));
  }
  return files;
}

std::string IconThemes::FileIn(const Theme& theme, const Folder& folder, const std::string& name) {
  for (const std::string& root : theme.roots) {
    const std::string path = root + "/" + folder.name;
    const auto& files = FilesOf(path);
    for (const char* extension : {".png", ".svg", ".xpm"}) {
      if (files.count(name + extension)) return path + "/" + name + extension;
    }
  }
  return {};
}

std::string IconThemes::LookupInTheme(const Theme& theme, const std::string& name, int pixels) {
  for (const Folder& folder : theme.folders) {
    if (!folder.MatchesSize(pixels)) continue;
    std::string file = FileIn(theme, folder, name);
    if (!file.empty()) return file;
  }
  std::string closest;
  int best = 0;
  for (const Folder& folder : theme.folders) {
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

std::vector<const IconThemes::Theme*> IconThemes::Chain() {
  std::vector<const Theme*> chain;
  std::set<std::string> seen;
  std::string first = platform::GetDesktopSettings().icon_theme;
  if (first.empty()) first = "Adwaita";
  std::vector<std::string> pending{first};
  while (!pending.empty()) {
    const std::string name = pending.front();
    pending.erase(pending.begin());
    if (name == "hicolor" || !seen.insert(name).second) continue;
    const Theme* theme = ThemeNamed(name);
    if (theme == nullptr) continue;
    chain.push_back(theme);
    pending.insert(pending.begin(), theme->parents.begin(), theme->parents.end());
  }
  if (const Theme* hicolor = ThemeNamed("hicolor")) chain.push_back(hicolor);
  return chain;
}

std::string IconThemes::Lookup(const std::string& name, int pixels) {
  for (const Theme* theme : Chain()) {
    std::string file = LookupInTheme(*theme, name, pixels);
    if (!file.empty()) return file;
  }
  return {};
}

}  // namespace quern
