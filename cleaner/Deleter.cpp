#include "cleaner/Deleter.h"

#include <algorithm>

#include "cleaner/COutput.h"
#include "cleaner/UndoRecord.h"
#include "cleaner/modMain.h"
#include "platform/names.h"
#include "platform/trash.h"
#include "support/ov_error.h"
#include "support/ov_format.h"
#include "support/ov_messages.h"
#include "support/ov_paths.h"
#include "support/ov_strings.h"

namespace sweepwell {

std::string PathText(std::string_view path) {
  std::string text = platform::NameInAnsi(path);
  if (support::HasControlCharacters(text)) return support::WithoutControlCharacters(text);
  return text;
}

std::string FileSizeText(double size) { return "  :: " + support::ovFormatInt64(size) + " bytes"; }

namespace {

// A batch of lines written ahead of their deletions: at most this many lines and about this
// many bytes, so one write serves a few hundred files and a kill leaves at most that many
// lines naming files that are still there.
constexpr size_t kAheadLines = 256;
constexpr size_t kAheadBytes = 32 * 1024;

// A move to the trash, written down in the run's undo record (when there is one) before the
// entry moves. `trash` is called with the TrashMove to pass on.
template <typename Trash>
uint32_t TrashRecorded(UndoRecord* record, Trash trash) {
  if (record == nullptr) return trash(nullptr);
  platform::TrashMove move;
  record->WatchMove(&move);
  uint32_t code = trash(&move);
  record->MoveFinished(code == platform::error::kSuccess);
  return code;
}

[[noreturn]] void RaiseWin32Error(uint32_t code) {
  throw support::MakeError(Win32ErrorToErrNumber(code));
}

// ovGetFileSizeEx on `files`: the size of a file, 0 for a folder; raises when it cannot be read.
double FileSize(platform::FileSystem& files, const std::string& path) {
  uint32_t attributes = 0;
  uint64_t size = 0;
  uint32_t code = platform::GetFileAttributes(files, path, &attributes, &size);
  if (code != platform::error::kSuccess) RaiseWin32Error(code);
  return (attributes & platform::attr::kDirectory) != 0 ? 0 : static_cast<double>(size);
}

// `path` without trailing separators (a root keeps its own), as the trash records it.
std::string Trimmed(const std::string& path) {
  constexpr bool kWindows = platform::kPathSeparator == '\\';
  auto is_separator = [](char c) {
    return c == platform::kPathSeparator || (kWindows && c == '/');
  };
  std::string_view rest = path;
  while (rest.size() > 1 && is_separator(rest.back()) && rest[rest.size() - 2] != ':') {
    rest.remove_suffix(1);
  }
  return std::string(rest);
}

// Runs the deletion of an entry whose line is begun, then ends the line with the outcome: the
// caught error's description in brackets, or nothing. True when the deletion succeeded.
template <typename Deletion>
bool EndLineWithOutcome(COutput& output, Deletion deletion) {
  try {
    deletion();
  } catch (const support::Error& e) {
    output.ReportErrorStartus(e.number(), e.description());
    return false;
  }
  output.ReportErrorStartus(0, "");
  return true;
}

// A file whose record is not read yet.
constexpr uint32_t kNotDescribed = UINT32_MAX;

// A file found gone when it was to be described: as a listing leaves out what vanished while
// it was read, it gets no line.
bool IsGone(uint32_t code) { return code == platform::error::kFileNotFound; }

}  // namespace

Deleter::Deleter(platform::FileSystem& files, COutput& output, const bool& to_trash)
    : files_(files), output_(output), to_trash_(to_trash) {}

void Deleter::CountDeletedFile(double size) {
  totals_.FreedBytes += size;
  totals_.DeletedFiles += 1;
}

void Deleter::CountReportedFile(double size) {
  totals_.ReportedBytes += size;
  totals_.ReportedFiles += 1;
}

void Deleter::CountReportedFolder(bool junction) {
  (junction ? totals_.ReportedJunctions : totals_.ReportedFolders) += 1;
}

void Deleter::CountRemovedFolder(bool junction) {
  (junction ? totals_.DeletedJunctions : totals_.DeletedFolders) += 1;
}

void Deleter::ReportFile(const std::string& FileName, bool IsFolder, bool IsJunction,
                         bool DontCount) {
  output_.AddText(PathText(FileName));
  if (!IsFolder) {
    double size = FileSize(files_, FileName);
    if (!DontCount) CountReportedFile(size);
    output_.AddText(FileSizeText(size));
  } else {
    if (!DontCount) CountReportedFolder(IsJunction);
    output_.AddText(IsJunction ? "  :: Junction" : "  :: DIR");
  }
}

void Deleter::KillFile(const std::string& FileName) {
  std::string name;
  uint32_t code = platform::error::kSuccess;
  const platform::Folder holder = files_.OpenParentFolder(FileName, &name, &code);
  if (!holder.IsOpen()) RaiseWin32Error(code);
  files_.SetEntryAttributesNormal(holder, name);
  platform::FindRecord record;
  code = files_.GetEntryAttributes(holder, name, &record.attributes, &record.size);
  if (code != platform::error::kSuccess) RaiseWin32Error(code);
  if ((record.attributes & platform::attr::kDirectory) != 0) record.size = 0;
  record.attributes &= ~platform::attr::kReadOnly;  // given back above
  KillFileAt(holder, name, Trimmed(FileName), record);
}

void Deleter::KillFileAt(const platform::Folder& folder, std::string_view name,
                         const std::string& path, const platform::FindRecord& record) {
  // Only the read-only bit is in the way of a deletion here; the others are names or state.
  if (record.attributes & platform::attr::kReadOnly) files_.SetEntryAttributesNormal(folder, name);
  uint32_t code = to_trash_
                      ? TrashRecorded(undo_record_,
                                      [&](platform::TrashMove* move) {
                                        return files_.MoveEntryToTrash(folder, name, path, move);
                                      })
                      : files_.DeleteEntryFile(folder, name);
  if (code != platform::error::kSuccess) RaiseWin32Error(code);
  CountDeletedFile(static_cast<double>(record.size));
}

void Deleter::KillFolder(const std::string& FolderName) {
  std::string name;
  uint32_t code = platform::error::kSuccess;
  const platform::Folder holder = files_.OpenParentFolder(FolderName, &name, &code);
  if (!holder.IsOpen()) RaiseWin32Error(code);
  uint32_t attributes = 0;
  uint64_t size = 0;
  const bool junction =
      files_.GetEntryAttributes(holder, name, &attributes, &size) == platform::error::kSuccess &&
      platform::attr::IsJunction(attributes);
  // KillFolderAt gives a folder its attributes back; a link named by path gets them back too.
  if (junction) files_.SetEntryAttributesNormal(holder, name);
  KillFolderAt(holder, name, junction);
}

void Deleter::KillFolderAt(const platform::Folder& folder, std::string_view name, bool junction) {
  if (!junction) files_.SetEntryAttributesNormal(folder, name);
  uint32_t code = files_.RemoveEntryDirectory(folder, name);
  if (code != platform::error::kSuccess) RaiseWin32Error(code);
  CountRemovedFolder(junction);
}

void Deleter::CreateFolder(const std::string& FolderName) {
  int32_t number = 0;
  std::string description;
  try {
    output_.AddFixed("*NEW* ");
    ReportFile(FolderName, true, false, false);
  } catch (const support::Error&) {
  }
  if (uint32_t code = support::CreateComplexDirectoryOn(files_, FolderName)) {
    number = Win32ErrorToErrNumber(code);
    description = support::StandardDescription(number);
  }
  output_.ReportErrorStartus(number, description);
}

bool Deleter::CanWriteAhead() const { return output_.CanWriteLineAhead() && !to_trash_; }

bool Deleter::DeleteWithLine(const std::string& line, bool may_go_to_trash,
                             const std::function<void()>& deletion) {
  // A move to the trash is written down in the undo record before it moves; anything that
  // goes for good has only its line, which therefore goes first.
  const bool ahead = may_go_to_trash ? CanWriteAhead() : output_.CanWriteLineAhead();
  if (ahead) {
    const std::string text = line + '\n';
    if (output_.WriteLinesAhead(text)) {
      try {
        deletion();
      } catch (const support::Error& e) {
        // The entry stayed: its line leaves the log and comes back with the reason. (Should
        // another run have written since, it cannot leave, and the line with the reason
        // corrects it.)
        output_.TakeBackLines(text);
        output_.AddText(line);
        output_.ReportErrorStartus(e.number(), e.description());
        return false;
      }
      output_.ShowLinesWrittenAhead(text);
      output_.ProcessPendingEvents(false);
      return true;
    }
    // The log refused the line: it is written the ordinary way, which counts and reports.
  }
  output_.AddText(line);
  return EndLineWithOutcome(output_, deletion);
}

void Deleter::MakeAheadBatch(std::span<platform::FindRecord* const> files, size_t next,
                             const std::function<const std::string&(std::string_view)>& path_of,
                             AheadBatch* batch) {
  batch->lines.clear();
  batch->line_ends.clear();
  batch->files.clear();
  batch->places.clear();
  // The files from `next` on, up to one that a deletion of its own must take (a read-only file
  // has its attribute cleared first; a record that could not be read is read again).
  size_t k = next;
  for (; k < files.size() && batch->files.size() < kAheadLines && batch->lines.size() < kAheadBytes;
       ++k) {
    const platform::FindRecord& entry = *files[k];
    if (described_[k] == kNotDescribed) break;
    if (IsGone(described_[k])) continue;
    if (described_[k] != platform::error::kSuccess ||
        (entry.attributes & platform::attr::kReadOnly) != 0) {
      break;
    }
    batch->lines += PathText(path_of(entry.name));
    batch->lines += FileSizeText(static_cast<double>(entry.size));
    batch->lines += '\n';
    batch->line_ends.push_back(batch->lines.size());
    batch->files.push_back(&entry);
    batch->places.push_back(k);
  }
  batch->end = k;
}

size_t Deleter::EndAheadBatch(const AheadBatch& batch, size_t went, uint32_t error, bool* all) {
  for (size_t i = 0; i < went; ++i) {
    const double size = static_cast<double>(batch.files[i]->size);
    CountReportedFile(size);
    CountDeletedFile(size);
  }
  const size_t true_end = went == 0 ? 0 : batch.line_ends[went - 1];
  const std::string_view lines = batch.lines;
  if (went > 0) output_.ShowLinesWrittenAhead(lines.substr(0, true_end));
  if (went == batch.files.size()) return batch.end;
  if (error == platform::error::kSuccess) {
    // A stop ended the batch after the file in progress: the files after it are still there,
    // so their lines leave the log, and the caller's pending-events point ends the run.
    output_.TakeBackLines(lines.substr(true_end));
    return batch.places[went];
  }
  // The file that stayed and those after it have untrue lines: they leave the log, the one that
  // stayed comes back with its outcome, and the rest go with the next batch. (Should another run
  // have written since, they cannot leave, and the line with the outcome corrects the one
  // written ahead.)
  output_.TakeBackLines(lines.substr(true_end));
  const platform::FindRecord& stayed = *batch.files[went];
  CountReportedFile(static_cast<double>(stayed.size));
  output_.AddText(lines.substr(true_end, batch.line_ends[went] - true_end - 1));
  const support::Error e = support::MakeError(Win32ErrorToErrNumber(error));
  output_.ReportErrorStartus(e.number(), e.description());
  *all = false;
  return batch.places[went] + 1;
}

bool Deleter::DeleteListedFiles(
    const platform::Folder& folder, std::span<platform::FindRecord* const> files, bool described,
    const std::function<const std::string&(std::string_view)>& path_of) {
  described_.assign(files.size(), described ? platform::error::kSuccess : kNotDescribed);
  // Reads the records of files[first, last) that are not read yet, in one call.
  auto describe = [&](size_t first, size_t last) {
    to_describe_.clear();
    for (size_t k = first; k < last; ++k) {
      if (described_[k] == kNotDescribed) to_describe_.push_back(files[k]);
    }
    if (to_describe_.empty()) return;
    describe_codes_.resize(to_describe_.size());
    files_.DescribeEntries(folder, to_describe_, describe_codes_.data());
    for (size_t k = first, i = 0; k < last; ++k) {
      if (described_[k] == kNotDescribed) described_[k] = describe_codes_[i++];
    }
  };

  bool all = true;
  size_t next = 0;
  size_t one_by_one_until = 0;  // a batch the log refused, or a file a batch cannot take
  while (next < files.size()) {
    if (next < one_by_one_until || !CanWriteAhead()) {
      platform::FindRecord& entry = *files[next];
      describe(next, next + 1);
      const uint32_t code = described_[next++];
      if (IsGone(code)) continue;
      // A record that could not be read is read again, and its line says why it failed.
      const platform::FindRecord* listed = code == platform::error::kSuccess ? &entry : nullptr;
      if (!DeleteAndReportFile(folder, listed, entry.name, path_of(entry.name))) all = false;
      output_.ProcessPendingEvents(true);
      continue;
    }
    describe(next, std::min(files.size(), next + kAheadLines));
    MakeAheadBatch(files, next, path_of, &batch_);
    if (batch_.files.empty()) {
      next = batch_.end;
      one_by_one_until = batch_.end + 1;
      continue;
    }
    if (!output_.WriteLinesAhead(batch_.lines)) {
      // Line by line, the failure is counted, reported and retried as for any other line.
      one_by_one_until = batch_.end;
      continue;
    }
    uint32_t error = platform::error::kSuccess;
    const size_t went = files_.DeleteEntryFiles(folder, batch_.files, &error);
    next = EndAheadBatch(batch_, went, error, &all);
    // Every line in the log is true here: a stop leaves nothing to take back.
    output_.ProcessPendingEvents(true);
  }
  return all;
}

std::string Deleter::FileLine(const std::string& path, uint32_t code, uint64_t size) {
  std::string line = PathText(path);
  if (code == platform::error::kSuccess) {
    CountReportedFile(static_cast<double>(size));
    line += FileSizeText(static_cast<double>(size));
  }
  return line;
}

std::string Deleter::FolderLine(const std::string& path, bool junction) {
  CountReportedFolder(junction);
  return PathText(path) + (junction ? "  :: Junction" : "  :: DIR");
}

bool Deleter::DeleteAndReportFile(const platform::Folder& folder,
                                  const platform::FindRecord* listed, std::string_view name,
                                  const std::string& path) {
  platform::FindRecord record;
  uint32_t code = platform::error::kSuccess;
  if (listed != nullptr) {
    record = *listed;
  } else {
    code = files_.GetEntryAttributes(folder, name, &record.attributes, &record.size);
  }
  return DeleteWithLine(FileLine(path, code, record.size), true,
                        [&] { KillFileAt(folder, name, path, record); });
}

bool Deleter::DeleteAndReportFile(const std::string& path) { return DeleteNamedFile(path, false); }

bool Deleter::DeleteAndReportRecordedFile(const std::string& path) {
  return DeleteNamedFile(path, true);
}

bool Deleter::DeleteNamedFile(const std::string& path, bool files_only) {
  // What the one look finds decides: a folder (or junction) or a special file is no file of
  // the list any more.
  auto passed_over = [files_only](uint32_t code, uint32_t attributes) {
    return files_only && code == platform::error::kSuccess &&
           (attributes & (platform::attr::kDirectory | platform::attr::kDevice)) != 0;
  };
  std::string name;
  uint32_t code = platform::error::kSuccess;
  const platform::Folder holder = files_.OpenParentFolder(path, &name, &code);
  platform::FindRecord record;
  if (holder.IsOpen()) {
    code = files_.GetEntryAttributes(holder, name, &record.attributes, &record.size);
  }
  if (passed_over(code, record.attributes)) return false;
  if ((record.attributes & platform::attr::kDirectory) != 0) record.size = 0;
  return DeleteWithLine(FileLine(path, code, record.size), true, [&] {
    // What could not be looked at is not deleted: it fails as the look did.
    if (code != platform::error::kSuccess) RaiseWin32Error(code);
    KillFileAt(holder, name, Trimmed(path), record);
  });
}

bool Deleter::RemoveAndReportFolder(const platform::Folder& folder, std::string_view name,
                                    const std::string& path, bool junction) {
  return DeleteWithLine(FolderLine(path, junction), false,
                        [&] { KillFolderAt(folder, name, junction); });
}

bool Deleter::RemoveAndReportFolder(const std::string& path, bool junction) {
  // The look that decided what the entry is also decides how it is counted: looking again
  // could name a junction in the line and count a folder, or the other way round.
  std::string name;
  uint32_t code = platform::error::kSuccess;
  const platform::Folder holder = files_.OpenParentFolder(path, &name, &code);
  return RemoveInHolder(holder, code, name, path, junction);
}

bool Deleter::RemoveAndReportFolder(const std::string& path) {
  std::string name;
  uint32_t code = platform::error::kSuccess;
  const platform::Folder holder = files_.OpenParentFolder(path, &name, &code);
  uint32_t attributes = 0;
  uint64_t size = 0;
  const bool junction =
      holder.IsOpen() &&
      files_.GetEntryAttributes(holder, name, &attributes, &size) == platform::error::kSuccess &&
      platform::attr::IsJunction(attributes);
  return RemoveInHolder(holder, code, name, path, junction);
}

bool Deleter::RemoveInHolder(const platform::Folder& holder, uint32_t open_error,
                             std::string_view name, const std::string& path, bool junction) {
  if (holder.IsOpen()) return RemoveAndReportFolder(holder, name, path, junction);
  const uint32_t code =
      open_error != platform::error::kSuccess ? open_error : platform::error::kPathNotFound;
  return DeleteWithLine(FolderLine(path, junction), false, [&] { RaiseWin32Error(code); });
}

void Deleter::ReportMissingFolder(const std::string& path, bool DontCount) {
  ReportFile(path, true, false, DontCount);
  int32_t number = support::errnum::kPathNotFound;
  output_.ReportErrorStartus(number, support::StandardDescription(number));
}

}  // namespace sweepwell
