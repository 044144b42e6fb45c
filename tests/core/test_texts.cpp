// The interface text table: exact texts, fallbacks, languages, filters and result texts.
#include <gtest/gtest.h>

#include <string>

#include "texts/TextTable.h"
#include "textutil.h"

namespace {

// The stored text as the UTF-8 bytes a person would compare on screen.
std::string Utf8(const std::wstring& text) { return WideToUtf8(text); }

std::wstring TextIn(std::uint32_t language, TextId id) {
    TextTable table(0x0409);
    table.SetLanguage(language);
    return table.GetText(id);
}

// A literal with its terminating NUL kept: L"a\0" gives "a", NUL, NUL.
template <size_t N>
std::wstring WithFinalNul(const wchar_t (&literal)[N]) {
    return std::wstring(literal, N);
}

// Whole filter up to and including its double NUL end.
std::wstring WholeFilter(const wchar_t* filter) {
    const wchar_t* end = filter;
    while (end[0] != L'\0' || end[1] != L'\0') ++end;
    return std::wstring(filter, end + 2);
}

}  // namespace

TEST(TextTable, RowsWithLookAlikeLettersAreExact) {
    // Row 4 and 6: Latin "c" (0x63) before the word; row 5: Cyrillic "с" (U+0441, D1 81).
    EXPECT_EQ(Utf8(TextIn(Russian, TXT_RESULT_SHD_UNREADABLE)),
              "\xD0\x9D\xD0\xB5 \xD0\xBC\xD0\xBE\xD0\xB3\xD1\x83 \xD0\xBF\xD1\x80\xD0\xBE\xD1\x87\xD0\xB8\xD1\x82\xD0\xB0"
              "\xD1\x82\xD1\x8C \xD0\xB8\xD0\xBD\xD1\x84\xD0\xBE\xD1\x80\xD0\xBC\xD0\xB0\xD1\x86\xD0\xB8\xD1\x8E \xD0\xB8"
              "\xD0\xB7 shd-\xD1\x84\xD0\xB0\xD0\xB9\xD0\xBB\xD0\xB0 c \xD0\xBC\xD0\xB5\xD1\x82\xD0\xB0\xD0\xB4\xD0\xB0"
              "\xD0\xBD\xD0\xBD\xD1\x8B\xD0\xBC\xD0\xB8 \xD0\xB4\xD0\xBB\xD1\x8F \xD0\xBF\xD0\xB5\xD1\x87\xD0\xB0\xD1\x82"
              "\xD0\xB8!");
    EXPECT_EQ(TextIn(Russian, TXT_RESULT_SPL_NOT_DETECTED),
              L"Не могу определить spl-файл \u0441 данными для принтера!");
    EXPECT_EQ(TextIn(Russian, TXT_RESULT_SHD_NOT_DETECTED),
              L"Не могу определить shd-файл \u0063 метаданными для печати!");
    EXPECT_EQ(TextIn(English, TXT_RESULT_SHD_UNREADABLE), L"Can not read the shd-file with printing metadata!");
    EXPECT_EQ(TextIn(English, TXT_RESULT_SPL_NOT_DETECTED), L"Can not detect spl-file with data for printer!");
    EXPECT_EQ(TextIn(English, TXT_RESULT_SHD_NOT_DETECTED), L"Can not detect shd-file with metadata!");
}

