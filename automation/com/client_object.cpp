// The library object that stands for a client's own object: a callback passed to the search,
// an object a script hands to a member. Members are called through the interface's vtable
// when the client implements the library's interface (a compiled client: VB's Implements, a
// C++ class), else by name through the client's IDispatch (a script's object).
//
// The vtable call is made for members whose parameters each fit one machine word (String as a
// BSTR, Long, Integer, Boolean, objects, and by-reference Long and Boolean) and that return
// nothing, which covers the interfaces clients implement; any other member goes by name. On
// 32-bit Windows such a call is stdcall with one 4-byte slot per argument, on 64-bit Windows
// the first four words travel in registers either way, so one function type per argument
// count serves every signature of that kind.
#include <windows.h>
// <windows.h> first: the COM headers need its types.

#include <dispex.h>
#include <oleauto.h>

#include <new>

#include "automation/com/bridge.h"
#include "support/ov_error.h"
#include "support/ov_strings.h"
#include "support/ov_unicode.h"

namespace automation::com {

namespace {

// IDispatchEx, which mingw-w64's uuid library does not carry.
constexpr GUID kIidDispatchEx = {
    0xA6EF9860, 0xC720, 0x11D0, {0x93, 0x37, 0x00, 0xA0, 0xC9, 0x0D, 0xCA, 0xA9}};

const ClassInfo& ForeignClass() {
  static const ClassInfo info = [] {
    ClassInfo c;
    c.name = "Object";
    c.interface_name = "IDispatch";
    c.iid = kIidDispatch;
    return c;
  }();
  return info;
}

// The error a client's member raised, as this library reports it.
ExcepInfo ErrorFrom(EXCEPINFO& excep, HRESULT outcome) {
  if (excep.pfnDeferredFillIn) excep.pfnDeferredFillIn(&excep);
  const HRESULT code = excep.scode ? excep.scode : outcome;
  ExcepInfo error;
  if (HRESULT_FACILITY(code) == FACILITY_CONTROL || HRESULT_FACILITY(code) == FACILITY_DISPATCH) {
    error.number = HRESULT_CODE(code);
  } else {
    error.number = excep.wCode ? excep.wCode : support::errnum::kInvalidCall;
  }
  error.source = support::Utf8FromUtf16(FromBstr(excep.bstrSource));
  error.description = support::Utf8FromUtf16(FromBstr(excep.bstrDescription));
  SysFreeString(excep.bstrSource);
  SysFreeString(excep.bstrDescription);
  SysFreeString(excep.bstrHelpFile);
  return error;
}

HResult DispatchCode(HRESULT outcome) {
  switch (outcome) {
    case DISP_E_BADPARAMCOUNT:
      return hr::kBadParamCount;
    case DISP_E_PARAMNOTOPTIONAL:
      return hr::kParamNotOptional;
    case DISP_E_TYPEMISMATCH:
      return hr::kTypeMismatch;
    default:
      return hr::kMemberNotFound;
  }
}

class ClientObject final : public Object {
 public:
  ClientObject(IUnknown* unknown, const ClassInfo* interface_class) {
    unknown->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(&dispatch_));
    if (interface_class && !(interface_class->iid == Guid{})) {
      void* typed = nullptr;
      if (SUCCEEDED(unknown->QueryInterface(AsGuid(interface_class->iid), &typed)) && typed) {
        typed_ = static_cast<IUnknown*>(typed);
        interface_ = interface_class;
      }
    }
  }
  ~ClientObject() override {
    if (typed_) typed_->Release();
    if (dispatch_) dispatch_->Release();
  }

  const ClassInfo& TypeInfo() const noexcept override {
    return interface_ ? *interface_ : ForeignClass();
  }
  IDispatch* dispatch() const { return dispatch_; }

  DispId GetIDOfName(std::string_view name) const noexcept override;
  // The client's own dispatch id of `name`, or kDispIdUnknown.
  DispId ClientIdOf(std::u16string name) const;
  HResult Invoke(DispId id, const std::vector<Variant*>& args, Variant* result,
                 ExcepInfo* excep) noexcept override;

 private:
  bool CallThroughVtable(const MemberInfo& member, size_t slot, const std::vector<Variant*>& args,
                         ExcepInfo* excep, HResult* outcome);
  HResult CallByDispatch(DispId id, const std::vector<Variant*>& args, Variant* result,
                         ExcepInfo* excep);

