// orvanel-idl LIBRARY [-o FILE] [--vtables FILE]: prints the IDL of a component library's type
// library, written from the member tables that the library hands out through
// DllGetTypeLibrary, and with --vtables also writes the C++ source of the dual interfaces'
// vtables (automation/typelib/vtable_writer.h). The build runs it on the freshly built library
// and compiles the IDL with widl; the Windows builds compile the vtables into the DLL.
#include <cstdio>
#include <cstring>
#include <string>

#include "automation/component.h"
#include "automation/typelib/idl_writer.h"
#include "automation/typelib/vtable_writer.h"
#include "platform/module.h"

namespace {

// Writes `text` to `path` (stdout when null) whole or not at all, so a failed run never leaves
// half a file for the next step.
bool WriteWhole(const char* path, const std::string& text) {
  FILE* out = path ? std::fopen((std::string(path) + ".part").c_str(), "wb") : stdout;
  const bool written = out && std::fwrite(text.data(), 1, text.size(), out) == text.size();
  const bool closed = out && (path ? std::fclose(out) == 0 : std::fflush(out) == 0);
  if (!written || !closed) {
    if (path) std::remove((std::string(path) + ".part").c_str());
    return false;
  }
  return !path || std::rename((std::string(path) + ".part").c_str(), path) == 0;
}

}  // namespace

int main(int argc, char** argv) {
  const char* library_path = nullptr;
  const char* output_path = nullptr;
  const char* vtables_path = nullptr;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "-o") == 0 && i + 1 < argc) {
      output_path = argv[++i];
    } else if (std::strcmp(argv[i], "--vtables") == 0 && i + 1 < argc) {
      vtables_path = argv[++i];
    } else if (!library_path && argv[i][0] != '-') {
      library_path = argv[i];
    } else {
      library_path = nullptr;
      break;
    }
  }
  if (!library_path) {
    std::fprintf(stderr, "usage: orvanel-idl LIBRARY [-o FILE] [--vtables FILE]\n");
    return 2;
  }
  std::string path = library_path;
  if (path.find('/') == std::string::npos) path = "./" + path;
  std::string error;
  platform::ModuleHandle module = platform::LoadModule(path, &error);
  if (!module) {
    std::fprintf(stderr, "orvanel-idl: %s: %s\n", library_path, error.c_str());
    return 1;
  }
  auto get_types = reinterpret_cast<automation::DllGetTypeLibraryFunction>(
      platform::GetModuleSymbol(module, "DllGetTypeLibrary"));
  const automation::TypeLibrary* types = get_types ? get_types() : nullptr;
  if (!types) {
    std::fprintf(stderr, "orvanel-idl: %s: no DllGetTypeLibrary\n", library_path);
    return 1;
  }
  std::string idl;
  if (!automation::WriteIdl(*types, &idl, &error)) {
    std::fprintf(stderr, "orvanel-idl: %s: %s\n", library_path, error.c_str());
    return 1;
  }
  std::string vtables;
  if (vtables_path && !automation::WriteVtables(*types, &vtables, &error)) {
    std::fprintf(stderr, "orvanel-idl: %s: %s\n", library_path, error.c_str());
    return 1;
  }
  if (!WriteWhole(output_path, idl)) {
    std::fprintf(stderr, "orvanel-idl: cannot write %s\n", output_path ? output_path : "the IDL");
    return 1;
  }
  if (vtables_path && !WriteWhole(vtables_path, vtables)) {
    std::fprintf(stderr, "orvanel-idl: cannot write %s\n", vtables_path);
    return 1;
  }
  return 0;
}
