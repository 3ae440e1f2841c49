// The console window: a top-level window whose client area is one read-only multi-line EDIT
// control. Keys are looked at in the message loop, before they are dispatched, so the window sees
// every key whichever of its controls has the focus; F1 is kept from the control (no help
// request), other keys go on to it so the arrow and page keys still scroll the text.
//
// The text is kept here as the box should show it, and handed to the control in batches: drawing
// one appended piece costs the control far more than anything else the program does per piece
// (measured under Wine: about 80 ms for a visible box, under 1 ms for a hidden one), and a run
// writes four to six pieces per file. The box is brought up to date at most every 50 ms, or
// less often when drawing takes long (never more than a fifth of the time), and always before
// anything waits for the user or reads the box.
#include <windows.h>
// commctrl.h needs the types of windows.h before it.
#include <commctrl.h>

#include <algorithm>

#include "platform/console_window.h"
#include "platform/win32/console_window_internal.h"

namespace platform {

using console_window_internal::ForDisplay;
using console_window_internal::Wide;
using console_window_internal::WideAscii;

namespace {

constexpr wchar_t kClassName[] = L"SweepwellConsole";

// The client area at 96 dots per inch (8910 x 5355 twips).
constexpr int kClientWidth = 594;
constexpr int kClientHeight = 357;
constexpr int kFontPoints = 9;
constexpr BYTE kCyrillicCharset = RUSSIAN_CHARSET;  // 204
constexpr COLORREF kTextColour = RGB(192, 192, 192);
constexpr COLORREF kBackgroundColour = RGB(0, 0, 0);
constexpr DWORD kStyle = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX;
// The shortest time between two updates of the box, and how many times the last update took.
constexpr ULONGLONG kMinUpdateIntervalMs = 50;
constexpr ULONGLONG kUpdateCostFactor = 4;
constexpr DWORD kEditStyle =
    WS_CHILD | WS_VISIBLE | WS_VSCROLL | ES_MULTILINE | ES_READONLY | ES_AUTOVSCROLL;

bool IsModifierKey(WPARAM key) {
  switch (key) {
    case VK_SHIFT:
    case VK_CONTROL:
    case VK_MENU:
    case VK_LSHIFT:
    case VK_RSHIFT:
    case VK_LCONTROL:
    case VK_RCONTROL:
    case VK_LMENU:
    case VK_RMENU:
    case VK_LWIN:
    case VK_RWIN:
      return true;
    default:
      return false;
  }
}

// The common controls are asked for before the first window, as the program's manifest selects
// their version 6; comctl32 is loaded here rather than linked so that no program that links the
// platform library has to link it too.
void InitCommonControlsOnce() {
  static bool done = false;
  if (done) return;
  done = true;
  HMODULE comctl = LoadLibraryW(L"comctl32.dll");
  if (comctl == nullptr) return;
  using InitFunction = BOOL(WINAPI*)(const INITCOMMONCONTROLSEX*);
  auto init = reinterpret_cast<InitFunction>(
      reinterpret_cast<void*>(GetProcAddress(comctl, "InitCommonControlsEx")));
  if (init == nullptr) return;
  INITCOMMONCONTROLSEX controls = {sizeof controls, ICC_STANDARD_CLASSES | ICC_WIN95_CLASSES};
  init(&controls);
}

}  // namespace

struct ConsoleWindow::State {
  HWND window = nullptr;
  HWND edit = nullptr;
  HFONT font = nullptr;
  HBRUSH background = nullptr;
  HICON big_icon = nullptr;
  HICON small_icon = nullptr;
  bool close_allowed = false;
  // Events that arrive through the window procedure (close requests, the end of the window),
  // collected until the next ProcessMessages hands them out.
  ConsoleEvents events;

  // The text the box shows once it is up to date (line ends as CR LF), and what of it the
  // control lacks: everything when `replace_all`, else the part from `shown_length` on.
  std::wstring text;
  size_t shown_length = 0;
  bool replace_all = false;
  ULONGLONG next_update = 0;  // GetTickCount64 before which the box is not updated again

  // Hands the control what it lacks (when `now`, or once the next update is due).
  void UpdateBox(bool now);

  static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam);
  LRESULT Handle(UINT message, WPARAM wparam, LPARAM lparam);
  // Looks at one message from the queue before it is dispatched; false: do not dispatch it.
  bool Preview(const MSG& message, ConsoleEvents* events);
};

namespace {

bool RegisterWindowClass(HINSTANCE instance, WNDPROC procedure) {
  WNDCLASSEXW existing = {};
  existing.cbSize = sizeof existing;
  if (GetClassInfoExW(instance, kClassName, &existing)) return true;
  WNDCLASSEXW window_class = {};
  window_class.cbSize = sizeof window_class;
  window_class.lpfnWndProc = procedure;
  window_class.hInstance = instance;
  window_class.hCursor = LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
  window_class.hbrBackground = static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH));
  window_class.lpszClassName = kClassName;
  return RegisterClassExW(&window_class) != 0;
}

