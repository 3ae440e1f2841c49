// The recycle bin through the shell: SHFileOperationW, FO_DELETE with undo allowed, silent, no
// confirmation and no error interface (0x654), owned by the active window.
//
// Never a silent permanent delete. The shell gives no way to say "recycle or fail", and some
// shells do delete for good when they cannot recycle: Wine does so, with success, when the
// freedesktop.org trash of the user ($XDG_DATA_HOME/Trash, else ~/.local/share/Trash on the Unix
// side) does not exist. So before the shell is asked:
// - the entry must be a file (a folder is never sent: the cleaner removes folders itself);
// - its path must fit the shell's MAX_PATH limit (the shell takes no \\?\ names);
// - under Wine, the Unix trash folder must exist.
// Otherwise the file stays where it is and the error says why.

#include <string>

#include "platform/win32/internal.h"

namespace platform {
namespace {

// The Unix trash folder Wine's shell moves files into, as a Windows path ("" when unknown).
std::wstring WineTrashFolder() {
  using DosNameOf = wchar_t*(CDECL*)(const char*);
  // Through void*: GetProcAddress's type says nothing of the real one.
  auto dos_name_of = reinterpret_cast<DosNameOf>(reinterpret_cast<void*>(
      GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "wine_get_dos_file_name")));
  if (dos_name_of == nullptr) return {};
  char value[4096];
  std::string unix_folder;
  DWORD length = GetEnvironmentVariableA("XDG_DATA_HOME", value, sizeof value);
  if (length > 0 && length < sizeof value && value[0] == '/') {
    unix_folder = std::string(value, length) + "/Trash";
  } else {
    length = GetEnvironmentVariableA("HOME", value, sizeof value);
    if (length == 0 || length >= sizeof value || value[0] != '/') return {};
    unix_folder = std::string(value, length) + "/.local/share/Trash";
  }
  wchar_t* dos = dos_name_of(unix_folder.c_str());
  if (dos == nullptr) return {};
  std::wstring folder = dos;
  HeapFree(GetProcessHeap(), 0, dos);
  return folder;
}

bool IsFolder(const std::wstring& path) {
  const DWORD attributes = GetFileAttributesW(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

}  // namespace

// The recycle bin names its entries itself and tells nobody: `move` learns nothing here, so a
// run on Windows keeps no record to undo (the recycle bin's own restore serves).
uint32_t MoveEntryToTrash(const Folder& folder, std::string_view name, const std::string& path,
                          TrashMove*) {
  uint32_t attributes = 0;
  uint32_t code = GetEntryAttributes(folder, name, &attributes, nullptr);
  if (code != error::kSuccess) return code;
  if (attributes & attr::kDirectory) return error::kAccessDenied;
  return MoveToTrash(path, nullptr);
}

uint32_t MoveToTrash(const std::string& path, TrashMove*) {
  std::wstring plain = win32::PlainAbsolutePath(path);
  while (plain.size() > 3 && plain.back() == L'\\') plain.pop_back();
  if (plain.size() >= MAX_PATH) return error::kFilenameTooLong;
  uint32_t attributes = 0;
  uint32_t code = GetFileAttributes(path, &attributes, nullptr);
  if (code != error::kSuccess) return code;
  if (attributes & attr::kDirectory) return error::kAccessDenied;
  if (win32::RunningUnderWine()) {
    const std::wstring trash = WineTrashFolder();
    // Without its trash Wine would delete the file for good and call that success.
    if (trash.empty() || !IsFolder(trash)) return error::kNotSupported;
  }

  std::wstring from = plain;
  from.push_back(L'\0');  // a list of one name, ended by a second zero
  SHFILEOPSTRUCTW operation{};
  operation.hwnd = GetActiveWindow();
  operation.wFunc = FO_DELETE;
  operation.pFrom = from.c_str();
  operation.fFlags =
      FOF_SILENT | FOF_NOCONFIRMATION | FOF_ALLOWUNDO | FOF_NOCONFIRMMKDIR | FOF_NOERRORUI;
  const int result = SHFileOperationW(&operation);
  if (result != 0) return static_cast<uint32_t>(result);
  if (operation.fAnyOperationsAborted) return ERROR_CANCELLED;
  return error::kSuccess;
}

}  // namespace platform
