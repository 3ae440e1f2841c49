#include "cleaner/CFilesList.h"

#include "support/ov_format.h"
#include "support/ov_strings.h"

namespace sweepwell {

namespace {

template <typename Field>
std::vector<double> TimesOf(const std::vector<platform::FindRecord>& entries, Field field) {
  std::vector<double> times;
  times.reserve(entries.size());
  for (const auto& entry : entries) times.push_back(support::ovLargeIntegerToDouble(entry.*field));
  return times;
}

}  // namespace

std::vector<std::string> CFilesList::FileNames() const {
  std::vector<std::string> names;
  names.reserve(entries_.size());
  for (const auto& entry : entries_) names.push_back(entry.name);
  return names;
}

std::vector<double> CFilesList::CreationTimes() const {
  return TimesOf(entries_, &platform::FindRecord::creation_time);
}

std::vector<double> CFilesList::LastAccessTimes() const {
  return TimesOf(entries_, &platform::FindRecord::last_access_time);
}

std::vector<double> CFilesList::LastWriteTimes() const {
  return TimesOf(entries_, &platform::FindRecord::last_write_time);
}

void CFilesList::InitList(const std::string& Path) {
  entries_.clear();
  path_ = Path;
  std::string trimmed = support::ovTrimEx(Path);
  if (trimmed.empty()) return;
  uint32_t error = 0;
  platform::Folder folder = platform::Folder::Open(trimmed, &error);
  if (folder.IsOpen()) platform::ListFolder(folder, &entries_);
}

void CFilesList::InitList(const platform::Folder& folder, const std::string& Path) {
  entries_.clear();
  path_ = Path;
  if (folder.IsOpen()) platform::ListFolder(folder, &entries_);
}

}  // namespace sweepwell
