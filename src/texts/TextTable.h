// The interface texts in English and Russian and the current interface language.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>

#include "FileProcessor/JobRecords.h"

enum Language : std::uint32_t {
    English = 0,
    Russian = 1,
};
constexpr std::uint32_t LANGUAGE_COUNT = 2;

enum TextId : std::uint32_t {
    TXT_UNKNOWN_TEXT_ID = 0,
    TXT_RESULT_UNKNOWN = 1,
    TXT_RESULT_CORRECT_FILE = 2,
    TXT_RESULT_EMPTY_FILE_NAME = 3,
    TXT_RESULT_SHD_UNREADABLE = 4,
    TXT_RESULT_SPL_NOT_DETECTED = 5,
    TXT_RESULT_SHD_NOT_DETECTED = 6,
    TXT_RESULT_UNEXPECTED_VALUE = 7,
    TXT_LOG_FILE_OPEN_ERROR = 8,
    TXT_APP_TITLE = 9,
    TXT_INTERFACE_LANGUAGE = 10,
    TXT_CHOOSE_FILE_TITLE = 11,
    TXT_CONTINUE_ANYWAY = 12,
    TXT_CHOOSE_PRINTER_SIMILAR_TO = 13,
    TXT_QUOTE = 14,
    TXT_CHOOSE_PRINTER = 15,
    TXT_PRINTING_RESULT = 16,
    TXT_FILE_QUOTE = 17,
    TXT_PRINT_ERROR = 18,
    TXT_QUOTE_EXCLAMATION = 19,
    TXT_ALREADY_PRINTED = 20,
    TXT_PRINT_FILE_TITLE = 21,
    TXT_PRINTER_NOT_SUITABLE = 22,
    TXT_NO_PRINTER_SELECTED = 23,
    TXT_NO_FILE_CHOSEN = 24,
    TXT_CHOOSE_FILE_BUTTON = 25,
    TXT_INVALID_FILE = 26,
    TXT_DIALOG_CAPTION = 27,
    TXT_SHOW_INAPPROPRIATE = 28,
    TXT_PRINT_BUTTON = 29,
    TXT_OPEN_LOG_BUTTON = 30,
    TXT_EXIT_BUTTON = 31,
    TXT_ASK_DATA_FORMAT = 32,
    TXT_PRINTED_SUCCESSFULLY = 33,
    TXT_DIRECTORIES_NOT_PROCESSED = 34,
    TXT_OPEN_ERROR_TITLE = 35,
    TXT_OPEN_DIRECTORY_ERROR = 36,
    TXT_OPEN_FILE_ERROR = 37,
    TXT_OPEN_LINK_ERROR = 38,
    // The progress window of a long extraction or print, and a cancelled print.
    TXT_EXTRACTING_JOB = 39,
    TXT_SENDING_TO_PRINTER = 40,
    TXT_MEGABYTES_OF = 41,
    TXT_CANCEL_BUTTON = 42,
    TXT_PRINT_CANCELLED = 43,
    TXT_PRINT_MAYBE_SUBMITTED = 44,
    TXT_OPERATION_FAILED = 45,
    TXT_DETAILS_OWNER_ON_COMPUTER = 46,
    TXT_DETAILS_ONE_PAGE = 47,
    TXT_DETAILS_PAGES = 48,
    TXT_DETAILS_KB = 49,
    TXT_DETAILS_MB = 50,
    TXT_DETAILS_GB = 51,
    TXT_DETAILS_PORTRAIT = 52,
    TXT_DETAILS_LANDSCAPE = 53,
    TXT_DETAILS_COPIES = 54,
    TXT_DETAILS_DUPLEX = 55,
    TXT_DETAILS_COLOUR = 56,
    TXT_DETAILS_MONOCHROME = 57,
    TXT_DETAILS_PLAIN_TEXT = 58,
    TXT_DATA_TYPE_MISMATCH = 59,
    TXT_REDRAW_QUESTION = 60,
    TXT_REDRAW_WARNING = 61,
    TXT_CHECKING_PAGES = 62,
    TXT_DRAWING_PAGES = 63,
    TXT_PAGES_OF = 64,
    TXT_DRAWING_FIRST_PAGE = 65,
    // The page-drawing process died or hung; a job still being spooled; pages fitted.
    TXT_DRAWING_CRASHED = 66,
    TXT_DRAWING_CRASHED_MAYBE_PRINTED = 67,
    TXT_FIRST_PAGE_NOT_DRAWN = 68,
    TXT_JOB_STILL_SPOOLING = 69,
    TXT_REDRAW_FIT = 70,
};
constexpr std::uint32_t TEXT_COUNT = 71;

class TextTable {
public:
    // Russian exactly when the user's default locale (the given one) is 0x0419, English
    // otherwise. The default locale is read on Windows only.
    TextTable();
    explicit TextTable(std::uint32_t lcid);

    // A copy of the text in the current language; ids from TEXT_COUNT up give TXT_UNKNOWN_TEXT_ID.
    std::wstring GetText(TextId id) const;
    // The stored text itself, valid for the life of the process (for SetWindowTextW and the like).
    const wchar_t* GetTextPtr(TextId id) const;

    // Each name in its own language, whatever the current one is.
    std::wstring GetLanguageName(std::uint32_t language) const;
    // False, and the language unchanged, for an index outside the languages.
    bool SetLanguage(std::uint32_t language);
    std::uint32_t CurrentLanguage() const { return m_CurrentLanguage; }

    // OPENFILENAMEW filter of the current language, ended by two NULs.
    const wchar_t* GetFileFilter() const;

    // The text of an intake outcome: TextId value + 1 for Unknown to CannotDetectSHD,
    // TXT_RESULT_UNEXPECTED_VALUE for any value outside the enumeration.
    std::wstring GetResultText(SPLFileInfoResults result) const;

    // The text with each "%s" replaced by the next value, in order.
    std::wstring FormatText(TextId id, std::initializer_list<std::wstring> values) const;

private:
    std::uint32_t m_CurrentLanguage = English;
};

// The one process-wide table, built during static initialisation (Windows only, as are the
// two shorthands below).
TextTable& GetTextTable();

// Shorthand for GetTextTable().GetText(id).
std::wstring GetText(TextId id);

// GetTextTable().FormatText(id, values).
std::wstring FormatText(TextId id, std::initializer_list<std::wstring> values);