  IDispatch* dispatch_ = nullptr;
  IUnknown* typed_ = nullptr;
  const ClassInfo* interface_ = nullptr;
};

DispId ClientObject::GetIDOfName(std::string_view name) const noexcept {
  if (interface_) {
    if (const MemberInfo* member = interface_->FindByName(name)) return member->id;
  }
  if (!dispatch_) return kDispIdUnknown;
  try {
    return ClientIdOf(support::Utf16FromUtf8(name));
  } catch (...) {
    return kDispIdUnknown;
  }
}

DispId ClientObject::ClientIdOf(std::u16string name) const {
  LPOLESTR names[] = {reinterpret_cast<LPOLESTR>(name.data())};
  DISPID id = DISPID_UNKNOWN;
  if (SUCCEEDED(dispatch_->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id))) return id;
  // Wine's VBScript objects answer names only through IDispatchEx (their GetIDsOfNames is a
  // stub), as script engines' objects may.
  IDispatchEx* extended = nullptr;
  if (FAILED(dispatch_->QueryInterface(kIidDispatchEx, reinterpret_cast<void**>(&extended))))
    return kDispIdUnknown;
  BSTR text = NewBstr(name);
  HRESULT found = text ? extended->GetDispID(text, fdexNameCaseInsensitive, &id) : E_OUTOFMEMORY;
  SysFreeString(text);
  extended->Release();
  return SUCCEEDED(found) ? id : kDispIdUnknown;
}

HResult ClientObject::Invoke(DispId id, const std::vector<Variant*>& args, Variant* result,
                             ExcepInfo* excep) noexcept {
  try {
    if (interface_) {
      const auto& members = interface_->members;
      for (size_t slot = 0; slot < members.size(); ++slot) {
        if (members[slot].id != id) continue;
        HResult outcome = hr::kOk;
        if (CallThroughVtable(members[slot], slot, args, excep, &outcome)) return outcome;
        // Not callable through the vtable: by name.
        if (!dispatch_) return hr::kMemberNotFound;
        const DispId by_name = ClientIdOf(support::Utf16FromUtf8(members[slot].name));
        if (by_name == kDispIdUnknown) return hr::kMemberNotFound;
        return CallByDispatch(by_name, args, result, excep);
      }
      return hr::kMemberNotFound;
    }
    if (!dispatch_) return hr::kMemberNotFound;
    return CallByDispatch(id, args, result, excep);
  } catch (const std::bad_alloc&) {
    if (excep) *excep = ExcepInfo{support::errnum::kOutOfMemory, "", "Out of memory"};
    return hr::kException;
  } catch (...) {
    return hr::kFail;
  }
}

bool ClientObject::CallThroughVtable(const MemberInfo& member, size_t slot,
                                     const std::vector<Variant*>& args, ExcepInfo* excep,
                                     HResult* outcome) {
  constexpr size_t kMaxWords = 4;
  if (!member.result_type.empty() || member.params.size() > kMaxWords) return false;
  struct Local {
    BSTR text = nullptr;
    LONG number = 0;
    VARIANT_BOOL flag = VARIANT_FALSE;
    IDispatch* object = nullptr;
  };
  Local locals[kMaxWords];
  uintptr_t words[kMaxWords] = {};
  auto release = [&] {
    for (Local& local : locals) {
      SysFreeString(local.text);
      if (local.object) local.object->Release();
    }
  };
  for (size_t i = 0; i < member.params.size(); ++i) {
    const ParamInfo& param = member.params[i];
    const Variant missing{Missing{}};
    const Variant& value = i < args.size() && args[i] ? *args[i] : missing;
    Local& local = locals[i];
    if (param.by_ref) {
      if (param.type == "Long") {
        local.number = value.IsEmpty() || value.IsMissing() ? 0 : value.ToLong();
        words[i] = reinterpret_cast<uintptr_t>(&local.number);
      } else if (param.type == "Boolean") {
        local.flag =
            !value.IsEmpty() && !value.IsMissing() && value.ToBool() ? VARIANT_TRUE : VARIANT_FALSE;
        words[i] = reinterpret_cast<uintptr_t>(&local.flag);
      } else {
        release();
        return false;
      }
    } else if (param.type == "String") {
      local.text = NewBstr(value.IsMissing() ? std::u16string() : value.ToString());
      words[i] = reinterpret_cast<uintptr_t>(local.text);
    } else if (param.type == "Long" || param.type == "Integer") {
      words[i] = static_cast<uint32_t>(value.IsMissing() ? 0 : value.ToLong());
    } else if (param.type == "Boolean") {
      words[i] = static_cast<uint16_t>(!value.IsMissing() && value.ToBool() ? VARIANT_TRUE
                                                                            : VARIANT_FALSE);
    } else {
      release();
      return false;
    }
  }
  void** vtable = *reinterpret_cast<void***>(typed_);
  void* function = vtable[7 + slot];  // after IUnknown's three and IDispatch's four
  HRESULT called = E_FAIL;
  switch (member.params.size()) {
    case 0:
      called = reinterpret_cast<HRESULT(STDMETHODCALLTYPE*)(void*)>(function)(typed_);
      break;
    case 1:
      called = reinterpret_cast<HRESULT(STDMETHODCALLTYPE*)(void*, uintptr_t)>(function)(typed_,
                                                                                         words[0]);
      break;
    case 2:
      called = reinterpret_cast<HRESULT(STDMETHODCALLTYPE*)(void*, uintptr_t, uintptr_t)>(function)(
          typed_, words[0], words[1]);
      break;
    case 3:
      called =
          reinterpret_cast<HRESULT(STDMETHODCALLTYPE*)(void*, uintptr_t, uintptr_t, uintptr_t)>(
              function)(typed_, words[0], words[1], words[2]);
      break;
    default:
      called = reinterpret_cast<HRESULT(STDMETHODCALLTYPE*)(
          void*, uintptr_t, uintptr_t, uintptr_t, uintptr_t)>(function)(typed_, words[0], words[1],
                                                                        words[2], words[3]);
      break;
  }
  if (SUCCEEDED(called)) {
    for (size_t i = 0; i < member.params.size() && i < args.size(); ++i) {
      if (!member.params[i].by_ref || !args[i] || args[i]->IsMissing()) continue;
      *args[i] = member.params[i].type == "Long" ? Variant(static_cast<int32_t>(locals[i].number))
                                                 : Variant(locals[i].flag != VARIANT_FALSE);
    }
    *outcome = hr::kOk;
  } else {
    // The client's error, through its IErrorInfo when it left one.
    ExcepInfo error;
    error.number = HRESULT_FACILITY(called) == FACILITY_CONTROL ? HRESULT_CODE(called)
                                                                : support::errnum::kInvalidCall;
    IErrorInfo* info = nullptr;
    if (GetErrorInfo(0, &info) == S_OK && info) {
      BSTR text = nullptr;
      if (SUCCEEDED(info->GetSource(&text))) error.source = support::Utf8FromUtf16(FromBstr(text));
      SysFreeString(text);
      text = nullptr;
      if (SUCCEEDED(info->GetDescription(&text)))
        error.description = support::Utf8FromUtf16(FromBstr(text));
      SysFreeString(text);
      info->Release();
    }
    if (error.description.empty()) error.description = support::StandardDescription(error.number);
    if (excep) *excep = error;
    *outcome = hr::kException;
  }
  release();
  return true;
}

