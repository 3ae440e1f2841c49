// A compiled client of the registered Quern0102.dll: CoCreateInstance, calls through
// IDispatch, a callback it implements itself (the vtable of _IFindFilesCallback) that cancels
// a search, bad arguments at the boundary, calls bound early through the dual interfaces'
// vtables (at the offsets the type library declares), icons as OLE pictures, cloned
// enumerators, and the library free to unload at the end.
#include <windows.h>
// <windows.h> first: the COM headers need its types.

#include <gtest/gtest.h>
#include <oleauto.h>
#include <olectl.h>

#include <algorithm>
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

// An object's dual interface as an early-bound client sees it: the interface id and the
// vtable offset of each member read from the type library, the interface pointer from
// QueryInterface. Member(name) is the function in that slot, to be called with the signature
// the type library declares.
class DualInterface {
 public:
  explicit DualInterface(IDispatch* object) {
    ITypeInfo* dispatch_info = nullptr;
    if (FAILED(object->GetTypeInfo(0, 0, &dispatch_info))) return;
    // The type information of a dual interface is its dispatch view; the vtable view is its
    // implemented type -1.
    HREFTYPE vtable_ref = 0;
    if (SUCCEEDED(dispatch_info->GetRefTypeOfImplType(static_cast<UINT>(-1), &vtable_ref)))
      dispatch_info->GetRefTypeInfo(vtable_ref, &info_);
    dispatch_info->Release();
    if (!info_) return;
    TYPEATTR* attributes = nullptr;
    info_->GetTypeAttr(&attributes);
    iid_ = attributes->guid;
    info_->ReleaseTypeAttr(attributes);
    object->QueryInterface(iid_, reinterpret_cast<void**>(&interface_));
  }
  ~DualInterface() {
    if (interface_) interface_->Release();
    if (info_) info_->Release();
  }
  DualInterface(const DualInterface&) = delete;
  IUnknown* get() const { return interface_; }
  const IID& iid() const { return iid_; }

  template <class Function>
  Function Member(const wchar_t* name) const {
    TYPEATTR* attributes = nullptr;
    info_->GetTypeAttr(&attributes);
    const WORD functions = attributes->cFuncs;
    info_->ReleaseTypeAttr(attributes);
    for (WORD i = 0; i < functions; ++i) {
      FUNCDESC* function = nullptr;
      info_->GetFuncDesc(i, &function);
      BSTR found = nullptr;
      UINT count = 0;
      info_->GetNames(function->memid, &found, 1, &count);
      const bool match = count == 1 && std::wstring(found) == name;
      const SHORT offset = function->oVft;
      SysFreeString(found);
      info_->ReleaseFuncDesc(function);
      if (match) {
        void** vtable = *reinterpret_cast<void***>(interface_);
        return reinterpret_cast<Function>(vtable[offset / sizeof(void*)]);
      }
    }
    ADD_FAILURE() << "no member " << std::string(name, name + wcslen(name));
    return nullptr;
  }

 private:
  ITypeInfo* info_ = nullptr;
  IID iid_{};
  IUnknown* interface_ = nullptr;
};

// Quern0102.dll's DllCanUnloadNow answers S_OK: nothing of the library is alive.
void ExpectLibraryMayUnload() {
  HMODULE library = GetModuleHandleW(L"Quern0102.dll");
  ASSERT_NE(library, nullptr);
  auto can_unload = reinterpret_cast<HRESULT(STDAPICALLTYPE*)()>(
      reinterpret_cast<void*>(GetProcAddress(library, "DllCanUnloadNow")));
  ASSERT_NE(can_unload, nullptr);
  EXPECT_EQ(can_unload(), S_OK);
}

