#include "texts/TextTable.h"

#include <array>

namespace {

constexpr std::uint32_t RussianInRussiaLcid = 0x0419;

// Row by row, English then Russian: the text of (id, language) is entry id * 2 + language.
// Rows 4 and 6 carry a Latin "c" before "метаданными", row 5 a Cyrillic "с" before "данными":
// the texts are kept exactly as the program has always shown them.
constexpr std::array<const wchar_t*, TEXT_COUNT * LANGUAGE_COUNT> Texts = {
    /*  0 TXT_UNKNOWN_TEXT_ID */
    L"unknown text id",
    L"неизвестный идентификатор текста",
    /*  1 TXT_RESULT_UNKNOWN */
    L"Unknown file processing result!",
    L"Неизвестный результат обработки файла!",
    /*  2 TXT_RESULT_CORRECT_FILE */
    L"This is the correct spooler file.",
    L"Это корректный файл спулера.",
    /*  3 TXT_RESULT_EMPTY_FILE_NAME */
    L"File name is empty!",
    L"Имя файла пустое!",
    /*  4 TXT_RESULT_SHD_UNREADABLE */
    L"Can not read the shd-file with printing metadata!",
    L"Не могу прочитать информацию из shd-файла c метаданными для печати!",
    /*  5 TXT_RESULT_SPL_NOT_DETECTED */
    L"Can not detect spl-file with data for printer!",
    L"Не могу определить spl-файл с данными для принтера!",
    /*  6 TXT_RESULT_SHD_NOT_DETECTED */
    L"Can not detect shd-file with metadata!",
    L"Не могу определить shd-файл c метаданными для печати!",
    /*  7 TXT_RESULT_UNEXPECTED_VALUE */
    L"Implementation error: Unexpected value for type SPLFileInfoResults!",
    L"Ошибка реализации: Неожиданное значение для типа SPLFileInfoResults!",
    /*  8 TXT_LOG_FILE_OPEN_ERROR */
    L"Log-file opening error!\nMaybe another instance of the program is already running.",
    L"Ошибка открытия файла журнала!\nВозможно другой экземпляр программы уже запущен.",
    /*  9 TXT_APP_TITLE */
    L"Print spooler file",
    L"Печать файлов спулера",
    /* 10 TXT_INTERFACE_LANGUAGE */
    L"Interface language:",
    L"Язык интерфейса:",
    /* 11 TXT_CHOOSE_FILE_TITLE */
    L"Choose file",
    L"Выбор файла",
    /* 12 TXT_CONTINUE_ANYWAY */
    L"\nContinue anyway?",
    L"\nВсё равно продолжить? ",
    /* 13 TXT_CHOOSE_PRINTER_SIMILAR_TO */
    L"Choose printer similar to \"",
    L"Выберите принтер аналогичный \"",
    /* 14 TXT_QUOTE */
    L"\"",
    L"\"",
    /* 15 TXT_CHOOSE_PRINTER */
    L"Choose printer",
    L"Выберите принтер",
    /* 16 TXT_PRINTING_RESULT */
    L"Printing result",
    L"Результат печати",
    /* 17 TXT_FILE_QUOTE */
    L"File \"",
    L"Файл \"",
    /* 18 TXT_PRINT_ERROR */
    L"An error occurred while printing the file\"",
    L"Произошла ошибка во время печати файла\"",
    /* 19 TXT_QUOTE_EXCLAMATION */
    L"\"!",
    L"\"!",
    /* 20 TXT_ALREADY_PRINTED */
    L"This file has already been printed, do you want to print it again?",
    L"Этот файл уже отправлялся на печать, вы хотите распечатать его снова?",
    /* 21 TXT_PRINT_FILE_TITLE */
    L"Print file",
    L"Печать файла",
    /* 22 TXT_PRINTER_NOT_SUITABLE */
    L"The selected printer is not suitable for printing the file, which may result in paper damage or printer failure!\nContinue printing?",
    L"Выбранный принтер не подходит для печати этого файла, что может привести к порче бумаги или сбою принтера!\nПродолжить печатать?",
    /* 23 TXT_NO_PRINTER_SELECTED */
    L"No printer selected!\nPlease choose printer in the list.",
    L"Принтер не выбран! Пожалуйста выберите принтер в списке.",
    /* 24 TXT_NO_FILE_CHOSEN */
    L"No file chosen!\nPlease choose file for printing.",
    L"Не выбран файл! Пожалуйста выберите файл для печати.",
    /* 25 TXT_CHOOSE_FILE_BUTTON */
    L"Choose file",
    L"Выбор файла",
    /* 26 TXT_INVALID_FILE */
    L"This invalid file can not be chosen!",
    L"Этот некорректный файл не может быть выбран!",
    /* 27 TXT_DIALOG_CAPTION */
    L"Print spooler file",
    L"Печать файла спулера",
    /* 28 TXT_SHOW_INAPPROPRIATE */
    L"show inappropriate printers",
    L"показывать неподходящие принтеры",
    /* 29 TXT_PRINT_BUTTON */
    L"Print",
    L"Печать",
    /* 30 TXT_OPEN_LOG_BUTTON */
    L"Open log-file",
    L"Открыть журнал",
    /* 31 TXT_EXIT_BUTTON */
    L"Exit",
    L"Выход",
    /* 32 TXT_ASK_DATA_FORMAT */
    L"The program can not detect data format in the file!\nUse data format \"RAW\"?\n(answer 'No' means using format \"XPS_PASS\")",
    L"Программа не может определить формат данных в файле!\nИспользовать формат данных \"RAW\"?\n(если ответите нет, то будет использоваться формат \"XPS_PASS\")",
    /* 33 TXT_PRINTED_SUCCESSFULLY */
    L"\" printed successfully.\nTake the printout on the printer \"",
    L"\" успешно напечатан.\nЗаберите распечатку на принтере \"",
    /* 34 TXT_DIRECTORIES_NOT_PROCESSED */
    L"The program does not process directories. To select a file, drag it into the window of this program.",
    L"Программа не обрабатывает каталоги. Для выбора файла перетащите его в окно этой программы.",
    /* 35 TXT_OPEN_ERROR_TITLE */
    L"Open error",
    L"Ошибка запуска",
    /* 36 TXT_OPEN_DIRECTORY_ERROR */
    L"An error occurred while opening directory: ",
    L"Ошибка при открытии каталога: ",
    /* 37 TXT_OPEN_FILE_ERROR */
    L"An error occurred while opening file: ",
    L"Ошибка при открытии файла: ",
    /* 38 TXT_OPEN_LINK_ERROR */
    L"An error occurred while opening link: ",
    L"Ошибка при открытии ссылки: ",
    /* 39 TXT_EXTRACTING_JOB */
    L"Extracting the job from \"%s\"...",
    L"Извлечение задания из \"%s\"...",
    /* 40 TXT_SENDING_TO_PRINTER */
    L"Sending \"%s\" to the printer \"%s\"...",
    L"Отправка \"%s\" на принтер \"%s\"...",
    /* 41 TXT_MEGABYTES_OF */
    L"%s of %s MB",
    L"%s из %s МБ",
    /* 42 TXT_CANCEL_BUTTON */
    L"Cancel",
    L"Отмена",
    /* 43 TXT_PRINT_CANCELLED */
    L"Printing of the file \"%s\" was cancelled; nothing was sent to the printer \"%s\".",
    L"Печать файла \"%s\" отменена, на принтер \"%s\" ничего не отправлено.",
    /* 44 TXT_PRINT_MAYBE_SUBMITTED */
    L"Printing of the file \"%s\" was cancelled, but the job could not be withdrawn: the part already sent "
    L"may still be printed on the printer \"%s\".",
    L"Печать файла \"%s\" отменена, но задание не удалось отозвать: уже отправленная часть может быть "
    L"напечатана на принтере \"%s\".",
    /* 45 TXT_OPERATION_FAILED */
    L"The operation failed because of an unexpected error. The details are in the log file.",
    L"Операция не выполнена из-за непредвиденной ошибки. Подробности в файле журнала.",
    /* 46 TXT_DETAILS_OWNER_ON_COMPUTER */
    L"%s on %s",
    L"%s на %s",
    /* 47 TXT_DETAILS_ONE_PAGE */
    L"1 page",
    L"1 страница",
    /* 48 TXT_DETAILS_PAGES */
    L"%s pages",
    L"страниц: %s",
    /* 49 TXT_DETAILS_KB */
    L"%s KB",
    L"%s КБ",
    /* 50 TXT_DETAILS_MB */
    L"%s MB",
    L"%s МБ",
    /* 51 TXT_DETAILS_GB */
    L"%s GB",
    L"%s ГБ",
    /* 52 TXT_DETAILS_PORTRAIT */
    L"portrait",
    L"книжная",
    /* 53 TXT_DETAILS_LANDSCAPE */
    L"landscape",
    L"альбомная",
    /* 54 TXT_DETAILS_COPIES */
    L"%s copies",
    L"копий: %s",
    /* 55 TXT_DETAILS_DUPLEX */
    L"duplex",
    L"двусторонняя",
    /* 56 TXT_DETAILS_COLOUR */
    L"colour",
    L"цветная",
    /* 57 TXT_DETAILS_MONOCHROME */
    L"monochrome",
    L"чёрно-белая",
    /* 58 TXT_DETAILS_PLAIN_TEXT */
    L"plain text",
    L"простой текст",
    /* 59 TXT_DATA_TYPE_MISMATCH */
    L"The spool file holds %s data, but the job would be sent with the data type \"%s\": the printer may "
    L"print pages of garbage.\nPrint anyway?",
    L"Файл спулера содержит данные %s, но задание будет отправлено с типом данных \"%s\": принтер может "
    L"напечатать страницы мусора.\nВсё равно печатать?",
    /* 60 TXT_REDRAW_QUESTION */
    L"The job holds EMF pages, which the printer \"%s\" is not known to replay as they are. Draw its %s "
    L"pages for this printer instead?\n(answer 'No' sends the spool file unchanged)",
    L"Задание содержит страницы EMF, которые принтер \"%s\" может не воспроизвести как есть. Нарисовать "
    L"его страницы (%s) для этого принтера?\n(если ответите нет, файл спулера будет отправлен без изменений)",
    /* 61 TXT_REDRAW_WARNING */
    L"\nSome of its content (fonts the job carries, PostScript or escapes for the original printer's driver, "
    L"or EMF+ drawing) will not come out as on the original printer.",
    L"\nЧасть содержимого (шрифты задания, PostScript или команды для драйвера исходного принтера, "
    L"рисование EMF+) не выйдет так, как на исходном принтере.",
    /* 62 TXT_CHECKING_PAGES */
    L"Checking the pages of \"%s\"...",
    L"Проверка страниц \"%s\"...",
    /* 63 TXT_DRAWING_PAGES */
    L"Drawing \"%s\" for the printer \"%s\"...",
    L"Рисование \"%s\" для принтера \"%s\"...",
    /* 64 TXT_PAGES_OF */
    L"%s of %s pages",
    L"%s из %s страниц",
    /* 65 TXT_DRAWING_FIRST_PAGE */
    L"Drawing the first page of \"%s\"...",
    L"Рисование первой страницы \"%s\"...",
    /* 66 TXT_DRAWING_CRASHED */
    L"The pages of \"%s\" could not be drawn for the printer \"%s\": the drawing stopped unexpectedly. Nothing "
    L"of the job reached the printer. The details are in the log file.",
    L"Страницы \"%s\" не удалось нарисовать для принтера \"%s\": рисование неожиданно прервалось. Ничего из "
    L"задания не попало на принтер. Подробности в файле журнала.",
    /* 67 TXT_DRAWING_CRASHED_MAYBE_PRINTED */
    L"The pages of \"%s\" could not be drawn for the printer \"%s\": the drawing stopped unexpectedly, and the "
    L"job could not be withdrawn: the part already drawn may still be printed. The details are in the log file.",
    L"Страницы \"%s\" не удалось нарисовать для принтера \"%s\": рисование неожиданно прервалось, и задание не "
    L"удалось отозвать: уже нарисованная часть может быть напечатана. Подробности в файле журнала.",
    /* 68 TXT_FIRST_PAGE_NOT_DRAWN */
    L"The first page could not be drawn.",
    L"Первую страницу не удалось нарисовать.",
    /* 69 TXT_JOB_STILL_SPOOLING */
    L"The spool file \"%s\" is not finished: its last page has no end record, so the job may still be being "
    L"spooled and later pages may be missing. Draw the %s pages it holds?",
    L"Файл спулера \"%s\" не завершён: у последней страницы нет записи о её конце, поэтому задание, возможно, "
    L"ещё записывается и следующих страниц может не хватать. Нарисовать страницы, которые в нём есть (%s)?",
    /* 70 TXT_REDRAW_FIT */
    L"\nPages larger than the printable area of this printer will be scaled down to fit it.",
    L"\nСтраницы больше области печати этого принтера будут уменьшены, чтобы поместиться в неё.",
};

constexpr const wchar_t* LanguageNames[LANGUAGE_COUNT] = {L"English", L"Русский"};
constexpr const wchar_t* IncorrectLanguageName = L"Error: incorrect language number!";

// String literals with embedded NULs: the final NUL of the literal ends the list.
constexpr wchar_t EnglishFilter[] =
    L"All files(*.*)\0*.*\0"
    L"Archives(*.zip)\0*.ZIP\0"
    L"Printer Images(*.spl)\0*.SPL\0"
    L"Job info(*.shd)\0*.SHD\0";
constexpr wchar_t RussianFilter[] =
    L"Все файлы(*.*)\0*.*\0"
    L"Архивы(*.zip)\0*.ZIP\0"
    L"Образы печати(*.spl)\0*.SPL\0"
    L"Метаданные(*.shd)\0*.SHD\0";
constexpr const wchar_t* FileFilters[LANGUAGE_COUNT] = {EnglishFilter, RussianFilter};


}  // namespace

