// The exported entry points of a component DLL, written once: each DLL compiles this file in
// (target automation_com_entry_points) and defines ModuleLibrary(), the library it serves.
// The exports are named by the DLL's .def file, undecorated on both architectures (on 32-bit
// Windows these are stdcall functions, and the linker's stdcall fix-up maps the plain names of
// the .def file to them).
#include <windows.h>
// <windows.h> first: the COM headers need its types.

#include <olectl.h>

#include "automation/com/server.h"

namespace automation::com {
const TypeLibrary& ModuleLibrary();
}

namespace {

const automation::Guid* AsOurs(const GUID& guid) {
  return reinterpret_cast<const automation::Guid*>(&guid);
}

}  // namespace

STDAPI DllGetClassObject(REFCLSID clsid, REFIID iid, LPVOID* out) {
  return automation::com::GetClassObject(automation::com::ModuleLibrary(), AsOurs(clsid),
                                         AsOurs(iid), out);
}

STDAPI DllCanUnloadNow() { return automation::com::CanUnloadNow(); }

STDAPI DllRegisterServer() {
  return automation::com::RegisterServer(automation::com::ModuleLibrary(),
                                         automation::com::Scope::kMachine);
}

STDAPI DllUnregisterServer() {
  return automation::com::UnregisterServer(automation::com::ModuleLibrary(),
                                           automation::com::Scope::kMachine);
}

STDAPI DllInstall(BOOL install, LPCWSTR command_line) {
  return automation::com::Install(automation::com::ModuleLibrary(), install != FALSE, command_line);
}
