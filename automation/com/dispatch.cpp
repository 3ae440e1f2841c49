// The COM object of a library object: IDispatch driven by the class's member table, with
// ISupportErrorInfo for raised errors, and IEnumVARIANT over an enumerator.
//
// Dispatch ids are the tables' (0x60030000 + slot, 0 for Item, -4 for NewEnum). Names are
// found without regard to case; the enumerator answers "_NewEnum", the name other automation
// libraries give theirs and the one clients written for them ask for, as well as its own
// "NewEnum" (the type library's). Every member answers both as a method and as a property get:
// scripts ask for a collection's enumerator either way (Wine's JScript asks for a method), and
// a script calling a method without parentheses asks for a property. Every property is
// read-only, so a put is "member not found".
//
// The object also answers QueryInterface for its class's dual interface "_CLASS" when the
// module holds that interface's generated vtable (see vtable.h): early-bound clients call the
// members through it, and the calls run through the same binding as Invoke.
#include <windows.h>
// <windows.h> first: the COM headers need its types.

#include <oleauto.h>

#include <algorithm>
#include <cstring>
#include <map>
#include <mutex>
#include <new>

#include "automation/com/bridge.h"
#include "automation/com/server.h"
#include "automation/com/vtable.h"
#include "support/ov_error.h"
#include "support/ov_strings.h"
#include "support/ov_unicode.h"

namespace automation::com {

namespace {

// Answered only by this module's wrappers, so an object coming back from a client is
// recognised as ours and unwrapped. Made afresh in each module that links the bridge (the DLL,
// a program creating the DLL's objects): an object of another module, whose C++ objects may
// live on another heap, is never taken for one of ours.
const GUID& LibraryObjectIid() {
  static const GUID iid = [] {
    GUID made{};
    if (FAILED(CoCreateGuid(&made))) {
      made.Data1 = static_cast<unsigned long>(reinterpret_cast<uintptr_t>(&made));
      made.Data2 = 0x5C0D;
    }
    return made;
  }();
  return iid;
}

std::atomic<int64_t> com_objects{0};
std::atomic<const TypeLibrary*> served{nullptr};

// The type library embedded in this module (resource TYPELIB 1), loaded on first use and held
// until ReleaseTypeLibrary; null when the module has none.
std::mutex type_library_mutex;
ITypeLib* type_library = nullptr;

// A new reference to the embedded type library; null when the module has none.
ITypeLib* EmbeddedTypeLibrary() {
  std::lock_guard lock(type_library_mutex);
  if (!type_library && FAILED(LoadTypeLibEx(ModulePath().c_str(), REGKIND_NONE, &type_library)))
    type_library = nullptr;
  if (type_library) type_library->AddRef();
  return type_library;
}

// The full vtable of `info`'s dual interface (IDispatch's slots, then the members); null when
// the module holds none for it.
const DualSlot* DualVtableOf(const ClassInfo& info);

class ComObject final : public IDispatch, public ISupportErrorInfo {
 public:
  explicit ComObject(Ref<Object> object)
      : object_(std::move(object)), face_{DualVtableOf(object_->TypeInfo()), this} {
    ComObjectMade();
  }
  ~ComObject() { ComObjectGone(); }

  Object* object() const { return object_.get(); }

  // What QueryInterface hands out for the dual interface: a vtable pointer and the way back.
  struct Face {
    const DualSlot* vtable;
    ComObject* owner;
  };
  static ComObject* FromFace(void* face) { return static_cast<Face*>(face)->owner; }
  HRESULT CallSlot(size_t slot, VARIANT* args, size_t count, VARTYPE result_type,
                   const GUID* result_iid, void* result);

