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

}  // namespace platform
