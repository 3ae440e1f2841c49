// CreateObject on Windows: real COM, as a script's CreateObject. The object comes back as the
// library object that stands for a client's own, so CallByName reaches its members through
// its IDispatch.
//
// The calling thread joins a single-threaded apartment the first time it creates an object
// and stays in it: the objects handed out must outlive any one call here, and a program that
// already chose its apartment keeps it (CoInitializeEx then answers RPC_E_CHANGED_MODE, and
// creating still works).
#include <windows.h>
// <windows.h> first: the COM headers need its types.

#include <objbase.h>

#include "automation/com/bridge.h"
#include "automation/component.h"
#include "support/ov_error.h"
#include "support/ov_unicode.h"

namespace automation {

Ref<Object> CreateObject(std::string_view progid) {
  thread_local const HRESULT joined = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  (void)joined;
  std::u16string name = support::Utf16FromUtf8(progid);
  CLSID clsid;
  if (FAILED(CLSIDFromProgID(reinterpret_cast<LPCOLESTR>(name.c_str()), &clsid))) {
    throw support::MakeError(support::errnum::kCannotCreateObject);
  }
  IDispatch* dispatch = nullptr;
  if (FAILED(CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER | CLSCTX_LOCAL_SERVER,
                              IID_IDispatch, reinterpret_cast<void**>(&dispatch))) ||
      !dispatch) {
    throw support::MakeError(support::errnum::kCannotCreateObject);
  }
  Object* own = com::Unwrap(dispatch);  // a class this program serves itself
  Ref<Object> object = own ? Ref<Object>(own) : com::NewClientObject(dispatch, nullptr);
  dispatch->Release();
  return object;
}

const TypeLibrary* FindTypeLibrary(std::string_view) { return nullptr; }

}  // namespace automation