TEST(TextTable, LineFeedsAndTrailingBlanksBelongToTheTexts) {
    EXPECT_EQ(TextIn(English, TXT_CONTINUE_ANYWAY), L"\nContinue anyway?");
    EXPECT_EQ(TextIn(Russian, TXT_CONTINUE_ANYWAY), L"\nВсё равно продолжить? ");
    // Rows 23 and 24 break the line in English only.
    EXPECT_EQ(TextIn(English, TXT_NO_PRINTER_SELECTED), L"No printer selected!\nPlease choose printer in the list.");
    EXPECT_EQ(TextIn(Russian, TXT_NO_PRINTER_SELECTED), L"Принтер не выбран! Пожалуйста выберите принтер в списке.");
    EXPECT_EQ(TextIn(English, TXT_NO_FILE_CHOSEN), L"No file chosen!\nPlease choose file for printing.");
    EXPECT_EQ(TextIn(Russian, TXT_NO_FILE_CHOSEN), L"Не выбран файл! Пожалуйста выберите файл для печати.");
    EXPECT_EQ(TextIn(English, TXT_LOG_FILE_OPEN_ERROR),
              L"Log-file opening error!\nMaybe another instance of the program is already running.");
    EXPECT_EQ(TextIn(English, TXT_OPEN_DIRECTORY_ERROR), L"An error occurred while opening directory: ");
    EXPECT_EQ(TextIn(Russian, TXT_OPEN_LINK_ERROR), L"Ошибка при открытии ссылки: ");
}

TEST(TextTable, QuotesAndRowsThatAreAlikeInBothLanguages) {
    EXPECT_EQ(TextIn(English, TXT_CHOOSE_PRINTER_SIMILAR_TO), L"Choose printer similar to \"");
    EXPECT_EQ(TextIn(English, TXT_PRINT_ERROR), L"An error occurred while printing the file\"");
    EXPECT_EQ(TextIn(Russian, TXT_PRINTED_SUCCESSFULLY), L"\" успешно напечатан.\nЗаберите распечатку на принтере \"");
    for (TextId id : {TXT_QUOTE, TXT_QUOTE_EXCLAMATION}) EXPECT_EQ(TextIn(English, id), TextIn(Russian, id)) << id;
    EXPECT_EQ(TextIn(English, TXT_QUOTE_EXCLAMATION), L"\"!");
    EXPECT_EQ(TextIn(English, TXT_ASK_DATA_FORMAT),
              L"The program can not detect data format in the file!\nUse data format \"RAW\"?\n"
              L"(answer 'No' means using format \"XPS_PASS\")");
    // The message caption and the dialog caption are separate rows that differ in Russian.
    EXPECT_EQ(TextIn(Russian, TXT_APP_TITLE), L"Печать файлов спулера");
    EXPECT_EQ(TextIn(Russian, TXT_DIALOG_CAPTION), L"Печать файла спулера");
}

TEST(TextTable, EveryRowHasTextInBothLanguages) {
    for (std::uint32_t id = 0; id < TEXT_COUNT; ++id) {
        EXPECT_FALSE(TextIn(English, static_cast<TextId>(id)).empty()) << id;
        EXPECT_FALSE(TextIn(Russian, static_cast<TextId>(id)).empty()) << id;
    }
    EXPECT_EQ(TextIn(English, TXT_UNKNOWN_TEXT_ID), L"unknown text id");
    EXPECT_EQ(TextIn(English, TXT_OPEN_LINK_ERROR), L"An error occurred while opening link: ");
    EXPECT_EQ(TextIn(Russian, TXT_PRINT_CANCELLED), L"Печать файла \"%s\" отменена, на принтер \"%s\" ничего не отправлено.");
}

TEST(TextTable, UnknownIdsFallBackToTheUnknownTextOfTheCurrentLanguage) {
    for (std::uint32_t id : {TEXT_COUNT, TEXT_COUNT + 1, 1000u, 0xFFFFFFFFu}) {
        EXPECT_EQ(TextIn(English, static_cast<TextId>(id)), L"unknown text id") << id;
        EXPECT_EQ(TextIn(Russian, static_cast<TextId>(id)), L"неизвестный идентификатор текста") << id;
    }
}

TEST(TextTable, TextPointerIsTheStoredTextAndOutlivesLanguageChanges) {
    TextTable table(0x0409);
    const wchar_t* english = table.GetTextPtr(TXT_PRINT_BUTTON);
    EXPECT_EQ(table.GetTextPtr(TXT_PRINT_BUTTON), english) << "the same storage every time";
    ASSERT_TRUE(table.SetLanguage(Russian));
    EXPECT_STREQ(table.GetTextPtr(TXT_PRINT_BUTTON), L"Печать");
    EXPECT_STREQ(english, L"Print");
}

