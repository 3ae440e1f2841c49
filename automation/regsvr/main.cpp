// orvanel-regsvr [-u] LIBRARY...: registers (or with -u unregisters) component libraries for
// the current user by calling their DllRegisterServer / DllUnregisterServer.
#include <cstdio>
#include <cstring>
#include <string>

#include "automation/component.h"
#include "platform/module.h"

int main(int argc, char** argv) {
  bool unregister = false;
  int first = 1;
  if (argc > 1 && (std::strcmp(argv[1], "-u") == 0 || std::strcmp(argv[1], "/u") == 0)) {
    unregister = true;
    first = 2;
  }
  if (first >= argc || std::strcmp(argv[1], "--help") == 0) {
    std::fprintf(first >= argc ? stderr : stdout,
                 "usage: orvanel-regsvr [-u] LIBRARY...\n"
                 "Registers component libraries for the current user (-u: unregisters them).\n"
                 "Registry folder: %s\n",
                 automation::RegistryFolder().c_str());
    return first >= argc ? 2 : 0;
  }
  int status = 0;
  for (int i = first; i < argc; ++i) {
    std::string path = argv[i];
    if (path.find('/') == std::string::npos) path = "./" + path;
    std::string error;
    platform::ModuleHandle module = platform::LoadModule(path, &error);
    const char* entry = unregister ? "DllUnregisterServer" : "DllRegisterServer";
    auto function = reinterpret_cast<automation::DllRegisterServerFunction>(
        platform::GetModuleSymbol(module, entry));
    if (!module || !function) {
      std::fprintf(stderr, "orvanel-regsvr: %s: %s\n", argv[i],
                   module ? (std::string("no ") + entry).c_str() : error.c_str());
      status = 1;
      continue;
    }
    automation::HResult result = function();
    if (result != automation::hr::kOk) {
      std::fprintf(stderr, "orvanel-regsvr: %s: %s failed (0x%08X)\n", argv[i], entry,
                   static_cast<unsigned>(result));
      status = 1;
      continue;
    }
    std::printf("%s: %s\n", argv[i], unregister ? "unregistered" : "registered");
  }
  return status;
}
