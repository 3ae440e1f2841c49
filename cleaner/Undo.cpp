#include "cleaner/Undo.h"

#include <cstdio>
#include <memory>

#include "cleaner/COutput.h"
#include "cleaner/RunContext.h"
#include "cleaner/Stopwatch.h"
#include "cleaner/UndoRecord.h"
#include "cleaner/modMain.h"
#include "platform/file.h"
#include "platform/file_system.h"
#include "platform/trash.h"
#include "support/ov_error.h"
#include "support/ov_format.h"
#include "support/ov_messages.h"
#include "support/ov_paths.h"
#include "support/ov_strings.h"

namespace sweepwell {

namespace {

using platform::TrashEntryStatus;

void Say(std::FILE* stream, const std::string& utf8) {
  std::string text = support::AnsiText(utf8);
  std::fwrite(text.data(), 1, text.size(), stream);
  std::fflush(stream);
}

std::string Shown(std::string_view path) {
  return support::HasControlCharacters(path) ? support::WithoutControlCharacters(path)
                                             : std::string(path);
}

// "2026-12-07T15:31:50" as the list shows it.
std::string ShownDate(std::string date) {
  if (date.size() > 10 && date[10] == 'T') date[10] = ' ';
  return date;
}

// Why an entry that did not come back stays where it is (UTF-8).
std::string ReasonFor(TrashEntryStatus status, uint32_t error) {
  switch (status) {
    case TrashEntryStatus::kPlaceTaken:
      return N_("Место занято, файл остался в корзине");
    case TrashEntryStatus::kGone:
      return N_("Нет в корзине: удалён из неё или уже восстановлен");
    case TrashEntryStatus::kChanged:
      return N_("В корзине под этим именем теперь другой файл");
    case TrashEntryStatus::kNotATrash:
      return N_("Запись указывает не в корзину");
    case TrashEntryStatus::kTrashMissing:
      return N_("Корзина недоступна");
    case TrashEntryStatus::kLinkOnWay:
      return N_("На пути теперь ссылка, файл остался в корзине");
    case TrashEntryStatus::kOwnerChanged:
      return N_("Папка на пути теперь чужая, файл остался в корзине");
    case TrashEntryStatus::kNotRegular:
      return N_("Запись корзины не обычный файл, файл остался в корзине");
    default:
      break;
  }
  if (error == platform::error::kDiskFull) return N_("Недостаточно места на диске");
  return support::StandardDescription(Win32ErrorToErrNumber(error));
}

// Holds the record of one run, locked, for the length of an undo.
class LockedRecord {
 public:
  // 0 when opened and locked; otherwise the exit status, with the reason said on stderr.
  int Open(platform::FileSystem& files, const std::string& path, const std::string& id,
           UndoRun* run) {
    uint32_t code =
        platform::OpenFileByPath(files, path, platform::FileOpening::kAppendExisting, &file_);
    if (code == platform::error::kBadFileType) {
      // A FIFO or device in the record's place is never opened for real nor waited on.
      Say(stderr,
          "sweepwell: " +
              support::Fill(support::Tr("запись запуска \"%s\" не обычный файл и не читается: %s"),
                            {Shown(id), path}) +
              "\n");
      return kExitFailed;
    }
    if (code != platform::error::kSuccess) {
      Say(stderr,
          "sweepwell: " +
              support::Fill(support::Tr("запуск \"%s\" не найден; список: sweepwell --undo --list"),
                            {Shown(id)}) +
              "\n");
      return kExitFailed;
    }
    bool locked = false;
    if (file_.TryLock(&locked) != platform::error::kSuccess || !locked) {
      Say(stderr, "sweepwell: " +
                      support::Fill(support::Tr("запуск \"%s\" занят: он ещё идёт или его уже "
                                                "отменяет другая команда"),
                                    {Shown(id)}) +
                      "\n");
      return kExitFailed;
    }
    std::string text;
    if (file_.ReadAll(&text) != platform::error::kSuccess || !ParseUndoRecord(text, run)) {
      Say(stderr, "sweepwell: " +
                      support::Fill(support::Tr("запись запуска \"%s\" не читается: %s"),
                                    {Shown(id), path}) +
                      "\n");
      return kExitFailed;
    }
    run->id = id;
    return kExitOk;
  }
  void Append(const std::string& line) { file_.Write(line); }