HICON LoadIconResource(HINSTANCE instance, std::string_view name, int size_metric_x,
                       int size_metric_y) {
  if (name.empty()) return nullptr;
  std::wstring wide_name = WideAscii(name);
  return static_cast<HICON>(LoadImageW(instance, wide_name.c_str(), IMAGE_ICON,
                                       GetSystemMetrics(size_metric_x),
                                       GetSystemMetrics(size_metric_y), 0));
}

int ScreenDotsPerInch() {
  HDC screen = GetDC(nullptr);
  int dpi = screen != nullptr ? GetDeviceCaps(screen, LOGPIXELSY) : 96;
  if (screen != nullptr) ReleaseDC(nullptr, screen);
  return dpi > 0 ? dpi : 96;
}

}  // namespace

LRESULT CALLBACK ConsoleWindow::State::WindowProc(HWND window, UINT message, WPARAM wparam,
                                                  LPARAM lparam) {
  if (message == WM_NCCREATE) {
    auto* create = reinterpret_cast<CREATESTRUCTW*>(lparam);
    SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
  }
  auto* state = reinterpret_cast<State*>(GetWindowLongPtrW(window, GWLP_USERDATA));
  if (state == nullptr) return DefWindowProcW(window, message, wparam, lparam);
  if (state->window == nullptr) state->window = window;
  return state->Handle(message, wparam, lparam);
}

LRESULT ConsoleWindow::State::Handle(UINT message, WPARAM wparam, LPARAM lparam) {
  switch (message) {
    case WM_CTLCOLORSTATIC:  // a read-only EDIT asks with this one
    case WM_CTLCOLOREDIT:
      if (reinterpret_cast<HWND>(lparam) == edit) {
        HDC dc = reinterpret_cast<HDC>(wparam);
        SetTextColor(dc, kTextColour);
        SetBkColor(dc, kBackgroundColour);
        return reinterpret_cast<LRESULT>(background);
      }
      break;
    case WM_SETFOCUS:
      if (edit != nullptr) SetFocus(edit);
      return 0;
    case WM_HELP:
      return TRUE;  // F1 is handled in the message loop
    case WM_CLOSE:
      if (!close_allowed) {
        events.close_refused = true;
        return 0;
      }
      DestroyWindow(window);
      return 0;
    case WM_QUERYENDSESSION:
      // The end of the session is a close request like any other: a run is not cut off.
      if (!close_allowed) {
        events.close_refused = true;
        return FALSE;
      }
      return TRUE;
    case WM_DESTROY:
      events.closed = true;
      SetWindowLongPtrW(window, GWLP_USERDATA, 0);
      window = nullptr;
      edit = nullptr;
      return 0;
    default:
      break;
  }
  return DefWindowProcW(window, message, wparam, lparam);
}

bool ConsoleWindow::State::Preview(const MSG& message, ConsoleEvents* out) {
  if (message.message != WM_KEYDOWN && message.message != WM_SYSKEYDOWN) return true;
  if (window == nullptr || (message.hwnd != window && !IsChild(window, message.hwnd))) return true;
  if (IsModifierKey(message.wParam)) return true;
  if (message.wParam == VK_F1) {
    bool modified = message.message == WM_SYSKEYDOWN || GetKeyState(VK_SHIFT) < 0 ||
                    GetKeyState(VK_CONTROL) < 0 || GetKeyState(VK_MENU) < 0;
    if (!modified) {
      out->help_requested = true;
      return false;
    }
  }
  out->key_pressed = true;
  return true;
}