class ComClient : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)));
  }
  void TearDown() override {
    // Everything released: the library may go.
    ExpectLibraryMayUnload();
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
  // The picture of `file`'s large icon as a client gets it (a new reference), through an
  // orvShellFileInfo that is released again; null when any step fails.
  static IDispatch* IconPicture(const std::string& file) {
    IDispatch* info = Create(L"Quern0102.orvShellFileInfo");
    if (!info) return nullptr;
    IDispatch* picture = nullptr;
    Var path(windows_test::Wide(file)), read, icon, got;
    if (Call(info, L"ReadFile", {&path}, &read) == S_OK && Get(info, L"Icon", &icon) == S_OK &&
        icon.vt == VT_DISPATCH && Get(icon.pdispVal, L"Icon", &got) == S_OK &&
        got.vt == VT_DISPATCH && got.pdispVal) {
      picture = got.pdispVal;
      picture->AddRef();
    }
    info->Release();
    return picture;
  }
  // The value of the property or method `name` without arguments.
  static HRESULT Get(IDispatch* object, const wchar_t* name, VARIANT* result) {
    return Call(object, name, {}, result);
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

TEST_F(ComClient, EarlyBoundCallsGoThroughTheDualInterface) {
  windows_test::TempTree tree;
  IDispatch* fso = Create(L"Quern0102.orvFSO");
  ASSERT_NE(fso, nullptr);
  DualInterface dual(fso);
  ASSERT_NE(dual.get(), nullptr) << "QueryInterface for _orvFSO";
  // The same object: its IUnknown, and back to IDispatch and the interface itself.
  IUnknown* identity = nullptr;
  ASSERT_EQ(dual.get()->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&identity)), S_OK);
  IUnknown* fso_identity = nullptr;
  fso->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&fso_identity));
  EXPECT_EQ(identity, fso_identity);
  identity->Release();
  fso_identity->Release();
  IUnknown* self = nullptr;
  ASSERT_EQ(dual.get()->QueryInterface(dual.iid(), reinterpret_cast<void**>(&self)), S_OK);
  EXPECT_EQ(self, dual.get());
  self->Release();

  using PutFile2 = HRESULT(STDMETHODCALLTYPE*)(IUnknown*, BSTR, BSTR, VARIANT_BOOL, LONG, LONG,
                                               LONG, VARIANT_BOOL*);
  using GetFile2 = HRESULT(STDMETHODCALLTYPE*)(IUnknown*, BSTR, VARIANT_BOOL, LONG, LONG, LONG,
                                               LONG*, LONG*, LONG*, VARIANT_BOOL*, BSTR*);
  using PutFileB =
      HRESULT(STDMETHODCALLTYPE*)(IUnknown*, BSTR, SAFEARRAY**, VARIANT_BOOL, VARIANT_BOOL*);
  using GetFileB =
      HRESULT(STDMETHODCALLTYPE*)(IUnknown*, BSTR, VARIANT_BOOL, VARIANT_BOOL*, SAFEARRAY**);
  auto put_text = dual.Member<PutFile2>(L"PutFile2");
  auto get_text = dual.Member<GetFile2>(L"GetFile2");
  auto put_bytes = dual.Member<PutFileB>(L"PutFileB");
  auto get_bytes = dual.Member<GetFileB>(L"GetFileB");
  ASSERT_TRUE(put_text && get_text && put_bytes && get_bytes);

  // Text written as UTF-8 (feUTF8 = 2) with a mark (fbBOM = 2), then read with every optional
  // parameter given: the detected encoding and mark come back through the by-reference Longs.
  BSTR name = SysAllocString(windows_test::Wide(tree / "early.txt").c_str());
  BSTR text = SysAllocString(L"early bound \u0436");
  VARIANT_BOOL written = VARIANT_FALSE;
  ASSERT_EQ(put_text(dual.get(), name, text, VARIANT_TRUE, 2, 2, 1, &written), S_OK);
  EXPECT_EQ(written, VARIANT_TRUE);
  LONG encoding = -1, bom = -1, invert = -1;
  VARIANT_BOOL success = VARIANT_FALSE;
  BSTR read = nullptr;
  ASSERT_EQ(
      get_text(dual.get(), name, VARIANT_TRUE, 0, 0, 0, &encoding, &bom, &invert, &success, &read),
      S_OK);
  EXPECT_EQ(std::wstring(read), L"early bound \u0436");
  EXPECT_EQ(success, VARIANT_TRUE);
  EXPECT_EQ(encoding, 2);
  EXPECT_EQ(bom, 2);
  EXPECT_NE(invert, -1);
  SysFreeString(read);
  // Optional by-reference parameters left out (null pointers).
  read = nullptr;
  ASSERT_EQ(
      get_text(dual.get(), name, VARIANT_FALSE, 0, 0, 0, nullptr, nullptr, nullptr, nullptr, &read),
      S_OK);
  EXPECT_EQ(std::wstring(read), L"early bound \u0436");
  SysFreeString(read);

  // Byte(): a SAFEARRAY of VT_UI1 in by reference (kept: its bytes did not change) and out as
  // the result.
  BSTR binary = SysAllocString(windows_test::Wide(tree / "early.bin").c_str());
  SAFEARRAY* bytes = SafeArrayCreateVector(VT_UI1, 0, 3);
  for (LONG i = 0; i < 3; ++i) {
    BYTE value = static_cast<BYTE>(0xFD + i);
    SafeArrayPutElement(bytes, &i, &value);
  }
  SAFEARRAY* given = bytes;
  ASSERT_EQ(put_bytes(dual.get(), binary, &bytes, VARIANT_TRUE, &written), S_OK);
  EXPECT_EQ(written, VARIANT_TRUE);
  EXPECT_EQ(bytes, given);
  SafeArrayDestroy(bytes);
  SAFEARRAY* back = nullptr;
  success = VARIANT_FALSE;
  ASSERT_EQ(get_bytes(dual.get(), binary, VARIANT_TRUE, &success, &back), S_OK);
  ASSERT_NE(back, nullptr);
  EXPECT_EQ(success, VARIANT_TRUE);
  EXPECT_EQ(SafeArrayGetDim(back), 1u);
  LONG upper = -1;
  SafeArrayGetUBound(back, 1, &upper);
  EXPECT_EQ(upper, 2);
  BYTE last = 0;
  SafeArrayGetElement(back, &upper, &last);
  EXPECT_EQ(last, 0xFF);
  SafeArrayDestroy(back);

  // A raised error: the HRESULT 0x800A0000 + the library's number, with IErrorInfo.
  BSTR missing = SysAllocString(windows_test::Wide(tree / "absent.txt").c_str());
  read = nullptr;
  EXPECT_EQ(get_text(dual.get(), missing, VARIANT_TRUE, 0, 0, 0, nullptr, nullptr, nullptr, nullptr,
                     &read),
            static_cast<HRESULT>(0x800A0035));
  EXPECT_EQ(read, nullptr);
  ISupportErrorInfo* supports = nullptr;
  ASSERT_EQ(dual.get()->QueryInterface(IID_ISupportErrorInfo, reinterpret_cast<void**>(&supports)),
            S_OK);
  EXPECT_EQ(supports->InterfaceSupportsErrorInfo(dual.iid()), S_OK);
  supports->Release();
  IErrorInfo* info = nullptr;
  ASSERT_EQ(GetErrorInfo(0, &info), S_OK);
  BSTR source = nullptr;
  info->GetSource(&source);
  EXPECT_EQ(std::wstring(source), L"orvFSO");
  SysFreeString(source);
  info->Release();
  // The same call without RaiseErrors: no error, an empty result.
  EXPECT_EQ(get_text(dual.get(), missing, VARIANT_FALSE, 0, 0, 0, nullptr, nullptr, nullptr,
                     nullptr, &read),
            S_OK);
  EXPECT_EQ(SysStringLen(read), 0u);
  SysFreeString(read);
  // A null result pointer is the caller's fault, not a crash.
  EXPECT_EQ(get_text(dual.get(), name, VARIANT_FALSE, 0, 0, 0, nullptr, nullptr, nullptr, nullptr,
                     nullptr),
            E_POINTER);

  for (BSTR b : {name, text, binary, missing}) SysFreeString(b);
  fso->Release();
}