HResult ClientObject::CallByDispatch(DispId id, const std::vector<Variant*>& args, Variant* result,
                                     ExcepInfo* excep) {
  // Each argument goes as a Variant by reference, as a script passes its variables, so the
  // client's member can write to it; what it leaves there is read back.
  const size_t count = args.size();
  std::vector<VARIANT> holders(count);
  std::vector<VARIANTARG> passed(count);
  auto clear = [&] {
    for (VARIANT& holder : holders) VariantClear(&holder);
  };
  for (size_t i = 0; i < count; ++i) {
    VARIANT& holder = holders[i];
    VariantInit(&holder);
    const Variant missing{Missing{}};
    HRESULT converted = ToComVariant(args[i] ? *args[i] : missing, &holder);
    if (FAILED(converted)) {
      clear();
      return hr::kTypeMismatch;
    }
    VARIANTARG& arg = passed[count - 1 - i];
    VariantInit(&arg);
    V_VT(&arg) = VT_VARIANT | VT_BYREF;
    V_VARIANTREF(&arg) = &holder;
  }
  DISPPARAMS params{passed.data(), nullptr, static_cast<UINT>(count), 0};
  VARIANT returned;
  VariantInit(&returned);
  EXCEPINFO raised{};
  UINT arg_error = 0;
  HRESULT outcome =
      dispatch_->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD | DISPATCH_PROPERTYGET,
                        &params, &returned, &raised, &arg_error);
  if (outcome == DISP_E_EXCEPTION) {
    ExcepInfo error = ErrorFrom(raised, outcome);
    if (excep) *excep = std::move(error);
    clear();
    VariantClear(&returned);
    return hr::kException;
  }
  if (FAILED(outcome)) {
    clear();
    VariantClear(&returned);
    return DispatchCode(outcome);
  }
  for (size_t i = 0; i < count; ++i) {
    if (!args[i]) continue;
    Variant value;
    if (SUCCEEDED(FromComVariant(holders[i], &value))) *args[i] = std::move(value);
  }
  if (result) FromComVariant(returned, result);
  clear();
  VariantClear(&returned);
  return hr::kOk;
}

}  // namespace

IDispatch* ClientDispatch(Object* object) noexcept {
  auto* client = dynamic_cast<ClientObject*>(object);
  if (!client || !client->dispatch()) return nullptr;
  client->dispatch()->AddRef();
  return client->dispatch();
}

Ref<Object> NewClientObject(IUnknown* unknown, const ClassInfo* interface_class) {
  return Ref<Object>(new ClientObject(unknown, interface_class));
}

}  // namespace automation::com