// The whole locale id is compared: Russian as used in Moldova (0x0819) stays English.
TextTable::TextTable(std::uint32_t lcid) : m_CurrentLanguage(lcid == RussianInRussiaLcid ? Russian : English) {}

const wchar_t* TextTable::GetTextPtr(TextId id) const {
    std::uint32_t row = id < TEXT_COUNT ? id : TXT_UNKNOWN_TEXT_ID;
    return Texts[row * LANGUAGE_COUNT + m_CurrentLanguage];
}

std::wstring TextTable::GetText(TextId id) const { return GetTextPtr(id); }

std::wstring TextTable::GetLanguageName(std::uint32_t language) const {
    return language < LANGUAGE_COUNT ? LanguageNames[language] : IncorrectLanguageName;
}

bool TextTable::SetLanguage(std::uint32_t language) {
    if (language >= LANGUAGE_COUNT) return false;
    m_CurrentLanguage = language;
    return true;
}

const wchar_t* TextTable::GetFileFilter() const { return FileFilters[m_CurrentLanguage]; }

std::wstring TextTable::GetResultText(SPLFileInfoResults result) const {
    std::uint32_t value = result;
    if (value > CannotDetectSHD) return GetText(TXT_RESULT_UNEXPECTED_VALUE);
    return GetText(static_cast<TextId>(std::uint32_t{TXT_RESULT_UNKNOWN} + value));
}

// Values are inserted as they are: a "%s" inside a value is not replaced again.
std::wstring TextTable::FormatText(TextId id, std::initializer_list<std::wstring> values) const {
    const std::wstring text = GetText(id);
    std::wstring out;
    const std::wstring* value = values.begin();
    std::size_t from = 0;
    for (std::size_t at = text.find(L"%s"); at != std::wstring::npos; at = text.find(L"%s", from)) {
        out.append(text, from, at - from);
        if (value != values.end()) out += *value++;
        from = at + 2;
    }
    out.append(text, from);
    return out;
}