// A member that raises after setting its by-reference arguments (GetFileB and GetFile2 clear
// their success flag first) leaves those values with the caller, late-bound or early-bound.
TEST_F(ComClient, ByReferenceResultsReachTheCallerWhenTheMemberRaises) {
  windows_test::TempTree tree;
  IDispatch* fso = Create(L"Quern0102.orvFSO");
  ASSERT_NE(fso, nullptr);
  const std::wstring missing = windows_test::Wide(tree / "missing.bin");

  // Late-bound, the flag passed as a VARIANT_BOOL by reference.
  VARIANT_BOOL flag = VARIANT_TRUE;
  Var name(missing), raise(true), success, bytes;
  success.vt = VT_BOOL | VT_BYREF;
  success.pboolVal = &flag;
  EXCEPINFO excep{};
  EXPECT_EQ(Call(fso, L"GetFileB", {&name, &raise, &success}, &bytes, &excep), DISP_E_EXCEPTION);
  EXPECT_EQ(excep.scode, static_cast<HRESULT>(0x800A0035));
  EXPECT_EQ(flag, VARIANT_FALSE);
  SysFreeString(excep.bstrSource);
  SysFreeString(excep.bstrDescription);
  success.vt = VT_EMPTY;  // borrowed: nothing for ~Var to clear

  // Through the dual interface: error 53 of GetFileB, error 5 of GetFile2's argument check.
  DualInterface dual(fso);
  ASSERT_NE(dual.get(), nullptr);
  using GetFileB =
      HRESULT(STDMETHODCALLTYPE*)(IUnknown*, BSTR, VARIANT_BOOL, VARIANT_BOOL*, SAFEARRAY**);
  using GetFile2 = HRESULT(STDMETHODCALLTYPE*)(IUnknown*, BSTR, VARIANT_BOOL, LONG, LONG, LONG,
                                               LONG*, LONG*, LONG*, VARIANT_BOOL*, BSTR*);
  auto get_bytes = dual.Member<GetFileB>(L"GetFileB");
  auto get_text = dual.Member<GetFile2>(L"GetFile2");
  ASSERT_TRUE(get_bytes && get_text);
  BSTR path = SysAllocString(missing.c_str());
  flag = VARIANT_TRUE;
  SAFEARRAY* back = nullptr;
  EXPECT_EQ(get_bytes(dual.get(), path, VARIANT_TRUE, &flag, &back),
            static_cast<HRESULT>(0x800A0035));
  EXPECT_EQ(flag, VARIANT_FALSE);
  EXPECT_EQ(back, nullptr);
  flag = VARIANT_TRUE;
  BSTR text = nullptr;
  EXPECT_EQ(get_text(dual.get(), path, VARIANT_FALSE, 4, 0, 0, nullptr, nullptr, nullptr, &flag,
                     &text),
            static_cast<HRESULT>(0x800A0005));
  EXPECT_EQ(flag, VARIANT_FALSE);
  EXPECT_EQ(text, nullptr);
  SysFreeString(path);
  fso->Release();
}