 private:
  platform::File file_;
};

struct UndoTotals {
  double restored_files = 0, restored_bytes = 0;
  double left_files = 0, left_bytes = 0;
};

// Brings back one entry and writes its line.
void UndoEntryAndReport(platform::FileSystem& files, COutput& output, LockedRecord& record,
                        const UndoEntry& entry, const platform::FolderStates* folders,
                        UndoTotals* totals, bool* all_back) {
  output.AddText(Shown(entry.trashed.original_path));
  if (entry.restored) {
    output.AddText("  [");
    output.AddFixed("Уже восстановлен");
    output.AddLine("]");
    return;
  }
  uint64_t size = 0;
  uint32_t error = platform::error::kSuccess;
  TrashEntryStatus status = files.RestoreTrashedEntry(entry.trashed, &size, &error, folders);
  // What stayed in the trash because of what is on its way back.
  const bool left_in_trash = status == TrashEntryStatus::kPlaceTaken ||
                             status == TrashEntryStatus::kLinkOnWay ||
                             status == TrashEntryStatus::kOwnerChanged;
  bool size_known = status == TrashEntryStatus::kRestored || left_in_trash ||
                    (status == TrashEntryStatus::kFailed && size > 0);
  if (size_known) {
    output.AddText(FileSizeText(static_cast<double>(size)));
  }
  if (status == TrashEntryStatus::kRestored) {
    record.Append(RestoredLine(entry.index, RecordDate(platform::GetLocalTime())));
    totals->restored_files += 1;
    totals->restored_bytes += static_cast<double>(size);
    output.AddLine("");
    return;
  }
  *all_back = false;
  if (left_in_trash || status == TrashEntryStatus::kFailed) {
    totals->left_files += 1;
    totals->left_bytes += static_cast<double>(size);
  }
  output.AddText("  [");
  output.AddFixed(ReasonFor(status, error));
  output.AddLine("]");
}

void ReportUndoTotals(COutput& output, const UndoTotals& totals, Stopwatch& stopwatch) {
  platform::SystemTime now = platform::GetLocalTime();
  stopwatch.Stop();
  auto n = [](double value) { return support::ovFormatInt64(value); };
  // Labels and words are UTF-8; the formatted values are already in the console's code page.
  auto line = [&output](std::string_view label, const std::string& value) {
    output.AddFixed(label);
    output.AddLine(value);
  };
  auto counts = [&](std::string_view label, double done, double left, std::string_view unit) {
    output.AddFixed(label);
    output.AddText(n(done) + std::string(unit) + "  [");
    output.AddFixed("осталось в корзине: ");
    output.AddLine(n(left) + std::string(unit) + "]");
  };
  output.AddLine("");
  counts(N_("Восстановлено файлов:  "), totals.restored_files, totals.left_files, "");
  counts(N_("Восстановлено байт:    "), totals.restored_bytes, totals.left_bytes, " bytes");
  output.AddLine("");
  line(N_("Текущая дата:  "), support::ovSystemTimeToStringDate(now, true));
  line(N_("Текущее время: "), support::ovSystemTimeToStringTime(now));
  const double elapsed = stopwatch.Elapsed();
  output.AddFixed("Процесс занял: ");
  output.AddText(
      support::ovTrimEx(support::LocalText(support::ovFormatTimeInterval(elapsed, true))),
      support::ovTrimEx(support::LocalText(support::ovFormatTimeInterval(elapsed, false))));
  output.AddLine("");
  output.AddLine("");
}

// Reads a record for the list: only a regular file, opened read-only, never waited on.
bool ReadRecordText(platform::FileSystem& files, const std::string& path, std::string* text) {
  platform::File file;
  if (platform::OpenFileByPath(files, path, platform::FileOpening::kReadEntry, &file) !=
      platform::error::kSuccess) {
    return false;
  }
  return file.ReadAll(text) == platform::error::kSuccess;
}

// The folder of the records, named the way PrepareLogFile names the log's folder, without
// making anything: a list only looks.
std::string RecordFolderUnmade() {
  std::string data = support::ovGetSpecialFolder(26);
  if (data.empty()) return "";
  std::string folder =
      support::ovBuildFileName(support::ovBuildFileName(data, "Greyfen Works"), "Sweep Well");
  return support::ovBuildFileName(folder, "Undo");
}

int ListRuns(platform::FileSystem& files, const std::string& folder,
             const std::vector<std::string>& ids) {
  if (ids.empty()) {
    Say(stdout, support::Tr("Нет запусков, которые можно отменить.\n"));
    return kExitOk;
  }
  Say(stdout, support::Tr("Запуски, которые можно отменить (sweepwell --undo RUN):\n"));
  for (const std::string& id : ids) {
    std::string text;
    UndoRun run;
    if (!ReadRecordText(files, UndoRecordPath(folder, id), &text) || !ParseUndoRecord(text, &run)) {
      Say(stdout, Shown(id) + "  [" + support::Tr("запись не читается") + "]\n");
      continue;
    }
    int file_count = 0, in_trash = 0;
    for (const UndoEntry& entry : run.entries) {
      if (entry.failed) continue;
      ++file_count;
      uint64_t size = 0;
      uint32_t error = 0;
      if (!entry.restored &&
          files.FindTrashedEntry(entry.trashed, &size, &error) == TrashEntryStatus::kInTrash) {
        ++in_trash;
      }
    }
    Say(stdout, Shown(id) + "  " + ShownDate(run.started) + "  \"" + Shown(run.script) + "\"  " +
                    support::Fill(support::Tr("файлов: %s, в корзине: %s"),
                                  {std::to_string(file_count), std::to_string(in_trash)}) +
                    (run.undone ? "  [" + support::Tr("отменён") + "]" : "") + "\n");
  }
  return kExitOk;
}

int UndoOneRun(const std::string& folder, const std::string& id, RunContext& context) {
  LockedRecord record;
  UndoRun run;
  std::string path = UndoRecordPath(folder, id);
  if (path.empty()) {
    Say(stderr,
        "sweepwell: " +
            support::Fill(support::Tr("\"%s\" не имя запуска; список: sweepwell --undo --list"),
                          {Shown(id)}) +
            "\n");
    return kExitFailed;
  }
  if (int status = record.Open(*context.file_system, path, id, &run); status != kExitOk) {
    return status;
  }

  Stopwatch stopwatch;
  stopwatch.Start();
  try {
    context.OpenOutput(context.LogFileName, &stopwatch);
  } catch (const support::Error& error) {
    // As for a run: nothing moves unless the log can record it.
    Say(stderr,
        "sweepwell: " +
            support::Fill(support::Tr("журнал \"%s\" не записан: %s; отмена не выполнялась"),
                          {context.LogFileName, support::Tr(error.description())}) +
            "\n");
    return kExitFailed;
  }
  COutput& output = *context.Output;
  output.ShowForm();
  // The run's name and date are verbatim; the script's name is shown as a path is.
  output.AddFilledLine(
      "Отмена запуска %s (скрипт \"%s\", начат %s)",
      {support::LocalText(run.id), Shown(run.script), support::LocalText(ShownDate(run.started))});
  if (run.damaged_lines > 0) {
    output.AddFixed("Строк записи не прочитано: ");
    output.AddLine(std::to_string(run.damaged_lines));
  }
  int status = kExitOk;
  UndoTotals totals;
  bool all_back = true;
  try {
    for (const UndoEntry& entry : run.entries) {
      if (entry.failed) continue;
      UndoEntryAndReport(*context.file_system, output, record, entry, &run.folders, &totals,
                         &all_back);
      output.ProcessPendingEvents(true);
    }
  } catch (const RunInterrupted&) {
    if (output.IsLineOpen()) output.AddLine("");
    output.AddFixedLine("*Прервано* Отмена остановлена по сигналу.");
    status = kExitInterrupted;
    all_back = false;
  }
  if (status == kExitOk) ReportUndoTotals(output, totals, stopwatch);
  if (all_back && !run.undone) record.Append(UndoneLine(RecordDate(platform::GetLocalTime())));
  output.DumpOutput();
  output.CloseLog();
  KeepLogCompressed(context.LogFileName);
  // As for a run: an undo whose log could not be written did not do all that was asked of it.
  if (status == kExitOk && output.LogFailed()) status = kExitFailed;
  output.Console().Unload();
  context.Output.reset();
  return status;
}

}  // namespace

bool IsUndoSwitch(const std::string& argument) {
  return argument == "--undo" || support::UpperCase(argument) == "/UNDO";
}

bool ParseUndoArguments(const std::vector<std::string>& arguments, UndoRequest* request) {
  *request = UndoRequest{};
  if (arguments.empty() || !IsUndoSwitch(arguments[0]) || arguments.size() > 2) return false;
  if (arguments.size() == 1) return true;
  const std::string& second = arguments[1];
  if (second == "--list" || support::UpperCase(second) == "/LIST") {
    request->list = true;
    return true;
  }
  // A run is named as --list shows it; anything that looks like a switch is not one.
  if (second.empty() || second[0] == '-' || second[0] == '/') return false;
  request->run = second;
  return true;
}

int RunUndo(const UndoRequest& request, RunContext& context) {
  if (request.list) {
    // Writes nothing: no data folder, log folder or log is made for a list.
    const std::string folder = RecordFolderUnmade();
    platform::FileSystem& files = *context.file_system;
    return ListRuns(files, folder,
                    folder.empty() ? std::vector<std::string>{} : ListUndoRecords(files, folder));
  }
  if (!PrepareLogFile(context)) {
    Say(stderr, "sweepwell: " + support::Tr("не удалось создать папку журнала") + "\n");
    return kExitFailed;
  }
  const std::string folder = UndoFolderBeside(context.LogFileName);
  const std::vector<std::string> ids = ListUndoRecords(*context.file_system, folder);
  if (!request.run.empty()) return UndoOneRun(folder, request.run, context);
  if (ids.empty()) {
    Say(stderr, "sweepwell: " + support::Tr("нет запусков, которые можно отменить") + "\n");
    return kExitFailed;
  }
  return UndoOneRun(folder, ids.back(), context);
}

}  // namespace sweepwell