  // IUnknown
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
    if (!out) return E_POINTER;
    if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IDispatch) ||
        IsEqualIID(iid, LibraryObjectIid())) {
      *out = static_cast<IDispatch*>(this);
    } else if (IsEqualIID(iid, IID_ISupportErrorInfo)) {
      *out = static_cast<ISupportErrorInfo*>(this);
    } else if (face_.vtable && IsEqualIID(iid, AsGuid(object_->TypeInfo().iid))) {
      *out = &face_;
    } else {
      *out = nullptr;
      return E_NOINTERFACE;
    }
    AddRef();
    return S_OK;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++references_; }
  ULONG STDMETHODCALLTYPE Release() override;
  // AddRef unless the last reference is already gone (the wrapper is being destroyed).
  bool TryAddRef() {
    ULONG count = references_.load();
    while (count != 0) {
      if (references_.compare_exchange_weak(count, count + 1)) return true;
    }
    return false;
  }

  // IDispatch
  HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override {
    if (!count) return E_POINTER;
    ITypeInfo* info = nullptr;
    *count = SUCCEEDED(GetTypeInfo(0, 0, &info)) ? 1 : 0;
    if (info) info->Release();
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT index, LCID, ITypeInfo** out) override {
    if (!out) return E_POINTER;
    *out = nullptr;
    if (index != 0) return DISP_E_BADINDEX;
    ITypeLib* library = EmbeddedTypeLibrary();
    if (!library) return TYPE_E_ELEMENTNOTFOUND;
    const HRESULT found = library->GetTypeInfoOfGuid(AsGuid(object_->TypeInfo().iid), out);
    library->Release();
    return found;
  }
  HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID,
                                          DISPID* ids) override;
  HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID iid, LCID, WORD flags, DISPPARAMS* params,
                                   VARIANT* result, EXCEPINFO* excep, UINT* arg_error) override;

  // ISupportErrorInfo
  HRESULT STDMETHODCALLTYPE InterfaceSupportsErrorInfo(REFIID iid) override {
    return IsEqualIID(iid, IID_IDispatch) || IsEqualIID(iid, AsGuid(object_->TypeInfo().iid))
               ? S_OK
               : S_FALSE;
  }

 private:
  HRESULT InvokeMember(const MemberInfo& member, DISPPARAMS& params, VARIANT* result,
                       EXCEPINFO* excep, UINT* arg_error);

  Ref<Object> object_;
  Face face_;
  std::atomic<ULONG> references_{0};
};

// IDispatch's slots of the dual interface, forwarded to the wrapper.
HRESULT STDMETHODCALLTYPE FaceQueryInterface(void* self, REFIID iid, void** out) {
  return ComObject::FromFace(self)->QueryInterface(iid, out);
}
ULONG STDMETHODCALLTYPE FaceAddRef(void* self) { return ComObject::FromFace(self)->AddRef(); }
ULONG STDMETHODCALLTYPE FaceRelease(void* self) { return ComObject::FromFace(self)->Release(); }
HRESULT STDMETHODCALLTYPE FaceGetTypeInfoCount(void* self, UINT* count) {
  return ComObject::FromFace(self)->GetTypeInfoCount(count);
}
HRESULT STDMETHODCALLTYPE FaceGetTypeInfo(void* self, UINT index, LCID lcid, ITypeInfo** out) {
  return ComObject::FromFace(self)->GetTypeInfo(index, lcid, out);
}
HRESULT STDMETHODCALLTYPE FaceGetIDsOfNames(void* self, REFIID iid, LPOLESTR* names, UINT count,
                                            LCID lcid, DISPID* ids) {
  return ComObject::FromFace(self)->GetIDsOfNames(iid, names, count, lcid, ids);
}
HRESULT STDMETHODCALLTYPE FaceInvoke(void* self, DISPID id, REFIID iid, LCID lcid, WORD flags,
                                     DISPPARAMS* params, VARIANT* result, EXCEPINFO* excep,
                                     UINT* arg_error) {
  return ComObject::FromFace(self)->Invoke(id, iid, lcid, flags, params, result, excep, arg_error);
}

std::mutex vtables_mutex;
const DualVtable* registered_vtables = nullptr;
size_t registered_count = 0;

