// The COM bridge in-process: a small class of its own, reached only through IDispatch as a
// script or a compiled client reaches the library's classes.
#include <gtest/gtest.h>
#include <windows.h>
// <windows.h> first: the COM headers need its types.

#include <oleauto.h>

#include <string>
#include <vector>

#include "automation/collection.h"
#include "automation/com/server.h"
#include "automation/component.h"
#include "automation/member_table.h"
#include "support/ov_error.h"

namespace {

using automation::CallArgs;
using automation::MemberKind;
using automation::Missing;
using automation::Object;
using automation::ParamInfo;
using automation::Ref;
using automation::Variant;

constexpr automation::DispId Slot(int n) { return 0x60030000 + n; }
ParamInfo In(std::string name, std::string type) { return {name, type, false, Missing{}, false}; }
ParamInfo ByRef(std::string name, std::string type) { return {name, type, false, Missing{}, true}; }

// The interface a client implements: Report(Text, ByRef Cancel).
class ProbeCallback : public Object {
 public:
  static const automation::ClassInfo& Class() {
    static const automation::ClassInfo info =
        automation::DescribeClass("ProbeCallback", {0x11111111, 1, 1, {1, 1, 1, 1, 1, 1, 1, 1}},
                                  {0x22222222, 2, 2, {2, 2, 2, 2, 2, 2, 2, 2}}, false, "",
                                  {{"Report",
                                    Slot(0),
                                    MemberKind::kMethod,
                                    {In("Text", "String"), ByRef("Cancel", "Boolean")},
                                    "",
                                    "",
                                    false,
                                    [](Object&, CallArgs&) { return Variant(); }}});
    return info;
  }
  const automation::ClassInfo& TypeInfo() const noexcept override { return Class(); }
};

class Probe : public Object {
 public:
  static const automation::ClassInfo& Class();
  const automation::ClassInfo& TypeInfo() const noexcept override { return Class(); }
};

const automation::ClassInfo& Probe::Class() {
  using K = MemberKind;
  static const automation::ClassInfo info = automation::DescribeClass(
      "Probe", {0x33333333, 3, 3, {3, 3, 3, 3, 3, 3, 3, 3}},
      {0x44444444, 4, 4, {4, 4, 4, 4, 4, 4, 4, 4}}, true, "",
      {
          {"Echo",
           Slot(0),
           K::kMethod,
           {In("Value", "Variant")},
           "Variant",
           "",
           false,
           [](Object&, CallArgs& a) { return a[0]; }},
          {"Add",
           Slot(1),
           K::kMethod,
           {In("A", "Long"), {"B", "Long", true, Variant(int32_t{1}), false}},
           "Long",
           "",
           false,
           [](Object&, CallArgs& a) { return Variant(a.Long(0) + a.Long(1)); }},
          {"Fail",
           Slot(2),
           K::kMethod,
           {In("Number", "Long")},
           "",
           "",
           false,
           [](Object&, CallArgs& a) -> Variant {
             throw support::Error(a.Long(0), "Probe failed", "Probe");
           }},
          {"Twice",
           Slot(3),
           K::kMethod,
           {ByRef("Value", "Long")},
           "",
           "",
           false,
           [](Object&, CallArgs& a) {
             CallArgs::Out<int32_t> value(a, 0);
             if (value.get()) *value.get() *= 2;
             return Variant();
           }},
          {"Bytes",
           Slot(4),
           K::kMethod,
           {In("Data", "Byte()")},
           "Byte()",
           "",
           false,
           [](Object&, CallArgs& a) {
             std::vector<uint8_t> bytes = a.Bytes(0);
             bytes.push_back(0xFF);
             return Variant(std::move(bytes));
           }},
          {"Ask",
           Slot(5),
           K::kMethod,
           {In("Target", "ProbeCallback")},
           "Boolean",
           "",
           false,
           [](Object&, CallArgs& a) {
             Ref<Object> target = a.ObjectArg(0);
             std::vector<Variant> args{Variant(u"done"), Variant(false)};
             automation::CallByName(*target, "Report", args);
             return Variant(args[1].ToBool());
           }},
          {"NewEnum",
           automation::kDispIdNewEnum,
           K::kPropertyGet,
           {},
           "IUnknown",
           "",
           true,
           [](Object&, CallArgs&) {
             return Variant(automation::MakeObject<automation::Enumerator>(
                 std::vector<Variant>{Variant(int32_t{1}), Variant(u"two")}));
           }},
      },
      automation::NewObject<Probe>);
  return info;
}

const automation::TypeLibrary& ProbeLibrary() {
  static const automation::TypeLibrary library = [] {
    automation::TypeLibrary l;
    l.name = "ProbeLib";
    l.classes = {&Probe::Class(), &ProbeCallback::Class()};
    return l;
  }();
  return library;
}

// A VARIANT that clears itself.
struct Var : VARIANT {
  Var() { VariantInit(this); }
  explicit Var(const wchar_t* text) : Var() {
    vt = VT_BSTR;
    bstrVal = SysAllocString(text);
  }
  explicit Var(LONG number) : Var() {
    vt = VT_I4;
    lVal = number;
  }
  ~Var() { VariantClear(this); }
  Var(const Var&) = delete;
};

class BridgeTest : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)));
    automation::com::SetServedLibrary(ProbeLibrary());
    IClassFactory* factory = nullptr;
    const automation::Guid& iid_factory = automation::kIidClassFactory;
    ASSERT_EQ(automation::com::GetClassObject(ProbeLibrary(), &Probe::Class().clsid, &iid_factory,
                                              reinterpret_cast<void**>(&factory)),
              S_OK);
    ASSERT_EQ(factory->CreateInstance(nullptr, IID_IDispatch, reinterpret_cast<void**>(&probe_)),
              S_OK);
    factory->Release();
  }
  void TearDown() override {
    if (probe_) probe_->Release();
    // Nothing of the module is left alive: every wrapper, enumerator and object was freed.
    EXPECT_EQ(automation::com::CanUnloadNow(), S_OK);
    CoUninitialize();
  }

  DISPID Id(const wchar_t* name) {
    LPOLESTR names[] = {const_cast<LPOLESTR>(name)};
    DISPID id = 0;
    EXPECT_EQ(probe_->GetIDsOfNames(IID_NULL, names, 1, 0, &id), S_OK) << "name";
    return id;
  }
  // Arguments in call order (reversed here as rgvarg wants them).
  HRESULT Call(const wchar_t* name, std::vector<VARIANT*> args, VARIANT* result,
               EXCEPINFO* excep = nullptr, UINT* arg_error = nullptr,
               WORD flags = DISPATCH_METHOD) {
    std::vector<VARIANTARG> reversed;
    for (auto it = args.rbegin(); it != args.rend(); ++it) reversed.push_back(**it);
    DISPPARAMS params{reversed.data(), nullptr, static_cast<UINT>(reversed.size()), 0};
    EXCEPINFO ignored{};
    UINT ignored_error = 0;
    HRESULT outcome =
        probe_->Invoke(Id(name), IID_NULL, 0, flags, &params, result, excep ? excep : &ignored,
                       arg_error ? arg_error : &ignored_error);
    if (!excep) {
      SysFreeString(ignored.bstrSource);
      SysFreeString(ignored.bstrDescription);
    }
    return outcome;
  }

  IDispatch* probe_ = nullptr;
};

