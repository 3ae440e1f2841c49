#include "cleaner/UndoRecord.h"

#include <algorithm>
#include <cstdio>

#include "cleaner/RunLog.h"
#include "cleaner/modMain.h"
#include "support/ov_error.h"
#include "support/ov_messages.h"
#include "support/ov_paths.h"
#include "support/ov_strings.h"

namespace sweepwell {

namespace {

constexpr char kHeader[] = "Sweepwell undo record 1";
constexpr char kExtension[] = ".undo";

bool MustEncode(unsigned char c) { return c < 0x20 || c == 0x7F || c == '%'; }

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

std::vector<std::string_view> Fields(std::string_view line) {
  std::vector<std::string_view> fields;
  size_t start = 0;
  for (;;) {
    size_t tab = line.find('\t', start);
    fields.push_back(line.substr(start, tab == std::string_view::npos ? tab : tab - start));
    if (tab == std::string_view::npos) return fields;
    start = tab + 1;
  }
}

bool ParseIndex(std::string_view text, int limit, int* index) {
  if (text.empty() || text.size() > 9) return false;
  int value = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
    value = value * 10 + (c - '0');
  }
  if (value < 1 || value > limit) return false;
  *index = value;
  return true;
}

// A number of up to 11 digits in `base` (8 or 10) that fits 32 bits.
bool ParseNumber(std::string_view text, unsigned base, uint32_t* value) {
  if (text.empty() || text.size() > 11) return false;
  uint64_t number = 0;
  for (char c : text) {
    if (c < '0' || c >= static_cast<char>('0' + base)) return false;
    number = number * base + static_cast<unsigned>(c - '0');
  }
  if (number > UINT32_MAX) return false;
  *value = static_cast<uint32_t>(number);
  return true;
}

// One line of the record after the header; false when it cannot be read.
bool ParseLine(std::string_view line, UndoRun* run) {
  std::vector<std::string_view> f = Fields(line);
  if (f[0] == "trash" && f.size() == 5) {
    UndoEntry entry;
    entry.index = static_cast<int>(run->entries.size()) + 1;
    entry.trashed.deletion_date = std::string(f[1]);
    if (!DecodeRecordField(f[2], &entry.trashed.trash_folder) ||
        !DecodeRecordField(f[3], &entry.trashed.name) ||
        !DecodeRecordField(f[4], &entry.trashed.original_path)) {
      return false;
    }
    run->entries.push_back(std::move(entry));
    return true;
  }
  if (f[0] == "folder" && f.size() == 5) {
    std::string path;
    platform::FolderState state;
    if (!DecodeRecordField(f[1], &path) || path.empty() || !ParseNumber(f[2], 8, &state.mode) ||
        state.mode > 07777 || !ParseNumber(f[3], 10, &state.owner) ||
        !ParseNumber(f[4], 10, &state.group)) {
      return false;
    }
    run->folders.emplace(std::move(path), state);
    return true;
  }
  if (f[0] == "link" && f.size() == 4) {
    std::string path;
    platform::FolderState state;
    if (!DecodeRecordField(f[1], &path) || path.empty() || !DecodeRecordField(f[2], &state.link) ||
        state.link.empty() || !ParseNumber(f[3], 10, &state.owner)) {
      return false;
    }
    run->folders.emplace(std::move(path), state);
    return true;
  }
  int index = 0;
  const int count = static_cast<int>(run->entries.size());
  if (f[0] == "failed" && f.size() == 2 && ParseIndex(f[1], count, &index)) {
    run->entries[index - 1].failed = true;
    return true;
  }
  if (f[0] == "restored" && f.size() == 3 && ParseIndex(f[1], count, &index)) {
    run->entries[index - 1].restored = true;
    return true;
  }
  if (f[0] == "undone" && f.size() == 2) {
    run->undone = true;
    return true;
  }
  return false;
}

}  // namespace

std::string EncodeRecordField(std::string_view bytes) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string out;
  out.reserve(bytes.size());
  for (char ch : bytes) {
    unsigned char c = static_cast<unsigned char>(ch);
    if (MustEncode(c)) {
      out += '%';
      out += kHex[c >> 4];
      out += kHex[c & 0xF];
    } else {
      out += ch;
    }
  }
  return out;
}