// Built once per class and kept for the module's life: faces point into them.
const DualSlot* DualVtableOf(const ClassInfo& info) {
  static auto* built = new std::map<const ClassInfo*, std::vector<DualSlot>>;
  std::lock_guard lock(vtables_mutex);
  auto found = built->find(&info);
  if (found != built->end()) return found->second.empty() ? nullptr : found->second.data();
  std::vector<DualSlot>& slots = (*built)[&info];
  for (size_t t = 0; t < registered_count; ++t) {
    const DualVtable& table = registered_vtables[t];
    if (!IsEqualIID(table.iid, AsGuid(info.iid)) || table.count != info.members.size() ||
        info.members.empty() || info.name != table.class_name)
      continue;
    bool same = true;
    for (size_t m = 0; m < table.count && same; ++m)
      same = info.members[m].name == table.member_names[m];
    if (!same) continue;
    slots = {AsSlot(&FaceQueryInterface), AsSlot(&FaceAddRef),
             AsSlot(&FaceRelease),        AsSlot(&FaceGetTypeInfoCount),
             AsSlot(&FaceGetTypeInfo),    AsSlot(&FaceGetIDsOfNames),
             AsSlot(&FaceInvoke)};
    slots.insert(slots.end(), table.slots, table.slots + table.count);
    break;
  }
  return slots.empty() ? nullptr : slots.data();
}

// Bytes of a value of type `vt` as the vtables pass it (VT_VARIANT: the VARIANT itself).
size_t ValueSize(VARTYPE vt) {
  switch (vt) {
    case VT_VARIANT:
      return sizeof(VARIANT);
    case VT_I4:
      return sizeof(LONG);
    case VT_I2:
    case VT_BOOL:
      return sizeof(SHORT);
    case VT_UI1:
      return 1;
    case VT_R8:
    case VT_DATE:
      return sizeof(double);
    default:  // BSTR, interfaces, arrays
      return sizeof(void*);
  }
}

// The member's result in the type the interface declares; `returned` is left empty when its
// contents moved to *out.
HRESULT StoreResult(VARIANT* returned, VARTYPE type, const GUID* iid, void* out) {
  if (type == VT_VARIANT) {
    *static_cast<VARIANT*>(out) = *returned;
    VariantInit(returned);
    return S_OK;
  }
  if (type == VT_DISPATCH || type == VT_UNKNOWN) {
    IUnknown* object = nullptr;
    if (V_VT(returned) == VT_DISPATCH) {
      object = V_DISPATCH(returned);
    } else if (V_VT(returned) == VT_UNKNOWN) {
      object = V_UNKNOWN(returned);
    } else if (V_VT(returned) != VT_EMPTY && V_VT(returned) != VT_NULL) {
      return DISP_E_TYPEMISMATCH;
    }
    if (!object) return S_OK;  // Nothing
    const GUID& wanted = iid ? *iid : type == VT_DISPATCH ? IID_IDispatch : IID_IUnknown;
    return object->QueryInterface(wanted, static_cast<void**>(out));
  }
  if (V_VT(returned) != type) {
    HRESULT changed = VariantChangeType(returned, returned, 0, type);
    if (FAILED(changed)) return changed;
  }
  std::memcpy(out, &V_UI1(returned), ValueSize(type));
  VariantInit(returned);
  return S_OK;
}

HRESULT ComObject::CallSlot(size_t slot, VARIANT* args, size_t count, VARTYPE result_type,
                            const GUID* result_iid, void* result) {
  SetErrorInfo(0, nullptr);
  const ClassInfo& info = object_->TypeInfo();
  if (slot >= info.members.size() || count != info.members[slot].params.size()) return E_UNEXPECTED;
  const MemberInfo& member = info.members[slot];
  if (result_type != VT_EMPTY) {
    if (!result) return E_POINTER;
    std::memset(result, 0, ValueSize(result_type));
  }
  try {
    // DISPPARAMS holds the arguments last first. A null pointer for an optional by-reference
    // parameter leaves it out; for any other it is the caller's fault.
    std::vector<VARIANTARG> reversed(count);
    for (size_t i = 0; i < count; ++i) {
      VARIANTARG arg = args[i];
      if ((V_VT(&arg) & VT_BYREF) && !V_BYREF(&arg)) {
        if (!member.params[i].optional) return E_POINTER;
        V_VT(&arg) = VT_ERROR;
        V_ERROR(&arg) = DISP_E_PARAMNOTFOUND;
      }
      reversed[count - 1 - i] = arg;
    }
    DISPPARAMS params{reversed.data(), nullptr, static_cast<UINT>(count), 0};
    VARIANT returned;
    VariantInit(&returned);
    HRESULT outcome = InvokeMember(member, params, result_type == VT_EMPTY ? nullptr : &returned,
                                   nullptr, nullptr);
    if (SUCCEEDED(outcome) && result_type != VT_EMPTY)
      outcome = StoreResult(&returned, result_type, result_iid, result);
    VariantClear(&returned);
    return outcome;
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  }
}

