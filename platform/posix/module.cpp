#include "platform/module.h"

#include <dlfcn.h>
#include <link.h>
#include <unistd.h>

#include <climits>
#include <string>

// Set by the build from the installation's library folder.
#ifndef ORVANEL_INSTALLED_LIBRARY_FOLDER
#define ORVANEL_INSTALLED_LIBRARY_FOLDER "/usr/local/lib"
#endif

namespace platform {

std::string SharedLibraryFileName(std::string_view name) {
  std::string file = "lib";
  for (char c : name) file += static_cast<char>(c >= 'A' && c <= 'Z' ? c + ('a' - 'A') : c);
  return file + ".so";
}

std::string InstalledLibraryFolder() { return ORVANEL_INSTALLED_LIBRARY_FOLDER; }

ModuleHandle LoadModule(const std::string& path, std::string* error) {
  dlerror();
  ModuleHandle module = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!module && error) {
    const char* text = dlerror();
    *error = text ? text : "cannot load " + path;
  }
  return module;
}

namespace {

struct Search {
  std::string_view file_name;
  std::string path;
};

int MatchModule(dl_phdr_info* info, size_t, void* data) {
  auto* search = static_cast<Search*>(data);
  std::string_view name = info->dlpi_name ? info->dlpi_name : "";
  size_t slash = name.rfind('/');
  std::string_view base = slash == std::string_view::npos ? name : name.substr(slash + 1);
  if (!name.empty() && base == search->file_name) {
    search->path = std::string(name);
    return 1;
  }
  return 0;
}

}  // namespace

ModuleHandle FindLoadedModule(std::string_view file_name) {
  Search search{file_name, {}};
  dl_iterate_phdr(MatchModule, &search);
  if (search.path.empty()) return nullptr;
  return dlopen(search.path.c_str(), RTLD_NOW | RTLD_LOCAL | RTLD_NOLOAD);
}

void* GetModuleSymbol(ModuleHandle module, const char* name) {
  return module ? dlsym(module, name) : nullptr;
}

namespace {

// The running program's own file, as the kernel knows it ("" when it cannot tell).
std::string ProgramPath() {
  char path[PATH_MAX];
  const ssize_t length = readlink("/proc/self/exe", path, sizeof path - 1);
  return length > 0 ? std::string(path, static_cast<size_t>(length)) : std::string();
}

}  // namespace

std::string ModulePathOf(const void* address) {
  Dl_info info{};
  if (!dladdr(address, &info) || !info.dli_fname) return {};
  const std::string path = info.dli_fname;
  // The main program reports the bare name it was started by.
  if (path.find('/') == std::string::npos) return ProgramPath();
  char resolved[PATH_MAX];
  return realpath(path.c_str(), resolved) ? std::string(resolved) : path;
}

std::string ProgramFolder() {
  const std::string program = ProgramPath();
  return program.substr(0, program.rfind('/'));
}

}  // namespace platform
