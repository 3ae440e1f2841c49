// orvanel-idl LIBRARY [-o FILE]: prints the IDL of a component library's type library, written
// from the member tables that the library hands out through DllGetTypeLibrary. The build runs
// it on the freshly built library and compiles the output with widl.
#include <cstdio>
#include <cstring>
#include <string>

#include "automation/component.h"
#include "automation/typelib/idl_writer.h"
#include "platform/module.h"

int main(int argc, char** argv) {
  const char* library_path = nullptr;
  const char* output_path = nullptr;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "-o") == 0 && i + 1 < argc) {
      output_path = argv[++i];
    } else if (!library_path && argv[i][0] != '-') {
      library_path = argv[i];
    } else {
      library_path = nullptr;
      break;
    }
  }
  if (!library_path) {
    std::fprintf(stderr, "usage: orvanel-idl LIBRARY [-o FILE]\n");
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
  // Written whole or not at all, so a failed run never leaves half an IDL for the next step.
  FILE* out = output_path ? std::fopen((std::string(output_path) + ".part").c_str(), "wb") : stdout;
  const bool written = out && std::fwrite(idl.data(), 1, idl.size(), out) == idl.size();
  const bool closed = out && (output_path ? std::fclose(out) == 0 : std::fflush(out) == 0);
  if (!written || !closed) {
    if (output_path) std::remove((std::string(output_path) + ".part").c_str());
    std::fprintf(stderr, "orvanel-idl: cannot write %s\n", output_path ? output_path : "the IDL");
    return 1;
  }
  if (output_path && std::rename((std::string(output_path) + ".part").c_str(), output_path) != 0) {
    std::fprintf(stderr, "orvanel-idl: cannot write %s\n", output_path);
    return 1;
  }
  return 0;
}