// Clients reading the type information see the enumerator under the class tables' name;
// clients asking by name get it under that name and under the customary "_NewEnum".
TEST_F(ComClient, TheEnumeratorIsNewEnumInTheTypeInformationAndFoundByEitherName) {
  IDispatch* found = Create(L"Quern0102.orvFoundedFiles");
  ASSERT_NE(found, nullptr);
  ITypeInfo* info = nullptr;
  ASSERT_EQ(found->GetTypeInfo(0, 0, &info), S_OK);
  BSTR name = nullptr;
  UINT count = 0;
  ASSERT_EQ(info->GetNames(DISPID_NEWENUM, &name, 1, &count), S_OK);
  EXPECT_EQ(std::wstring(name), L"NewEnum");
  SysFreeString(name);
  info->Release();
  for (const wchar_t* asked : {L"NewEnum", L"_NewEnum"}) {
    LPOLESTR names[] = {const_cast<LPOLESTR>(asked)};
    DISPID id = 0;
    EXPECT_EQ(found->GetIDsOfNames(IID_NULL, names, 1, 0, &id), S_OK);
    EXPECT_EQ(id, DISPID_NEWENUM);
  }
  found->Release();
}

TEST_F(ComClient, ACollectionsItemsComeThroughTheirOwnDualInterfaces) {
  windows_test::TempTree tree;
  windows_test::MakeFile(tree / "a.txt");
  windows_test::MakeFile(tree / "b.txt");
  IDispatch* found = Create(L"Quern0102.orvFoundedFiles");
  ASSERT_NE(found, nullptr);
  DualInterface dual(found);
  ASSERT_NE(dual.get(), nullptr);
  using RefreshEx =
      HRESULT(STDMETHODCALLTYPE*)(IUnknown*, BSTR, BSTR, VARIANT_BOOL, IDispatch*, VARIANT_BOOL*);
  using Count = HRESULT(STDMETHODCALLTYPE*)(IUnknown*, LONG*);
  using Item = HRESULT(STDMETHODCALLTYPE*)(IUnknown*, LONG, IDispatch**);
  using Text = HRESULT(STDMETHODCALLTYPE*)(IUnknown*, BSTR*);
  auto refresh = dual.Member<RefreshEx>(L"RefreshEx");
  auto count = dual.Member<Count>(L"Count");
  auto item = dual.Member<Item>(L"Item");
  ASSERT_TRUE(refresh && count && item);
  BSTR path = SysAllocString(windows_test::Wide(tree.root()).c_str());
  BSTR mask = SysAllocString(L"*.txt");
  VARIANT_BOOL done = VARIANT_FALSE;
  ASSERT_EQ(refresh(dual.get(), path, mask, VARIANT_FALSE, nullptr, &done), S_OK);
  EXPECT_EQ(done, VARIANT_TRUE);
  LONG items = 0;
  ASSERT_EQ(count(dual.get(), &items), S_OK);
  ASSERT_EQ(items, 2);
  // Item hands out the found file's own dual interface, callable through its vtable.
  std::vector<std::wstring> paths;
  for (LONG i = 0; i < items; ++i) {  // counted from 0
    IDispatch* file = nullptr;
    ASSERT_EQ(item(dual.get(), i, &file), S_OK);
    ASSERT_NE(file, nullptr);
    DualInterface file_dual(file);
    ASSERT_NE(file_dual.get(), nullptr);
    void* as_declared = nullptr;
    ASSERT_EQ(file->QueryInterface(file_dual.iid(), &as_declared), S_OK);
    EXPECT_EQ(as_declared, static_cast<void*>(file));
    static_cast<IUnknown*>(as_declared)->Release();
    BSTR file_path = nullptr;
    ASSERT_EQ(file_dual.Member<Text>(L"FileName")(file_dual.get(), &file_path), S_OK);
    paths.push_back(file_path);
    SysFreeString(file_path);
    file->Release();
  }
  ASSERT_EQ(paths.size(), 2u);
  std::sort(paths.begin(), paths.end());
  EXPECT_EQ(paths, (std::vector<std::wstring>{L"a.txt", L"b.txt"}));
  // An index past the end: the library's "invalid procedure call" (5), as late-bound.
  IDispatch* none = nullptr;
  EXPECT_EQ(item(dual.get(), items, &none), static_cast<HRESULT>(0x800A0005));
  EXPECT_EQ(none, nullptr);
  SysFreeString(path);
  SysFreeString(mask);
  found->Release();
}

