#include "fileio/orvFoundedFiles.h"

#include <cmath>
#include <limits>
#include <string_view>
#include <utility>

#include "platform/find.h"
#include "support/ov_error.h"
#include "support/ov_format.h"
#include "support/ov_paths.h"
#include "support/ov_strings.h"
#include "support/ov_unicode.h"

namespace quern {

namespace {

using automation::Variant;

// Days from 1970-01-01 to a proleptic Gregorian date (Howard Hinnant's days_from_civil).
int64_t DaysFromCivil(int64_t year, int64_t month, int64_t day) {
  year -= month <= 2;
  const int64_t era = (year >= 0 ? year : year - 399) / 400;
  const int64_t year_of_era = year - era * 400;
  const int64_t day_of_year = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
  const int64_t day_of_era = year_of_era * 365 + year_of_era / 4 - year_of_era / 100 + day_of_year;
  return era * 146097 + day_of_era - 719468;
}

// FILETIME -> local time -> automation Date, as SystemTimeToVariantTime makes it: whole
// seconds, years 100 to 9999, and before 1899-12-30 the time of day counted away from zero.
// 0 when a conversion fails.
double DateFromFileTime(uint64_t time) {
  platform::SystemTime local;
  if (!platform::FileTimeToLocalTime(time, &local) || local.year < 100 || local.year > 9999) {
    return 0;
  }
  const double days = static_cast<double>(DaysFromCivil(local.year, local.month, local.day) -
                                          DaysFromCivil(1899, 12, 30));
  const double fraction = (local.hour * 3600 + local.minute * 60 + local.second) / 86400.0;
  return days >= 0 ? days + fraction : days - fraction;
}

// `text` ends in `tail`, letters compared without case (the letters PathMatchSpec folds).
bool EndsWithIgnoringCase(const std::u16string& text, const std::u16string& tail) {
  if (tail.size() > text.size()) return false;
  const std::u16string_view end = std::u16string_view(text).substr(text.size() - tail.size());
  return support::UpperCase(support::Utf8FromUtf16(end)) ==
         support::UpperCase(support::Utf8FromUtf16(tail));
}

double CheckedSum(double sum) {
  if (!std::isfinite(sum)) throw support::MakeError(support::errnum::kOverflow);
  return sum;
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// The search of RefreshEx2.
//
// Written as a loop over an explicit stack of folder searches rather than as nested calls, so
// that a deep tree cannot exhaust the stack; the order of entries, of nested searches and of
// callbacks is exactly that of the nested calls. Each frame is one RefreshEx2 in progress: the
// listing of its folder, the next entry to load, and the entry whose Childs are being searched.
class FileSearch {
 public:
  FileSearch(std::string mask, bool follow_reparse_points, Ref<automation::Object> callback)
      : mask_(std::move(mask)),
        blank_mask_(support::ovTrimEx(mask_).empty()),
        follow_(follow_reparse_points),
        callback_(std::move(callback)) {
    if (callback_) callback_id_ = callback_->GetIDOfName("DirectoryCompleted");
  }

  bool Run(orvFoundedFiles& top, std::string path, std::shared_ptr<const std::u16string> text,
           bool with_parent);

 private:
  struct Frame {
    orvFoundedFiles* target = nullptr;
    Ref<orvFoundedFiles> keep;  // nested results; the client holds the top one
    std::string path;           // native
    std::shared_ptr<const std::u16string> text;
    bool with_parent = false;
    platform::FindResult found;
    size_t next = 0;
    Ref<FoundedFile> pending;  // the entry whose Childs are being searched
  };

  enum class Load { kSkip, kKeep, kEnter };

  bool Begin(Frame& frame);
  Load LoadEntry(Frame& frame, platform::FoundEntry& entry, Ref<FoundedFile>& file,
                 std::string* full_name);
  bool LeadsBack(const platform::FolderId& target) const;
  bool Finish(Frame& frame, Ref<FoundedFile> file, const platform::FoundEntry& entry);
  void Complete(Frame& frame);
  bool CallBack(const std::u16string& path);

  std::string mask_;
  bool blank_mask_;
  bool follow_;
  Ref<automation::Object> callback_;
  automation::DispId callback_id_ = automation::kDispIdUnknown;
  std::vector<Frame> stack_;
};

// Starts the search of a folder: empties its result and finds the entries of its pattern (a
// root is its own single entry); false when the find failed (the frame is then done, with
// False).
bool FileSearch::Begin(Frame& frame) {
  orvFoundedFiles& target = *frame.target;
  target.items_.clear();
  target.path_ = frame.text;
  target.has_sub_items_ = true;
  const std::string pattern =
      frame.with_parent || blank_mask_ ? frame.path : support::ovBuildFileName(frame.path, mask_);
  if (platform::IsVolumeRoot(pattern)) {
    // A root is not listed: it is its own single entry, named by the pattern.
    platform::FoundEntry& root = frame.found.entries.emplace_back();
    root.name = pattern;
    if (platform::GetVolumeRootAttributes(pattern, &root.attributes, &root.target) !=
        platform::error::kSuccess) {
      root.attributes = 0xFFFFFFFF;
    }
    return true;
  }
  if (platform::FindEntries(pattern, &frame.found) == platform::error::kSuccess) return true;
  target.has_sub_items_ = false;
  target.items_.clear();
  return false;
}

// Loads one entry: the record, the Path field, and whether the entry is skipped,
// kept as it is, or entered (a nested search of *full_name into its Childs).
FileSearch::Load FileSearch::LoadEntry(Frame& frame, platform::FoundEntry& entry,
                                       Ref<FoundedFile>& file, std::string* full_name) {
  const bool directory = (entry.attributes & platform::attr::kDirectory) != 0;
  if (directory && (entry.name == "." || entry.name == "..")) return Load::kSkip;
  file = automation::MakeObject<FoundedFile>();
  file->attributes_ = entry.attributes;
  file->creation_time_ = entry.creation_time;
  file->last_access_time_ = entry.last_access_time;
  file->last_write_time_ = entry.last_write_time;
  file->size_ = entry.size;
  file->path_ = frame.text;
  if (frame.with_parent) {
    const std::u16string name = support::FileNameFromNative(entry.name);
    const std::u16string& path = *frame.text;
    if (EndsWithIgnoringCase(path, name)) {
      std::u16string cut = path.substr(0, path.size() - name.size());
      if (!cut.empty() && cut.back() == u'/') cut.pop_back();
      file->path_ = std::make_shared<const std::u16string>(std::move(cut));
    }
  }
  file->name_ = std::move(entry.name);
  if (!directory) return Load::kKeep;
  const bool reparse = (entry.attributes & platform::attr::kReparsePoint) != 0;
  if (reparse && (!follow_ || LeadsBack(entry.target))) return Load::kKeep;
  *full_name = frame.with_parent ? frame.path : support::ovBuildFileName(frame.path, file->name_);
  return Load::kEnter;
}

// A followed link or mount point that leads to a folder being searched would loop for ever.
bool FileSearch::LeadsBack(const platform::FolderId& target) const {
  if (target == platform::FolderId{}) return false;
  for (const Frame& frame : stack_) {
    if (frame.found.folder == target) return true;
  }
  return false;
}

// Ends the loading of an entry (its compressed size) and keeps it; false when its Childs were
// cancelled, which cancels this folder too.
bool FileSearch::Finish(Frame& frame, Ref<FoundedFile> file, const platform::FoundEntry& entry) {
  // GetCompressedFileSize fails for a folder: it counts what it holds instead.
  file->compressed_size_ = entry.has_allocated_size
                               ? support::ovLargeIntegerToDouble(entry.allocated_size)
                               : file->FileSize();
  orvFoundedFiles& target = *frame.target;
  if (file->childs_ && file->childs_->cancelled_) {
    target.cancelled_ = true;
    target.has_sub_items_ = false;
    target.items_.clear();
    return false;
  }
  target.items_.push_back(std::move(file));
  return true;
}

// The listing of a folder ended: tell the callback.
void FileSearch::Complete(Frame& frame) {
  orvFoundedFiles& target = *frame.target;
  target.has_sub_items_ = !target.items_.empty();
  target.cancelled_ = callback_ ? CallBack(*frame.text) : false;
}

// DirectoryCompleted(Path, Cancel) by dispatch, Cancel by reference; the Cancel it leaves.
bool FileSearch::CallBack(const std::u16string& path) {
  if (callback_id_ == automation::kDispIdUnknown) {
    throw support::MakeError(support::errnum::kNoSuchMember);
  }
  Variant path_value(path);
  Variant cancel(false);
  Variant ignored;
  automation::ExcepInfo excep;
  switch (callback_->Invoke(callback_id_, {&path_value, &cancel}, &ignored, &excep)) {
    case automation::hr::kOk:
      return cancel.ToBool();
    case automation::hr::kException:
      throw support::Error(excep.number, excep.description, excep.source);
    case automation::hr::kBadParamCount:
      throw support::MakeError(support::errnum::kWrongArgumentCount);
    case automation::hr::kParamNotOptional:
      throw support::MakeError(support::errnum::kArgumentNotOptional);
    case automation::hr::kTypeMismatch:
      throw support::MakeError(support::errnum::kTypeMismatch);
    default:
      throw support::MakeError(support::errnum::kNoSuchMember);
  }
}

bool FileSearch::Run(orvFoundedFiles& top, std::string path,
                     std::shared_ptr<const std::u16string> text, bool with_parent) {
  stack_.clear();
  Frame& first = stack_.emplace_back();
  first.target = &top;
  first.path = std::move(path);
  first.text = std::move(text);
  first.with_parent = with_parent;
  // `done` and `result` describe the frame on top of the stack once its search has ended.
  bool done = !Begin(first);
  bool result = false;
  for (;;) {
    if (!done) {
      Frame& frame = stack_.back();
      bool descended = false;
      while (!done && !descended && frame.next < frame.found.entries.size()) {
        platform::FoundEntry& entry = frame.found.entries[frame.next++];
        Ref<FoundedFile> file;
        std::string full_name;
        switch (LoadEntry(frame, entry, file, &full_name)) {
          case Load::kSkip:
            break;
          case Load::kKeep:
            done = !Finish(frame, std::move(file), entry);
            break;
          case Load::kEnter: {
            file->childs_ = automation::MakeObject<orvFoundedFiles>();
            frame.pending = file;
            Frame child;
            child.target = file->childs_.get();
            child.keep = file->childs_;
            child.text =
                std::make_shared<const std::u16string>(support::FileNameFromNative(full_name));
            child.path = std::move(full_name);
            stack_.push_back(std::move(child));  // `frame` and `entry` are not used again
            descended = true;
            done = !Begin(stack_.back());
            break;
          }
        }
      }
      if (descended && !done) continue;  // search the folder just entered
      if (done) {
        result = false;
      } else {
        Complete(frame);
        done = true;
        result = true;
      }
    }
    // The frame on top has ended: hand its result to the entry that started it.
    if (stack_.size() == 1) {
      stack_.clear();
      return result;
    }
    stack_.pop_back();
    Frame& parent = stack_.back();
    const platform::FoundEntry& entry = parent.found.entries[parent.next - 1];
    done = !Finish(parent, std::move(parent.pending), entry);
    result = false;
  }
}

// ---------------------------------------------------------------------------------------------
// IFindFilesCallback

void IFindFilesCallback::DirectoryCompleted(const std::u16string&, bool*) {}

// ---------------------------------------------------------------------------------------------
// FoundedFile

Ref<orvFoundedFiles> FoundedFile::Childs() {
  if (!childs_) childs_ = automation::MakeObject<orvFoundedFiles>();
  return childs_;
}

std::u16string FoundedFile::Path() const { return path_ ? *path_ : std::u16string(); }

double FoundedFile::CreationTime() const { return DateFromFileTime(creation_time_); }
double FoundedFile::LastAccessTime() const { return DateFromFileTime(last_access_time_); }
double FoundedFile::LastWriteTime() const { return DateFromFileTime(last_write_time_); }

double FoundedFile::FileSize() {
  if (file_size_ != -1.0) return file_size_;
  double size = 0;
  if (attributes_ & platform::attr::kDirectory) {
    if (childs_) size = childs_->Size();
  } else {
    size = support::ovLargeIntegerToDouble(size_);
  }
  file_size_ = size;
  return size;
}

std::u16string FoundedFile::FileName() const { return support::FileNameFromNative(name_); }

// ---------------------------------------------------------------------------------------------
// orvFoundedFiles

double orvFoundedFiles::Size() const {
  double sum = 0;
  for (const Ref<FoundedFile>& item : items_) sum = CheckedSum(sum + item->FileSize());
  return sum;
}

bool orvFoundedFiles::Refresh(const std::u16string& Path, const std::u16string& Mask) {
  return RefreshEx(Path, Mask, true, nullptr);
}

bool orvFoundedFiles::RefreshEx(const std::u16string& Path, const std::u16string& Mask,
                                bool FollowReparsePoints, Ref<automation::Object> CallBackObject) {
  return RefreshEx2(Path, Mask, FollowReparsePoints, std::move(CallBackObject), false);
}

bool orvFoundedFiles::RefreshEx2(const std::u16string& Path, const std::u16string& Mask,
                                 bool FollowReparsePoints, Ref<automation::Object> CallBackObject,
                                 bool SearchWithParent) {
  FileSearch search(support::NativeFileName(Mask), FollowReparsePoints, std::move(CallBackObject));
  return search.Run(*this, support::NativeFileName(Path),
                    std::make_shared<const std::u16string>(Path), SearchWithParent);
}

Ref<FoundedFile> orvFoundedFiles::Item(int32_t Index) const {
  if (Index == std::numeric_limits<int32_t>::max()) {
    throw support::MakeError(support::errnum::kOverflow);
  }
  if (Index < 0 || Index >= Count()) throw support::MakeError(support::errnum::kInvalidCall);
  return items_[static_cast<size_t>(Index)];
}

Ref<automation::Enumerator> orvFoundedFiles::NewEnum() const {
  std::vector<Variant> values(items_.begin(), items_.end());
  return automation::MakeObject<automation::Enumerator>(std::move(values));
}

}  // namespace quern
