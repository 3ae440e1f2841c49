#include "fileio/orvFoundedFiles.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <string_view>
#include <utility>

#include "automation/component.h"
#include "automation/date.h"
#include "platform/file_system.h"
#include "platform/find.h"
#include "platform/stat_pool.h"
#include "support/ov_error.h"
#include "support/ov_format.h"
#include "support/ov_paths.h"
#include "support/ov_strings.h"
#include "support/ov_unicode.h"

namespace quern {

namespace {

using automation::Variant;

// FILETIME -> local time -> automation Date, as SystemTimeToVariantTime makes it: whole
// seconds, years 100 to 9999, and before 1899-12-30 the time of day counted away from zero.
// 0 when a conversion fails.
double DateFromFileTime(uint64_t time) {
  platform::SystemTime local;
  if (!platform::FileTimeToLocalTime(time, &local) || local.year < 100 || local.year > 9999) {
    return 0;
  }
  const double days = static_cast<double>(
      automation::DaysFromCivil(local.year, local.month, local.day) - automation::kDateEpochDays);
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
// listing of its folder, the entries made from it, the next entry to load, and the entry whose
// Childs are being searched.
//
// The look at plain files (one statx each, most of a search's time) is not made while listing:
// the entries of a folder are made as soon as it is listed, and the looks at its plain files go
// to the stat pool, which runs them beside the walk. Folders and links are still looked at
// while listing, since the walk must know at once whether to enter them. Whatever could show an
// entry to someone (a callback, the end of the call, an error on its way out) first waits for
// every look submitted so far.
//
// A folder is reached again by its path when its turn comes, so it is searched only while it is
// still the folder its entry was listed as: one replaced by a link (or moved) in between is not
// entered, followed links or not, and stays an entry without Childs of its own.
class FileSearch {
 public:
  FileSearch(platform::FileSystem& files, std::string mask, bool follow_reparse_points,
             Ref<automation::Object> callback)
      : files_(files),
        mask_(std::move(mask)),
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
    platform::FolderId expected;  // the folder its entry's listing said it is; empty for the top
    platform::FindResult found;
    std::vector<Ref<FoundedFile>> files;  // per entry of `found`; null for "." and ".."
    size_t next = 0;
    Ref<FoundedFile> pending;  // the entry whose Childs are being searched
  };

  // Plain files of one folder looked at together, in one batch of the pool.
  static constexpr size_t kLooksPerBatch = 256;

  static void CopyFacts(FoundedFile& file, const platform::FindRecord& facts);
  static void StoreFacts(void* file, const platform::FindRecord& facts);

  bool Begin(Frame& frame);
  void MakeEntries(Frame& frame);
  Ref<FoundedFile> MakeEntry(const Frame& frame, platform::FindRecord& entry);
  void SubmitLooks(Frame& frame, platform::DeferredLooks& batch);
  bool Enters(const platform::FindRecord& entry) const;
  bool LeadsBack(const platform::FolderId& target) const;
  bool Finish(Frame& frame, Ref<FoundedFile> file);
  void Complete(Frame& frame);
  bool CallBack(const std::u16string& path);

  platform::FileSystem& files_;
  std::string mask_;
  bool blank_mask_;
  bool follow_;
  Ref<automation::Object> callback_;
  automation::DispId callback_id_ = automation::kDispIdUnknown;
  std::vector<Frame> stack_;
  // Declared last, so that when an error leaves the search it is destroyed first: it waits for
  // the looks still running before the entries they write to can go.
  platform::StatPool pool_;
};

void FileSearch::CopyFacts(FoundedFile& file, const platform::FindRecord& facts) {
  file.attributes_ = facts.attributes;
  file.creation_time_ = facts.creation_time;
  file.last_access_time_ = facts.last_access_time;
  file.last_write_time_ = facts.last_write_time;
  file.size_ = facts.size;
  file.allocated_size_ = facts.allocated_size;
  file.has_allocated_size_ = facts.has_allocated_size;
}

// Runs on a worker of the pool: writes the fields of the look and nothing else.
void FileSearch::StoreFacts(void* file, const platform::FindRecord& facts) {
  CopyFacts(*static_cast<FoundedFile*>(file), facts);
}

// Starts the search of a folder: empties its result, finds the entries of its pattern (a root
// is its own single entry) and makes them; false when the find failed (the frame is then done,
// with False).
bool FileSearch::Begin(Frame& frame) {
  orvFoundedFiles& target = *frame.target;
  target.items_.clear();
  target.path_ = frame.text;
  target.has_sub_items_ = true;
  const std::string pattern =
      frame.with_parent || blank_mask_ ? frame.path : support::ovBuildFileName(frame.path, mask_);
  if (platform::IsVolumeRoot(pattern)) {
    // A root is not listed: it is its own single entry, named by the pattern.
    platform::FindRecord& root = frame.found.entries.emplace_back();
    root.name = pattern;
    if (platform::GetVolumeRootAttributes(pattern, &root.attributes, &root.target) !=
        platform::error::kSuccess) {
      root.attributes = 0xFFFFFFFF;
    }
    MakeEntries(frame);
    return true;
  }
  platform::FindOptions options;
  options.defer_looks = true;
  options.expected_folder = frame.expected;
  if (platform::FindEntries(files_, pattern, &frame.found, options) == platform::error::kSuccess) {
    MakeEntries(frame);
    return true;
  }
  target.has_sub_items_ = false;
  target.items_.clear();
  return false;
}

// Makes the entries of a listed folder, all at once so that the looks at its plain files can
// start before the walk reaches them.
void FileSearch::MakeEntries(Frame& frame) {
  std::vector<platform::FindRecord>& entries = frame.found.entries;
  frame.files.resize(entries.size());
  frame.target->items_.reserve(entries.size());
  platform::DeferredLooks batch;
  for (size_t i = 0; i < entries.size(); ++i) {
    platform::FindRecord& entry = entries[i];
    const bool directory = (entry.attributes & platform::attr::kDirectory) != 0;
    if (directory && (entry.name == "." || entry.name == "..")) continue;
    Ref<FoundedFile> file = MakeEntry(frame, entry);
    if (entry.look_deferred) {
      // Sized once per batch (at most what is left of the folder), not grown look by look.
      if (batch.looks.empty()) batch.looks.reserve(std::min(kLooksPerBatch, entries.size() - i));
      batch.looks.push_back({file->name_.c_str(), file.get()});
      if (batch.looks.size() == kLooksPerBatch) SubmitLooks(frame, batch);
    }
    frame.files[i] = std::move(file);
  }
  if (!batch.looks.empty()) SubmitLooks(frame, batch);
  frame.found.deferred.reset();  // the batches hold the listed folder while they need it
}

void FileSearch::SubmitLooks(Frame& frame, platform::DeferredLooks& batch) {
  batch.source = frame.found.deferred;
  batch.store = &FileSearch::StoreFacts;
  pool_.Submit(std::move(batch));
  batch = platform::DeferredLooks{};
}

// One entry: its record (or, for a deferred look, what the listing said until the look is in)
// and its Path field.
Ref<FoundedFile> FileSearch::MakeEntry(const Frame& frame, platform::FindRecord& entry) {
  Ref<FoundedFile> file = automation::MakeObject<FoundedFile>();
  CopyFacts(*file, entry);
  file->path_ = frame.text;
  if (frame.with_parent) {
    const std::u16string name = support::FileNameFromNative(entry.name);
    const std::u16string& path = *frame.text;
    if (EndsWithIgnoringCase(path, name)) {
      std::u16string cut = path.substr(0, path.size() - name.size());
      if (!cut.empty() && cut.back() == platform::kPathSeparator) cut.pop_back();
      file->path_ = std::make_shared<const std::u16string>(std::move(cut));
    }
  }
  file->name_ = std::move(entry.name);
  return file;
}

// Whether the search goes inside the entry: a folder, unless it is a link or mount point that
// is not followed or that leads back to a folder being searched.
bool FileSearch::Enters(const platform::FindRecord& entry) const {
  const uint32_t attributes = entry.attributes;
  if ((attributes & platform::attr::kDirectory) == 0) return false;
  const bool reparse = (attributes & platform::attr::kReparsePoint) != 0;
  return !reparse || (follow_ && !LeadsBack(entry.target));
}

// A followed link or mount point that leads to a folder being searched would loop for ever.
bool FileSearch::LeadsBack(const platform::FolderId& target) const {
  if (target == platform::FolderId{}) return false;
  for (const Frame& frame : stack_) {
    if (frame.found.folder == target) return true;
  }
  return false;
}

// Keeps an entry whose loading has ended; false when its Childs were cancelled, which cancels
// this folder too.
bool FileSearch::Finish(Frame& frame, Ref<FoundedFile> file) {
  orvFoundedFiles& target = *frame.target;
  if (file->childs_ && file->childs_->cancelled_) {
    pool_.WaitAll();  // the entries dropped here may still be looked at
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
  if (callback_) {
    pool_.WaitAll();
    target.cancelled_ = CallBack(*frame.text);
  } else {
    target.cancelled_ = false;
  }
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
  const automation::HResult code =
      callback_->Invoke(callback_id_, {&path_value, &cancel}, &ignored, &excep);
  if (code != automation::hr::kOk) throw automation::ErrorOfFailedCall(code, excep);
  return cancel.ToBool();
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
        const size_t index = frame.next++;
        if (!frame.files[index]) continue;  // "." or ".."
        const platform::FindRecord& entry = frame.found.entries[index];
        if (!Enters(entry)) {
          done = !Finish(frame, std::move(frame.files[index]));
          continue;
        }
        Ref<FoundedFile>& file = frame.files[index];
        file->childs_ = automation::MakeObject<orvFoundedFiles>();
        file->childs_->files_ = &files_;
        Frame child;
        child.target = file->childs_.get();
        child.expected = entry.target;
        child.keep = file->childs_;
        std::string full_name =
            frame.with_parent ? frame.path : support::ovBuildFileName(frame.path, file->name_);
        child.text = std::make_shared<const std::u16string>(support::FileNameFromNative(full_name));
        child.path = std::move(full_name);
        frame.pending = std::move(file);
        stack_.push_back(std::move(child));  // `frame` and `entry` are not used again
        descended = true;
        done = !Begin(stack_.back());
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
      pool_.WaitAll();
      stack_.clear();
      return result;
    }
    // A frame left before its end (cancelled) drops entries whose looks may still be running.
    if (stack_.back().next < stack_.back().files.size()) pool_.WaitAll();
    stack_.pop_back();
    Frame& parent = stack_.back();
    done = !Finish(parent, std::move(parent.pending));
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

double FoundedFile::CompressedFileSize() {
  return has_allocated_size_ ? support::ovLargeIntegerToDouble(allocated_size_) : FileSize();
}

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

orvFoundedFiles::orvFoundedFiles() = default;

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
  if (!support::IsPossibleFileName(Path) || !support::IsPossibleFileName(Mask)) {
    items_.clear();
    return false;
  }
  FileSearch search(*files_, support::NativeFileName(Mask), FollowReparsePoints,
                    std::move(CallBackObject));
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
