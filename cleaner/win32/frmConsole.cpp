// The console of a run on Windows: the program's window with its one read-only text box
// (platform/console_window.h). The run's text arrives as UTF-8 (platform::RunTextIsUtf8 is always
// true here) and is shown in the box as UTF-16, so every character of a name and of a message
// shows whatever the ANSI code page is.
#include "cleaner/frmConsole.h"

#include "platform/console_window.h"
#include "platform/locale.h"
#include "support/ov_unicode.h"

namespace sweepwell {

namespace {

constexpr char16_t kWindowTitle[] = u"Sweep well";
constexpr char kIconResource[] = "A_MAIN";
constexpr char kAboutTitle[] = "Orvanel - Sweep well";
constexpr char kAboutCaption[] = "Лоом";

// The description is a text resource of the program's file, stored in code page 1251 so that
// resource editors of the Russian Windows it was written for show it as it is.
constexpr char kDescriptionType[] = "TEXT_DATABLOCK";
constexpr char kDescriptionName[] = "DESCRIPTION";
constexpr unsigned kDescriptionCodePage = 1251;

}  // namespace

frmConsole::~frmConsole() { Unload(); }

void frmConsole::Load() {
  if (loaded_) return;
  loaded_ = true;
  window_ = std::make_shared<platform::ConsoleWindow>(kWindowTitle, kIconResource);
  window_->Show();
}

void frmConsole::Unload() { window_.reset(); }

void frmConsole::AddText(std::string_view text) {
  if (window_ == nullptr || text.empty()) return;
  // A key typed before this text appeared did not answer anything it says.
  close_key_pending_ = false;
  window_->AppendText(platform::RunTextIsUtf8() ? support::Utf16FromUtf8(text)
                                                : support::ovStrConvW(text));
}

void frmConsole::Flush() {
  if (window_ != nullptr) window_->ShowPendingText();
}

void frmConsole::ProcessEvents(bool /*may_stop*/) {
  if (window_ == nullptr) return;
  platform::ConsoleEvents events = window_->ProcessMessages();
  if (events.key_pressed) close_key_pending_ = true;
  if (events.help_requested) ShowAbout();
}

bool frmConsole::StopRequested() const { return false; }

bool frmConsole::IsInteractive() const { return window_ != nullptr && window_->IsOpen(); }

void frmConsole::WaitForCloseKey() {
  if (!IsInteractive()) return;
  window_->AllowClose();
  if (close_key_pending_) {
    close_key_pending_ = false;
    window_->Close();
    return;
  }
  for (;;) {
    platform::ConsoleEvents events = window_->WaitForEvent();
    if (events.closed || !window_->IsOpen()) return;
    if (events.key_pressed) {
      window_->Close();
      return;
    }
    if (events.help_requested) ShowAbout();
  }
}

void frmConsole::ShowAbout() {
  Flush();  // the box behind the about box shows the run as far as it got
  platform::AboutBoxText about;
  about.title = support::Utf16FromUtf8(kAboutTitle);
  about.version = support::Utf16FromUtf8(SWEEPWELL_VERSION);
  about.description =
      platform::LoadTextResource(kDescriptionType, kDescriptionName, kDescriptionCodePage);
  about.caption = support::Utf16FromUtf8(kAboutCaption);
  platform::ShowAboutBox(window_ != nullptr ? window_->NativeHandle() : 0, about);
}

void ShowUsageMessage(const std::string& title, const std::string& text,
                      bool /*bad_command_line*/) {
  // A message box needs no line end after its last line.
  std::string shown = text;
  while (!shown.empty() && shown.back() == '\n') shown.pop_back();
  platform::ShowUsageBox(support::Utf16FromUtf8(title), support::Utf16FromUtf8(shown));
}

void ShowVersionMessage(const std::string& title, const std::string& version) {
  platform::ShowUsageBox(support::Utf16FromUtf8(title),
                         support::Utf16FromUtf8(title + "\nВерсия " + version));
}

std::string UsageProgramName(const std::string& terminal_name) {
  std::u16string name = platform::ProgramFileTitle();
  return name.empty() ? terminal_name : support::Utf8FromUtf16(name);
}

}  // namespace sweepwell
