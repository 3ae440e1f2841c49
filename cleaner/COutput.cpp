#include "cleaner/COutput.h"

#include <cstdio>

#include "automation/component.h"
#include "cleaner/RunContext.h"
#include "cleaner/UndoRecord.h"
#include "cleaner/modMain.h"
#include "platform/file.h"
#include "platform/names.h"
#include "platform/trash.h"
#include "support/ov_error.h"
#include "support/ov_format.h"
#include "support/ov_messages.h"
#include "support/ov_paths.h"
#include "support/ov_strings.h"
#include "support/ov_unicode.h"

namespace sweepwell {

namespace {

// How a path stands in a line: in the encoding of the run's text, without control characters.
std::string PathText(std::string_view path) {
  std::string text = platform::NameInAnsi(path);
  if (support::HasControlCharacters(text)) return support::WithoutControlCharacters(text);
  return text;
}

void AddPath(COutput& output, std::string_view path) { output.AddText(PathText(path)); }

}  // namespace

std::string FileSizeText(double size) { return "  :: " + support::ovFormatInt64(size) + " bytes"; }

namespace {

// A batch of lines written ahead of their deletions: at most this many lines and about this
// many bytes, so one write serves a few hundred files and a kill leaves at most that many
// lines naming files that are still there.
constexpr size_t kAheadLines = 256;
constexpr size_t kAheadBytes = 32 * 1024;

// The closed log is handed to the file library's orvFSO, created by its ProgID through the
// component mechanism like any client creates it, to be compressed where it is not. Nothing
// the library answers is looked at, and a library that cannot be found or loaded changes
// nothing: the log is complete on disk already, and on most file systems there is nothing to
// compress with anyway.
void KeepLogCompressed(const std::string& log_file_name) {
  try {
    automation::Ref<automation::Object> fso = automation::CreateObject("Quern0102.orvFSO");
    automation::Variant name(support::FileNameFromNative(log_file_name));
    int32_t format = automation::CallByName(*fso, "GetFileCompression", {name}).ToLong();
    if (format == 0) {  // cfNone
      automation::CallByName(*fso, "SetFileCompression", {name, automation::Variant(int32_t{1})});
    }
  } catch (const support::Error&) {
  }
}

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
  uint32_t code = files.GetFileAttributes(path, &attributes, &size);
  if (code != platform::error::kSuccess) RaiseWin32Error(code);
  return (attributes & platform::attr::kDirectory) != 0 ? 0 : static_cast<double>(size);
}

bool IsJunction(platform::FileSystem& files, const std::string& path) {
  uint32_t attributes = 0;
  uint64_t size = 0;
  return files.GetFileAttributes(path, &attributes, &size) == platform::error::kSuccess &&
         platform::attr::IsJunction(attributes);
}

}  // namespace

COutput::COutput(const std::string& log_file_name, Stopwatch* stopwatch)
    : stopwatch_(stopwatch), log_file_name_(log_file_name) {
  if (log_file_name.empty()) {  // a preview: the console only
    LogStopped = true;
    return;
  }
  uint32_t code = log_.Open(log_file_name, std::string(78, '=') + "\n");
  if (code != platform::error::kSuccess) {
    throw support::Error(Win32ErrorToErrNumber(code), RunLog::Cause(code), "sweepwell");
  }
}

COutput::~COutput() { CloseLog(); }

void COutput::CloseLog() {
  if (!log_.IsOpen()) return;
  FlushLog();
  console_.Flush();
  if (log_.PendingMissedLines() > 0) {
    ReportAboutLog(support::Fill(support::Tr("в журнал \"%s\" не попало последних строк: %s (%s)"),
                                 {log_file_name_, std::to_string(log_.PendingMissedLines()),
                                  support::Tr(RunLog::Cause(log_.LastError()))}));
  }
  log_.Close();
  KeepLogCompressed(log_file_name_);
}

void COutput::ShowForm() { console_.Load(); }

bool COutput::ToRecycleBin() const { return run_ == nullptr || run_->DeleteToRecycleBin; }

platform::FileSystem& COutput::Files() const {
  return run_ != nullptr ? *run_->file_system : platform::RealFileSystem();
}