HICON IconOf(OLE_HANDLE handle) { return reinterpret_cast<HICON>(static_cast<UINT_PTR>(handle)); }

TEST_F(ComClient, AnIconReachesTheClientAsAnOlePicture) {
  windows_test::TempTree tree;
  windows_test::MakeFile(tree / "shown.txt");
  IDispatch* info = Create(L"Quern0102.orvShellFileInfo");
  ASSERT_NE(info, nullptr);
  Var path(windows_test::Wide(tree / "shown.txt")), read, icon, picture, again;
  ASSERT_EQ(Call(info, L"ReadFile", {&path}, &read), S_OK);
  ASSERT_EQ(read.vt, VT_BOOL);
  ASSERT_EQ(read.boolVal, VARIANT_TRUE);
  ASSERT_EQ(Get(info, L"Icon", &icon), S_OK);
  ASSERT_EQ(icon.vt, VT_DISPATCH);
  ASSERT_EQ(Get(icon.pdispVal, L"Icon", &picture), S_OK);
  ASSERT_EQ(picture.vt, VT_DISPATCH);
  ASSERT_NE(picture.pdispVal, nullptr);

  IPictureDisp* as_disp = nullptr;
  ASSERT_EQ(picture.pdispVal->QueryInterface(IID_IPictureDisp, reinterpret_cast<void**>(&as_disp)),
            S_OK);
  IPicture* as_picture = nullptr;
  ASSERT_EQ(picture.pdispVal->QueryInterface(IID_IPicture, reinterpret_cast<void**>(&as_picture)),
            S_OK);
  OLE_HANDLE handle = 0;
  SHORT type = 0;
  OLE_XSIZE_HIMETRIC width = 0;
  OLE_YSIZE_HIMETRIC height = 0;
  ASSERT_EQ(as_picture->get_Handle(&handle), S_OK);
  ASSERT_EQ(as_picture->get_Type(&type), S_OK);
  ASSERT_EQ(as_picture->get_Width(&width), S_OK);
  ASSERT_EQ(as_picture->get_Height(&height), S_OK);
  EXPECT_EQ(type, PICTYPE_ICON);
  EXPECT_NE(handle, 0u);
  EXPECT_GT(width, 0);
  EXPECT_GT(height, 0);
  // The handle is a live icon of the size Windows draws large icons at.
  ICONINFO icon_info{};
  ASSERT_TRUE(GetIconInfo(IconOf(handle), &icon_info));
  BITMAP mask{};
  GetObjectW(icon_info.hbmMask, sizeof mask, &mask);
  EXPECT_EQ(mask.bmWidth, GetSystemMetrics(SM_CXICON));
  DeleteObject(icon_info.hbmMask);
  if (icon_info.hbmColor) DeleteObject(icon_info.hbmColor);

  // What a script reads: Handle through IDispatch, by its standard dispatch id.
  DISPPARAMS none{};
  Var by_name;
  ASSERT_EQ(as_disp->Invoke(DISPID_PICT_HANDLE, IID_NULL, 0, DISPATCH_PROPERTYGET, &none, &by_name,
                            nullptr, nullptr),
            S_OK);
  ASSERT_EQ(VariantChangeType(&by_name, &by_name, 0, VT_UI4), S_OK);
  EXPECT_EQ(by_name.ulVal, handle);

  // Asked again, late-bound or through ShellFileIcon's vtable: the same picture.
  ASSERT_EQ(Get(icon.pdispVal, L"Icon", &again), S_OK);
  ASSERT_EQ(again.vt, VT_DISPATCH);
  IUnknown* first = nullptr;
  IUnknown* second = nullptr;
  picture.pdispVal->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&first));
  again.pdispVal->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&second));
  EXPECT_EQ(first, second);
  second->Release();
  DualInterface dual(icon.pdispVal);
  ASSERT_NE(dual.get(), nullptr);
  using IconMember = HRESULT(STDMETHODCALLTYPE*)(IUnknown*, IDispatch**);
  auto early = dual.Member<IconMember>(L"Icon");
  ASSERT_NE(early, nullptr);
  IDispatch* early_picture = nullptr;
  ASSERT_EQ(early(dual.get(), &early_picture), S_OK);
  ASSERT_NE(early_picture, nullptr);
  early_picture->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&second));
  EXPECT_EQ(first, second);
  second->Release();
  early_picture->Release();
  first->Release();

  as_picture->Release();
  as_disp->Release();
  info->Release();
}

