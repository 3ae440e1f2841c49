#include "cleaner/frmConsole.h"

#include "cleaner/Description.h"
#include "support/ov_messages.h"
#include "support/ov_strings.h"

namespace sweepwell {

namespace {

constexpr char kAboutTitle[] = "Orvanel - Sweep well";
constexpr char kAboutCaption[] = "Лоом";

// Standard output that is not a terminal is written in blocks of this size: one write per line
// would cost a system call for every file of a large tree.
constexpr size_t kBlockSize = 64 * 1024;

// How long one wait for the closing key may block before the stop flag is looked at again: a
// signal that arrives just before the wait starts would otherwise go unnoticed until a key.
constexpr int kCloseKeyPollMs = 250;

std::string AboutText() {
  const std::string rule(78, '-');
  std::string text;
  text += rule + "\n";
  text += kAboutTitle;
  text += "\n" + support::Tr("Версия ") + SWEEPWELL_VERSION "\n\n";
  text += ProgramDescription();
  text += "\n\n";
  text += kAboutCaption;
  text += "\n" + rule + "\n";
  return support::AnsiText(text);
}

}  // namespace

frmConsole::~frmConsole() { Unload(); }

void frmConsole::Load() {
  if (loaded_) return;
  loaded_ = true;
  output_is_terminal_ = platform::IsTerminal(platform::StdStream::kOutput);
  platform::InstallStopSignalHandlers();
  if (platform::CanReadKeys()) {
    raw_mode_.emplace();
    // Without the raw mode keys would come only after Enter, and a prompt to press any key
    // would lie; such a console behaves as one without a keyboard.
    interactive_ = raw_mode_->Active();
    if (!interactive_) raw_mode_.reset();
  }
}

void frmConsole::Unload() {
  Flush();
  raw_mode_.reset();
  interactive_ = false;
}

void frmConsole::AddText(std::string_view text) {
  // The terminal shows the ANSI code page, whatever the run's text is carried in.
  pending_ += support::RunTextToAnsi(text);
  if (output_is_terminal_) {
    size_t line_end = pending_.rfind('\n');
    if (line_end != std::string::npos) WritePending(line_end + 1);
  } else if (pending_.size() >= kBlockSize) {
    WritePending(pending_.size());
  }
}

void frmConsole::Flush() {
  if (!pending_.empty()) WritePending(pending_.size());
}

void frmConsole::WritePending(size_t length) {
  if (interactive_) DrainKeys();
  WriteToScreen(std::string_view(pending_).substr(0, length));
  pending_.erase(0, length);
}

void frmConsole::WriteToScreen(std::string_view bytes) {
  platform::WriteAll(platform::StdStream::kOutput, bytes);
  if (!output_is_terminal_) return;
  size_t line_end = bytes.rfind('\n');
  if (line_end == std::string_view::npos) {
    screen_line_ += bytes;
  } else {
    screen_line_.assign(bytes.substr(line_end + 1));
  }
}

void frmConsole::DrainKeys() {
  platform::Key key;
  while (keys_.Read(0, &key) == platform::KeyReader::Result::kKey) {
    if (key == platform::Key::kF1) ShowAbout();
  }
  close_key_pending_ = false;
}

void frmConsole::ProcessEvents(bool may_stop) {
  if (interactive_) {
    platform::Key key;
    while (keys_.Read(0, &key) == platform::KeyReader::Result::kKey) {
      if (key == platform::Key::kF1) {
        ShowAbout();
      } else {
        close_key_pending_ = true;
      }
    }
  }
  if (may_stop && platform::StopRequested()) throw RunInterrupted{};
}

bool frmConsole::StopRequested() const { return platform::StopRequested(); }

bool frmConsole::IsInteractive() const { return loaded_ ? interactive_ : platform::CanReadKeys(); }

void frmConsole::WaitForCloseKey() {
  Flush();
  if (!interactive_) return;
  // Text that went to a file or a pipe was never on the screen, so no key so far answered it.
  if (!output_is_terminal_) DrainKeys();
  if (close_key_pending_) {
    close_key_pending_ = false;
    return;
  }
  for (;;) {
    if (platform::StopRequested()) return;
    platform::Key key;
    switch (keys_.Read(kCloseKeyPollMs, &key)) {
      case platform::KeyReader::Result::kKey:
        if (key != platform::Key::kF1) return;
        ShowAbout();
        break;
      case platform::KeyReader::Result::kClosed:
        return;  // the terminal is gone: no key can ever come
      case platform::KeyReader::Result::kNoKey:
      case platform::KeyReader::Result::kInterrupted:
        break;
    }
  }
}

void frmConsole::ShowAbout() {
  const std::string about = AboutText();
  if (!output_is_terminal_) {
    platform::WriteAll(platform::StdStream::kError, "\n" + about);
    return;
  }
  // The about text is not part of the run: it must neither glue itself to the end of the
  // run's unfinished line nor leave that line's start behind above it.
  std::string cut_line = screen_line_;
  if (!cut_line.empty()) WriteToScreen("\n");
  WriteToScreen(about);
  if (!cut_line.empty()) WriteToScreen(cut_line);
}

void ShowUsageMessage(const std::string& title, const std::string& text, bool bad_command_line) {
  platform::WriteAll(bad_command_line ? platform::StdStream::kError : platform::StdStream::kOutput,
                     support::AnsiText(title + "\n\n" + text));
}

void ShowVersionMessage(const std::string& title, const std::string& version) {
  platform::WriteAll(platform::StdStream::kOutput, support::AnsiText(title + " " + version + "\n"));
}

std::string UsageProgramName(const std::string& terminal_name) { return terminal_name; }

}  // namespace sweepwell
