// The entry points' work: the class factory, DllCanUnloadNow, registration in the registry and
// DllInstall's per-user registration.
#include "automation/com/server.h"

#include <windows.h>
// <windows.h> first: the COM headers need its types.

#include <oleauto.h>
#include <olectl.h>

#include <cwctype>
#include <new>
#include <string>
#include <vector>

#include "automation/com/bridge.h"
#include "support/ov_unicode.h"

// oleaut32 exports these (Windows Vista and later); mingw-w64's headers do not declare them.
extern "C" HRESULT WINAPI RegisterTypeLibForUser(ITypeLib* library, OLECHAR* path,
                                                 OLECHAR* help_folder);
extern "C" HRESULT WINAPI UnRegisterTypeLibForUser(REFGUID libid, WORD major, WORD minor, LCID lcid,
                                                   SYSKIND kind);

namespace automation::com {

namespace {

std::atomic<int32_t> server_locks{0};

class ClassFactory final : public SingleInterfaceObject<IClassFactory> {
 public:
  explicit ClassFactory(const ClassInfo& info)
      : SingleInterfaceObject(IID_IClassFactory), info_(info) {}

  HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID iid, void** out) override {
    if (!out) return E_POINTER;
    *out = nullptr;
    if (outer) return CLASS_E_NOAGGREGATION;
    try {
      Ref<Object> object(info_.create());
      IDispatch* dispatch = Wrap(std::move(object));
      HRESULT outcome = dispatch->QueryInterface(iid, out);
      dispatch->Release();
      return outcome;
    } catch (const std::bad_alloc&) {
      return E_OUTOFMEMORY;
    } catch (...) {
      return E_FAIL;
    }
  }
  HRESULT STDMETHODCALLTYPE LockServer(BOOL lock) override {
    server_locks += lock ? 1 : -1;
    return S_OK;
  }

 private:
  const ClassInfo& info_;
};

// --- The registry -------------------------------------------------------------------------

std::wstring Wide(const std::string& utf8) {
  std::u16string text = support::Utf16FromUtf8(utf8);
  return std::wstring(text.begin(), text.end());
}

std::wstring GuidText(const Guid& guid) { return Wide(GuidToString(guid)); }

std::wstring VersionText(uint16_t major, uint16_t minor) {
  return std::to_wstring(major) + L"." + std::to_wstring(minor);
}

class Registry {
 public:
  explicit Registry(Scope scope)
      : root_(scope == Scope::kUser ? HKEY_CURRENT_USER : HKEY_LOCAL_MACHINE) {}

