// Text conversion and system error texts.
#include <gtest/gtest.h>

#include "textutil.h"

TEST(WideToUtf8, CyrillicTakesTwoBytesPerLetter) {
    EXPECT_EQ(WideToUtf8(L"Привет"), "\xD0\x9F\xD1\x80\xD0\xB8\xD0\xB2\xD0\xB5\xD1\x82");
    EXPECT_EQ(WideToUtf8(L"abc"), "abc");
    EXPECT_EQ(WideToUtf8(L"日本"), "\xE6\x97\xA5\xE6\x9C\xAC");
}

TEST(WideToUtf8, EmptyAndEmbeddedZero) {
    EXPECT_EQ(WideToUtf8(L""), "");
    EXPECT_EQ(WideToUtf8(static_cast<const wchar_t*>(nullptr)), "");
    EXPECT_EQ(WideToUtf8(std::wstring(L"ab\0cd", 5)), "ab");
}

TEST(LogText, LineBreaksAndOtherControlsCannotReachTheLog) {
    EXPECT_EQ(EscapeForLog(L"Отчёт 2024.pdf"), L"Отчёт 2024.pdf");
    EXPECT_EQ(EscapeForLog(L"C:\\jobs\\a.SPL"), L"C:\\jobs\\a.SPL");
    EXPECT_EQ(EscapeForLog(L"a\r\n01/01/24 00:00:00: x"), L"a\\x0D\\x0A01/01/24 00:00:00: x");
    EXPECT_EQ(EscapeForLog(L"tab\tdel\x7F" L"nel\x85"), L"tab\\x09del\\x7Fnel\\x85");
    EXPECT_EQ(EscapeForLog(L"ls\x2028ps\x2029"), L"ls\\u2028ps\\u2029");
    EXPECT_EQ(LogText(std::wstring(L"Счёт\0x", 6)), "\xD0\xA1\xD1\x87\xD1\x91\xD1\x82\\x00x");
}

TEST(MultiByteToWideString, ConvertsFromTheGivenCodePage) {
    EXPECT_EQ(MultiByteToWideString("", CP_ACP), L"");
    EXPECT_EQ(MultiByteToWideString("\xD0\x9F\xD1\x80", CP_UTF8), L"Пр");
    EXPECT_EQ(MultiByteToWideString("\xCF\xF0", 1251), L"Пр");
    EXPECT_EQ(MultiByteToWideString("plain", CP_ACP), L"plain");
}

TEST(GetLastErrorText, FileNotFoundHasCodeCommaBlankAndTheSystemText) {
    std::string text = GetLastErrorText(ERROR_FILE_NOT_FOUND);
    ASSERT_EQ(text.rfind("2, ", 0), 0u) << text;
    EXPECT_GT(text.size(), 3u) << "the system's text must follow";
    EXPECT_EQ(text.find('\n'), std::string::npos) << "one line: " << text;
    EXPECT_EQ(text.find('\r'), std::string::npos) << "one line: " << text;
}

TEST(GetLastErrorText, CodeWithoutSystemTextGivesOnlyTheNumber) {
    EXPECT_EQ(GetLastErrorText(0x20001234u), "536875572, ");
}

TEST(GetLastErrorText, CodesAboveTwoToTheThirtyFirstAreUnsigned) {
    EXPECT_EQ(GetLastErrorText(0xE0000001u), "3758096385, ");
    EXPECT_EQ(GetLastErrorText(0xFFFFFFFFu).rfind("4294967295, ", 0), 0u);
}

TEST(GetLastErrorText, ZeroIsASingleDigit) {
    EXPECT_EQ(GetLastErrorText(0).rfind("0, ", 0), 0u);
}