// One wrapper per library object while it lives (COM identity).
std::mutex wrappers_mutex;
std::map<Object*, ComObject*>& Wrappers() {
  static auto* wrappers = new std::map<Object*, ComObject*>;
  return *wrappers;
}

ULONG ComObject::Release() {
  ULONG left = --references_;
  if (left != 0) return left;
  {
    std::lock_guard lock(wrappers_mutex);
    auto found = Wrappers().find(object_.get());
    if (found != Wrappers().end() && found->second == this) Wrappers().erase(found);
  }
  delete this;
  return 0;
}

HRESULT ComObject::GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID, DISPID* ids) {
  if (!names || !ids) return E_POINTER;
  if (count == 0) return S_OK;
  try {
    // Names are plain zero-terminated strings here, not BSTRs.
    auto text = [](LPOLESTR name) {
      return support::Utf8FromUtf16(std::u16string(reinterpret_cast<const char16_t*>(name)));
    };
    const std::string name = names[0] ? text(names[0]) : "";
    const MemberInfo* member = object_->TypeInfo().FindByName(name);
    if (!member && support::EqualsIgnoringAsciiCase(name, "_NewEnum"))
      member = object_->TypeInfo().FindById(kDispIdNewEnum);
    HRESULT outcome = S_OK;
    ids[0] = member ? member->id : DISPID_UNKNOWN;
    if (!member) outcome = DISP_E_UNKNOWNNAME;
    // Further names are the member's parameters (named arguments): their positions.
    for (UINT i = 1; i < count; ++i) {
      ids[i] = DISPID_UNKNOWN;
      if (!member || !names[i]) {
        outcome = DISP_E_UNKNOWNNAME;
        continue;
      }
      const std::string param = text(names[i]);
      for (size_t p = 0; p < member->params.size(); ++p) {
        if (support::EqualsIgnoringAsciiCase(member->params[p].name, param))
          ids[i] = static_cast<DISPID>(p);
      }
      if (ids[i] == DISPID_UNKNOWN) outcome = DISP_E_UNKNOWNNAME;
    }
    return outcome;
  } catch (...) {
    return E_OUTOFMEMORY;
  }
}

HRESULT ComObject::Invoke(DISPID id, REFIID iid, LCID, WORD flags, DISPPARAMS* params,
                          VARIANT* result, EXCEPINFO* excep, UINT* arg_error) {
  SetErrorInfo(0, nullptr);
  if (!IsEqualIID(iid, IID_NULL)) return DISP_E_UNKNOWNINTERFACE;
  if (!(flags & (DISPATCH_METHOD | DISPATCH_PROPERTYGET))) return DISP_E_MEMBERNOTFOUND;
  const MemberInfo* member = object_->TypeInfo().FindById(id);
  if (!member) return DISP_E_MEMBERNOTFOUND;
  DISPPARAMS none{};
  if (!params) params = &none;
  if ((params->cArgs && !params->rgvarg) ||
      (params->cNamedArgs && (!params->rgdispidNamedArgs || params->cNamedArgs > params->cArgs)))
    return E_INVALIDARG;
  try {
    return InvokeMember(*member, *params, result, excep, arg_error);
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  }
}