TEST_F(ComClient, APictureDestroysItsIconWhenTheLastReferenceGoes) {
  windows_test::TempTree tree;
  windows_test::MakeFile(tree / "many.txt");
  // The first picture fills what the shell caches once (its image lists); counts start after.
  IDispatch* picture = IconPicture(tree / "many.txt");
  ASSERT_NE(picture, nullptr);
  picture->Release();
  const HANDLE self = GetCurrentProcess();
  const DWORD gdi_before = GetGuiResources(self, GR_GDIOBJECTS);
  const DWORD user_before = GetGuiResources(self, GR_USEROBJECTS);
  for (int i = 0; i < 100; ++i) {
    picture = IconPicture(tree / "many.txt");
    ASSERT_NE(picture, nullptr);
    IPicture* as_picture = nullptr;
    ASSERT_EQ(picture->QueryInterface(IID_IPicture, reinterpret_cast<void**>(&as_picture)), S_OK);
    OLE_HANDLE handle = 0;
    as_picture->get_Handle(&handle);
    ICONINFO icon_info{};
    ASSERT_TRUE(GetIconInfo(IconOf(handle), &icon_info)) << "a live icon while held";
    DeleteObject(icon_info.hbmMask);
    if (icon_info.hbmColor) DeleteObject(icon_info.hbmColor);
    as_picture->Release();
    picture->Release();  // the client's last reference: the library let go of its own already
    ASSERT_FALSE(GetIconInfo(IconOf(handle), &icon_info)) << "the icon went with its picture";
  }
  if (gdi_before == 0 && user_before == 0) {
    GTEST_SKIP() << "Wine's GetGuiResources counts no objects (0 before any); each icon was "
                    "checked gone after its picture";
  }
  // A leak would leave a hundred icons (and twice as many bitmaps); a few objects of the
  // system's own may come and go.
  EXPECT_LT(GetGuiResources(self, GR_USEROBJECTS), user_before + 10);
  EXPECT_LT(GetGuiResources(self, GR_GDIOBJECTS), gdi_before + 10);
}