bool DecodeRecordField(std::string_view field, std::string* bytes) {
  bytes->clear();
  for (size_t i = 0; i < field.size(); ++i) {
    if (field[i] != '%') {
      bytes->push_back(field[i]);
      continue;
    }
    if (i + 2 >= field.size() || HexValue(field[i + 1]) < 0 || HexValue(field[i + 2]) < 0) {
      return false;
    }
    bytes->push_back(static_cast<char>(HexValue(field[i + 1]) * 16 + HexValue(field[i + 2])));
    i += 2;
  }
  return true;
}

std::string RecordDate(const platform::SystemTime& t) {
  char text[32];
  std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d", t.year, t.month, t.day, t.hour,
                t.minute, t.second);
  return text;
}

std::string RestoredLine(int index, const std::string& date) {
  return "restored\t" + std::to_string(index) + "\t" + date + "\n";
}

std::string UndoneLine(const std::string& date) { return "undone\t" + date + "\n"; }

std::string UndoFolderBeside(const std::string& log_file_name) {
  size_t slash = log_file_name.rfind(platform::kPathSeparator);
  std::string folder = slash == std::string::npos ? "." : log_file_name.substr(0, slash);
  return support::ovBuildFileName(folder, "Undo");
}

UndoRecord::UndoRecord(platform::FileSystem& files, std::string folder, const std::string& script,
                       const platform::SystemTime& started)
    : files_(files),
      folder_(std::move(folder)),
      script_(platform::AbsolutePath(script)),
      started_(RecordDate(started)) {
  char id[64];
  std::snprintf(id, sizeof id, "%04d-%02d-%02d_%02d-%02d-%02d_%u", started.year, started.month,
                started.day, started.hour, started.minute, started.second,
                platform::CurrentProcessId());
  id_ = id;
}

UndoRecord::~UndoRecord() {
  if (!file_.IsOpen()) return;
  // What the kill of a process cannot lose, a power cut could: the entries go to the disk once,
  // at the end, rather than once per entry.
  file_.Sync();
}

bool UndoRecord::Open() {
  if (file_.IsOpen()) return true;
  if (failed_) return false;
  if (const uint32_t code = support::CreateComplexDirectoryOn(files_, folder_);
      code != platform::error::kSuccess) {
    Fail(code);
    return false;
  }
  // Two runs started in the same second by the same process id cannot both exist, but a record
  // is never replaced all the same. It is locked before it has its name: an undo that finds it
  // finds it held.
  for (int attempt = 1; attempt < 100; ++attempt) {
    std::string name = id_ + (attempt > 1 ? "-" + std::to_string(attempt) : "") + kExtension;
    path_ = support::ovBuildFileName(folder_, name);
    uint32_t code =
        platform::OpenFileByPath(files_, path_, platform::FileOpening::kCreateLocked, &file_);
    if (code == platform::error::kFileExists) continue;
    if (code != platform::error::kSuccess) {
      Fail(code);
      return false;
    }
    Write(std::string(kHeader) + "\nstarted\t" + started_ + "\nscript\t" +
          EncodeRecordField(script_) + "\n");
    return !failed_;
  }
  Fail(platform::error::kFileExists);
  return false;
}

void UndoRecord::Write(const std::string& line) {
  if (failed_) return;
  uint32_t code = file_.Write(line);
  if (code != platform::error::kSuccess) Fail(code);
}

void UndoRecord::Fail(uint32_t code) {
  if (failed_) return;
  failed_ = true;
  // The run goes on with what it deletes for good; what it would trash is refused from here on
  // (see WatchMove), as an entry trashed without a record could not be undone.
  std::string where = path_.empty() ? folder_ : path_;
  // Standard error only: the user's language.
  // A full disk, a quota or a read-only volume is named as the log names it.
  const bool named_as_log = code == platform::error::kDiskFull ||
                            code == platform::error::kDiskQuotaExceeded ||
                            code == platform::error::kWriteProtect;
  const std::string why =
      support::Tr(code == platform::error::kLockViolation ? N_("её держит другой процесс")
                  : named_as_log                          ? RunLog::Cause(code)
                                 : support::StandardDescription(Win32ErrorToErrNumber(code)));
  std::string message = "sweepwell: " +
                        support::Fill(support::Tr("запись для отмены \"%s\" не сохранена: %s; в "
                                                  "корзину больше ничего не перемещается"),
                                      {where, why}) +
                        "\n";
  message = support::AnsiText(message);
  std::fwrite(message.data(), 1, message.size(), stderr);
  std::fflush(stderr);
}

