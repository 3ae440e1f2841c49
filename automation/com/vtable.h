// The dual interfaces "_CLASS": what the generated vtables (orvanel-idl --vtables, compiled
// into the DLL) need from the bridge, and how the bridge serves them.
//
// A wrapper (dispatch.cpp) answers QueryInterface for its class's interface id with a small
// face inside itself whose vtable is IDispatch's seven slots (forwarded to the wrapper, so
// late-bound calls through it behave exactly as through the wrapper's own IDispatch) followed
// by the generated functions, one per member in slot order. Each generated function has the
// signature the type library declares, so a client compiled against the IDL (or reading the
// vtable offsets from the type library) calls it directly; the calling convention is the
// COM one on both architectures (stdcall on i686, the Windows x64 convention on x86_64, a
// VARIANT by value passed as the compilers pass it for that declaration).
//
// The generated functions leave everything but packing to CallSlot, so argument binding,
// conversions, by-reference write-back and raised errors are the very code that Invoke runs.
// A raised error comes back as the HRESULT 0x800A0000 + number with IErrorInfo set (the
// wrapper answers ISupportErrorInfo for the interface), as early-bound VB clients expect.
//
// Registration is by table, checked by name: a table whose member names differ from the
// class the wrapper serves is never used (the interface is then "no such interface").
#pragma once

#include <windows.h>
// <windows.h> first: the COM headers need its types.

#include <oaidl.h>

#include <cstddef>

#include "automation/member_table.h"

namespace automation::com {

using DualSlot = void (*)();
template <class F>
DualSlot AsSlot(F* function) {
  return reinterpret_cast<DualSlot>(function);
}

// The generated vtable of one class's dual interface: its functions in slot order and the
// member names they were generated for.
struct DualVtable {
  GUID iid;
  const char* class_name;
  const char* const* member_names;
  const DualSlot* slots;
  size_t count;
};

// Makes `tables` (static storage) the vtables the wrappers answer with.
void SetDualVtables(const DualVtable* tables, size_t count) noexcept;

// An argument for CallSlot, borrowed from the caller: `value` points at a value of type `vt`
// (a VARIANT itself for VT_VARIANT).
VARIANT ByValue(VARTYPE vt, const void* value) noexcept;
// A by-reference argument: the caller's variable of type `vt` (VT_VARIANT for a VARIANT*).
VARIANT ByRef(VARTYPE vt, void* target) noexcept;

// Calls member `slot` of the object behind the face `self` with `count` arguments in
// declaration order, and stores its result, converted to `result_type` (VT_EMPTY: none), in
// *result; for an interface result `result_iid` names the interface handed out.
HRESULT CallSlot(void* self, size_t slot, VARIANT* args, size_t count, VARTYPE result_type,
                 const GUID* result_iid, void* result) noexcept;

}  // namespace automation::com
