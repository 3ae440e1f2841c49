// Loading code at run time: LoadLibraryExW, GetProcAddress, GetModuleFileNameW.
#include "platform/module.h"

#include "platform/win32/internal.h"

namespace platform {
namespace {

// GetModuleFileNameW into a buffer that grows until the name fits.
std::string ModuleFileName(HMODULE module) {
  std::wstring buffer(MAX_PATH, L'\0');
  for (;;) {
    const DWORD length =
        GetModuleFileNameW(module, buffer.data(), static_cast<DWORD>(buffer.size()));
    if (length == 0) return {};
    if (length < buffer.size()) return win32::Utf8(std::wstring_view(buffer.data(), length));
    if (buffer.size() >= 32768) return {};
    buffer.resize(buffer.size() * 2);
  }
}

std::string SystemMessage(DWORD code) {
  wchar_t* text = nullptr;
  const DWORD length = FormatMessageW(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, code, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
  std::string message = length > 0 ? win32::Utf8(std::wstring_view(text, length)) : std::string();
  if (text != nullptr) LocalFree(text);
  while (!message.empty() && (message.back() == '\n' || message.back() == '\r')) message.pop_back();
  return message.empty() ? "error " + std::to_string(code) : message;
}

}  // namespace

std::string SharedLibraryFileName(std::string_view name) { return std::string(name) + ".dll"; }

// Windows programs keep their libraries beside them.
std::string InstalledLibraryFolder() { return ProgramFolder(); }

ModuleHandle LoadModule(const std::string& path, std::string* error) {
  const std::wstring wide = win32::LongPath(path);
  // The library's own folder is searched for what it needs, not the program's.
  HMODULE module = LoadLibraryExW(wide.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
  if (module == nullptr && error != nullptr) {
    *error = "cannot load " + path + ": " + SystemMessage(GetLastError());
  }
  return reinterpret_cast<ModuleHandle>(module);
}

ModuleHandle FindLoadedModule(std::string_view file_name) {
  HMODULE module = nullptr;
  const std::wstring wide = win32::Wide(file_name);
  if (!GetModuleHandleExW(0, wide.c_str(), &module)) return nullptr;
  return reinterpret_cast<ModuleHandle>(module);
}

void* GetModuleSymbol(ModuleHandle module, const char* name) {
  if (module == nullptr) return nullptr;
  return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(module), name));
}

std::string ModulePathOf(const void* address) {
  HMODULE module = nullptr;
  if (!GetModuleHandleExW(
          GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
          static_cast<const wchar_t*>(address), &module)) {
    return {};
  }
  return ModuleFileName(module);
}

std::string ProgramFolder() {
  const std::string program = ModuleFileName(nullptr);
  return program.substr(0, program.find_last_of("\\/"));
}

}  // namespace platform