TEST(TextTable, LanguageNamesAreEachInTheirOwnLanguage) {
    for (std::uint32_t current : {English, Russian}) {
        TextTable table(0x0409);
        table.SetLanguage(current);
        EXPECT_EQ(table.GetLanguageName(0), L"English");
        EXPECT_EQ(table.GetLanguageName(1), L"Русский");
        EXPECT_EQ(table.GetLanguageName(2), L"Error: incorrect language number!");
        EXPECT_EQ(table.GetLanguageName(0xFFFFFFFFu), L"Error: incorrect language number!");
    }
}

TEST(TextTable, SetLanguageAcceptsOnlyKnownLanguages) {
    TextTable table(0x0409);
    EXPECT_FALSE(table.SetLanguage(2));
    EXPECT_EQ(table.CurrentLanguage(), English);
    EXPECT_TRUE(table.SetLanguage(Russian));
    EXPECT_EQ(table.CurrentLanguage(), Russian);
    EXPECT_EQ(table.GetText(TXT_PRINT_BUTTON), L"Печать");
    EXPECT_FALSE(table.SetLanguage(0xFFFFFFFFu));
    EXPECT_EQ(table.CurrentLanguage(), Russian);
    EXPECT_TRUE(table.SetLanguage(English));
    EXPECT_EQ(table.GetText(TXT_PRINT_BUTTON), L"Print");
}

TEST(TextTable, OnlyRussianAsUsedInRussiaStartsInRussian) {
    EXPECT_EQ(TextTable(0x0419).CurrentLanguage(), Russian);
    EXPECT_EQ(TextTable(0x0819).CurrentLanguage(), English) << "Russian (Moldova)";
    EXPECT_EQ(TextTable(0x0019).CurrentLanguage(), English) << "neutral Russian";
    EXPECT_EQ(TextTable(0x0409).CurrentLanguage(), English);
    EXPECT_EQ(TextTable(0x0422).CurrentLanguage(), English) << "Ukrainian";
}

TEST(TextTable, FileFiltersAreDescriptionPatternPairsEndedByTwoNuls) {
    TextTable table(0x0409);
    EXPECT_EQ(WholeFilter(table.GetFileFilter()),
              WithFinalNul(L"All files(*.*)\0*.*\0Archives(*.zip)\0*.ZIP\0Printer Images(*.spl)\0*.SPL\0"
                           L"Job info(*.shd)\0*.SHD\0"));
    table.SetLanguage(Russian);
    EXPECT_EQ(WholeFilter(table.GetFileFilter()),
              WithFinalNul(L"Все файлы(*.*)\0*.*\0Архивы(*.zip)\0*.ZIP\0Образы печати(*.spl)\0*.SPL\0"
                           L"Метаданные(*.shd)\0*.SHD\0"));
}

TEST(TextTable, ResultTextsFollowTheIntakeOutcomes) {
    TextTable table(0x0409);
    EXPECT_EQ(table.GetResultText(Unknown), L"Unknown file processing result!");
    EXPECT_EQ(table.GetResultText(CorrectFile), L"This is the correct spooler file.");
    EXPECT_EQ(table.GetResultText(EmptyFileName), L"File name is empty!");
    EXPECT_EQ(table.GetResultText(CannotReadSHD), table.GetText(TXT_RESULT_SHD_UNREADABLE));
    EXPECT_EQ(table.GetResultText(CannotDetectSPL), table.GetText(TXT_RESULT_SPL_NOT_DETECTED));
    EXPECT_EQ(table.GetResultText(CannotDetectSHD), table.GetText(TXT_RESULT_SHD_NOT_DETECTED));
    for (std::uint32_t other : {6u, 7u, 0x7FFFFFFFu, 0xFFFFFFFFu}) {
        EXPECT_EQ(table.GetResultText(static_cast<SPLFileInfoResults>(other)),
                  L"Implementation error: Unexpected value for type SPLFileInfoResults!") << other;
    }
    table.SetLanguage(Russian);
    EXPECT_EQ(table.GetResultText(EmptyFileName), L"Имя файла пустое!");
}
