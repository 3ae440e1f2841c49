#include "automation/variant.h"

#include <cmath>
#include <cstdio>

#include "support/ov_error.h"
#include "support/ov_numbers.h"
#include "support/ov_strings.h"
#include "support/ov_unicode.h"

namespace automation {

namespace {

[[noreturn]] void Raise(int32_t number) { throw support::MakeError(number); }

// A String read as a number the way VB's conversions read one ("." as the point whatever the
// locale; blanks around it allowed). Type mismatch for anything else.
double NumberFromText(const std::u16string& text) {
  std::string utf8 = support::ovTrimEx(support::Utf8FromUtf16(text));
  double value = 0;
  bool out_of_range = false;
  if (!support::ReadDecimal(utf8, value, &out_of_range)) {
    Raise(out_of_range ? support::errnum::kOverflow : support::errnum::kTypeMismatch);
  }
  return value;
}

template <class T>
T RoundToInteger(double value) {
  T rounded = 0;
  if (!support::RoundToInteger(value, &rounded)) Raise(support::errnum::kOverflow);
  return rounded;
}

}  // namespace

const char* VarTypeName(VarType type) {
  switch (type) {
    case VarType::kEmpty:
      return "Empty";
    case VarType::kMissing:
      return "Missing";
    case VarType::kBoolean:
      return "Boolean";
    case VarType::kByte:
      return "Byte";
    case VarType::kInteger:
      return "Integer";
    case VarType::kLong:
      return "Long";
    case VarType::kDouble:
      return "Double";
    case VarType::kDate:
      return "Date";
    case VarType::kString:
      return "String";
    case VarType::kBytes:
      return "Byte()";
    case VarType::kObject:
      return "Object";
  }
  return "?";
}

bool Variant::IsNumeric() const {
  switch (type()) {
    case VarType::kBoolean:
    case VarType::kByte:
    case VarType::kInteger:
    case VarType::kLong:
    case VarType::kDouble:
    case VarType::kDate:
      return true;
    default:
      return false;
  }
}

double Variant::ToDouble() const {
  switch (type()) {
    case VarType::kEmpty:
      return 0;
    case VarType::kBoolean:
      return std::get<bool>(value_) ? -1 : 0;
    case VarType::kByte:
      return std::get<uint8_t>(value_);
    case VarType::kInteger:
      return std::get<int16_t>(value_);
    case VarType::kLong:
      return std::get<int32_t>(value_);
    case VarType::kDouble:
      return std::get<double>(value_);
    case VarType::kDate:
      return std::get<Date>(value_).days;
    case VarType::kString:
      return NumberFromText(String());
    default:
      Raise(support::errnum::kTypeMismatch);
  }
}

int32_t Variant::ToLong() const {
  switch (type()) {
    case VarType::kLong:
      return std::get<int32_t>(value_);
    case VarType::kInteger:
      return std::get<int16_t>(value_);
    case VarType::kByte:
      return std::get<uint8_t>(value_);
    case VarType::kBoolean:
      return std::get<bool>(value_) ? -1 : 0;
    default:
      return RoundToInteger<int32_t>(ToDouble());
  }
}

int16_t Variant::ToInteger() const { return RoundToInteger<int16_t>(ToDouble()); }
uint8_t Variant::ToByte() const { return RoundToInteger<uint8_t>(ToDouble()); }

bool Variant::ToBool() const {
  switch (type()) {
    case VarType::kBoolean:
      return std::get<bool>(value_);
    case VarType::kString: {
      std::string utf8 = support::ovTrimEx(support::Utf8FromUtf16(String()));
      if (support::EqualsIgnoringAsciiCase(utf8, "True")) return true;
      if (support::EqualsIgnoringAsciiCase(utf8, "False")) return false;
      return NumberFromText(String()) != 0;
    }
    default:
      return ToDouble() != 0;
  }
}

std::u16string Variant::ToString() const {
  char buffer[64];
  switch (type()) {
    case VarType::kEmpty:
      return {};
    case VarType::kString:
      return String();
    case VarType::kBoolean:
      return std::get<bool>(value_) ? u"True" : u"False";
    case VarType::kByte:
    case VarType::kInteger:
    case VarType::kLong:
      return support::Utf16FromUtf8(std::to_string(ToLong()));
    case VarType::kDouble:
    case VarType::kDate: {
      // VB shows up to 15 significant digits and "." here whatever the locale says.
      std::snprintf(buffer, sizeof buffer, "%.15G", ToDouble());
      return support::Utf16FromUtf8(buffer);
    }
    case VarType::kBytes: {
      // VB reads a Byte() as the bytes of a String: pairs of bytes are UTF-16 units.
      const auto& bytes = Bytes();
      std::u16string text;
      for (size_t i = 0; i + 1 < bytes.size(); i += 2) {
        text.push_back(static_cast<char16_t>(bytes[i] | (bytes[i + 1] << 8)));
      }
      if (bytes.size() % 2) text.push_back(bytes.back());
      return text;
    }
    default:
      Raise(support::errnum::kTypeMismatch);
  }
}

std::vector<uint8_t> Variant::ToBytes() const {
  switch (type()) {
    case VarType::kBytes:
      return Bytes();
    case VarType::kEmpty:
      return {};
    case VarType::kString: {
      std::vector<uint8_t> bytes;
      bytes.reserve(String().size() * 2);
      for (char16_t unit : String()) {
        bytes.push_back(static_cast<uint8_t>(unit & 0xFF));
        bytes.push_back(static_cast<uint8_t>(unit >> 8));
      }
      return bytes;
    }
    default:
      Raise(support::errnum::kTypeMismatch);
  }
}

Ref<Object> Variant::ToObject() const {
  if (type() == VarType::kObject) return ObjectRef();
  if (type() == VarType::kEmpty) return {};
  Raise(support::errnum::kTypeMismatch);
}

}  // namespace automation