TEST_F(BridgeTest, NamesAreFoundWithoutRegardToCaseAndTheEnumeratorByBothNames) {
  EXPECT_EQ(Id(L"ADD"), Slot(1));
  EXPECT_EQ(Id(L"_NewEnum"), DISPID_NEWENUM);
  EXPECT_EQ(Id(L"newenum"), DISPID_NEWENUM);
  LPOLESTR names[] = {const_cast<LPOLESTR>(L"NoSuchMember")};
  DISPID id = 0;
  EXPECT_EQ(probe_->GetIDsOfNames(IID_NULL, names, 1, 0, &id), DISP_E_UNKNOWNNAME);
  EXPECT_EQ(id, DISPID_UNKNOWN);
}

TEST_F(BridgeTest, ArgumentsDefaultsAndResultsCrossAsVariants) {
  Var a(LONG{40}), b(LONG{2}), result;
  ASSERT_EQ(Call(L"Add", {&a, &b}, &result), S_OK);
  EXPECT_EQ(result.vt, VT_I4);
  EXPECT_EQ(result.lVal, 42);
  // Left out, or passed as "missing": the default (1).
  Var missing, sum;
  missing.vt = VT_ERROR;
  missing.scode = DISP_E_PARAMNOTFOUND;
  ASSERT_EQ(Call(L"Add", {&a, &missing}, &sum), S_OK);
  EXPECT_EQ(sum.lVal, 41);
  // Strings, Booleans and Dates keep their types both ways.
  Var text(L"héllo"), echoed;
  ASSERT_EQ(Call(L"Echo", {&text}, &echoed), S_OK);
  ASSERT_EQ(echoed.vt, VT_BSTR);
  EXPECT_EQ(std::wstring(echoed.bstrVal), L"héllo");
  Var date, date_back;
  date.vt = VT_DATE;
  date.date = 45000.5;
  ASSERT_EQ(Call(L"Echo", {&date}, &date_back), S_OK);
  EXPECT_EQ(date_back.vt, VT_DATE);
  EXPECT_EQ(date_back.date, 45000.5);
  Var flag, flag_back;
  flag.vt = VT_BOOL;
  flag.boolVal = VARIANT_TRUE;
  ASSERT_EQ(Call(L"Echo", {&flag}, &flag_back), S_OK);
  EXPECT_EQ(flag_back.vt, VT_BOOL);
  EXPECT_EQ(flag_back.boolVal, VARIANT_TRUE);
  // A null BSTR is the empty string.
  Var null_text, empty;
  null_text.vt = VT_BSTR;
  ASSERT_EQ(Call(L"Echo", {&null_text}, &empty), S_OK);
  EXPECT_EQ(SysStringLen(empty.bstrVal), 0u);
}

