// A compiled client of the registered Quern0102.dll: CoCreateInstance, calls through
// IDispatch, a callback it implements itself (the vtable of _IFindFilesCallback) that cancels
// a search, bad arguments at the boundary, and the library free to unload at the end.
#include <windows.h>
// <windows.h> first: the COM headers need its types.

#include <gtest/gtest.h>
#include <oleauto.h>

#include <fstream>
#include <string>
#include <vector>

#include "support/windows_test_support.h"

namespace {

// The callback's interface id, as the type library gives it to compiled clients.
constexpr IID kIidFindFilesCallback = {
    0x73565CF6, 0xAA78, 0x4C07, {0x97, 0x82, 0x44, 0x08, 0x61, 0x96, 0xAD, 0x77}};

struct Var : VARIANT {
  Var() { VariantInit(this); }
  explicit Var(const std::wstring& text) : Var() {
    vt = VT_BSTR;
    bstrVal = SysAllocString(text.c_str());
  }
  explicit Var(bool flag) : Var() {
    vt = VT_BOOL;
    boolVal = flag ? VARIANT_TRUE : VARIANT_FALSE;
  }
  ~Var() { VariantClear(this); }
  Var(const Var&) = delete;
};

// A compiled client's callback: IDispatch's slots, then DirectoryCompleted. It refuses to be
// called by name, so the library must use the vtable.
struct CancellingCallback : IDispatch {
  virtual HRESULT STDMETHODCALLTYPE DirectoryCompleted(BSTR path, VARIANT_BOOL* cancel) {
    paths.push_back(path ? path : L"");
    *cancel = VARIANT_TRUE;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
    if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IDispatch) ||
        IsEqualIID(iid, kIidFindFilesCallback)) {
      *out = this;
      AddRef();
      return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++references; }
  ULONG STDMETHODCALLTYPE Release() override { return --references; }
  HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override {
    *count = 0;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override {
    return DISP_E_UNKNOWNNAME;
  }
  HRESULT STDMETHODCALLTYPE Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*,
                                   UINT*) override {
    return DISP_E_MEMBERNOTFOUND;
  }
  ULONG references = 1;
  std::vector<std::wstring> paths;
};

class ComClient : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)));
  }
  void TearDown() override {
    // Everything released: the library may go.
    HMODULE library = GetModuleHandleW(L"Quern0102.dll");
    ASSERT_NE(library, nullptr);
    auto can_unload = reinterpret_cast<HRESULT(STDAPICALLTYPE*)()>(
        reinterpret_cast<void*>(GetProcAddress(library, "DllCanUnloadNow")));
    ASSERT_NE(can_unload, nullptr);
    EXPECT_EQ(can_unload(), S_OK);
    CoUninitialize();
  }

  // A new object of the class registered under `progid`.
  static IDispatch* Create(const wchar_t* progid) {
    CLSID clsid;
    EXPECT_EQ(CLSIDFromProgID(progid, &clsid), S_OK) << "registered";
    IDispatch* object = nullptr;
    EXPECT_EQ(CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch,
                               reinterpret_cast<void**>(&object)),
              S_OK);
    return object;
  }
  static HRESULT Call(IDispatch* object, const wchar_t* name, std::vector<VARIANT*> args,
                      VARIANT* result, EXCEPINFO* excep = nullptr) {
    LPOLESTR names[] = {const_cast<LPOLESTR>(name)};
    DISPID id = 0;
    HRESULT found = object->GetIDsOfNames(IID_NULL, names, 1, 0, &id);
    if (FAILED(found)) return found;
    std::vector<VARIANTARG> reversed;
    for (auto it = args.rbegin(); it != args.rend(); ++it) reversed.push_back(**it);
    DISPPARAMS params{reversed.data(), nullptr, static_cast<UINT>(reversed.size()), 0};
    EXCEPINFO ignored{};
    HRESULT outcome = object->Invoke(id, IID_NULL, 0, DISPATCH_METHOD, &params, result,
                                     excep ? excep : &ignored, nullptr);
    if (!excep) {
      SysFreeString(ignored.bstrSource);
      SysFreeString(ignored.bstrDescription);
    }
    return outcome;
  }
};