TEST_F(ComClient, AClonedEnumeratorWalksOnItsOwn) {
  windows_test::TempTree tree;
  for (const char* name : {"a.txt", "b.txt", "c.txt"}) windows_test::MakeFile(tree / name);
  IDispatch* found = Create(L"Quern0102.orvFoundedFiles");
  ASSERT_NE(found, nullptr);
  Var path(windows_test::Wide(tree.root())), mask(std::wstring(L"*.txt")), done;
  ASSERT_EQ(Call(found, L"Refresh", {&path, &mask}, &done), S_OK);
  DISPPARAMS none{};
  Var listed;
  ASSERT_EQ(found->Invoke(DISPID_NEWENUM, IID_NULL, 0, DISPATCH_PROPERTYGET, &none, &listed,
                          nullptr, nullptr),
            S_OK);
  ASSERT_EQ(listed.vt, VT_UNKNOWN);
  IEnumVARIANT* original = nullptr;
  ASSERT_EQ(listed.punkVal->QueryInterface(IID_IEnumVARIANT, reinterpret_cast<void**>(&original)),
            S_OK);
  // The name of the next entry, "" at the end.
  auto next = [](IEnumVARIANT* walker) {
    Var entry, name;
    ULONG fetched = 0;
    if (walker->Next(1, &entry, &fetched) != S_OK || fetched != 1 || entry.vt != VT_DISPATCH)
      return std::wstring();
    if (FAILED(Get(entry.pdispVal, L"FileName", &name)) || name.vt != VT_BSTR)
      return std::wstring(L"?");
    return std::wstring(name.bstrVal);
  };
  const std::wstring first = next(original);
  ASSERT_NE(first, L"");
  IEnumVARIANT* clone = nullptr;
  ASSERT_EQ(original->Clone(&clone), S_OK);
  ASSERT_NE(clone, nullptr);
  // Both at the second entry; the clone's steps do not move the original.
  const std::wstring second = next(clone);
  EXPECT_NE(second, L"");
  EXPECT_NE(second, first);
  EXPECT_EQ(next(original), second);
  EXPECT_EQ(clone->Reset(), S_OK);
  const std::wstring third = next(original);
  EXPECT_NE(third, L"");
  EXPECT_EQ(next(original), L"");
  EXPECT_EQ(next(clone), first);
  EXPECT_EQ(original->Clone(nullptr), E_POINTER);
  clone->Release();
  original->Release();
  found->Release();
}

TEST_F(ComClient, TypeInformationOutlivesTheLibrarysOwnHold) {
  IDispatch* fso = Create(L"Quern0102.orvFSO");
  ASSERT_NE(fso, nullptr);
  ITypeInfo* info = nullptr;
  ASSERT_EQ(fso->GetTypeInfo(0, 0, &info), S_OK);
  fso->Release();
  // Nothing of the library is alive: it lets go of its type library, and may be unloaded.
  ExpectLibraryMayUnload();
  // The client's type information keeps its own library; a new object loads the library's again.
  BSTR name = nullptr;
  ASSERT_EQ(info->GetDocumentation(MEMBERID_NIL, &name, nullptr, nullptr, nullptr), S_OK);
  EXPECT_EQ(std::wstring(name), L"_orvFSO");
  SysFreeString(name);
  info->Release();
  fso = Create(L"Quern0102.orvFSO");
  ASSERT_NE(fso, nullptr);
  ASSERT_EQ(fso->GetTypeInfo(0, 0, &info), S_OK);
  info->Release();
  fso->Release();
}

}  // namespace
