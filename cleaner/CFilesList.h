// One listing of one folder level: every entry the system returns ("." and ".." included), in
// the system's order, with its times. No filtering, sorting or matching: the walks do that.
//
// On Linux a name is bytes and needs no safe form: the 8.3 fallback of systems whose names
// pass through a narrower code page has nothing to do here, so names are kept as listed.
#pragma once

#include <string>
#include <vector>

#include "platform/platform.h"

namespace sweepwell {

class CFilesList {
 public:
  // The four parallel lists of the last InitList (file times are FILETIME ticks as doubles).
  std::vector<std::string> FileNames() const;
  std::vector<double> CreationTimes() const;
  std::vector<double> LastAccessTimes() const;
  std::vector<double> LastWriteTimes() const;
  // The folder path exactly as passed to InitList.
  const std::string& Path() const { return path_; }

  // Lists the folder at `Path`. An empty path (after trimming), a missing or unreadable folder
  // give an empty listing and no error.
  void InitList(const std::string& Path);
  // Lists an open folder; `Path` is what Path() reports.
  void InitList(const platform::Folder& folder, const std::string& Path);

  // The listing as the walks use it: names, attribute bits, times and sizes.
  const std::vector<platform::FindRecord>& Entries() const { return entries_; }
  size_t Count() const { return entries_.size(); }

 private:
  std::vector<platform::FindRecord> entries_;
  std::string path_;
};

}  // namespace sweepwell