void COutput::WriteLog(std::string_view text) {
  // Whole lines go to disk at once, so the log is complete at every line end.
  size_t last_end = text.rfind('\n');
  if (last_end == std::string_view::npos) {
    log_pending_.append(text);
    return;
  }
  log_pending_.append(text.substr(0, last_end + 1));
  FlushLog();
  log_pending_.assign(text.substr(last_end + 1));
}

void COutput::ReportAboutLog(const std::string& message) {
  // The console shows every line of the run whatever happens to the log, so news about the log
  // goes beside it, to standard error.
  std::string text = support::AnsiText("sweepwell: " + message + "\n");
  std::fwrite(text.data(), 1, text.size(), stderr);
  std::fflush(stderr);
}

void COutput::FlushLog() {
  if (log_pending_.empty()) return;
  const uint64_t missed = log_.PendingMissedLines();
  switch (log_.Write(log_pending_)) {
    case RunLog::WriteResult::kFailed:
      ReportAboutLog(support::Fill(
          support::Tr("журнал \"%s\" не записан: %s; строки видны только на консоли, запись "
                      "повторяется с каждой строкой"),
          {log_file_name_, support::Tr(RunLog::Cause(log_.LastError()))}));
      break;
    case RunLog::WriteResult::kRecovered:
      ReportAboutLog(
          support::Fill(support::Tr("журнал \"%s\" снова записывается; пропущено строк: %s"),
                        {log_file_name_, std::to_string(missed)}));
      break;
    case RunLog::WriteResult::kWritten:
    case RunLog::WriteResult::kStillFailing:
    case RunLog::WriteResult::kClosed:
      break;
  }
  log_pending_.clear();
}

void COutput::AddText(std::string_view Text) { AddText(Text, Text); }

void COutput::AddText(std::string_view shown, std::string_view logged) {
  if (!LogStopped) WriteLog(logged);
  if (!shown.empty()) {
    display_clear_ = false;
    line_open_ = shown.back() != '\n';
  }
  console_.AddText(shown);
  console_.ProcessEvents(false);
}

void COutput::AddFixed(std::string_view message) {
  AddText(support::LocalText(support::Tr(message)), support::LocalText(message));
}

void COutput::AddFilledLine(std::string_view message,
                            std::initializer_list<std::string_view> values) {
  // The values are filled in after the translation, so that a "%s" in a path is never read as
  // a place for another value.
  AddText(support::Fill(support::LocalText(support::Tr(message)), values) + "\n",
          support::Fill(support::LocalText(message), values) + "\n");
}

void COutput::AddFixedLine(std::string_view message) {
  std::string line(message);
  line += '\n';
  AddFixed(line);
}

void COutput::AddLine(std::string_view Text) {
  std::string line(Text);
  line += '\n';
  AddText(line);
}

bool COutput::IsDisplayClear() const { return display_clear_; }

void COutput::DumpOutput() {
  // Whatever the log holds of an unfinished line still belongs to the run.
  FlushLog();
  LogStopped = true;
}

void COutput::ProcessPendingEvents(bool may_stop) { console_.ProcessEvents(may_stop); }

void COutput::ReportFile(const std::string& FileName, bool IsFolder, bool IsJunction,
                         bool DontCount) {
  AddPath(*this, FileName);
  if (!IsFolder) {
    double size = FileSize(Files(), FileName);
    if (!DontCount) {
      ReportedBytes += size;
      ReportedFiles += 1;
    }
    AddText(FileSizeText(size));
  } else if (IsJunction) {
    if (!DontCount) ReportedJunctions += 1;
    AddText("  :: Junction");
  } else {
    if (!DontCount) ReportedFolders += 1;
    AddText("  :: DIR");
  }
}

void COutput::ReportErrorStartus(int32_t ErrNumber, std::string_view ErrDescription) {
  ReportErrorStartus(ErrNumber, support::LocalText(support::Tr(ErrDescription)),
                     support::LocalText(ErrDescription));
}

void COutput::ReportErrorStartus(int32_t ErrNumber, std::string_view shown,
                                 std::string_view logged) {
  if (ErrNumber != 0) {
    AddText("  [");
    AddText(shown, logged);
    AddLine("]");
  } else {
    AddLine("");
  }
}