TEST_F(BridgeTest, BadCallsGetTheDispatchErrorsNeverACrash) {
  Var a(LONG{1}), b(LONG{2}), c(LONG{3}), result;
  EXPECT_EQ(Call(L"Add", {&a, &b, &c}, &result), DISP_E_BADPARAMCOUNT);
  EXPECT_EQ(Call(L"Add", {}, &result), DISP_E_PARAMNOTOPTIONAL);
  Var null;
  null.vt = VT_NULL;
  UINT arg_error = 99;
  EXPECT_EQ(Call(L"Add", {&a, &null}, &result, nullptr, &arg_error), DISP_E_TYPEMISMATCH);
  EXPECT_EQ(arg_error, 0u);  // rgvarg[0]: the last argument
  // A string that is no number, and a number beyond Long: VB's errors 13 and 6, raised.
  Var word(L"many"), huge, big_result;
  huge.vt = VT_R8;
  huge.dblVal = 1e300;
  EXCEPINFO excep{};
  EXPECT_EQ(Call(L"Add", {&word}, &result, &excep), DISP_E_EXCEPTION);
  EXPECT_EQ(excep.scode, static_cast<SCODE>(0x800A000D));
  SysFreeString(excep.bstrSource);
  SysFreeString(excep.bstrDescription);
  excep = {};
  EXPECT_EQ(Call(L"Add", {&huge}, &big_result, &excep), DISP_E_EXCEPTION);
  EXPECT_EQ(excep.scode, static_cast<SCODE>(0x800A0006));
  SysFreeString(excep.bstrSource);
  SysFreeString(excep.bstrDescription);
  // A property put: every property is read-only.
  EXPECT_EQ(Call(L"Add", {&a}, &result, nullptr, nullptr, DISPATCH_PROPERTYPUT),
            DISP_E_MEMBERNOTFOUND);
}

TEST_F(BridgeTest, ARaisedErrorReachesTheClientWithItsNumberSourceAndDescription) {
  Var number(LONG{53}), result;
  EXCEPINFO excep{};
  ASSERT_EQ(Call(L"Fail", {&number}, &result, &excep), DISP_E_EXCEPTION);
  EXPECT_EQ(excep.scode, static_cast<SCODE>(0x800A0035));
  EXPECT_EQ(std::wstring(excep.bstrSource), L"Probe");
  EXPECT_EQ(std::wstring(excep.bstrDescription), L"Probe failed");
  SysFreeString(excep.bstrSource);
  SysFreeString(excep.bstrDescription);
  ISupportErrorInfo* supports = nullptr;
  ASSERT_EQ(probe_->QueryInterface(IID_ISupportErrorInfo, reinterpret_cast<void**>(&supports)),
            S_OK);
  EXPECT_EQ(supports->InterfaceSupportsErrorInfo(IID_IDispatch), S_OK);
  supports->Release();
  IErrorInfo* info = nullptr;
  ASSERT_EQ(GetErrorInfo(0, &info), S_OK);
  BSTR description = nullptr;
  info->GetDescription(&description);
  EXPECT_EQ(std::wstring(description), L"Probe failed");
  SysFreeString(description);
  info->Release();
}

