// The value that crosses the dispatch boundary (VARIANT): one of the boundary types, or
// "missing" for an optional parameter that was left out.
#pragma once

#include <cstdint>
#include <string>
#include <variant>
#include <vector>

#include "automation/object.h"

namespace automation {

// The boundary types. Boolean is held as bool and shows as -1/0 where a number is wanted.
enum class VarType : uint8_t {
  kEmpty,    // never assigned
  kMissing,  // an optional parameter that was left out
  kBoolean,
  kByte,     // 8-bit unsigned
  kInteger,  // 16-bit signed
  kLong,     // 32-bit signed
  kDouble,
  kDate,    // days since 1899-12-30 00:00 local time
  kString,  // UTF-16
  kBytes,   // Byte(): a one-dimensional array of bytes from index 0
  kObject,  // an object reference, or Nothing
};

// The name of a type as clients know it ("Long", "String", "Byte()", ...).
const char* VarTypeName(VarType type);

struct Missing {
  bool operator==(const Missing&) const = default;
};
struct Date {
  double days = 0;
  bool operator==(const Date&) const = default;
};

class Variant {
 public:
  Variant() = default;
  Variant(Missing) : value_(Missing{}) {}
  Variant(bool value) : value_(value) {}
  Variant(uint8_t value) : value_(value) {}
  Variant(int16_t value) : value_(value) {}
  Variant(int32_t value) : value_(value) {}
  Variant(double value) : value_(value) {}
  Variant(Date value) : value_(value) {}
  Variant(std::u16string value) : value_(std::move(value)) {}
  Variant(const char16_t* value) : value_(std::u16string(value)) {}
  Variant(std::vector<uint8_t> value) : value_(std::move(value)) {}
  template <class T>
  Variant(Ref<T> object) : value_(Ref<Object>(std::move(object))) {}
  Variant(std::nullptr_t) : value_(Ref<Object>()) {}  // Nothing

  VarType type() const { return static_cast<VarType>(value_.index()); }
  bool IsMissing() const { return type() == VarType::kMissing; }
  bool IsEmpty() const { return type() == VarType::kEmpty; }
  bool IsNumeric() const;

  // Coercions with VB's rules; each throws support::Error 13 (type mismatch) for a value that
  // cannot be converted and 6 (overflow) for a number out of the target's range.
  // Doubles round half to even, as VB's CLng does; strings are read as decimal numbers.
  bool ToBool() const;
  uint8_t ToByte() const;
  int16_t ToInteger() const;
  int32_t ToLong() const;
  double ToDouble() const;
  std::u16string ToString() const;  // numbers in VB's text form; True/False as "True"/"False"
  std::vector<uint8_t> ToBytes() const;
  Ref<Object> ToObject() const;  // Nothing for Empty; error 13 for other non-objects

  // Direct access when the type is known (UB otherwise; check type() first).
  const std::u16string& String() const { return std::get<std::u16string>(value_); }
  const std::vector<uint8_t>& Bytes() const { return std::get<std::vector<uint8_t>>(value_); }
  std::vector<uint8_t>& Bytes() { return std::get<std::vector<uint8_t>>(value_); }
  const Ref<Object>& ObjectRef() const { return std::get<Ref<Object>>(value_); }
  double DateDays() const { return std::get<Date>(value_).days; }

  bool operator==(const Variant& other) const = default;

 private:
  struct Empty {
    bool operator==(const Empty&) const = default;
  };
  std::variant<Empty, Missing, bool, uint8_t, int16_t, int32_t, double, Date, std::u16string,
               std::vector<uint8_t>, Ref<Object>>
      value_;
};

}  // namespace automation
