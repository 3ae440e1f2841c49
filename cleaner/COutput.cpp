#include "cleaner/COutput.h"

#include <cstdio>

#include "automation/component.h"
#include "cleaner/modMain.h"
#include "platform/platform.h"
#include "support/ov_error.h"
#include "support/ov_format.h"
#include "support/ov_messages.h"
#include "support/ov_strings.h"
#include "support/ov_unicode.h"

namespace sweepwell {

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

COutput::COutput(const std::string& log_file_name, Stopwatch* stopwatch,
                 platform::FileSystem& files, const bool& to_trash)
    : stopwatch_(stopwatch), log_file_name_(log_file_name), deleter_(files, *this, to_trash) {
  if (log_file_name.empty()) {  // a preview: the console only
    LogStopped = true;
    return;
  }
  uint32_t code = log_.Open(files, log_file_name, std::string(78, '=') + "\n");
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
}

void COutput::ShowForm() { console_.Load(); }

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
  // The line end is not part of the message: the catalogue knows the text without it.
  AddText(support::LocalText(support::Tr(message)) + "\n", support::LocalText(message) + "\n");
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

bool COutput::CanWriteLineAhead() const {
  return !LogStopped && log_.IsOpen() && log_pending_.empty() && log_.PendingMissedLines() == 0;
}

bool COutput::WriteLinesAhead(std::string_view lines) {
  return log_.WriteAhead(lines) == platform::error::kSuccess;
}

void COutput::TakeBackLines(std::string_view tail) { log_.TakeBack(tail); }

void COutput::ShowLinesWrittenAhead(std::string_view lines) {
  if (lines.empty()) return;
  display_clear_ = false;
  line_open_ = lines.back() != '\n';
  console_.AddText(lines);
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
  const DeletionTotals& t = deleter_.Totals();
  counts(N_("Всего удалено файлов:  "), t.DeletedFiles, t.ReportedFiles - t.DeletedFiles, "");
  counts(N_("Всего удалено папок:   "), t.DeletedFolders, t.ReportedFolders - t.DeletedFolders, "");
  counts(N_("Всего удалено ссылок:  "), t.DeletedJunctions,
         t.ReportedJunctions - t.DeletedJunctions, "");
  counts(N_("Освобождено на дисках: "), t.FreedBytes, t.ReportedBytes - t.FreedBytes, " bytes");
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

}  // namespace sweepwell
