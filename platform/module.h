// Loading code at run time (LoadLibrary / GetProcAddress / GetModuleFileName).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace platform {

using ModuleHandle = void*;

// Loads the library at `path` (all symbols resolved now, kept private to it). Null on failure,
// with *error a short description from the system.
ModuleHandle LoadModule(const std::string& path, std::string* error);

// The library whose file name is `file_name` when it is already loaded in the process; null
// otherwise. The returned handle holds one more load of it.
ModuleHandle FindLoadedModule(std::string_view file_name);

// The address of the exported symbol `name`, or null.
void* GetModuleSymbol(ModuleHandle module, const char* name);

// The full path of the loaded file (program or library) that holds `address`; "" if none.
std::string ModulePathOf(const void* address);

// The folder of the running program.
std::string ProgramFolder();

// The file name of the shared library called `name` ("Quern0102"): "libquern0102.so" on Linux
// (lower case, as libraries are named there), "Quern0102.dll" on Windows.
std::string SharedLibraryFileName(std::string_view name);

// The folder the installation puts its shared libraries in (the build sets it from the
// install prefix); "" when there is none.
std::string InstalledLibraryFolder();

}  // namespace platform