TEST_F(BridgeTest, ByReferenceArgumentsAreWrittenBackInTheCallersType) {
  // A script's variable.
  Var inner(LONG{21}), by_variant;
  by_variant.vt = VT_VARIANT | VT_BYREF;
  by_variant.pvarVal = &inner;
  ASSERT_EQ(Call(L"Twice", {&by_variant}, nullptr), S_OK);
  EXPECT_EQ(inner.lVal, 42);
  by_variant.vt = VT_EMPTY;  // not ours to clear
  // A compiled client's typed Long and Integer.
  LONG number = 5;
  Var by_long;
  by_long.vt = VT_I4 | VT_BYREF;
  by_long.plVal = &number;
  ASSERT_EQ(Call(L"Twice", {&by_long}, nullptr), S_OK);
  EXPECT_EQ(number, 10);
  SHORT small = 20000;
  Var by_short;
  by_short.vt = VT_I2 | VT_BYREF;
  by_short.piVal = &small;
  // 40000 does not fit the caller's Integer: overflow, and the caller's value stays.
  EXPECT_EQ(Call(L"Twice", {&by_short}, nullptr), DISP_E_OVERFLOW);
  EXPECT_EQ(small, 20000);
}

TEST_F(BridgeTest, BytesTravelAsSafeArraysOfOneDimension) {
  Var data;
  data.vt = VT_ARRAY | VT_UI1;
  data.parray = SafeArrayCreateVector(VT_UI1, 0, 2);
  static_cast<uint8_t*>(data.parray->pvData)[0] = 7;
  static_cast<uint8_t*>(data.parray->pvData)[1] = 8;
  Var result;
  ASSERT_EQ(Call(L"Bytes", {&data}, &result), S_OK);
  ASSERT_EQ(result.vt, VT_ARRAY | VT_UI1);
  ASSERT_EQ(result.parray->rgsabound[0].cElements, 3u);
  EXPECT_EQ(static_cast<uint8_t*>(result.parray->pvData)[2], 0xFF);
  // A script's Array(1, 2) of Variants holding numbers from 0 to 255 is taken too ...
  Var list, from_list;
  list.vt = VT_ARRAY | VT_VARIANT;
  list.parray = SafeArrayCreateVector(VT_VARIANT, 0, 2);
  auto* items = static_cast<VARIANT*>(list.parray->pvData);
  items[0].vt = VT_I2;
  items[0].iVal = 1;
  items[1].vt = VT_I4;
  items[1].lVal = 300;
  EXPECT_EQ(Call(L"Bytes", {&list}, &from_list), DISP_E_OVERFLOW);  // ... but not 300
  items[1].lVal = 2;
  ASSERT_EQ(Call(L"Bytes", {&list}, &from_list), S_OK);
  EXPECT_EQ(from_list.parray->rgsabound[0].cElements, 3u);
  // Two dimensions, or strings: type mismatch.
  SAFEARRAYBOUND bounds[2] = {{2, 0}, {2, 0}};
  Var square, none;
  square.vt = VT_ARRAY | VT_UI1;
  square.parray = SafeArrayCreate(VT_UI1, 2, bounds);
  EXPECT_EQ(Call(L"Bytes", {&square}, &none), DISP_E_TYPEMISMATCH);
  Var strings;
  strings.vt = VT_ARRAY | VT_BSTR;
  strings.parray = SafeArrayCreateVector(VT_BSTR, 0, 1);
  EXPECT_EQ(Call(L"Bytes", {&strings}, &none), DISP_E_TYPEMISMATCH);
}

TEST_F(BridgeTest, TheEnumeratorAnswersAsAPropertyAndAsAMethod) {
  for (WORD flags : {WORD{DISPATCH_PROPERTYGET}, WORD{DISPATCH_METHOD}}) {
    DISPPARAMS none{};
    Var result;
    ASSERT_EQ(probe_->Invoke(DISPID_NEWENUM, IID_NULL, 0, flags, &none, &result, nullptr, nullptr),
              S_OK);
    ASSERT_EQ(result.vt, VT_UNKNOWN);
    IEnumVARIANT* items = nullptr;
    ASSERT_EQ(result.punkVal->QueryInterface(IID_IEnumVARIANT, reinterpret_cast<void**>(&items)),
              S_OK);
    Var first, second[2];
    ULONG fetched = 0;
    ASSERT_EQ(items->Next(1, &first, &fetched), S_OK);
    EXPECT_EQ(first.lVal, 1);
    EXPECT_EQ(items->Next(2, second, &fetched), S_FALSE);  // only one left
    EXPECT_EQ(fetched, 1u);
    EXPECT_EQ(std::wstring(second[0].bstrVal), L"two");
    items->Release();
  }
}

