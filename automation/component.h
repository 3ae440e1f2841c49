// The component mechanism: how a library of classes is registered, found and asked for objects,
// and how a client creates an object by programmatic identifier ("Quern0102.orvFSO").
//
// Registration lives in a per-user folder of small text files, one per registry key:
//   $XDG_CONFIG_HOME/orvanel/registry   ($HOME/.config/... when XDG_CONFIG_HOME is not set or
//                                        is relative)
//     ProgID/<progid>          "CLSID={...}"
//     CLSID/<{clsid}>          "ProgID=...", "InprocServer32=<library path>",
//                              "ThreadingModel=Apartment", "TypeLib={...}"
//     Interface/<{iid}>        "Name=_orvFSO", "TypeLib={...}", "Version=1.1"
//     TypeLib/<{libid}>        "Name=...", "Version=1.1", "HelpString=...", "Path=..."
// The folder can be moved with ORVANEL_REGISTRY (tests point it at a temporary folder).
#pragma once

#include <string>
#include <string_view>

#include "automation/member_table.h"
#include "automation/object.h"
#include "support/ov_error.h"

namespace automation {

// IClassFactory: makes objects of one class. Its members are virtual so that a client always
// runs the code of the library the factory came from.
class ClassFactory : public Object {
 public:
  explicit ClassFactory(const ClassInfo& info) : info_(info) {}
  static const ClassInfo& Class();
  const ClassInfo& TypeInfo() const noexcept override { return Class(); }

  // A new object with one reference in *out.
  virtual HResult CreateInstance(Object** out) noexcept;
  // A locked factory keeps its library loaded (DllCanUnloadNow says no).
  virtual HResult LockServer(bool lock) noexcept;

 private:
  const ClassInfo& info_;
};

// The entry points a component library exports with C linkage.
extern "C" {
using DllGetClassObjectFunction = HResult (*)(const Guid* clsid, const Guid* iid, void** out);
using DllCanUnloadNowFunction = HResult (*)();
using DllRegisterServerFunction = HResult (*)();
using DllUnregisterServerFunction = HResult (*)();
// Our addition: the library's type information (names, classes, members, enumerations).
using DllGetTypeLibraryFunction = const TypeLibrary* (*)();
}

// --- Library side: the entry points' work, shared by every component library. -----------

// DllGetClassObject: the factory of a creatable class of `library` (iid IClassFactory or
// IUnknown); hr::kClassNotAvailable for a class that only the library creates or an unknown id.
HResult ServeClassObject(const TypeLibrary& library, const Guid* clsid, const Guid* iid,
                         void** out) noexcept;
// DllCanUnloadNow: kOk when no object of this module is alive and no factory is locked.
HResult ServeCanUnloadNow() noexcept;
// DllRegisterServer / DllUnregisterServer for the library file at `library_path`.
HResult RegisterLibrary(const TypeLibrary& library, const std::string& library_path) noexcept;
HResult UnregisterLibrary(const TypeLibrary& library) noexcept;

// The path of the loaded module (library or program) that holds `address`.
std::string ModulePathOf(const void* address);

// --- Client side. -------------------------------------------------------------------------

// The registration folder (see the top of this file).
std::string RegistryFolder();

// CreateObject(progid): on Windows, real COM's (CLSIDFromProgID, CoCreateInstance for
// IDispatch; the object's members are then called by name). Elsewhere: the class registered
// under `progid`, else the library named by the
// progid's first part (lib<name lower-cased>.so) when it is already loaded, next to the running
// program, or in the installed library folder; in a folder, the file of the library's SONAME
// (lib<name>.so.N, N the build's SOVERSION) is taken before the bare name. Raises support::Error 429 (the component cannot
// create the object) when the class is unknown, not creatable or its library cannot be loaded.
Ref<Object> CreateObject(std::string_view progid);

// The type information of the library that `progid` names, found as CreateObject finds it;
// null when there is none (always on Windows, where the type library is real COM's).
const TypeLibrary* FindTypeLibrary(std::string_view progid);

// Late-bound calls (what a script does): the member `name` with `args`; by-reference
// parameters are written back into `args`. Raises support::Error for a raised error of the
// member and for a bad call (438 no such member, 450 wrong number of arguments, 449 argument
// not optional).
Variant CallByName(Object& object, std::string_view name, std::vector<Variant>& args);
Variant CallByName(Object& object, std::string_view name, std::vector<Variant>&& args = {});

// The error a failed Invoke stands for, the one map from its result code to what every caller
// (late-bound calls, the search's callback, the Python module) raises: for hr::kException the
// member's own error from `excep`; for a bad call the standard error of its kind (450 wrong
// number of arguments, 449 argument not optional, 13 type mismatch) and 438 (no such member)
// for any other code. Not for hr::kOk.
support::Error ErrorOfFailedCall(HResult code, const ExcepInfo& excep);

}  // namespace automation
