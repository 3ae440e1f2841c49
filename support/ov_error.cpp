#include "support/ov_error.h"

#include "platform/platform.h"
#include "support/ov_messages.h"

namespace support {

std::string StandardDescription(int32_t number) {
  switch (number) {
    case errnum::kInvalidCall:
      return N_("Неверный вызов процедуры или аргумент");
    case errnum::kOverflow:
      return N_("Переполнение");
    case errnum::kOutOfMemory:
      return N_("Недостаточно памяти");
    case errnum::kSubscriptOutOfRange:
      return N_("Индекс вне допустимого диапазона");
    case errnum::kTypeMismatch:
      return N_("Несоответствие типа");
    case errnum::kFileNotFound:
      return N_("Файл не найден");
    case errnum::kPermissionDenied:
      return N_("Отказано в доступе");
    case errnum::kPathFileAccessError:
      return N_("Ошибка доступа к пути или файлу");
    case errnum::kPathNotFound:
      return N_("Путь не найден");
    case errnum::kObjectNotSet:
      return N_("Объектная переменная не задана");
    case errnum::kAutomationError:
      return N_("Ошибка автоматизации");
    case errnum::kCannotCreateObject:
      return N_("Компоненту ActiveX не удается создать объект");
    case errnum::kNoSuchMember:
      return N_("Объект не поддерживает это свойство или метод");
    case errnum::kArgumentNotOptional:
      return N_("Аргумент не является необязательным");
    case errnum::kWrongArgumentCount:
      return N_("Неверное число аргументов или недопустимое присваивание значения свойству");
    case errnum::kKeyAlreadyUsed:
      return N_("Этот ключ уже связан с элементом данной коллекции");
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
