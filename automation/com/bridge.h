// The parts of the COM bridge that talk to each other: VARIANT <-> Variant, the wrapper that
// gives a library object IDispatch, and the object that stands for a client's own object.
// Only this folder, platform/win32/ and the resource files include <windows.h>.
#pragma once

#include <windows.h>
// <windows.h> first: the COM headers need its types.

#include <oaidl.h>
#include <ole2.h>

#include <atomic>
#include <cstdint>

#include "automation/collection.h"
#include "automation/member_table.h"
#include "automation/object.h"
#include "automation/variant.h"

namespace automation::com {

static_assert(sizeof(Guid) == sizeof(GUID), "automation::Guid is laid out as GUID");
inline const GUID& AsGuid(const Guid& guid) { return *reinterpret_cast<const GUID*>(&guid); }

// The library served (SetServedLibrary); null before the first entry point ran.
const TypeLibrary* ServedLibrary() noexcept;

// Lets go of the type library the wrappers answer GetTypeInfo from (loaded again when asked
// for): called when nothing of the module is alive, so the library holds nothing of its own
// when it may be unloaded. Type information a client still holds keeps its library itself.
void ReleaseTypeLibrary() noexcept;

// Counts the module's COM objects (CanUnloadNow looks at it).
void ComObjectMade() noexcept;
void ComObjectGone() noexcept;

// IUnknown for a module object that answers for one interface besides IUnknown (a class
// factory, an enumerator): the reference count, QueryInterface, and the module's object count.
template <class Interface>
class SingleInterfaceObject : public Interface {
 public:
  explicit SingleInterfaceObject(const IID& iid) noexcept : iid_(iid) { ComObjectMade(); }
  virtual ~SingleInterfaceObject() { ComObjectGone(); }
  SingleInterfaceObject(const SingleInterfaceObject&) = delete;
  SingleInterfaceObject& operator=(const SingleInterfaceObject&) = delete;

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
    if (!out) return E_POINTER;
    if (!IsEqualIID(iid, IID_IUnknown) && !IsEqualIID(iid, iid_)) {
      *out = nullptr;
      return E_NOINTERFACE;
    }
    *out = static_cast<Interface*>(this);
    AddRef();
    return S_OK;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++references_; }
  ULONG STDMETHODCALLTYPE Release() override {
    ULONG left = --references_;
    if (left == 0) delete this;
    return left;
  }

 private:
  const IID& iid_;
  std::atomic<ULONG> references_{0};
};

// VARIANT -> Variant for an argument: a by-reference VARIANT is read through its pointer,
// VT_ERROR/DISP_E_PARAMNOTFOUND is "missing", an object of this module is unwrapped and any
// other object stands for the client's own (bound to `param`'s interface when it has one).
// DISP_E_TYPEMISMATCH for a type the boundary does not carry (Null, arrays that are not one
// dimension of bytes or numbers from 0 to 255, ...); E_OUTOFMEMORY.
HRESULT FromComVariant(const VARIANT& in, Variant* out, const ParamInfo* param = nullptr) noexcept;

// Variant -> VARIANT (*out is overwritten, not cleared): Byte() as a SAFEARRAY of VT_UI1,
// Date as VT_DATE, Boolean as VT_BOOL, an enumerator as an IEnumVARIANT (VT_UNKNOWN), an object
// whose class names a system object (ClassInfo::system_object) as that object's IDispatch, any
// other object as its IDispatch, "missing" as VT_ERROR/DISP_E_PARAMNOTFOUND.
HRESULT ToComVariant(const Variant& value, VARIANT* out) noexcept;

// Stores `value` into the caller's by-reference argument (VT_VARIANT|VT_BYREF, or a typed
// one such as VT_I4|VT_BYREF or VT_BOOL|VT_BYREF from a compiled client), converting to the
// caller's type with VB's rules; a by-value argument is left alone.
HRESULT WriteBack(const Variant& value, VARIANTARG* target) noexcept;

// The IDispatch of `object` (a new reference): the same COM object for the same library
// object while one is alive, so `Is` compares as clients expect.
IDispatch* Wrap(Ref<Object> object);

// The IEnumVARIANT of an enumerator (a new reference).
IUnknown* NewEnumVariant(Ref<Enumerator> enumerator);

// The library object behind a COM object of this module; null for a client's object.
Object* Unwrap(IUnknown* unknown) noexcept;

// The library object standing for a client's object. When `interface_class` is one of the
// library's interfaces and the object answers QueryInterface for it, members are called
// through its vtable (a compiled client's implementation), else by name through IDispatch.
Ref<Object> NewClientObject(IUnknown* unknown, const ClassInfo* interface_class);

// The client's own IDispatch (a new reference) when `object` stands for a client's object;
// null otherwise.
IDispatch* ClientDispatch(Object* object) noexcept;

// A raised error to the client: IErrorInfo (SetErrorInfo) and, when given, EXCEPINFO with the
// source, the description and the HRESULT 0x800A0000 + number. Returns DISP_E_EXCEPTION when
// `excep` is given, else that HRESULT.
HRESULT RaiseToClient(const ExcepInfo& error, const ClassInfo& raiser, EXCEPINFO* excep) noexcept;

// UTF-16 <-> BSTR. NewBstr returns null only when out of memory (a null BSTR is also "").
BSTR NewBstr(const std::u16string& text) noexcept;
std::u16string FromBstr(BSTR text);

// The path of this module (the DLL, or the program it is linked into).
std::wstring ModulePath();

}  // namespace automation::com
