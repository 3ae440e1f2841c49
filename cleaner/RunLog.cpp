#include "cleaner/RunLog.h"

#include <algorithm>

#include "platform/locale.h"
#include "platform/platform.h"
#include "platform/utf8.h"
#include "support/ov_error.h"
#include "support/ov_messages.h"
#include "support/ov_strings.h"

namespace sweepwell {

namespace {

constexpr uint32_t kHandleDiskFull = 39;  // ERROR_HANDLE_DISK_FULL, Windows' other "disk full"

// The smallest memory page of the systems the program runs on; a larger one only makes the
// pieces of WriteAhead safer.
constexpr uint64_t kPage = 4096;

constexpr std::string_view kUtf8Mark = "\xEF\xBB\xBF";

// The size of the UTF-8 sequence at the start of `text` and the character it holds; a byte that
// starts no valid sequence counts alone, as U+FFFD. Surrogates (ED A0..BF xx) are taken as the
// characters they encode: a Windows name may hold a lone one, and its escape keeps it.
size_t DecodeOne(std::string_view text, char32_t* c) {
  const platform::Utf8Sequence sequence = platform::DecodeUtf8(text, true);
  if (sequence.size == 0) {
    *c = 0xFFFD;
    return 1;
  }
  *c = sequence.value;
  return sequence.size;
}

void AppendEscape(char32_t c, std::string* out) {
  constexpr char kDigits[] = "0123456789ABCDEF";
  std::string hex;
  for (; c != 0 || hex.size() < 4; c >>= 4) hex.insert(hex.begin(), kDigits[c & 0xF]);
  *out += "<U+" + hex + ">";
}

bool StartsEscape(std::string_view text, size_t i) { return text.substr(i, 3) == "<U+"; }

uint64_t CountLines(std::string_view text) {
  uint64_t lines = static_cast<uint64_t>(std::count(text.begin(), text.end(), '\n'));
  if (!text.empty() && text.back() != '\n') ++lines;
  return lines;
}

}  // namespace

std::string RunLog::EscapedForAnsi(std::string_view utf8, const PageConversion& to_ansi,
                                   const PageConversion& to_utf8) {
  bool plain = utf8.find("<U+") == std::string_view::npos;
  if (plain) {
    if (std::all_of(utf8.begin(), utf8.end(),
                    [](char c) { return static_cast<unsigned char>(c) < 0x80; })) {
      return std::string(utf8);
    }
    // Most text is held whole by the page: one conversion there and back shows it.
    std::string ansi = to_ansi(utf8);
    if (to_utf8(ansi) == utf8) return ansi;
  }
  std::string out;
  out.reserve(utf8.size() + utf8.size() / 4);
  size_t i = 0;
  while (i < utf8.size()) {
    const auto lead = static_cast<unsigned char>(utf8[i]);
    if (lead < 0x80) {
      // A "<U+" of the text itself is escaped as well, so that every one in the log starts an
      // escape.
      if (StartsEscape(utf8, i)) {
        AppendEscape(U'<', &out);
      } else {
        out += utf8[i];
      }
      ++i;
      continue;
    }
    char32_t c = 0;
    const size_t size = DecodeOne(utf8.substr(i), &c);
    const std::string_view sequence = utf8.substr(i, size);
    std::string ansi;
    if (c != 0xFFFD || sequence == "\xEF\xBF\xBD") ansi = to_ansi(sequence);
    if (!ansi.empty() && to_utf8(ansi) == sequence) {
      out += ansi;
    } else {
      AppendEscape(c, &out);
    }
    i += size;
  }
  return out;
}

RunLog::~RunLog() { Close(); }

uint32_t RunLog::Open(platform::FileSystem& files, const std::string& path,
                      std::string_view first_line) {
  Close();
  uint32_t code = platform::OpenFileByPath(files, path, platform::FileOpening::kAppend, &file_);
  if (code != platform::error::kSuccess) return code;
  uint64_t size = 0;
  char last = '\0';
  size_t got = 0;
  if (file_.GetSize(&size) == platform::error::kSuccess && size > 0 &&
      file_.ReadUpTo(size - 1, &last, 1, &got) == platform::error::kSuccess) {
    needs_line_end_ = got != 1 || last != '\n';
  }
  std::string start(kUtf8Mark.size(), '\0');
  // A log keeps the encoding it was made in; a new one is UTF-8 (with its mark) where the ANSI
  // code page cannot hold the program's messages.
  if (size >= kUtf8Mark.size() &&
      file_.ReadUpTo(0, start.data(), start.size(), &got) == platform::error::kSuccess) {
    utf8_ = got == start.size() && start == kUtf8Mark;
  } else {
    utf8_ = size == 0 && !platform::AnsiHoldsCyrillic();
  }
  if (platform::AnsiIsUtf8()) utf8_ = true;
  std::string line = ForLog(first_line);
  if (size == 0 && utf8_ && !platform::AnsiIsUtf8()) line.insert(0, kUtf8Mark);
  code = Append(line);
  if (code != platform::error::kSuccess) Close();
  return code;
}

std::string RunLog::ForLog(std::string_view text) const {
  const bool run_utf8 = platform::RunTextIsUtf8() || platform::AnsiIsUtf8();
  if (run_utf8 == utf8_) return std::string(text);
  if (utf8_) return platform::AnsiToUtf8(text);
  return EscapedForAnsi(text, &platform::Utf8ToAnsi, &platform::AnsiToUtf8);
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
  uint32_t code = file_.Write(text, &written);
  if (code == platform::error::kSuccess) {
    needs_line_end_ = false;
    return code;
  }
  if (written == 0) return code;
  // Part of the text went in: take it out again, but only when nothing was appended after it
  // (another run's lines stay where they are, and this run's next line starts a line instead).
  uint64_t position = 0, size = 0;
  bool cut = file_.GetPosition(&position) == platform::error::kSuccess &&
             file_.GetSize(&size) == platform::error::kSuccess &&
             size == position && position >= written &&
             file_.Truncate(position - written) == platform::error::kSuccess;
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
    code = Append(ForLog(with_note));
  } else {
    code = Append(ForLog(text));
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

uint32_t RunLog::WriteAhead(std::string_view run_text) {
  if (!IsOpen()) return platform::error::kInvalidHandle;
  if (missed_since_note_ > 0) return last_error_;
  const std::string encoded = ForLog(run_text);
  std::string_view text = encoded;
  end_ = 0;
  uint64_t start = 0;
  if (needs_line_end_ || platform::kTextLineEnd != std::string_view("\n") ||
      file_.GetSize(&start) != platform::error::kSuccess) {
    const uint32_t code = Append(text);
    if (code == platform::error::kSuccess) file_.GetSize(&end_);
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
    const uint32_t code = file_.Write(text.substr(0, piece), &written);
    if (code != platform::error::kSuccess) {
      // Nothing of the batch stays, unless another run wrote after it.
      uint64_t now = 0;
      if (file_.GetSize(&now) != platform::error::kSuccess ||
          now != size + written ||
          file_.Truncate(start) != platform::error::kSuccess) {
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

bool RunLog::TakeBack(std::string_view run_tail) {
  if (!IsOpen() || run_tail.empty()) return true;
  // The tail starts a line, so alone it encodes to the bytes it took in the batch.
  const std::string tail = ForLog(run_tail);
  uint64_t bytes = tail.size();
  if (platform::kTextLineEnd != std::string_view("\n")) {
    bytes += static_cast<uint64_t>(std::count(tail.begin(), tail.end(), '\n')) *
             (platform::kTextLineEnd.size() - 1);
  }
  // The file still ending where this run's last write left it means nobody wrote after it.
  uint64_t size = 0;
  if (end_ < bytes || file_.GetSize(&size) != platform::error::kSuccess ||
      size != end_ || file_.Truncate(end_ - bytes) != platform::error::kSuccess) {
    return false;
  }
  end_ -= bytes;
  return true;
}

void RunLog::Close() {
  file_.Close();
}

std::string RunLog::MissedLinesNote(uint64_t lines, uint32_t code) {
  return "*** Пропущено строк журнала: " + std::to_string(lines) + " (" + Cause(code) + ") ***\n";
}

std::string RunLog::Cause(uint32_t code) {
  switch (code) {
    case platform::error::kDiskFull:
    case kHandleDiskFull:
      return N_("диск заполнен");
    case platform::error::kDiskQuotaExceeded:
      return N_("превышена дисковая квота");
    case platform::error::kWriteProtect:
      return N_("файловая система только для чтения");
    case platform::error::kAccessDenied:
      return N_("отказано в доступе");
    case platform::error::kFileTooLarge:
      return N_("файл журнала достиг предельного размера");
    case platform::error::kBadFileType:
      return N_("это не обычный файл (папка, канал или устройство)");
    default:
      return support::StandardDescription(support::ErrNumberFromWin32(code)) + " (код " +
             std::to_string(code) + ")";
  }
}

}  // namespace sweepwell