void COutput::CountDeletedFile(double size) {
  FreedBytes += size;
  DeletedFiles += 1;
}

void COutput::KillFile(const std::string& FileName) {
  platform::FileSystem& files = Files();
  files.SetFileAttributesNormal(FileName);
  double size = FileSize(files, FileName);
  uint32_t code = ToRecycleBin() ? TrashRecorded(undo_record_,
                                                 [&](platform::TrashMove* move) {
                                                   return files.MoveToTrash(FileName, move);
                                                 })
                                 : files.DeleteFile(FileName);
  if (code != platform::error::kSuccess) RaiseWin32Error(code);
  CountDeletedFile(size);
}

void COutput::KillFileAt(const platform::Folder& folder, std::string_view name,
                         const std::string& path, const platform::FindRecord& record) {
  // Only the read-only bit is in the way of a deletion here; the others are names or state.
  platform::FileSystem& files = Files();
  if (record.attributes & platform::attr::kReadOnly) files.SetEntryAttributesNormal(folder, name);
  uint32_t code = ToRecycleBin()
                      ? TrashRecorded(undo_record_,
                                      [&](platform::TrashMove* move) {
                                        return files.MoveEntryToTrash(folder, name, path, move);
                                      })
                      : files.DeleteEntryFile(folder, name);
  if (code != platform::error::kSuccess) RaiseWin32Error(code);
  CountDeletedFile(static_cast<double>(record.size));
}

bool COutput::CanWriteLineAhead() const {
  return !LogStopped && log_.IsOpen() && log_pending_.empty() && log_.PendingMissedLines() == 0;
}

bool COutput::CanWriteAhead() const { return CanWriteLineAhead() && !ToRecycleBin(); }

namespace {

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

}  // namespace

bool COutput::DeleteWithLine(const std::string& line, bool may_go_to_trash,
                             const std::function<void()>& deletion) {
  // A move to the trash is written down in the undo record before it moves; anything that
  // goes for good has only its line, which therefore goes first.
  const bool ahead = may_go_to_trash ? CanWriteAhead() : CanWriteLineAhead();
  if (ahead) {
    const std::string text = line + '\n';
    if (log_.WriteAhead(text) == platform::error::kSuccess) {
      try {
        deletion();
      } catch (const support::Error& e) {
        // The entry stayed: its line leaves the log and comes back with the reason. (Should
        // another run have written since, it cannot leave, and the line with the reason
        // corrects it.)
        log_.TakeBack(text);
        AddText(line);
        ReportErrorStartus(e.number(), e.description());
        return false;
      }
      display_clear_ = false;
      line_open_ = false;
      console_.AddText(text);
      console_.ProcessEvents(false);
      return true;
    }
    // The log refused the line: it is written the ordinary way, which counts and reports.
  }
  AddText(line);
  return EndLineWithOutcome(*this, deletion);
}

namespace {

// A file whose record is not read yet.
constexpr uint32_t kNotDescribed = UINT32_MAX;

// A file found gone when it was to be described: as a listing leaves out what vanished while
// it was read, it gets no line.
bool IsGone(uint32_t code) { return code == platform::error::kFileNotFound; }

}  // namespace

