// The component library as a real COM in-process server on Windows: what the library's
// exported entry points (DllGetClassObject, DllCanUnloadNow, DllRegisterServer,
// DllUnregisterServer, DllInstall) do, written once for every library of member tables.
// This header stays free of <windows.h>, so the library's own sources need none: result codes
// are HRESULT values as int32_t, identifiers are automation::Guid (laid out as GUID).
//
// Registration writes, under Software\Classes of HKEY_LOCAL_MACHINE (machine-wide, what plain
// regsvr32 does) or HKEY_CURRENT_USER (per user, `regsvr32 /n /i:user`, for users without
// administrator rights):
//   <Library>.<Class>                 "<Library>.<Class>", \CLSID = {clsid}
//   CLSID\{clsid}                     class name, \ProgID, \InprocServer32 = the library's path
//                                     (ThreadingModel = Apartment), \TypeLib, \Version,
//                                     \Programmable
//   Interface\{iid}                   "_Class", \ProxyStubClsid32 (the type-library marshaler),
//                                     \TypeLib with Version
//   TypeLib\{libid}                   through RegisterTypeLib(ForUser), from the type library
//                                     embedded in the library as resource TYPELIB 1
// Only creatable classes get a ProgID and a CLSID key; the classes that only the library hands
// out get their Interface key alone. Unregistering removes every one of these keys.
#pragma once

#include <cstdint>

#include "automation/member_table.h"

namespace automation::com {

// The library whose objects this module serves. The entry points set it on every call; a
// program that serves objects in-process (the tests) sets it once.
void SetServedLibrary(const TypeLibrary& library) noexcept;

// DllGetClassObject: an IClassFactory (or IUnknown) for a creatable class of `library`;
// CLASS_E_CLASSNOTAVAILABLE for an unknown class or one that only the library creates.
int32_t GetClassObject(const TypeLibrary& library, const Guid* clsid, const Guid* iid,
                       void** out) noexcept;

// DllCanUnloadNow: S_OK when no object of this module is alive (neither a library object nor
// a COM object wrapping one) and no class factory is locked; S_FALSE otherwise.
int32_t CanUnloadNow() noexcept;

enum class Scope { kMachine, kUser };

// DllRegisterServer / DllUnregisterServer for one scope (see the top of this file).
int32_t RegisterServer(const TypeLibrary& library, Scope scope) noexcept;
int32_t UnregisterServer(const TypeLibrary& library, Scope scope) noexcept;

// DllInstall(install, command_line): command line "user" (any case) registers or unregisters
// for the current user, anything else (or null) machine-wide.
int32_t Install(const TypeLibrary& library, bool install, const wchar_t* command_line) noexcept;

// An IDispatch* (one reference, for the caller) for `object`, so a program can hand its own
// objects to COM clients; null when out of memory.
void* NewDispatch(Ref<Object> object) noexcept;

// Number of COM objects of this module alive: wrappers, enumerators and class factories.
int64_t LiveComObjectCount() noexcept;

}  // namespace automation::com
