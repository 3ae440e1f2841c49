// The general-purpose Collection of script and program clients: ordered, counted from 1, items
// of any type, each with an optional text key that is compared without regard to case.
// Errors are VB's: 5 for an index out of range or a key that is not there (and for Add with
// both Before and After), 457 for a key that is already used, 13 for an index of a wrong type.
#pragma once

#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

#include "automation/member_table.h"
#include "automation/object.h"
#include "automation/variant.h"

namespace automation {

class Collection : public Object {
 public:
  static const ClassInfo& Class();
  const ClassInfo& TypeInfo() const noexcept override { return Class(); }

  // Adds `item`; `key` (a String) names it; `before` / `after` (an index or a key) place it
  // before or after that item instead of at the end. A missing Variant leaves a part out.
  void Add(const Variant& item, const Variant& key = Missing{}, const Variant& before = Missing{},
           const Variant& after = Missing{});
  int32_t Count() const { return static_cast<int32_t>(items_.size()); }
  // The item at a 1-based index (a number) or under a key (a String).
  Variant Item(const Variant& index) const;
  void Remove(const Variant& index);
  // A snapshot of the items in order; the enumerator walks it.
  std::vector<Variant> Items() const;

  // Typed conveniences for C++ callers.
  void Add(const std::u16string& item, const std::u16string& key) {
    Add(Variant(item), Variant(key));
  }

 private:
  size_t PositionOf(const Variant& index) const;  // 0-based; raises 5, 6 or 13
  void Reindex();

  struct Entry {
    Variant item;
    std::u16string key;  // as given; empty when none
    bool has_key = false;
  };
  std::vector<Entry> items_;
  std::unordered_map<std::u16string, size_t> positions_;  // folded key -> position
};

// An enumerator over a snapshot of values (IEnumVARIANT): what NewEnum returns.
class Enumerator : public Object {
 public:
  explicit Enumerator(std::vector<Variant> items) : items_(std::move(items)) {}
  static const ClassInfo& Class();
  const ClassInfo& TypeInfo() const noexcept override { return Class(); }

  // The next value; false at the end.
  bool Next(Variant* value);
  void Reset() { next_ = 0; }
  // A new enumerator over the same values at the same position (IEnumVARIANT::Clone).
  Ref<Enumerator> Clone() const;

 private:
  std::vector<Variant> items_;
  size_t next_ = 0;
};

// Item(Index) of the library's zero-based collection classes: Index + 1 in Long arithmetic
// (2147483647 overflows: error 6), then the collection's own Item (out of range: error 5).
Variant ZeroBasedItem(const Collection& collection, int32_t index);

}  // namespace automation
