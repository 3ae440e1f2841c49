#include "automation/object.h"

#include <new>

#include "automation/member_table.h"
#include "support/ov_error.h"
#include "support/ov_strings.h"

namespace automation {

namespace {
std::atomic<int64_t> live_objects{0};
}

int64_t LiveObjectCount() { return live_objects.load(); }
void ExcludeFromLiveCount() { --live_objects; }

Object::Object() noexcept { ++live_objects; }
Object::~Object() { --live_objects; }

uint32_t Object::AddRef() noexcept { return ++references_; }

uint32_t Object::Release() noexcept {
  uint32_t left = --references_;
  if (left == 0) delete this;
  return left;
}

DispId Object::GetIDOfName(std::string_view name) const noexcept {
  const MemberInfo* member = TypeInfo().FindByName(name);
  return member ? member->id : kDispIdUnknown;
}

HResult Object::Invoke(DispId id, const std::vector<Variant*>& args, Variant* result,
                       ExcepInfo* excep) noexcept {
  const MemberInfo* member = TypeInfo().FindById(id);
  if (!member) return hr::kMemberNotFound;
  // The object must outlive its own member even when the member drops the caller's last
  // reference to it. An object that nobody counts references to (one on a C++ stack) is not
  // touched.
  Ref<Object> hold;
  if (references_.load() > 0) hold = Ref<Object>(this);
  auto fail = [&](int32_t number, std::string description, std::string source) {
    if (excep) *excep = ExcepInfo{number, std::move(source), std::move(description)};
    return hr::kException;
  };
  try {
    Variant ignored;
    return CallMember(*this, *member, args, result ? result : &ignored);
  } catch (const support::Error& error) {
    return fail(error.number(), error.description(), error.source());
  } catch (const std::bad_alloc&) {
    return fail(support::errnum::kOutOfMemory,
                support::StandardDescription(support::errnum::kOutOfMemory), TypeInfo().name);
  } catch (const std::exception& error) {
    return fail(support::errnum::kInvalidCall, error.what(), TypeInfo().name);
  } catch (...) {
    return fail(support::errnum::kInvalidCall,
                support::StandardDescription(support::errnum::kInvalidCall), TypeInfo().name);
  }
}

}  // namespace automation
