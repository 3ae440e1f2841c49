#include "support/ov_error.h"

#include "platform/platform.h"

namespace support {

std::string StandardDescription(int32_t number) {
  switch (number) {
    case errnum::kInvalidCall:
      return "Неверный вызов процедуры или аргумент";
    case errnum::kOverflow:
      return "Переполнение";
    case errnum::kOutOfMemory:
      return "Недостаточно памяти";
    case errnum::kSubscriptOutOfRange:
      return "Индекс вне допустимого диапазона";
    case errnum::kTypeMismatch:
      return "Несоответствие типа";
    case errnum::kFileNotFound:
      return "Файл не найден";
    case errnum::kPermissionDenied:
      return "Отказано в доступе";
    case errnum::kPathFileAccessError:
      return "Ошибка доступа к пути или файлу";
    case errnum::kPathNotFound:
      return "Путь не найден";
    case errnum::kObjectNotSet:
      return "Объектная переменная не задана";
    case errnum::kAutomationError:
      return "Ошибка автоматизации";
    case errnum::kCannotCreateObject:
      return "Компоненту ActiveX не удается создать объект";
    case errnum::kNoSuchMember:
      return "Объект не поддерживает это свойство или метод";
    case errnum::kArgumentNotOptional:
      return "Аргумент не является необязательным";
    case errnum::kWrongArgumentCount:
      return "Неверное число аргументов или недопустимое присваивание значения свойству";
    case errnum::kKeyAlreadyUsed:
      return "Этот ключ уже связан с элементом данной коллекции";
    default:
      return "Ошибка " + std::to_string(number);
  }
}

Error MakeError(int32_t number, std::string source) {
  return Error(number, StandardDescription(number), std::move(source));
}

int32_t ErrNumberFromWin32(uint32_t code) {
  switch (code) {
    case platform::error::kFileNotFound:
      return errnum::kFileNotFound;
    case platform::error::kPathNotFound:
      return errnum::kPathNotFound;
    case platform::error::kAccessDenied:
    case platform::error::kSharingViolation:
      return errnum::kPermissionDenied;
    default:
      return errnum::kPathFileAccessError;
  }
}

}  // namespace support