TEST_F(ComClient, ACallbackImplementedInCodeCancelsTheSearch) {
  windows_test::TempTree tree;
  windows_test::MakeFile(tree / "one\\two\\deep.txt");
  windows_test::MakeFile(tree / "top.txt");
  IDispatch* found = Create(L"Quern0102.orvFoundedFiles");
  ASSERT_NE(found, nullptr);
  CancellingCallback callback;
  Var path(windows_test::Wide(tree.root())), mask(std::wstring(L"*")), follow(false), target;
  target.vt = VT_DISPATCH;
  target.pdispVal = &callback;
  callback.AddRef();
  Var result;
  ASSERT_EQ(Call(found, L"RefreshEx2", {&path, &mask, &follow, &target}, &result), S_OK);
  // The deepest folder finishes first, and its Cancel stops the whole search.
  ASSERT_EQ(callback.paths.size(), 1u);
  EXPECT_NE(callback.paths[0].find(L"two"), std::wstring::npos);
  found->Release();
  VariantClear(&target);
  EXPECT_EQ(callback.references, 1u);
}

TEST_F(ComClient, TheTypeLibraryDescribesTheObject) {
  IDispatch* fso = Create(L"Quern0102.orvFSO");
  ASSERT_NE(fso, nullptr);
  UINT count = 0;
  ASSERT_EQ(fso->GetTypeInfoCount(&count), S_OK);
  ASSERT_EQ(count, 1u);
  ITypeInfo* info = nullptr;
  ASSERT_EQ(fso->GetTypeInfo(0, 0, &info), S_OK);
  BSTR name = nullptr;
  info->GetDocumentation(MEMBERID_NIL, &name, nullptr, nullptr, nullptr);
  EXPECT_EQ(std::wstring(name), L"_orvFSO");
  SysFreeString(name);
  info->Release();
  fso->Release();
}

TEST_F(ComClient, BadArgumentsGetTheRightErrorAndNothingLeaks) {
  IDispatch* fso = Create(L"Quern0102.orvFSO");
  ASSERT_NE(fso, nullptr);
  Var result;
  EXPECT_EQ(Call(fso, L"GetFile2", {}, &result), DISP_E_PARAMNOTOPTIONAL);
  Var null;
  null.vt = VT_NULL;
  EXPECT_EQ(Call(fso, L"GetFile2", {&null}, &result), DISP_E_TYPEMISMATCH);
  // A two-dimensional array, or one of strings, is no Byte().
  SAFEARRAYBOUND bounds[2] = {{2, 0}, {2, 0}};
  Var name(std::wstring(L"C:\\never-written.bin")), square, strings;
  square.vt = VT_ARRAY | VT_UI1;
  square.parray = SafeArrayCreate(VT_UI1, 2, bounds);
  EXPECT_EQ(Call(fso, L"PutFileB", {&name, &square}, &result), DISP_E_TYPEMISMATCH);
  strings.vt = VT_ARRAY | VT_BSTR;
  strings.parray = SafeArrayCreateVector(VT_BSTR, 0, 1);
  EXPECT_EQ(Call(fso, L"PutFileB", {&name, &strings}, &result), DISP_E_TYPEMISMATCH);
  // Empty and null names: the library's own "file not found" (53), with IErrorInfo.
  Var empty(std::wstring(L"")), raise(true);
  EXCEPINFO excep{};
  ASSERT_EQ(Call(fso, L"GetFile2", {&empty, &raise}, &result, &excep), DISP_E_EXCEPTION);
  EXPECT_EQ(HRESULT_FACILITY(excep.scode), FACILITY_CONTROL);
  EXPECT_NE(excep.bstrDescription, nullptr);
  SysFreeString(excep.bstrSource);
  SysFreeString(excep.bstrDescription);
  IErrorInfo* info = nullptr;
  ASSERT_EQ(GetErrorInfo(0, &info), S_OK);
  BSTR source = nullptr;
  info->GetSource(&source);
  EXPECT_EQ(std::wstring(source), L"orvFSO");
  SysFreeString(source);
  info->Release();
  Var null_text;
  null_text.vt = VT_BSTR;  // a null BSTR is ""
  excep = {};
  EXPECT_EQ(Call(fso, L"GetFile2", {&null_text, &raise}, &result, &excep), DISP_E_EXCEPTION);
  SysFreeString(excep.bstrSource);
  SysFreeString(excep.bstrDescription);
  // A number far beyond any zone: overflow (6).
  Var file(std::wstring(L"C:\\zone.txt")), huge;
  huge.vt = VT_R8;
  huge.dblVal = 1e300;
  excep = {};
  EXPECT_EQ(Call(fso, L"SetFileZone", {&file, &huge}, &result, &excep), DISP_E_EXCEPTION);
  EXPECT_EQ(excep.scode, static_cast<SCODE>(0x800A0006));
  SysFreeString(excep.bstrSource);
  SysFreeString(excep.bstrDescription);
  fso->Release();
}

}  // namespace
