// Reference-counted objects that clients reach by name: the IUnknown/IDispatch pair of the
// component mechanism on this platform. An object's members are described once, in the member
// table of its class (member_table.h); Invoke binds arguments against that table and calls the
// member, so C++ code, late-bound clients and the Python module all see the same members.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace automation {

class Variant;
struct ClassInfo;

// Result codes of the component boundary (the HRESULT values clients know).
using HResult = int32_t;
namespace hr {
inline constexpr HResult kOk = 0;
inline constexpr HResult kFalse = 1;
inline constexpr HResult kNoInterface = static_cast<int32_t>(0x80004002);
inline constexpr HResult kPointer = static_cast<int32_t>(0x80004003);
inline constexpr HResult kFail = static_cast<int32_t>(0x80004005);
inline constexpr HResult kUnexpected = static_cast<int32_t>(0x8000FFFF);
inline constexpr HResult kClassNotAvailable = static_cast<int32_t>(0x80040111);
inline constexpr HResult kClassNotRegistered = static_cast<int32_t>(0x80040154);
inline constexpr HResult kMemberNotFound = static_cast<int32_t>(0x80020003);
inline constexpr HResult kTypeMismatch = static_cast<int32_t>(0x80020005);
inline constexpr HResult kUnknownName = static_cast<int32_t>(0x80020006);
inline constexpr HResult kException = static_cast<int32_t>(0x80020009);
inline constexpr HResult kOverflow = static_cast<int32_t>(0x8002000A);
inline constexpr HResult kParamNotOptional = static_cast<int32_t>(0x8002000F);
inline constexpr HResult kBadParamCount = static_cast<int32_t>(0x8002000E);
}  // namespace hr

// Dispatch identifiers with a fixed meaning.
using DispId = int32_t;
inline constexpr DispId kDispIdValue = 0;     // the default member (Item)
inline constexpr DispId kDispIdNewEnum = -4;  // the enumerator (NewEnum)
inline constexpr DispId kDispIdUnknown = -1;

// What a failed member reports besides its result code: the raised error (EXCEPINFO).
struct ExcepInfo {
  int32_t number = 0;
  std::string source;
  std::string description;  // UTF-8
};

// Number of objects alive in this module (DllCanUnloadNow keeps the library while it is not 0).
int64_t LiveObjectCount();
// Called once for an object that lives as long as the module itself (an application object):
// it does not keep the module loaded.
void ExcludeFromLiveCount();

class Object {
 public:
  Object(const Object&) = delete;
  Object& operator=(const Object&) = delete;

  // The reference count. A new object starts at 0; Ref takes the first reference.
  // Virtual, so that a client holding an object of another module runs that module's code.
  virtual uint32_t AddRef() noexcept;
  virtual uint32_t Release() noexcept;

  // The class of the object: its names and its member table.
  virtual const ClassInfo& TypeInfo() const noexcept = 0;

  // Calls member `id` with `args` in the member's parameter order (a null pointer or a
  // "missing" Variant for a left-out optional parameter; by-reference parameters are written
  // through their pointers). Never throws: a raised error comes back as hr::kException with
  // *excep filled; a bad call as the dispatch result code (kMemberNotFound, kBadParamCount,
  // kParamNotOptional, kTypeMismatch). Holds a reference to the object for the call's length.
  virtual HResult Invoke(DispId id, const std::vector<Variant*>& args, Variant* result,
                         ExcepInfo* excep) noexcept;

  // The dispatch id of the member `name` (compared without regard to ASCII case), or
  // kDispIdUnknown. Virtual, so that an object standing for a client's own object (one the
  // member table does not describe) can ask that object.
  virtual DispId GetIDOfName(std::string_view name) const noexcept;

 protected:
  Object() noexcept;
  virtual ~Object();

 private:
  std::atomic<uint32_t> references_{0};
};

// An owning pointer to an Object (AddRef on copy, Release on destruction).
template <class T>
class Ref {
 public:
  Ref() = default;
  Ref(std::nullptr_t) {}
  explicit Ref(T* object) : object_(object) {
    if (object_) object_->AddRef();
  }
  Ref(const Ref& other) : Ref(other.object_) {}
  Ref(Ref&& other) noexcept : object_(std::exchange(other.object_, nullptr)) {}
  template <class U>
  Ref(const Ref<U>& other) : Ref(static_cast<T*>(other.get())) {}
  ~Ref() { reset(); }
  Ref& operator=(Ref other) noexcept {
    std::swap(object_, other.object_);
    return *this;
  }

  // Takes over a reference the caller already owns (no AddRef).
  static Ref Adopt(T* object) {
    Ref ref;
    ref.object_ = object;
    return ref;
  }
  // Gives the reference to the caller (no Release).
  T* Detach() { return std::exchange(object_, nullptr); }

  void reset() {
    if (T* object = std::exchange(object_, nullptr)) object->Release();
  }
  T* get() const { return object_; }
  T* operator->() const { return object_; }
  T& operator*() const { return *object_; }
  explicit operator bool() const { return object_ != nullptr; }
  bool operator==(const Ref& other) const { return object_ == other.object_; }

 private:
  T* object_ = nullptr;
};

// Makes a new object and takes the first reference.
template <class T, class... Args>
Ref<T> MakeObject(Args&&... args) {
  return Ref<T>(new T(std::forward<Args>(args)...));
}

}  // namespace automation