void COutput::MakeAheadBatch(std::span<platform::FindRecord* const> files, size_t next,
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

size_t COutput::EndAheadBatch(const AheadBatch& batch, size_t went, uint32_t error, bool* all) {
  for (size_t i = 0; i < went; ++i) {
    const double size = static_cast<double>(batch.files[i]->size);
    ReportedBytes += size;
    ReportedFiles += 1;
    CountDeletedFile(size);
  }
  const size_t true_end = went == 0 ? 0 : batch.line_ends[went - 1];
  const std::string_view lines = batch.lines;
  if (went > 0) {
    display_clear_ = false;
    line_open_ = false;
    console_.AddText(lines.substr(0, true_end));
  }
  if (went == batch.files.size()) return batch.end;
  if (error == platform::error::kSuccess) {
    // A stop ended the batch after the file in progress: the files after it are still there,
    // so their lines leave the log, and the caller's pending-events point ends the run.
    log_.TakeBack(lines.substr(true_end));
    return batch.places[went];
  }
  // The file that stayed and those after it have untrue lines: they leave the log, the one that
  // stayed comes back with its outcome, and the rest go with the next batch. (Should another run
  // have written since, they cannot leave, and the line with the outcome corrects the one
  // written ahead.)
  log_.TakeBack(lines.substr(true_end));
  const platform::FindRecord& stayed = *batch.files[went];
  ReportedBytes += static_cast<double>(stayed.size);
  ReportedFiles += 1;
  AddText(lines.substr(true_end, batch.line_ends[went] - true_end - 1));
  const support::Error e = support::MakeError(Win32ErrorToErrNumber(error));
  ReportErrorStartus(e.number(), e.description());
  *all = false;
  return batch.places[went] + 1;
}

bool COutput::DeleteListedFiles(
    const platform::Folder& folder, std::span<platform::FindRecord* const> files, bool described,
    const std::function<const std::string&(std::string_view)>& path_of) {
  platform::FileSystem& file_system = Files();
  described_.assign(files.size(), described ? platform::error::kSuccess : kNotDescribed);
  // Reads the records of files[first, last) that are not read yet, in one call.
  auto describe = [&](size_t first, size_t last) {
    to_describe_.clear();
    for (size_t k = first; k < last; ++k) {
      if (described_[k] == kNotDescribed) to_describe_.push_back(files[k]);
    }
    if (to_describe_.empty()) return;
    describe_codes_.resize(to_describe_.size());
    file_system.DescribeEntries(folder, to_describe_, describe_codes_.data());
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
      if (!DeleteAndReportFile(*this, folder, listed, entry.name, path_of(entry.name))) {
        all = false;
      }
      ProcessPendingEvents(true);
      continue;
    }
    describe(next, std::min(files.size(), next + kAheadLines));
    MakeAheadBatch(files, next, path_of, &batch_);
    if (batch_.files.empty()) {
      next = batch_.end;
      one_by_one_until = batch_.end + 1;
      continue;
    }
    if (log_.WriteAhead(batch_.lines) != platform::error::kSuccess) {
      // Line by line, the failure is counted, reported and retried as for any other line.
      one_by_one_until = batch_.end;
      continue;
    }
    uint32_t error = platform::error::kSuccess;
    const size_t went = file_system.DeleteEntryFiles(folder, batch_.files, &error);
    next = EndAheadBatch(batch_, went, error, &all);
    // Every line in the log is true here: a stop leaves nothing to take back.
    ProcessPendingEvents(true);
  }
  return all;
}

void COutput::KillFolder(const std::string& FolderName) {
  platform::FileSystem& files = Files();
  bool junction = IsJunction(files, FolderName);
  files.SetFileAttributesNormal(FolderName);
  uint32_t code = files.RemoveDirectory(FolderName);
  if (code != platform::error::kSuccess) RaiseWin32Error(code);
  (junction ? DeletedJunctions : DeletedFolders) += 1;
}

void COutput::KillFolderAt(const platform::Folder& folder, std::string_view name, bool junction) {
  platform::FileSystem& files = Files();
  if (!junction) files.SetEntryAttributesNormal(folder, name);
  uint32_t code = files.RemoveEntryDirectory(folder, name);
  if (code != platform::error::kSuccess) RaiseWin32Error(code);
  (junction ? DeletedJunctions : DeletedFolders) += 1;
}

void COutput::CreateFolder(const std::string& FolderName) {
  int32_t number = 0;
  std::string description;
  try {
    AddFixed("*NEW* ");
    ReportFile(FolderName, true, false, false);
  } catch (const support::Error&) {
  }
  if (uint32_t code = support::CreateComplexDirectoryOn(Files(), FolderName)) {
    number = Win32ErrorToErrNumber(code);
    description = support::StandardDescription(number);
  }
  ReportErrorStartus(number, description);
}