  // Classes\<key>, with its unnamed value and, when given, one named value.
  bool Set(const std::wstring& key, const std::wstring& value, const wchar_t* name = nullptr) {
    HKEY handle = nullptr;
    const std::wstring path = L"Software\\Classes\\" + key;
    if (RegCreateKeyExW(root_, path.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &handle, nullptr) !=
        ERROR_SUCCESS)
      return false;
    const LSTATUS written =
        RegSetValueExW(handle, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                       static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
    RegCloseKey(handle);
    return written == ERROR_SUCCESS;
  }
  bool MakeKey(const std::wstring& key) {
    HKEY handle = nullptr;
    const std::wstring path = L"Software\\Classes\\" + key;
    if (RegCreateKeyExW(root_, path.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &handle, nullptr) !=
        ERROR_SUCCESS)
      return false;
    RegCloseKey(handle);
    return true;
  }
  // Removes Classes\<key> with everything under it; a key that is not there is fine.
  bool Remove(const std::wstring& key) {
    const std::wstring path = L"Software\\Classes\\" + key;
    LSTATUS removed = RegDeleteTreeW(root_, path.c_str());
    if (removed == ERROR_SUCCESS) removed = RegDeleteKeyW(root_, path.c_str());
    return removed == ERROR_SUCCESS || removed == ERROR_FILE_NOT_FOUND;
  }

 private:
  HKEY root_;
};

// The type-library marshaler: the proxy of every dual interface described by a type library.
constexpr wchar_t kTypeLibraryMarshaler[] = L"{00020424-0000-0000-C000-000000000046}";

SYSKIND ThisSysKind() { return sizeof(void*) == 8 ? SYS_WIN64 : SYS_WIN32; }

}  // namespace

int32_t GetClassObject(const TypeLibrary& library, const Guid* clsid, const Guid* iid,
                       void** out) noexcept {
  SetServedLibrary(library);
  if (!out) return E_POINTER;
  *out = nullptr;
  if (!clsid || !iid) return E_POINTER;
  const ClassInfo* info = library.FindClass(*clsid);
  if (!info || !info->creatable || !info->create) return CLASS_E_CLASSNOTAVAILABLE;
  try {
    auto* factory = new ClassFactory(*info);
    factory->AddRef();
    HRESULT outcome = factory->QueryInterface(AsGuid(*iid), out);
    factory->Release();
    return outcome;
  } catch (...) {
    return E_OUTOFMEMORY;
  }
}

int32_t CanUnloadNow() noexcept {
  if (LiveObjectCount() != 0 || LiveComObjectCount() != 0 || server_locks.load() != 0)
    return S_FALSE;
  // The library may go now: what it held for its objects goes first. (Here, not at
  // DLL_PROCESS_DETACH, where no COM call may be made under the loader lock.)
  ReleaseTypeLibrary();
  return S_OK;
}

int32_t RegisterServer(const TypeLibrary& library, Scope scope) noexcept {
  SetServedLibrary(library);
  try {
    const std::wstring path = ModulePath();
    if (path.empty()) return SELFREG_E_CLASS;
    Registry registry(scope);
    const std::wstring libid = GuidText(library.libid);
    const std::wstring library_version = VersionText(library.version_major, library.version_minor);
    bool written = true;
    for (const ClassInfo* info : library.classes) {
      const std::wstring iid = L"Interface\\" + GuidText(info->iid);
      written &= registry.Set(iid, Wide(info->interface_name));
      written &= registry.Set(iid + L"\\ProxyStubClsid32", kTypeLibraryMarshaler);
      written &= registry.Set(iid + L"\\ProxyStubClsid", kTypeLibraryMarshaler);
      written &= registry.Set(iid + L"\\TypeLib", libid);
      written &= registry.Set(iid + L"\\TypeLib", library_version, L"Version");
      if (!info->creatable || !info->create) continue;
      const std::wstring progid = Wide(library.name + "." + info->name);
      const std::wstring clsid = GuidText(info->clsid);
      const std::wstring key = L"CLSID\\" + clsid;
      written &= registry.Set(progid, progid);
      written &= registry.Set(progid + L"\\CLSID", clsid);
      written &= registry.Set(key, Wide(info->name));
      written &= registry.Set(key + L"\\ProgID", progid);
      written &= registry.Set(key + L"\\InprocServer32", path);
      written &= registry.Set(key + L"\\InprocServer32", L"Apartment", L"ThreadingModel");
      written &= registry.Set(key + L"\\TypeLib", libid);
      written &= registry.Set(key + L"\\Version", library_version);
      written &= registry.MakeKey(key + L"\\Programmable");
    }
    if (!written) return SELFREG_E_CLASS;
    // The type library, when the module carries one (a build without widl has none).
    ITypeLib* types = nullptr;
    if (SUCCEEDED(LoadTypeLibEx(path.c_str(), REGKIND_NONE, &types))) {
      std::wstring file = path;
      HRESULT registered = scope == Scope::kUser
                               ? RegisterTypeLibForUser(types, file.data(), nullptr)
                               : RegisterTypeLib(types, file.data(), nullptr);
      types->Release();
      if (FAILED(registered)) return SELFREG_E_TYPELIB;
    }
    return S_OK;
  } catch (...) {
    return E_OUTOFMEMORY;
  }
}

int32_t UnregisterServer(const TypeLibrary& library, Scope scope) noexcept {
  try {
    Registry registry(scope);
    const GUID& libid = AsGuid(library.libid);
    if (scope == Scope::kUser) {
      UnRegisterTypeLibForUser(libid, library.version_major, library.version_minor, library.lcid,
                               ThisSysKind());
    } else {
      UnRegisterTypeLib(libid, library.version_major, library.version_minor, library.lcid,
                        ThisSysKind());
    }
    bool removed = registry.Remove(L"TypeLib\\" + GuidText(library.libid));
    for (const ClassInfo* info : library.classes) {
      removed &= registry.Remove(L"Interface\\" + GuidText(info->iid));
      removed &= registry.Remove(L"CLSID\\" + GuidText(info->clsid));
      removed &= registry.Remove(Wide(library.name + "." + info->name));
    }
    return removed ? S_OK : SELFREG_E_CLASS;
  } catch (...) {
    return E_OUTOFMEMORY;
  }
}

int32_t Install(const TypeLibrary& library, bool install, const wchar_t* command_line) noexcept {
  bool user = false;
  if (command_line) {
    std::wstring text(command_line);
    for (wchar_t& c : text) c = static_cast<wchar_t>(std::towlower(c));
    user = text == L"user";
  }
  const Scope scope = user ? Scope::kUser : Scope::kMachine;
  return install ? RegisterServer(library, scope) : UnregisterServer(library, scope);
}

}  // namespace automation::com
