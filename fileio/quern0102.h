// The library as a whole: its type library (names, version, classes, enumerations) and the
// version resource of the library file. The component entry points (DllRegisterServer,
// DllUnregisterServer, DllGetClassObject, DllCanUnloadNow, DllGetTypeLibrary) are exported
// with C linkage; see automation/component.h for their contracts.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "automation/component.h"

namespace quern {

const automation::TypeLibrary& TypeLibrary();

// The version resource of the library file (the strings of its one translation, 0409 04B0).
struct VersionResource {
  uint16_t file_version[4];
  uint16_t product_version[4];
  uint16_t language;
  uint16_t code_page;
  std::vector<std::pair<std::string, std::string>> strings;  // name, value (UTF-8)
};
const VersionResource& LibraryVersion();

}  // namespace quern

extern "C" {
automation::HResult DllRegisterServer();
automation::HResult DllUnregisterServer();
automation::HResult DllGetClassObject(const automation::Guid* clsid, const automation::Guid* iid,
                                      void** out);
automation::HResult DllCanUnloadNow();
const automation::TypeLibrary* DllGetTypeLibrary();
}
