#include "cleaner/RunLog.h"

#include <algorithm>

#include "platform/platform.h"
#include "support/ov_error.h"
#include "support/ov_strings.h"

namespace sweepwell {

namespace {

constexpr uint32_t kHandleDiskFull = 39;  // ERROR_HANDLE_DISK_FULL, Windows' other "disk full"

// The smallest memory page of the systems the program runs on; a larger one only makes the
// pieces of WriteAhead safer.
constexpr uint64_t kPage = 4096;

uint64_t CountLines(std::string_view text) {
  uint64_t lines = static_cast<uint64_t>(std::count(text.begin(), text.end(), '\n'));
  if (!text.empty() && text.back() != '\n') ++lines;
  return lines;
}

}  // namespace

RunLog::~RunLog() { Close(); }

uint32_t RunLog::Open(const std::string& path, std::string_view first_line) {
  Close();
  uint32_t code = platform::OpenForAppend(path, &handle_);
  if (code != platform::error::kSuccess) return code;
  uint64_t size = 0;
  std::string last;
  if (platform::GetFileSize(handle_, &size) == platform::error::kSuccess && size > 0 &&
      platform::ReadFileAt(handle_, size - 1, 1, &last) == platform::error::kSuccess) {
    needs_line_end_ = last != "\n";
  }
  code = Append(first_line);
  if (code != platform::error::kSuccess) Close();
  return code;
}

uint32_t RunLog::Append(std::string_view text) {
  // The run's text ends its lines with LF alone; the file ends them as the system's text files
  // do (CR LF on Windows, where peers read the log with that in mind).
  const std::string_view line_end = platform::kTextLineEnd;
  std::string joined;
  if (needs_line_end_ || line_end != "\n") {
    joined.reserve(text.size() + text.size() / 32 + 2);
    if (needs_line_end_) joined += line_end;
    for (size_t i = 0; i < text.size(); ++i) {
      if (text[i] == '\n' && line_end != "\n" && (i == 0 || text[i - 1] != '\r')) {
        joined += line_end;
      } else {
        joined += text[i];
      }
    }
    text = joined;
  }
  size_t written = 0;
  uint32_t code = platform::WriteAll(handle_, text, &written);
  if (code == platform::error::kSuccess) {
    needs_line_end_ = false;
    return code;
  }
  if (written == 0) return code;
  // Part of the text went in: take it out again, but only when nothing was appended after it
  // (another run's lines stay where they are, and this run's next line starts a line instead).
  uint64_t position = 0, size = 0;
  bool cut = platform::GetFilePosition(handle_, &position) == platform::error::kSuccess &&
             platform::GetFileSize(handle_, &size) == platform::error::kSuccess &&
             size == position && position >= written &&
             platform::TruncateFile(handle_, position - written) == platform::error::kSuccess;
  if (!cut) needs_line_end_ = true;
  return code;
}

RunLog::WriteResult RunLog::Write(std::string_view text) {
  if (!IsOpen()) return WriteResult::kClosed;
  if (text.empty()) return WriteResult::kWritten;
  end_ = 0;
  const bool was_failing = missed_since_note_ > 0;
  uint32_t code;
  if (was_failing) {
    std::string with_note = support::LocalText(MissedLinesNote(missed_since_note_, last_error_));
    with_note += text;
    code = Append(with_note);
  } else {
    code = Append(text);
  }
  if (code == platform::error::kSuccess) {
    missed_since_note_ = 0;
    return was_failing ? WriteResult::kRecovered : WriteResult::kWritten;
  }
  const uint64_t lines = CountLines(text);
  missed_since_note_ += lines;
  missed_total_ += lines;
  last_error_ = code;
  return was_failing ? WriteResult::kStillFailing : WriteResult::kFailed;
}

uint32_t RunLog::WriteAhead(std::string_view text) {
  if (!IsOpen()) return platform::error::kInvalidHandle;
  if (missed_since_note_ > 0) return last_error_;
  end_ = 0;
  uint64_t start = 0;
  if (needs_line_end_ || platform::kTextLineEnd != std::string_view("\n") ||
      platform::GetFileSize(handle_, &start) != platform::error::kSuccess) {
    const uint32_t code = Append(text);
    if (code == platform::error::kSuccess) platform::GetFileSize(handle_, &end_);
    return code;
  }
  // A process killed while it writes to a file stops between two pages of it: the kernel looks
  // for a fatal signal before it copies each one. A piece of whole lines that stays inside one
  // page arrives whole or not at all, so a batch goes in such pieces, and only a line that
  // crosses a page boundary is written across one (as a line written alone would be).
  uint64_t size = start;
  while (!text.empty()) {
    const size_t room = static_cast<size_t>(kPage - size % kPage);
    size_t piece = text.size();
    if (piece > room) {
      const size_t last_end = text.rfind('\n', room - 1);
      if (last_end != std::string_view::npos) {
        piece = last_end + 1;
      } else if (const size_t first_end = text.find('\n'); first_end != std::string_view::npos) {
        piece = first_end + 1;
      }
    }
    size_t written = 0;
    const uint32_t code = platform::WriteAll(handle_, text.substr(0, piece), &written);
    if (code != platform::error::kSuccess) {
      // Nothing of the batch stays, unless another run wrote after it.
      uint64_t now = 0;
      if (platform::GetFileSize(handle_, &now) != platform::error::kSuccess ||
          now != size + written ||
          platform::TruncateFile(handle_, start) != platform::error::kSuccess) {
        needs_line_end_ = written > 0;
      }
      return code;
    }
    size += piece;
    text.remove_prefix(piece);
  }
  end_ = size;
  return platform::error::kSuccess;
}

bool RunLog::TakeBack(std::string_view tail) {
  if (!IsOpen() || tail.empty()) return true;
  uint64_t bytes = tail.size();
  if (platform::kTextLineEnd != std::string_view("\n")) {
    bytes += static_cast<uint64_t>(std::count(tail.begin(), tail.end(), '\n')) *
             (platform::kTextLineEnd.size() - 1);
  }
  // The file still ending where this run's last write left it means nobody wrote after it.
  uint64_t size = 0;
  if (end_ < bytes || platform::GetFileSize(handle_, &size) != platform::error::kSuccess ||
      size != end_ || platform::TruncateFile(handle_, end_ - bytes) != platform::error::kSuccess) {
    return false;
  }
  end_ -= bytes;
  return true;
}

void RunLog::Close() {
  platform::CloseFile(handle_);
  handle_ = platform::kInvalidFile;
}

std::string RunLog::MissedLinesNote(uint64_t lines, uint32_t code) {
  return "*** Пропущено строк журнала: " + std::to_string(lines) + " (" + Cause(code) + ") ***\n";
}

std::string RunLog::Cause(uint32_t code) {
  switch (code) {
    case platform::error::kDiskFull:
    case kHandleDiskFull:
      return "диск заполнен";
    case platform::error::kDiskQuotaExceeded:
      return "превышена дисковая квота";
    case platform::error::kWriteProtect:
      return "файловая система только для чтения";
    case platform::error::kAccessDenied:
      return "отказано в доступе";
    case platform::error::kFileTooLarge:
      return "файл журнала достиг предельного размера";
    case platform::error::kBadFileType:
      return "это не обычный файл (папка, канал или устройство)";
    default:
      return support::StandardDescription(support::ErrNumberFromWin32(code)) + " (код " +
             std::to_string(code) + ")";
  }
}

}  // namespace sweepwell