void COutput::ReportTime() {
  platform::SystemTime now = platform::GetLocalTime();
  if (stopwatch_) stopwatch_->Stop();
  auto n = [](double value) { return support::ovFormatInt64(value); };
  auto line = [this](std::string_view label, std::string_view value) {
    AddFixed(label);
    AddLine(value);
  };
  // "N  [осталось: M]" (with " bytes" after both numbers for the bytes).
  auto counts = [&](std::string_view label, double done, double left, std::string_view unit) {
    AddFixed(label);
    AddText(n(done) + std::string(unit) + "  [");
    AddFixed("осталось: ");
    AddLine(n(left) + std::string(unit) + "]");
  };
  AddLine("");
  counts(N_("Всего удалено файлов:  "), DeletedFiles, ReportedFiles - DeletedFiles, "");
  counts(N_("Всего удалено папок:   "), DeletedFolders, ReportedFolders - DeletedFolders, "");
  counts(N_("Всего удалено ссылок:  "), DeletedJunctions, ReportedJunctions - DeletedJunctions, "");
  counts(N_("Освобождено на дисках: "), FreedBytes, ReportedBytes - FreedBytes, " bytes");
  AddLine("");
  line(N_("Текущая дата:  "), support::ovSystemTimeToStringDate(now, true));
  line(N_("Текущее время: "), support::ovSystemTimeToStringTime(now));
  const double elapsed = stopwatch_ ? stopwatch_->Elapsed() : 0;
  AddFixed("Процесс занял: ");
  AddText(support::ovTrimEx(support::LocalText(support::ovFormatTimeInterval(elapsed, true))),
          support::ovTrimEx(support::LocalText(support::ovFormatTimeInterval(elapsed, false))));
  AddLine("");
  AddLine("");
}

namespace {

// A file's line as its deletion would end it without an error, counted as reported. When the
// size cannot be read the line is the path alone and nothing is counted: the deletion then
// says what went wrong.
std::string FileLine(COutput& output, const std::string& path, uint32_t code, uint64_t size) {
  std::string line = PathText(path);
  if (code == platform::error::kSuccess) {
    output.ReportedBytes += static_cast<double>(size);
    output.ReportedFiles += 1;
    line += FileSizeText(static_cast<double>(size));
  }
  return line;
}

// A folder's or junction's line, counted as reported.
std::string FolderLine(COutput& output, const std::string& path, bool junction) {
  (junction ? output.ReportedJunctions : output.ReportedFolders) += 1;
  return PathText(path) + (junction ? "  :: Junction" : "  :: DIR");
}

}  // namespace

bool DeleteAndReportFile(COutput& output, const platform::Folder& folder,
                         const platform::FindRecord* listed, std::string_view name,
                         const std::string& path) {
  platform::FindRecord record;
  uint32_t code = platform::error::kSuccess;
  if (listed != nullptr) {
    record = *listed;
  } else {
    code = output.Files().GetEntryAttributes(folder, name, &record.attributes, &record.size);
  }
  return output.DeleteWithLine(FileLine(output, path, code, record.size), true,
                               [&] { output.KillFileAt(folder, name, path, record); });
}

bool DeleteAndReportFile(COutput& output, const std::string& path) {
  uint32_t attributes = 0;
  uint64_t size = 0;
  const uint32_t code = output.Files().GetFileAttributes(path, &attributes, &size);
  if ((attributes & platform::attr::kDirectory) != 0) size = 0;
  return output.DeleteWithLine(FileLine(output, path, code, size), true,
                               [&] { output.KillFile(path); });
}

bool RemoveAndReportFolder(COutput& output, const platform::Folder& folder, std::string_view name,
                           const std::string& path, bool junction) {
  return output.DeleteWithLine(FolderLine(output, path, junction), false,
                               [&] { output.KillFolderAt(folder, name, junction); });
}

bool RemoveAndReportFolder(COutput& output, const std::string& path) {
  const bool junction = IsJunction(output.Files(), path);
  return output.DeleteWithLine(FolderLine(output, path, junction), false,
                               [&] { output.KillFolder(path); });
}

void ReportMissingFolder(COutput& output, const std::string& path, bool DontCount) {
  output.ReportFile(path, true, false, DontCount);
  int32_t number = support::errnum::kPathNotFound;
  output.ReportErrorStartus(number, support::StandardDescription(number));
}

}  // namespace sweepwell