HRESULT ComObject::InvokeMember(const MemberInfo& member, DISPPARAMS& params, VARIANT* result,
                                EXCEPINFO* excep, UINT* arg_error) {
  // rgvarg holds the arguments last first; named ones come first in it.
  const UINT positional = params.cArgs - params.cNamedArgs;
  size_t count = positional;
  for (UINT j = 0; j < params.cNamedArgs; ++j) {
    const DISPID position = params.rgdispidNamedArgs[j];
    if (position < 0 || static_cast<size_t>(position) >= member.params.size())
      return DISP_E_PARAMNOTFOUND;
    count = std::max(count, static_cast<size_t>(position) + 1);
  }
  if (count > member.params.size()) return DISP_E_BADPARAMCOUNT;
  std::vector<Variant> values(count, Variant(Missing{}));
  std::vector<VARIANTARG*> sources(count, nullptr);
  for (UINT i = 0; i < params.cArgs; ++i) {
    const size_t position = i < params.cNamedArgs ? static_cast<size_t>(params.rgdispidNamedArgs[i])
                                                  : static_cast<size_t>(params.cArgs - 1 - i);
    sources[position] = &params.rgvarg[i];
    HRESULT converted =
        FromComVariant(params.rgvarg[i], &values[position], &member.params[position]);
    if (FAILED(converted)) {
      if (arg_error) *arg_error = i;
      return converted;
    }
  }
  std::vector<Variant*> pointers;
  pointers.reserve(count);
  for (Variant& value : values) pointers.push_back(&value);
  Variant returned;
  ExcepInfo raised;
  const HResult outcome = object_->Invoke(member.id, pointers, &returned, &raised);
  // What the member set before it raised reaches the caller too: GetFileB and GetFile2 clear
  // their success flag first, and a script going on after the error (On Error Resume Next)
  // must not read the True it passed in. The member's error outranks a failed write-back.
  if (outcome == hr::kOk || outcome == hr::kException) {
    for (size_t p = 0; p < count; ++p) {
      if (!sources[p] || !member.params[p].by_ref) continue;
      HRESULT written = WriteBack(values[p], sources[p]);
      if (FAILED(written) && outcome == hr::kOk) return written;
    }
  }
  switch (outcome) {
    case hr::kOk:
      break;
    case hr::kException:
      return RaiseToClient(raised, object_->TypeInfo(), excep);
    case hr::kBadParamCount:
      return DISP_E_BADPARAMCOUNT;
    case hr::kParamNotOptional:
      return DISP_E_PARAMNOTOPTIONAL;
    case hr::kTypeMismatch:
      return DISP_E_TYPEMISMATCH;
    default:
      return DISP_E_MEMBERNOTFOUND;
  }
  if (result) return ToComVariant(returned, result);
  return S_OK;
}

class ComEnumerator final : public SingleInterfaceObject<IEnumVARIANT> {
 public:
  explicit ComEnumerator(Ref<Enumerator> enumerator)
      : SingleInterfaceObject(IID_IEnumVARIANT), enumerator_(std::move(enumerator)) {}

  HRESULT STDMETHODCALLTYPE Next(ULONG wanted, VARIANT* values, ULONG* fetched) override {
    if (!values || (wanted > 1 && !fetched)) return E_POINTER;
    ULONG given = 0;
    try {
      Variant value;
      while (given < wanted && enumerator_->Next(&value)) {
        HRESULT converted = ToComVariant(value, &values[given]);
        if (FAILED(converted)) {
          for (ULONG i = 0; i < given; ++i) VariantClear(&values[i]);
          if (fetched) *fetched = 0;
          return converted;
        }
        ++given;
      }
    } catch (...) {
      for (ULONG i = 0; i < given; ++i) VariantClear(&values[i]);
      if (fetched) *fetched = 0;
      return E_OUTOFMEMORY;
    }
    if (fetched) *fetched = given;
    return given == wanted ? S_OK : S_FALSE;
  }
  HRESULT STDMETHODCALLTYPE Skip(ULONG count) override {
    Variant value;
    for (ULONG i = 0; i < count; ++i) {
      if (!enumerator_->Next(&value)) return S_FALSE;
    }
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE Reset() override {
    enumerator_->Reset();
    return S_OK;
  }
  // A new enumerator over the same items at the same position; each moves on its own.
  HRESULT STDMETHODCALLTYPE Clone(IEnumVARIANT** out) override {
    if (!out) return E_POINTER;
    *out = nullptr;
    try {
      auto* copy = new ComEnumerator(enumerator_->Clone());
      copy->AddRef();
      *out = copy;
      return S_OK;
    } catch (...) {
      return E_OUTOFMEMORY;
    }
  }

 private:
  Ref<Enumerator> enumerator_;
};

}  // namespace

void SetServedLibrary(const TypeLibrary& library) noexcept { served = &library; }

void SetDualVtables(const DualVtable* tables, size_t count) noexcept {
  std::lock_guard lock(vtables_mutex);
  registered_vtables = tables;
  registered_count = count;
}

VARIANT ByValue(VARTYPE vt, const void* value) noexcept {
  if (vt == VT_VARIANT) return *static_cast<const VARIANT*>(value);
  VARIANT made;
  VariantInit(&made);
  V_VT(&made) = vt;
  std::memcpy(&V_UI1(&made), value, ValueSize(vt));
  return made;
}

