// The IDL source of a component library's type library, written from its member tables, so
// the tables stay the only description of the classes. widl (or MIDL) compiles it to the .tlb
// that the Windows build embeds as resource TYPELIB 1.
//
// What the IDL says, and why:
// - One dual interface "_CLASS" per class ([hidden, dual, nonextensible, oleautomation], derived
//   from IDispatch, the interface version of the table), its members in slot order with the
//   tables' dispatch ids. A coclass per class with that interface as its default; the
//   application object is [appobject], classes that only the library makes are [noncreatable].
// - Every interface is dual, including _IFindFilesCallback, which clients implement: a compiled
//   client (VB's Implements, C++) gives it a vtable, a script passes a plain IDispatch. The
//   search therefore calls DirectoryCompleted through the vtable when the callback object
//   answers for the interface's IID, and by name through IDispatch otherwise.
// - A typed optional parameter without a default in the table gets the zero of its type as
//   default (0, False, "" or Nothing), as VB writes such parameters: a typed slot cannot carry
//   "missing". Late-bound calls, which do carry it, are not affected.
// - Collection results are IDispatch: the collection's own interface belongs to the clients'
//   automation library, which cannot be imported here, and a copy of it in this library would
//   make registering the library overwrite the registration of an interface that is not ours.
// - The member "NewEnum" (dispatch id -4) is written as the restricted, hidden property
//   "_NewEnum", the name clients of collections look for.
// - Help strings are written in Windows-1251. The type-library format stores strings as bytes
//   that readers decode in their ANSI code page; the descriptions that are not ASCII are
//   Russian, so they read correctly where that page is 1251. A character the page lacks
//   becomes "?".
// - The IDL declares the few standard types it uses (HRESULT, BSTR, VARIANT, IUnknown,
//   IDispatch, IPictureDisp) ahead of the library block, because the toolchain here ships no
//   IDL files; inside the library those names resolve to the imported stdole2.tlb, so the
//   generated type library holds none of them itself.
//   IUnknown and IDispatch are declared with their seven methods: the compiler computes the
//   vtable offset it stores for each member from them, and early-bound clients call through
//   those offsets (empty declarations would place every interface's first member at slot 0).
#pragma once

#include <string>
#include <string_view>

#include "automation/member_table.h"

namespace automation {

// The IDL of `library`. Returns false, with *error naming the class, member and type, when a
// table uses a type the writer does not know (nothing is written to *idl then).
bool WriteIdl(const TypeLibrary& library, std::string* idl, std::string* error);

// The body of an IDL string literal holding `utf8`: Windows-1251 bytes (see above), with '"'
// and '\' escaped and control characters as spaces, so no text can end the literal early.
std::string IdlStringBody(std::string_view utf8);

}  // namespace automation
