// The cost of one late-bound call into Quern0102.dll (IDispatch::Invoke of
// orvDescriptIon.ItemCount through the COM bridge: arguments, dispatch by id, result as a
// VARIANT) against the same member called directly from C++ on an object of the library.
// Built and run by bench/com.sh under Wine; prints nanoseconds per call.
#include <windows.h>
// <windows.h> first: the COM headers need its types.

#include <oleauto.h>

#include <chrono>
#include <cstdio>

#include "fileio/orvDescriptIon.h"

int main() {
  constexpr int kCalls = 2'000'000;
  CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  CLSID clsid;
  IDispatch* object = nullptr;
  if (FAILED(CLSIDFromProgID(L"Quern0102.orvDescriptIon", &clsid)) ||
      FAILED(CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch,
                              reinterpret_cast<void**>(&object)))) {
    std::fprintf(stderr, "Quern0102.orvDescriptIon is not registered\n");
    return 1;
  }
  LPOLESTR names[] = {const_cast<LPOLESTR>(L"ItemCount")};
  DISPID id = 0;
  object->GetIDsOfNames(IID_NULL, names, 1, 0, &id);
  DISPPARAMS none{};
  VARIANT result;
  VariantInit(&result);
  long sum = 0;
  auto start = std::chrono::steady_clock::now();
  for (int i = 0; i < kCalls; ++i) {
    object->Invoke(id, IID_NULL, 0, DISPATCH_PROPERTYGET, &none, &result, nullptr, nullptr);
    sum += result.lVal;
  }
  const double invoke_ns =
      std::chrono::duration<double, std::nano>(std::chrono::steady_clock::now() - start).count() /
      kCalls;
  object->Release();

  quern::orvDescriptIon direct;
  quern::orvDescriptIon* volatile target = &direct;  // no hoisting the call out of the loop
  start = std::chrono::steady_clock::now();
  for (int i = 0; i < kCalls; ++i) sum += target->ItemCount();
  const double direct_ns =
      std::chrono::duration<double, std::nano>(std::chrono::steady_clock::now() - start).count() /
      kCalls;
  std::printf("late-bound Invoke  %8.1f ns per call\n", invoke_ns);
  std::printf("direct C++ call    %8.1f ns per call\n", direct_ns);
  std::printf("ratio              %8.0fx   (checksum %ld)\n", invoke_ns / direct_ns, sum);
  CoUninitialize();
  return 0;
}
