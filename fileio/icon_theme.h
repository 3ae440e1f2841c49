// Icons as files of the freedesktop.org icon themes (Linux): the theme named by
// $ORVANEL_ICON_THEME, else "Adwaita", with the themes it inherits (depth first, each once) and
// finally "hicolor", each searched in ~/.icons, $XDG_DATA_HOME/icons and each
// $XDG_DATA_DIRS/icons. Within a theme a folder made for the size comes first, else the
// closest size; PNG before SVG before XPM. Themes, folder listings and the files found are
// read once per object and kept; the environment is read when a name is first looked up.
#pragma once

#include <cstdint>
#include <map>
#include <mutex>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

namespace quern {

class IconThemes {
 public:
  // The one of the process (the system image list's indexes must hold for the process).
  static IconThemes& Installed();

  // The icon file of the first of `names` the theme chain has at `pixels`; "" when none.
  // *found_name (when given) receives the name whose file it is.
  std::string Find(const std::vector<std::string>& names, int pixels, std::string* found_name);

  // The index of an icon name in the process's image list, added when new: an index never
  // changes, and every size shares it.
  int32_t ImageListIndex(const std::string& name);

  struct Folder {
    std::string name;  // "32x32/mimetypes"
    int size = 0, min_size = 0, max_size = 0, threshold = 2;
    enum Type { kFixed, kScalable, kThreshold } type = kThreshold;
    bool MatchesSize(int pixels) const;
    int Distance(int pixels) const;
  };
  struct Theme {
    std::vector<std::string> roots;  // each base folder that holds this theme
    std::vector<Folder> folders;
    std::vector<std::string> parents;
  };

 private:
  const Theme* ThemeNamed(const std::string& name);
  const std::unordered_set<std::string>& FilesOf(const std::string& folder);
  std::string FileIn(const Theme& theme, const Folder& folder, const std::string& name);
  std::string LookupInTheme(const Theme& theme, const std::string& name, int pixels);
  std::vector<const Theme*> Chain();
  std::string Lookup(const std::string& name, int pixels);

  std::mutex mutex_;
  std::map<std::string, Theme> themes_;
  std::unordered_map<std::string, std::unordered_set<std::string>> listings_;
  std::unordered_map<std::string, std::string> found_;
  std::unordered_map<std::string, int32_t> image_list_;
};

}  // namespace quern
