#include "automation/collection.h"

#include <limits>

#include "support/ov_error.h"

namespace automation {

namespace {

[[noreturn]] void Raise(int32_t number) { throw support::MakeError(number); }

// Keys compare without regard to case, as VB's text comparison does for the letters users
// write: ASCII, Latin-1, Latin Extended-A, Greek and Cyrillic.
char16_t FoldUnit(char16_t c) {
  if (c >= u'a' && c <= u'z') return c - 32;
  if (c < 0x80) return c;
  if ((c >= 0xE0 && c <= 0xFE && c != 0xF7)) return c - 32;
  if (c == 0xFF) return 0x178;
  if (c >= 0x100 && c <= 0x17F) {
    bool odd_is_lower = !(c >= 0x139 && c <= 0x148) && !(c >= 0x179 && c <= 0x17E);
    if (odd_is_lower ? (c & 1) : !(c & 1)) return c - 1;
    return c;
  }
  if (c >= 0x3B1 && c <= 0x3C9 && c != 0x3C2) return c - 32;
  if (c >= 0x430 && c <= 0x44F) return c - 32;
  if (c >= 0x450 && c <= 0x45F) return c - 80;
  return c;
}

std::u16string FoldKey(const std::u16string& key) {
  std::u16string folded = key;
  for (char16_t& c : folded) c = FoldUnit(c);
  return folded;
}

}  // namespace

size_t Collection::PositionOf(const Variant& index) const {
  if (index.type() == VarType::kString) {
    auto found = positions_.find(FoldKey(index.String()));
    if (found == positions_.end()) Raise(support::errnum::kInvalidCall);
    return found->second;
  }
  if (!index.IsNumeric()) Raise(support::errnum::kTypeMismatch);
  int32_t number = index.ToLong();
  if (number < 1 || number > Count()) Raise(support::errnum::kInvalidCall);
  return static_cast<size_t>(number - 1);
}

void Collection::Reindex() {
  positions_.clear();
  for (size_t i = 0; i < items_.size(); ++i) {
    if (items_[i].has_key) positions_.emplace(FoldKey(items_[i].key), i);
  }
}

void Collection::Add(const Variant& item, const Variant& key, const Variant& before,
                     const Variant& after) {
  if (!before.IsMissing() && !after.IsMissing()) Raise(support::errnum::kInvalidCall);
  Entry entry{item, {}, false};
  if (!key.IsMissing()) {
    if (key.type() != VarType::kString) Raise(support::errnum::kTypeMismatch);
    entry.key = key.String();
    entry.has_key = true;
    if (positions_.count(FoldKey(entry.key))) Raise(support::errnum::kKeyAlreadyUsed);
  }
  if (items_.size() >= static_cast<size_t>(std::numeric_limits<int32_t>::max())) {
    Raise(support::errnum::kOutOfMemory);
  }
  size_t position = items_.size();
  if (!before.IsMissing()) position = PositionOf(before);
  if (!after.IsMissing()) position = PositionOf(after) + 1;
  items_.insert(items_.begin() + static_cast<ptrdiff_t>(position), std::move(entry));
  if (position + 1 == items_.size()) {
    if (items_.back().has_key) positions_.emplace(FoldKey(items_.back().key), position);
  } else {
    Reindex();
  }
}

Variant Collection::Item(const Variant& index) const { return items_[PositionOf(index)].item; }

void Collection::Remove(const Variant& index) {
  size_t position = PositionOf(index);
  items_.erase(items_.begin() + static_cast<ptrdiff_t>(position));
  Reindex();
}

std::vector<Variant> Collection::Items() const {
  std::vector<Variant> values;
  values.reserve(items_.size());
  for (const Entry& entry : items_) values.push_back(entry.item);
  return values;
}

bool Enumerator::Next(Variant* value) {
  if (next_ >= items_.size()) return false;
  *value = items_[next_++];
  return true;
}

Ref<Enumerator> Enumerator::Clone() const {
  Ref<Enumerator> copy = MakeObject<Enumerator>(items_);
  copy->next_ = next_;
  return copy;
}

Variant ZeroBasedItem(const Collection& collection, int32_t index) {
  if (index == std::numeric_limits<int32_t>::max()) Raise(support::errnum::kOverflow);
  return collection.Item(Variant(index + 1));
}

const ClassInfo& Collection::Class() {
  static const ClassInfo info = [] {
    ClassInfo c;
    c.name = "Collection";
    c.interface_name = "_Collection";
    c.clsid = {0x6E0B3A41, 0x52C4, 0x4F1D, {0x9A, 0x7E, 0x21, 0x0C, 0x3B, 0x55, 0x10, 0x01}};
    c.iid = {0x6E0B3A41, 0x52C4, 0x4F1D, {0x9A, 0x7E, 0x21, 0x0C, 0x3B, 0x55, 0x10, 0x02}};
    c.description = "Ordered collection counted from 1; items may carry a text key.";
    c.create = [] { return static_cast<Object*>(new Collection); };
    c.members = {
        {"Item",
         kDispIdValue,
         MemberKind::kMethod,
         {{"Index", "Variant"}},
         "Variant",
         "The item at a 1-based index or under a key.",
         false,
         [](Object& o, CallArgs& a) { return static_cast<Collection&>(o).Item(a[0]); }},
        {"Add",
         1,
         MemberKind::kMethod,
         {{"Item", "Variant"},
          {"Key", "Variant", true},
          {"Before", "Variant", true},
          {"After", "Variant", true}},
         "",
         "Adds an item, optionally under a key and before or after another item.",
         false,
         [](Object& o, CallArgs& a) {
           static_cast<Collection&>(o).Add(a[0], a[1], a[2], a[3]);
           return Variant();
         }},
        {"Count",
         2,
         MemberKind::kPropertyGet,
         {},
         "Long",
         "The number of items.",
         false,
         [](Object& o, CallArgs&) { return Variant(static_cast<Collection&>(o).Count()); }},
        {"Remove",
         3,
         MemberKind::kMethod,
         {{"Index", "Variant"}},
         "",
         "Removes the item at a 1-based index or under a key.",
         false,
         [](Object& o, CallArgs& a) {
           static_cast<Collection&>(o).Remove(a[0]);
           return Variant();
         }},
        {"NewEnum",
         kDispIdNewEnum,
         MemberKind::kMethod,
         {},
         "IUnknown",
         "",
         true,
         [](Object& o, CallArgs&) {
           return Variant(MakeObject<Enumerator>(static_cast<Collection&>(o).Items()));
         }},
    };
    return c;
  }();
  return info;
}

const ClassInfo& Enumerator::Class() {
  static const ClassInfo info = [] {
    ClassInfo c;
    c.name = "Enumerator";
    c.interface_name = "IEnumVARIANT";
    c.iid = {0x00020404, 0, 0, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
    c.members = {
        {"Next",
         1,
         MemberKind::kMethod,
         {{"Value", "Variant", false, Missing{}, true}},
         "Boolean",
         "The next value through Value; False at the end.",
         false,
         [](Object& o, CallArgs& a) {
           Variant value;
           bool more = static_cast<Enumerator&>(o).Next(&value);
           if (more) const_cast<Variant&>(a[0]) = value;
           return Variant(more);
         }},
        {"Reset",
         2,
         MemberKind::kMethod,
         {},
         "",
         "Starts again from the first value.",
         false,
         [](Object& o, CallArgs&) {
           static_cast<Enumerator&>(o).Reset();
           return Variant();
         }},
    };
    return c;
  }();
  return info;
}

}  // namespace automation
