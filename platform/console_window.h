// The console window of the program on Windows: one window whose only control is a read-only
// multi-line text box showing everything a run reports, and the message boxes around it (the
// about box and the usage box). No Windows type crosses this header: text is UTF-16, resource
// names are ASCII. Only the Win32 backend implements it (win32/console_window*.cpp); on Linux the
// terminal is the console (terminal.h).
//
// One thread: every function must be called on the thread that created the window, and the
// window reacts to the user only while ProcessMessages or WaitForEvent runs (the program calls
// the first after every piece of text it shows).
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

namespace platform {

// The text box is emptied before a piece of text is appended once it holds more than this many
// characters (line ends count as two), so a long run never makes it slow or full.
inline constexpr size_t kConsoleTextLimit = 20000;

// What the user did while messages were handled. Keys are those pressed while the window (or its
// text box) had the keyboard; a lone Shift, Ctrl, Alt or Windows key is not counted.
struct ConsoleEvents {
  bool help_requested = false;  // F1 without Shift, Ctrl or Alt
  bool key_pressed = false;     // any other key, F1 with a modifier included
  bool close_refused = false;   // a close request (close box, Alt+F4, end of session) was refused
  bool closed = false;          // the window has closed (only after AllowClose)

  bool Any() const { return help_requested || key_pressed || close_refused || closed; }
};

class ConsoleWindow {
 public:
  // Creates the window, hidden: `title` is its caption, `icon_resource` the name of an icon group
  // in the program's file (big and small icon; "" or a missing group leaves the system's icon).
  // The client area is 594 x 357 pixels at 96 dots per inch (scaled to the screen), centred on
  // the screen's work area; the text box fills it, in 9 pt "Courier New" (Cyrillic character
  // set), light grey on black. Failure (no desktop to draw on) leaves IsOpen() false, and then
  // every other member does nothing.
  ConsoleWindow(std::u16string_view title, std::string_view icon_resource);
  // Destroys the window if it is still open.
  ~ConsoleWindow();
  ConsoleWindow(const ConsoleWindow&) = delete;
  ConsoleWindow& operator=(const ConsoleWindow&) = delete;

  // Shows the window and makes it the active one.
  void Show();

  // True from a successful creation until the window has closed.
  bool IsOpen() const;

  // Appends `text` at the end of the text box and scrolls to it; "\n" not preceded by "\r" is
  // shown as a line end. When the box already holds more than kConsoleTextLimit characters it is
  // emptied first (completely: no line survives), so `text` then stands alone in it.
  void AppendText(std::u16string_view text);

  // The box shows appended text within a twentieth of a second or so (drawing is batched while
  // text comes fast); this brings it up to date now. Waiting for an event and Text() do so too.
  void ShowPendingText();

  // The whole text of the box, line ends as CR LF (brought up to date first).
  std::u16string Text() const;

  // Handles every message already waiting, without waiting for more, and reports what happened.
  ConsoleEvents ProcessMessages();

  // Waits until the user does something that ProcessMessages reports (or the window closes) and
  // reports it; keys are handled as there. Returns at once when the window is not open.
  ConsoleEvents WaitForEvent();

  // Until this is called, every close request is refused (and reported); from now on a close
  // request closes the window.
  void AllowClose();

  // Closes the window as a granted close request would.
  void Close();

  // The window as an owner for message boxes: an opaque value, 0 when not open.
  uintptr_t NativeHandle() const;

 private:
  struct State;
  std::unique_ptr<State> state_;
};

// What the about box shows.
struct AboutBoxText {
  std::u16string title;        // the application's title
  std::u16string version;      // "1.0.0"
  std::u16string description;  // a few paragraphs, lines ended by "\n" or CR LF
  std::u16string caption;      // the box's caption
};

// Shows the about box, modal to `owner` (ConsoleWindow::NativeHandle, or 0 for none), and returns
// when the user has dismissed it. While it is up, the owner's messages are still handled
// (repainting; close requests are refused as usual) but its keys are not.
void ShowAboutBox(uintptr_t owner, const AboutBoxText& about);

// Shows the usage text in a message box with the information icon and an OK button, captioned
// `title`, and returns when the user has dismissed it. Lines of `text` end in "\n".
void ShowUsageBox(std::u16string_view title, std::u16string_view text);

// A text resource of the program's file (type and name as strings, e.g. "TEXT_DATABLOCK",
// "DESCRIPTION") decoded from the 8-bit `code_page` it is stored in; "" when it is missing.
std::u16string LoadTextResource(std::string_view type, std::string_view name, unsigned code_page);

// The program file's name without folder and extension ("Sweepwell").
std::u16string ProgramFileTitle();

}  // namespace platform
