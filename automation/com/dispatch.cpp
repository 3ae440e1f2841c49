// The COM object of a library object: IDispatch driven by the class's member table, with
// ISupportErrorInfo for raised errors, and IEnumVARIANT over an enumerator.
//
// Dispatch ids are the tables' (0x60030000 + slot, 0 for Item, -4 for NewEnum). Names are
// found without regard to case; "_NewEnum", the name the type library gives the enumerator,
// is found as well as "NewEnum". Every member answers both as a method and as a property get:
// scripts ask for a collection's enumerator either way (Wine's JScript asks for a method), and
// a script calling a method without parentheses asks for a property. Every property is
// read-only, so a put is "member not found".
//
// The object does not answer QueryInterface for the dual interface "_CLASS" of the type
// library: its vtable is not built here, and answering for it would hand a compiled client a
// vtable whose slots past IDispatch do not exist. Compiled clients bind late (IDispatch).
#include <windows.h>
// <windows.h> first: the COM headers need its types.

#include <oleauto.h>

#include <algorithm>
#include <map>
#include <mutex>
#include <new>

#include "automation/com/bridge.h"
#include "automation/com/server.h"
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

// The type library embedded in this module (resource TYPELIB 1), loaded once; null when the
// module has none.
ITypeLib* EmbeddedTypeLibrary() {
  static ITypeLib* library = [] {
    ITypeLib* loaded = nullptr;
    if (FAILED(LoadTypeLibEx(ModulePath().c_str(), REGKIND_NONE, &loaded)))
      return (ITypeLib*)nullptr;
    return loaded;
  }();
  return library;
}

class ComObject final : public IDispatch, public ISupportErrorInfo {
 public:
  explicit ComObject(Ref<Object> object) : object_(std::move(object)) { ComObjectMade(); }
  ~ComObject() { ComObjectGone(); }

  Object* object() const { return object_.get(); }

  // IUnknown
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
    if (!out) return E_POINTER;
    if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IDispatch) ||
        IsEqualIID(iid, LibraryObjectIid())) {
      *out = static_cast<IDispatch*>(this);
    } else if (IsEqualIID(iid, IID_ISupportErrorInfo)) {
      *out = static_cast<ISupportErrorInfo*>(this);
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
    return library->GetTypeInfoOfGuid(AsGuid(object_->TypeInfo().iid), out);
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
  std::atomic<ULONG> references_{0};
};

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
  switch (object_->Invoke(member.id, pointers, &returned, &raised)) {
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
  for (size_t p = 0; p < count; ++p) {
    if (sources[p] && member.params[p].by_ref) {
      HRESULT written = WriteBack(values[p], sources[p]);
      if (FAILED(written)) return written;
    }
  }
  if (result) return ToComVariant(returned, result);
  return S_OK;
}

class ComEnumerator final : public IEnumVARIANT {
 public:
  explicit ComEnumerator(Ref<Enumerator> enumerator) : enumerator_(std::move(enumerator)) {
    ComObjectMade();
  }
  ~ComEnumerator() { ComObjectGone(); }

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
    if (!out) return E_POINTER;
    if (!IsEqualIID(iid, IID_IUnknown) && !IsEqualIID(iid, IID_IEnumVARIANT)) {
      *out = nullptr;
      return E_NOINTERFACE;
    }
    *out = static_cast<IEnumVARIANT*>(this);
    AddRef();
    return S_OK;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++references_; }
  ULONG STDMETHODCALLTYPE Release() override {
    ULONG left = --references_;
    if (left == 0) delete this;
    return left;
  }

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
  HRESULT STDMETHODCALLTYPE Clone(IEnumVARIANT** out) override {
    if (out) *out = nullptr;
    return E_NOTIMPL;
  }

 private:
  Ref<Enumerator> enumerator_;
  std::atomic<ULONG> references_{0};
};

}  // namespace

void SetServedLibrary(const TypeLibrary& library) noexcept { served = &library; }
const TypeLibrary* ServedLibrary() noexcept { return served.load(); }

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
