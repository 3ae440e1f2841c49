#include "cleaner/Description.h"

#include "support/ov_messages.h"

namespace sweepwell {

namespace {

// Kept short enough to read on an 80-column terminal without scrolling.
constexpr const char kDescription[] =
    N_("Sweep well чистит диск по сценарию: удаляет временные файлы, старые журналы,\n"
       "пустые папки и ссылки на папки, которые перечислены в файле скрипта.\n"
       "\n"
       "Скрипт - это текстовый файл на языке Лоом, по одной команде объекта cleaner\n"
       "в строке: выбрать файлы по маске, по списку или по возрасту, удалить папку\n"
       "целиком, отправить файлы в корзину или удалить их навсегда, подвести итог.\n"
       "Запуск: sweepwell [/NoLong] ФайлСкрипта.\n"
       "\n"
       "Ключ /NoLong (или --no-long) запрещает длинные операции - команды, имя которых\n"
       "оканчивается на -long; так скрипт можно выполнять часто, а долгую чистку\n"
       "оставить на потом.\n"
       "\n"
       "Всё, что выводится на экран во время работы, дописывается в журнал месяца:\n"
       "$XDG_DATA_HOME/Greyfen Works/Sweep Well/Sweep ГГГГ-ММ.LOG\n"
       "(без XDG_DATA_HOME - в ~/.local/share).\n"
       "\n"
       "Ctrl+C прерывает работу после текущего файла; журнал при этом сохраняется.");

}  // namespace

// Shown, never logged: in the user's language.
std::string ProgramDescription() { return support::Tr(kDescription); }

}  // namespace sweepwell