ConsoleWindow::ConsoleWindow(std::u16string_view title, std::string_view icon_resource)
    : state_(std::make_unique<State>()) {
  InitCommonControlsOnce();
  HINSTANCE instance = GetModuleHandleW(nullptr);
  if (!RegisterWindowClass(instance, &State::WindowProc)) return;

  const int dpi = ScreenDotsPerInch();
  RECT frame = {0, 0, MulDiv(kClientWidth, dpi, 96), MulDiv(kClientHeight, dpi, 96)};
  AdjustWindowRectEx(&frame, kStyle, FALSE, 0);
  const int width = frame.right - frame.left;
  const int height = frame.bottom - frame.top;
  RECT work = {0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
  SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
  const int left = work.left + ((work.right - work.left) - width) / 2;
  const int top = work.top + ((work.bottom - work.top) - height) / 2;

  std::wstring caption = Wide(title);
  HWND window = CreateWindowExW(0, kClassName, caption.c_str(), kStyle, left, top, width, height,
                                nullptr, nullptr, instance, state_.get());
  if (window == nullptr) {
    state_->window = nullptr;
    return;
  }
  state_->window = window;

  RECT client;
  GetClientRect(window, &client);
  state_->edit = CreateWindowExW(0, L"EDIT", L"", kEditStyle, 0, 0, client.right, client.bottom,
                                 window, reinterpret_cast<HMENU>(1), instance, nullptr);
  if (state_->edit == nullptr) {
    DestroyWindow(window);
    state_->window = nullptr;
    return;
  }
  // Without this the box would stop taking text at 30000 characters, and one piece (a long
  // path) may be longer than what the 20000-character rule leaves free.
  SendMessageW(state_->edit, EM_SETLIMITTEXT, 0, 0);
  state_->font = CreateFontW(-MulDiv(kFontPoints, dpi, 72), 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE,
                             kCyrillicCharset, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS,
                             DEFAULT_QUALITY, FIXED_PITCH | FF_MODERN, L"Courier New");
  if (state_->font != nullptr) {
    SendMessageW(state_->edit, WM_SETFONT, reinterpret_cast<WPARAM>(state_->font), FALSE);
  }
  state_->background = CreateSolidBrush(kBackgroundColour);

  state_->big_icon = LoadIconResource(instance, icon_resource, SM_CXICON, SM_CYICON);
  state_->small_icon = LoadIconResource(instance, icon_resource, SM_CXSMICON, SM_CYSMICON);
  if (state_->big_icon != nullptr) {
    SendMessageW(window, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(state_->big_icon));
  }
  if (state_->small_icon != nullptr) {
    SendMessageW(window, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(state_->small_icon));
  }
}

ConsoleWindow::~ConsoleWindow() {
  if (state_->window != nullptr) {
    state_->close_allowed = true;
    DestroyWindow(state_->window);
  }
  if (state_->font != nullptr) DeleteObject(state_->font);
  if (state_->background != nullptr) DeleteObject(state_->background);
  if (state_->big_icon != nullptr) DestroyIcon(state_->big_icon);
  if (state_->small_icon != nullptr) DestroyIcon(state_->small_icon);
}

void ConsoleWindow::Show() {
  if (state_->window == nullptr) return;
  ShowWindow(state_->window, SW_SHOWNORMAL);
  UpdateWindow(state_->window);
  SetForegroundWindow(state_->window);
  SetFocus(state_->edit);
}

bool ConsoleWindow::IsOpen() const { return state_->window != nullptr; }

void ConsoleWindow::State::UpdateBox(bool now) {
  if (edit == nullptr || (!replace_all && shown_length == text.size())) return;
  const ULONGLONG start = GetTickCount64();
  if (!now && start < next_update) return;
  if (replace_all) {
    SetWindowTextW(edit, text.c_str());
  } else {
    SendMessageW(edit, EM_SETSEL, shown_length, shown_length);
    SendMessageW(edit, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(text.c_str() + shown_length));
  }
  SendMessageW(edit, EM_SETSEL, text.size(), text.size());
  SendMessageW(edit, EM_SCROLLCARET, 0, 0);
  shown_length = text.size();
  replace_all = false;
  const ULONGLONG end = GetTickCount64();
  next_update = end + std::max(kMinUpdateIntervalMs, (end - start) * kUpdateCostFactor);
}

void ConsoleWindow::AppendText(std::u16string_view text) {
  if (state_->edit == nullptr || text.empty()) return;
  if (state_->text.size() > kConsoleTextLimit) {
    state_->text.clear();
    state_->shown_length = 0;
    state_->replace_all = true;
  }
  state_->text += ForDisplay(text);
  state_->UpdateBox(false);
}

void ConsoleWindow::ShowPendingText() { state_->UpdateBox(true); }

std::u16string ConsoleWindow::Text() const {
  if (state_->edit == nullptr) return {};
  state_->UpdateBox(true);
  int length = GetWindowTextLengthW(state_->edit);
  std::wstring text(static_cast<size_t>(length) + 1, L'\0');
  int copied = GetWindowTextW(state_->edit, text.data(), length + 1);
  text.resize(copied > 0 ? static_cast<size_t>(copied) : 0);
  return std::u16string(text.begin(), text.end());
}

ConsoleEvents ConsoleWindow::ProcessMessages() {
  state_->UpdateBox(false);
  ConsoleEvents events;
  MSG message;
  while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
    if (message.message == WM_QUIT) {
      // Not ours to take: leave it for whoever runs the outermost loop.
      PostQuitMessage(static_cast<int>(message.wParam));
      break;
    }
    if (!state_->Preview(message, &events)) continue;
    TranslateMessage(&message);
    DispatchMessageW(&message);
  }
  // Close requests and the end of the window arrive through the window procedure, also from
  // messages sent by other threads while PeekMessage waited for nothing.
  ConsoleEvents from_window = state_->events;
  state_->events = ConsoleEvents{};
  events.close_refused |= from_window.close_refused;
  events.closed |= from_window.closed;
  return events;
}

ConsoleEvents ConsoleWindow::WaitForEvent() {
  for (;;) {
    ConsoleEvents events = ProcessMessages();
    if (events.Any() || state_->window == nullptr) return events;
    state_->UpdateBox(true);
    MsgWaitForMultipleObjectsEx(0, nullptr, INFINITE, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
  }
}

void ConsoleWindow::AllowClose() { state_->close_allowed = true; }

void ConsoleWindow::Close() {
  if (state_->window == nullptr) return;
  state_->close_allowed = true;
  DestroyWindow(state_->window);
}

uintptr_t ConsoleWindow::NativeHandle() const {
  return reinterpret_cast<uintptr_t>(state_->window);
}

}  // namespace platform
