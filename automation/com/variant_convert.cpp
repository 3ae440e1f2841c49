// VARIANT <-> Variant at the COM boundary.
#include <windows.h>
// <windows.h> first: the COM headers need its types.

#include <oleauto.h>

#include <cmath>
#include <limits>
#include <new>

#include "automation/collection.h"
#include "automation/com/bridge.h"
#include "support/ov_error.h"

namespace automation::com {

namespace {

// Byte() from a one-dimensional SAFEARRAY of VT_UI1 (or VT_I1), or of Variants holding
// numbers from 0 to 255 (what a script's Array(...) makes).
HRESULT BytesFromArray(SAFEARRAY* array, VARTYPE element, Variant* out) {
  if (!array) {
    *out = Variant(std::vector<uint8_t>());
    return S_OK;
  }
  if (SafeArrayGetDim(array) != 1) return DISP_E_TYPEMISMATCH;
  LONG low = 0, high = -1;
  if (FAILED(SafeArrayGetLBound(array, 1, &low)) || FAILED(SafeArrayGetUBound(array, 1, &high)))
    return DISP_E_TYPEMISMATCH;
  const size_t count = high >= low ? static_cast<size_t>(high - low) + 1 : 0;
  std::vector<uint8_t> bytes;
  bytes.reserve(count);
  void* data = nullptr;
  if (count && FAILED(SafeArrayAccessData(array, &data))) return DISP_E_TYPEMISMATCH;
  HRESULT result = S_OK;
  if (element == VT_UI1 || element == VT_I1) {
    const auto* first = static_cast<const uint8_t*>(data);
    bytes.assign(first, first + count);
  } else {
    const auto* items = static_cast<const VARIANT*>(data);
    for (size_t i = 0; i < count && SUCCEEDED(result); ++i) {
      Variant item;
      result = FromComVariant(items[i], &item);
      if (FAILED(result)) break;
      if (!item.IsNumeric()) {
        result = DISP_E_TYPEMISMATCH;
        break;
      }
      try {
        bytes.push_back(item.ToByte());
      } catch (const support::Error& error) {
        result =
            error.number() == support::errnum::kOverflow ? DISP_E_OVERFLOW : DISP_E_TYPEMISMATCH;
      }
    }
  }
  if (count) SafeArrayUnaccessData(array);
  if (SUCCEEDED(result)) *out = Variant(std::move(bytes));
  return result;
}

const ClassInfo* InterfaceNamed(const ParamInfo* param) {
  const TypeLibrary* library = ServedLibrary();
  if (!param || !library) return nullptr;
  for (const ClassInfo* info : library->classes) {
    if (param->type == info->interface_name || param->type == info->name) return info;
  }
  return nullptr;
}

// A parameter that takes an object: one typed by a library interface or as any object.
bool IsObjectParam(const ParamInfo* param) {
  return param && (param->type == "Object" || InterfaceNamed(param));
}

HRESULT ObjectFrom(IUnknown* unknown, const ParamInfo* param, Variant* out) {
  if (!unknown) {
    *out = Variant(nullptr);
    return S_OK;
  }
  if (Object* own = Unwrap(unknown)) {
    *out = Variant(Ref<Object>(own));
    return S_OK;
  }
  *out = Variant(NewClientObject(unknown, InterfaceNamed(param)));
  return S_OK;
}

// The IDispatch (a new reference) of the system's own object standing for `object` (a
// picture's OLE picture); null when its class has none.
IDispatch* SystemDispatch(Object& object) {
  const ClassInfo& info = object.TypeInfo();
  void* system = info.system_object ? info.system_object(object) : nullptr;
  if (!system) return nullptr;
  IDispatch* dispatch = nullptr;
  if (FAILED(static_cast<IUnknown*>(system)->QueryInterface(IID_IDispatch,
                                                            reinterpret_cast<void**>(&dispatch))))
    return nullptr;
  return dispatch;
}

}  // namespace

BSTR NewBstr(const std::u16string& text) noexcept {
  return SysAllocStringLen(reinterpret_cast<const OLECHAR*>(text.data()),
                           static_cast<UINT>(text.size()));
}

std::u16string FromBstr(BSTR text) {
  if (!text) return {};
  return std::u16string(reinterpret_cast<const char16_t*>(text), SysStringLen(text));
}

HRESULT FromComVariant(const VARIANT& in, Variant* out, const ParamInfo* param) noexcept {
  try {
    const VARIANT* v = &in;
    // A script passes its variables as VT_VARIANT|VT_BYREF; one level of that is read through.
    if (V_VT(v) == (VT_VARIANT | VT_BYREF)) {
      v = V_VARIANTREF(v);
      if (!v || V_VT(v) == (VT_VARIANT | VT_BYREF)) return DISP_E_TYPEMISMATCH;
    }
    const VARTYPE vt = V_VT(v);
    const bool by_ref = (vt & VT_BYREF) != 0;
    if (by_ref && !V_BYREF(v)) return DISP_E_TYPEMISMATCH;
#define VALUE(field, ref_field) (by_ref ? *V_##ref_field(v) : V_##field(v))
    if (vt & VT_ARRAY) {
      const VARTYPE element = vt & VT_TYPEMASK;
      if (element != VT_UI1 && element != VT_I1 && element != VT_VARIANT)
        return DISP_E_TYPEMISMATCH;
      return BytesFromArray(VALUE(ARRAY, ARRAYREF), element, out);
    }
    switch (vt & ~VT_BYREF) {
      case VT_EMPTY:
        *out = Variant();
        return S_OK;
      case VT_ERROR:
        if (VALUE(ERROR, ERRORREF) != DISP_E_PARAMNOTFOUND) return DISP_E_TYPEMISMATCH;
        *out = Variant(Missing{});
        return S_OK;
      case VT_BOOL:
        *out = Variant(VALUE(BOOL, BOOLREF) != VARIANT_FALSE);
        return S_OK;
      case VT_UI1:
        *out = Variant(static_cast<uint8_t>(VALUE(UI1, UI1REF)));
        return S_OK;
      case VT_I1:
        *out = Variant(static_cast<int16_t>(VALUE(I1, I1REF)));
        return S_OK;
      case VT_I2:
        *out = Variant(static_cast<int16_t>(VALUE(I2, I2REF)));
        return S_OK;
      case VT_UI2:
        *out = Variant(static_cast<int32_t>(VALUE(UI2, UI2REF)));
        return S_OK;
      case VT_I4:
        *out = Variant(static_cast<int32_t>(VALUE(I4, I4REF)));
        return S_OK;
      case VT_INT:
        *out = Variant(static_cast<int32_t>(VALUE(INT, INTREF)));
        return S_OK;
      case VT_UI4:
      case VT_UINT: {
        uint32_t value = (vt & ~VT_BYREF) == VT_UI4 ? VALUE(UI4, UI4REF) : VALUE(UINT, UINTREF);
        *out = value <= INT32_MAX ? Variant(static_cast<int32_t>(value))
                                  : Variant(static_cast<double>(value));
        return S_OK;
      }
      case VT_I8:
        *out = Variant(static_cast<double>(VALUE(I8, I8REF)));
        return S_OK;
      case VT_UI8:
        *out = Variant(static_cast<double>(VALUE(UI8, UI8REF)));
        return S_OK;
      case VT_R4:
        *out = Variant(static_cast<double>(VALUE(R4, R4REF)));
        return S_OK;
      case VT_R8:
        *out = Variant(static_cast<double>(VALUE(R8, R8REF)));
        return S_OK;
      case VT_CY:
      case VT_DECIMAL: {
        VARIANT number;
        VariantInit(&number);
        if (FAILED(VariantChangeType(&number, const_cast<VARIANT*>(v), 0, VT_R8)))
          return DISP_E_OVERFLOW;
        *out = Variant(V_R8(&number));
        return S_OK;
      }
      case VT_DATE:
        *out = Variant(Date{VALUE(DATE, DATEREF)});
        return S_OK;
      case VT_BSTR:
        *out = Variant(FromBstr(VALUE(BSTR, BSTRREF)));
        return S_OK;
      case VT_DISPATCH:
        return ObjectFrom(VALUE(DISPATCH, DISPATCHREF), param, out);
      case VT_UNKNOWN:
        return ObjectFrom(VALUE(UNKNOWN, UNKNOWNREF), param, out);
      case VT_NULL:
        // JScript has no Nothing: its null is how a script says "no object" (a search without
        // a callback), so where an object is expected it means none. Elsewhere Null is no
        // value of any parameter's type.
        if (!IsObjectParam(param)) return DISP_E_TYPEMISMATCH;
        *out = Variant(nullptr);
        return S_OK;
      default:
        return DISP_E_TYPEMISMATCH;  // VT_RECORD, pointers ...
    }
#undef VALUE
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  } catch (...) {
    return DISP_E_TYPEMISMATCH;
  }
}

HRESULT ToComVariant(const Variant& value, VARIANT* out) noexcept {
  VariantInit(out);
  try {
    switch (value.type()) {
      case VarType::kEmpty:
        return S_OK;
      case VarType::kMissing:
        V_VT(out) = VT_ERROR;
        V_ERROR(out) = DISP_E_PARAMNOTFOUND;
        return S_OK;
      case VarType::kBoolean:
        V_VT(out) = VT_BOOL;
        V_BOOL(out) = value.ToBool() ? VARIANT_TRUE : VARIANT_FALSE;
        return S_OK;
      case VarType::kByte:
        V_VT(out) = VT_UI1;
        V_UI1(out) = value.ToByte();
        return S_OK;
      case VarType::kInteger:
        V_VT(out) = VT_I2;
        V_I2(out) = value.ToInteger();
        return S_OK;
      case VarType::kLong:
        V_VT(out) = VT_I4;
        V_I4(out) = value.ToLong();
        return S_OK;
      case VarType::kDouble:
        V_VT(out) = VT_R8;
        V_R8(out) = value.ToDouble();
        return S_OK;
      case VarType::kDate:
        V_VT(out) = VT_DATE;
        V_DATE(out) = value.DateDays();
        return S_OK;
      case VarType::kString: {
        BSTR text = NewBstr(value.String());
        if (!text) return E_OUTOFMEMORY;
        V_VT(out) = VT_BSTR;
        V_BSTR(out) = text;
        return S_OK;
      }
      case VarType::kBytes: {
        const std::vector<uint8_t>& bytes = value.Bytes();
        if (bytes.size() > static_cast<size_t>(INT32_MAX)) return E_OUTOFMEMORY;
        SAFEARRAY* array = SafeArrayCreateVector(VT_UI1, 0, static_cast<ULONG>(bytes.size()));
        if (!array) return E_OUTOFMEMORY;
        if (!bytes.empty()) {
          void* data = nullptr;
          if (FAILED(SafeArrayAccessData(array, &data))) {
            SafeArrayDestroy(array);
            return E_OUTOFMEMORY;
          }
          std::copy(bytes.begin(), bytes.end(), static_cast<uint8_t*>(data));
          SafeArrayUnaccessData(array);
        }
        V_VT(out) = VT_ARRAY | VT_UI1;
        V_ARRAY(out) = array;
        return S_OK;
      }
      case VarType::kObject: {
        const Ref<Object>& object = value.ObjectRef();
        if (auto* enumerator = dynamic_cast<Enumerator*>(object.get())) {
          V_VT(out) = VT_UNKNOWN;
          V_UNKNOWN(out) = NewEnumVariant(Ref<Enumerator>(enumerator));
          return S_OK;
        }
        V_VT(out) = VT_DISPATCH;
        if (!object) return S_OK;
        V_DISPATCH(out) = ClientDispatch(object.get());
        if (!V_DISPATCH(out)) V_DISPATCH(out) = SystemDispatch(*object);
        if (!V_DISPATCH(out)) V_DISPATCH(out) = Wrap(object);
        return S_OK;
      }
    }
    return DISP_E_TYPEMISMATCH;
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  } catch (...) {
    return DISP_E_TYPEMISMATCH;
  }
}

HRESULT WriteBack(const Variant& value, VARIANTARG* target) noexcept {
  const VARTYPE vt = V_VT(target);
  if (!(vt & VT_BYREF) || !V_BYREF(target)) return S_OK;
  try {
    if ((vt & ~VT_BYREF) == (VT_ARRAY | VT_UI1)) {
      // The caller's array is replaced only when the bytes changed: an unchanged array (the
      // usual case, data handed in to be written) may be one the caller cannot give up.
      Variant current;
      if (*V_ARRAYREF(target) && SUCCEEDED(FromComVariant(*target, &current)) &&
          current.ToBytes() == value.ToBytes())
        return S_OK;
      VARIANT fresh;
      HRESULT result = ToComVariant(value, &fresh);
      if (FAILED(result)) return result;
      if (V_VT(&fresh) != (VT_ARRAY | VT_UI1)) {
        VariantClear(&fresh);
        return DISP_E_TYPEMISMATCH;
      }
      if (*V_ARRAYREF(target)) {
        HRESULT destroyed = SafeArrayDestroy(*V_ARRAYREF(target));
        if (FAILED(destroyed)) {
          VariantClear(&fresh);
          return destroyed;
        }
      }
      *V_ARRAYREF(target) = V_ARRAY(&fresh);
      return S_OK;
    }
    switch (vt & ~VT_BYREF) {
      case VT_VARIANT: {
        VARIANT fresh;
        HRESULT result = ToComVariant(value, &fresh);
        if (FAILED(result)) return result;
        VariantClear(V_VARIANTREF(target));
        *V_VARIANTREF(target) = fresh;
        return S_OK;
      }
      case VT_I4:
        *V_I4REF(target) = value.ToLong();
        return S_OK;
      case VT_I2:
        *V_I2REF(target) = value.ToInteger();
        return S_OK;
      case VT_UI1:
        *V_UI1REF(target) = value.ToByte();
        return S_OK;
      case VT_BOOL:
        *V_BOOLREF(target) = value.ToBool() ? VARIANT_TRUE : VARIANT_FALSE;
        return S_OK;
      case VT_R8:
        *V_R8REF(target) = value.ToDouble();
        return S_OK;
      case VT_DATE:
        *V_DATEREF(target) = value.type() == VarType::kDate ? value.DateDays() : value.ToDouble();
        return S_OK;
      case VT_BSTR: {
        BSTR text = NewBstr(value.ToString());
        if (!text) return E_OUTOFMEMORY;
        SysFreeString(*V_BSTRREF(target));
        *V_BSTRREF(target) = text;
        return S_OK;
      }
      default:
        return DISP_E_TYPEMISMATCH;
    }
  } catch (const support::Error& error) {
    return error.number() == support::errnum::kOverflow ? DISP_E_OVERFLOW : DISP_E_TYPEMISMATCH;
  } catch (...) {
    return E_OUTOFMEMORY;
  }
}

}  // namespace automation::com
