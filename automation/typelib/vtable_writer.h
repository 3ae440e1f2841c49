// The C++ source of the dual interfaces' vtables of a component library, written from its
// member tables beside the IDL, so the tables stay the only description of the classes and
// the vtables cannot drift from the type library that declares them.
//
// For each class the source holds one function per member, in slot order, with the signature
// the IDL declares for it (stdcall on 32-bit Windows through STDMETHODCALLTYPE, the object
// pointer first): typed [in] parameters, pointers for [in, out] ones, a trailing pointer for
// the [out, retval] value. Each function only packs its arguments into VARIANTs (borrowed, not
// copied: by-value ones as their type, by-reference ones as typed VT_BYREF) and calls the
// bridge's CallSlot (automation/com/vtable.h), which binds, converts, calls the member, writes
// by-reference values back, reports a raised error through IErrorInfo and converts the result
// to the declared type. The file registers its tables with the bridge when the module loads;
// the bridge checks each table's member names against the class it serves before answering
// QueryInterface with it, so a stale file makes the interface unavailable, never wrong.
//
// Only Windows builds compile the output: a native build writes it (orvanel-idl --vtables),
// a cross build takes it from there, as it takes the IDL.
#pragma once

#include <string>

#include "automation/member_table.h"

namespace automation {

// The vtables' source for `library`. Returns false, with *error naming the class, member and
// type, when a table uses a type without a vtable form (nothing is written to *source then).
bool WriteVtables(const TypeLibrary& library, std::string* source, std::string* error);

}  // namespace automation
