// Helpers of the window tests: waiting for windows of another process and reading their text.
// Every wait is for an event (a window appears, a text shows up, a process ends) and has a bound
// so that a broken program fails the test instead of hanging it.
#pragma once

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

namespace window_test {

// Generous: Wine on a loaded machine may take seconds to start a program.
inline constexpr DWORD kWaitMs = 60000;

// Polls `condition` until it holds or `timeout_ms` passed; true when it held.
inline bool WaitUntil(const std::function<bool()>& condition, DWORD timeout_ms = kWaitMs) {
  const ULONGLONG end = GetTickCount64() + timeout_ms;
  for (;;) {
    if (condition()) return true;
    if (GetTickCount64() >= end) return false;
    Sleep(10);
  }
}

inline std::wstring ClassOf(HWND window) {
  wchar_t name[256] = {};
  GetClassNameW(window, name, 256);
  return name;
}

// The text of a window of another process (WM_GETTEXT, which the system carries across), or
// "" when it does not answer.
inline std::wstring TextOf(HWND window) {
  DWORD_PTR length = 0;
  if (!SendMessageTimeoutW(window, WM_GETTEXTLENGTH, 0, 0, SMTO_ABORTIFHUNG, 10000, &length)) {
    return L"";
  }
  std::wstring text(length + 1, L'\0');
  DWORD_PTR copied = 0;
  if (!SendMessageTimeoutW(window, WM_GETTEXT, length + 1, reinterpret_cast<LPARAM>(text.data()),
                           SMTO_ABORTIFHUNG, 10000, &copied)) {
    return L"";
  }
  text.resize(copied);
  return text;
}

struct WindowSearch {
  DWORD pid;
  const std::wstring* class_name;
  std::vector<HWND> found;
};

// Window enumeration callbacks are stdcall functions (a lambda would be cdecl on 32-bit x86).
inline BOOL CALLBACK CollectTopWindow(HWND window, LPARAM data) {
  auto* search = reinterpret_cast<WindowSearch*>(data);
  DWORD owner_pid = 0;
  GetWindowThreadProcessId(window, &owner_pid);
  if (owner_pid == search->pid && IsWindowVisible(window) &&
      ClassOf(window) == *search->class_name) {
    search->found.push_back(window);
  }
  return TRUE;
}

inline BOOL CALLBACK CollectStaticControl(HWND child, LPARAM data) {
  if (_wcsicmp(ClassOf(child).c_str(), L"Static") == 0) {
    reinterpret_cast<std::vector<HWND>*>(data)->push_back(child);
  }
  return TRUE;
}

// The visible top-level windows of process `pid` with the class `class_name`.
inline std::vector<HWND> TopWindowsOf(DWORD pid, const std::wstring& class_name) {
  WindowSearch search{pid, &class_name, {}};
  EnumWindows(CollectTopWindow, reinterpret_cast<LPARAM>(&search));
  return search.found;
}

// The texts of the static controls of a message box, joined by "\n": its message.
inline std::wstring MessageBoxText(HWND box) {
  std::vector<HWND> statics;
  EnumChildWindows(box, CollectStaticControl, reinterpret_cast<LPARAM>(&statics));
  std::wstring text;
  for (HWND control : statics) {
    std::wstring piece = TextOf(control);
    if (piece.empty()) continue;
    if (!text.empty()) text += L"\n";
    text += piece;
  }
  return text;
}

// A desktop to draw on: false when a window cannot be created (Wine without an X display).
inline bool HaveDesktop() {
  HWND probe = CreateWindowExW(0, L"STATIC", L"", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr,
                               GetModuleHandleW(nullptr), nullptr);
  if (probe == nullptr) return false;
  DestroyWindow(probe);
  return true;
}

}  // namespace window_test
