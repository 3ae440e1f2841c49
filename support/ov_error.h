// The raised error of the whole product: a VB-style number, the source that raised it and a
// description. Parts that "raise an error" throw this; walks catch it per step.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>

namespace support {

class Error : public std::runtime_error {
 public:
  Error(int32_t number, std::string description, std::string source = {})
      : std::runtime_error(description),
        number_(number),
        description_(std::move(description)),
        source_(std::move(source)) {}

  int32_t number() const { return number_; }
  const std::string& description() const { return description_; }
  const std::string& source() const { return source_; }

 private:
  int32_t number_;
  std::string description_;
  std::string source_;
};

// VB error numbers the product raises.
namespace errnum {
inline constexpr int32_t kInvalidCall = 5;
inline constexpr int32_t kOverflow = 6;
inline constexpr int32_t kOutOfMemory = 7;
inline constexpr int32_t kSubscriptOutOfRange = 9;
inline constexpr int32_t kTypeMismatch = 13;
inline constexpr int32_t kFileNotFound = 53;
inline constexpr int32_t kPermissionDenied = 70;
inline constexpr int32_t kPathFileAccessError = 75;
inline constexpr int32_t kPathNotFound = 76;
inline constexpr int32_t kObjectNotSet = 91;
inline constexpr int32_t kAutomationError = 440;
inline constexpr int32_t kCannotCreateObject = 429;
inline constexpr int32_t kNoSuchMember = 438;
inline constexpr int32_t kArgumentNotOptional = 449;
inline constexpr int32_t kWrongArgumentCount = 450;
inline constexpr int32_t kKeyAlreadyUsed = 457;
}  // namespace errnum

// The standard description of a VB error number, in Russian (UTF-8). An unknown number gives
// "Ошибка N" (error N).
std::string StandardDescription(int32_t number);

// The error number a file operation raises for a Windows error code: 2 -> 53, 3 -> 76,
// 5 and 32 -> 70, anything else 75.
int32_t ErrNumberFromWin32(uint32_t code);

// An Error with `number` and its standard description.
Error MakeError(int32_t number, std::string source = {});

}  // namespace support