TEST_F(BridgeTest, AnObjectKeepsOneIdentityAndComesBackAsItself) {
  Var self, echoed;
  self.vt = VT_DISPATCH;
  self.pdispVal = probe_;
  probe_->AddRef();
  ASSERT_EQ(Call(L"Echo", {&self}, &echoed), S_OK);
  EXPECT_EQ(echoed.vt, VT_DISPATCH);
  EXPECT_EQ(echoed.pdispVal, probe_);
}

// A compiled client's implementation of ProbeCallback: IDispatch's slots, then Report.
struct TypedCallback : IDispatch {
  virtual HRESULT STDMETHODCALLTYPE Report(BSTR text, VARIANT_BOOL* cancel) {
    seen = text;
    *cancel = VARIANT_TRUE;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
    static const GUID typed = {0x22222222, 2, 2, {2, 2, 2, 2, 2, 2, 2, 2}};
    if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IDispatch) || IsEqualIID(iid, typed)) {
      *out = this;
      AddRef();
      return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++references; }
  ULONG STDMETHODCALLTYPE Release() override { return --references; }
  HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override {
    return DISP_E_UNKNOWNNAME;  // only the vtable may be used
  }
  HRESULT STDMETHODCALLTYPE Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*,
                                   UINT*) override {
    return DISP_E_MEMBERNOTFOUND;
  }
  ULONG references = 1;
  std::wstring seen;
};

// A script's object: IDispatch only, Report found by name, Cancel written through its Variant.
struct ScriptCallback : TypedCallback {
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
    if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IDispatch)) {
      *out = this;
      AddRef();
      return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
  }
  HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR* names, UINT, LCID,
                                          DISPID* id) override {
    if (_wcsicmp(names[0], L"report") != 0) return DISP_E_UNKNOWNNAME;
    *id = 7;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS* params, VARIANT*,
                                   EXCEPINFO*, UINT*) override {
    if (id != 7 || params->cArgs != 2) return DISP_E_BADPARAMCOUNT;
    VARIANT* cancel = &params->rgvarg[0];
    VARIANT* text = &params->rgvarg[1];
    if (cancel->vt != (VT_VARIANT | VT_BYREF) || text->vt != (VT_VARIANT | VT_BYREF))
      return DISP_E_TYPEMISMATCH;
    seen = text->pvarVal->bstrVal;
    VariantClear(cancel->pvarVal);
    cancel->pvarVal->vt = VT_BOOL;
    cancel->pvarVal->boolVal = VARIANT_TRUE;
    return S_OK;
  }
};

TEST_F(BridgeTest, AClientsCallbackIsCalledThroughItsVtableOrByName) {
  TypedCallback typed;
  ScriptCallback script;
  for (TypedCallback* callback : {&typed, static_cast<TypedCallback*>(&script)}) {
    Var target, answer;
    target.vt = VT_DISPATCH;
    target.pdispVal = callback;
    callback->AddRef();
    ASSERT_EQ(Call(L"Ask", {&target}, &answer), S_OK);
    EXPECT_EQ(callback->seen, L"done");
    EXPECT_EQ(answer.boolVal, VARIANT_TRUE);  // the Cancel the client set
  }
  EXPECT_EQ(typed.references, 1u);
  EXPECT_EQ(script.references, 1u);
}

TEST_F(BridgeTest, ALockedFactoryOrALiveObjectKeepsTheModule) {
  EXPECT_EQ(automation::com::CanUnloadNow(), S_FALSE);  // probe_ is alive
  IClassFactory* factory = nullptr;
  const automation::Guid& iid_factory = automation::kIidClassFactory;
  ASSERT_EQ(automation::com::GetClassObject(ProbeLibrary(), &Probe::Class().clsid, &iid_factory,
                                            reinterpret_cast<void**>(&factory)),
            S_OK);
  factory->LockServer(TRUE);
  factory->Release();
  probe_->Release();
  probe_ = nullptr;
  EXPECT_EQ(automation::com::CanUnloadNow(), S_FALSE);
  IClassFactory* again = nullptr;
  automation::com::GetClassObject(ProbeLibrary(), &Probe::Class().clsid, &iid_factory,
                                  reinterpret_cast<void**>(&again));
  again->LockServer(FALSE);
  again->Release();
  // The callback interface is not creatable: no factory.
  void* none = nullptr;
  EXPECT_EQ(automation::com::GetClassObject(ProbeLibrary(), &ProbeCallback::Class().clsid,
                                            &iid_factory, &none),
            CLASS_E_CLASSNOTAVAILABLE);
}

}  // namespace