void UndoRecord::WatchMove(platform::TrashMove* move) {
  announced_.clear();
  move->before_move = [this, move](const platform::TrashedEntry& entry) { Announce(entry, move); };
}

void UndoRecord::WriteFoldersOnTheWay(const std::string& path) {
  // From the entry's own folder up to the first one written already (or the root): what the
  // run may empty and remove lies below the script's folders, and those are written once.
  std::vector<std::string> missing;
  for (size_t slash = path.rfind('/'); slash != std::string::npos && slash > 0;
       slash = path.rfind('/', slash - 1)) {
    std::string folder = path.substr(0, slash);
    if (folders_written_.count(folder) != 0) break;
    missing.push_back(std::move(folder));
  }
  for (auto it = missing.rbegin(); it != missing.rend(); ++it) {
    folders_written_.insert(*it);
    platform::FolderState state;
    if (!files_.DescribeFolder(*it, &state)) continue;
    if (!state.link.empty()) {
      Write("link\t" + EncodeRecordField(*it) + "\t" + EncodeRecordField(state.link) + "\t" +
            std::to_string(state.owner) + "\n");
      continue;
    }
    char numbers[48];
    std::snprintf(numbers, sizeof numbers, "\t%o\t%u\t%u\n", static_cast<unsigned>(state.mode),
                  static_cast<unsigned>(state.owner), static_cast<unsigned>(state.group));
    Write("folder\t" + EncodeRecordField(*it) + numbers);
  }
}

void UndoRecord::Announce(const platform::TrashedEntry& entry, platform::TrashMove* move) {
  if (!Open() || failed_) {
    move->refused = true;
    return;
  }
  WriteFoldersOnTheWay(entry.original_path);
  ++entries_;
  announced_.push_back(entries_);
  Write("trash\t" + entry.deletion_date + "\t" + EncodeRecordField(entry.trash_folder) + "\t" +
        EncodeRecordField(entry.name) + "\t" + EncodeRecordField(entry.original_path) + "\n");
  // A line that did not reach the record would leave the entry unrecorded in the trash.
  if (failed_) move->refused = true;
}

void UndoRecord::MoveFinished(bool moved) {
  // Only the last announcement of a successful move stands for an entry in the trash.
  if (moved && !announced_.empty()) announced_.pop_back();
  for (int index : announced_) Write("failed\t" + std::to_string(index) + "\n");
  announced_.clear();
}

bool ParseUndoRecord(std::string_view text, UndoRun* run) {
  *run = UndoRun{};
  std::vector<std::string_view> lines;
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    // A last line without its end was cut by a full disk or a crash in the middle of a write.
    if (end == std::string_view::npos) break;
    lines.push_back(text.substr(start, end - start));
    start = end + 1;
  }
  if (lines.size() < 3 || lines[0] != kHeader) return false;
  std::vector<std::string_view> started = Fields(lines[1]), script = Fields(lines[2]);
  if (started.size() != 2 || started[0] != "started" || script.size() != 2 ||
      script[0] != "script" || !DecodeRecordField(script[1], &run->script)) {
    return false;
  }
  run->started = std::string(started[1]);
  for (size_t i = 3; i < lines.size(); ++i) {
    if (!ParseLine(lines[i], run)) ++run->damaged_lines;
  }
  return true;
}

std::vector<std::string> ListUndoRecords(platform::FileSystem& files, const std::string& folder) {
  std::vector<std::string> ids;
  uint32_t code = platform::error::kSuccess;
  const platform::Folder opened = files.OpenFolder(folder, &code, true);
  std::vector<platform::FindRecord> records;
  if (!opened.IsOpen() || files.ListFolder(opened, &records) != platform::error::kSuccess) {
    return ids;
  }
  const std::string_view extension = kExtension;
  for (const platform::FindRecord& record : records) {
    if ((record.attributes & platform::attr::kDirectory) == 0 &&
        record.name.size() > extension.size() && record.name.ends_with(extension)) {
      ids.push_back(record.name.substr(0, record.name.size() - extension.size()));
    }
  }
  std::sort(ids.begin(), ids.end());
  return ids;
}

std::string UndoRecordPath(const std::string& folder, const std::string& id) {
  if (id.empty() || id == "." || id == ".." || id.find('/') != std::string::npos ||
      id.find('\\') != std::string::npos || id.find('\0') != std::string::npos) {
    return "";
  }
  return support::ovBuildFileName(folder, id + kExtension);
}

}  // namespace sweepwell