VARIANT ByRef(VARTYPE vt, void* target) noexcept {
  VARIANT made;
  VariantInit(&made);
  V_VT(&made) = vt | VT_BYREF;
  V_BYREF(&made) = target;
  return made;
}

HRESULT CallSlot(void* self, size_t slot, VARIANT* args, size_t count, VARTYPE result_type,
                 const GUID* result_iid, void* result) noexcept {
  return ComObject::FromFace(self)->CallSlot(slot, args, count, result_type, result_iid, result);
}
const TypeLibrary* ServedLibrary() noexcept { return served.load(); }

void ReleaseTypeLibrary() noexcept {
  std::lock_guard lock(type_library_mutex);
  if (type_library) type_library->Release();
  type_library = nullptr;
}

void ComObjectMade() noexcept { ++com_objects; }
void ComObjectGone() noexcept { --com_objects; }
int64_t LiveComObjectCount() noexcept { return com_objects.load(); }

IDispatch* Wrap(Ref<Object> object) {
  std::lock_guard lock(wrappers_mutex);
  auto found = Wrappers().find(object.get());
  // A wrapper whose last reference is on its way out is not revived; a new one replaces it.
  if (found != Wrappers().end() && found->second->TryAddRef()) return found->second;
  auto* wrapper = new ComObject(object);
  wrapper->AddRef();
  Wrappers()[object.get()] = wrapper;
  return wrapper;
}

Object* Unwrap(IUnknown* unknown) noexcept {
  if (!unknown) return nullptr;
  void* ours = nullptr;
  if (FAILED(unknown->QueryInterface(LibraryObjectIid(), &ours)) || !ours) return nullptr;
  auto* wrapper = static_cast<ComObject*>(static_cast<IDispatch*>(ours));
  Object* object = wrapper->object();
  wrapper->Release();
  return object;
}

IUnknown* NewEnumVariant(Ref<Enumerator> enumerator) {
  auto* wrapper = new ComEnumerator(std::move(enumerator));
  wrapper->AddRef();
  return wrapper;
}

void* NewDispatch(Ref<Object> object) noexcept {
  try {
    return object ? Wrap(std::move(object)) : nullptr;
  } catch (...) {
    return nullptr;
  }
}

HRESULT RaiseToClient(const ExcepInfo& error, const ClassInfo& raiser, EXCEPINFO* excep) noexcept {
  const HRESULT code = error.number > 0 && error.number <= 0xFFFF
                           ? MAKE_HRESULT(SEVERITY_ERROR, FACILITY_CONTROL, error.number)
                           : E_FAIL;
  std::u16string source, description;
  try {
    source = support::Utf16FromUtf8(error.source.empty() ? raiser.name : error.source);
    description = support::Utf16FromUtf8(error.description);
  } catch (...) {
  }
  ICreateErrorInfo* create = nullptr;
  if (SUCCEEDED(CreateErrorInfo(&create))) {
    create->SetGUID(AsGuid(raiser.iid));
    create->SetSource(reinterpret_cast<LPOLESTR>(source.data()));
    create->SetDescription(reinterpret_cast<LPOLESTR>(description.data()));
    IErrorInfo* info = nullptr;
    if (SUCCEEDED(create->QueryInterface(IID_IErrorInfo, reinterpret_cast<void**>(&info)))) {
      SetErrorInfo(0, info);
      info->Release();
    }
    create->Release();
  }
  if (!excep) return code;
  *excep = EXCEPINFO{};
  excep->scode = code;
  excep->bstrSource = NewBstr(source);
  excep->bstrDescription = NewBstr(description);
  return DISP_E_EXCEPTION;
}

std::wstring ModulePath() {
  HMODULE module = nullptr;
  if (!GetModuleHandleExW(
          GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
          reinterpret_cast<LPCWSTR>(&ModulePath), &module))
    return {};
  std::wstring path(MAX_PATH, L'\0');
  for (;;) {
    DWORD length = GetModuleFileNameW(module, path.data(), static_cast<DWORD>(path.size()));
    if (length == 0) return {};
    if (length < path.size()) {
      path.resize(length);
      return path;
    }
    path.resize(path.size() * 2);
  }
}

}  // namespace automation::com
