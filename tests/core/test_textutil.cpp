// UTF-16 to UTF-8 and the escaping of log values.
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
    // A surrogate pair is one letter; a surrogate alone becomes U+FFFD, as Windows converts it.
    EXPECT_EQ(WideToUtf8(std::wstring{wchar_t(0xD83D), wchar_t(0xDE00), wchar_t(0xDC00), L'a'}),
              "\xF0\x9F\x98\x80\xEF\xBF\xBD" "a");
}

TEST(LogText, LineBreaksAndOtherControlsCannotReachTheLog) {
    EXPECT_EQ(EscapeForLog(L"Отчёт 2024.pdf"), L"Отчёт 2024.pdf");
    EXPECT_EQ(EscapeForLog(L"C:\\jobs\\a.SPL"), L"C:\\jobs\\a.SPL");
    EXPECT_EQ(EscapeForLog(L"a\r\n01/01/24 00:00:00: x"), L"a\\x0D\\x0A01/01/24 00:00:00: x");
    EXPECT_EQ(EscapeForLog(L"tab\tdel\x7F" L"nel\x85"), L"tab\\x09del\\x7Fnel\\x85");
    EXPECT_EQ(EscapeForLog(L"ls\x2028ps\x2029"), L"ls\\u2028ps\\u2029");
    EXPECT_EQ(LogText(std::wstring(L"Счёт\0x", 6)), "\xD0\xA1\xD1\x87\xD1\x91\xD1\x82\\x00x");
}

// Lines the page-drawing process sends are UTF-8 from outside: escaped the same way, and
// bytes that are no UTF-8 cannot hide a control character.
TEST(LogText, RelayedLinesAreEscapedAsValuesAre) {
    EXPECT_EQ(EscapeLogLine("Счёт \xE2\x80\xA8 a\r\nb\xC2\x85"), "Счёт \\u2028 a\\x0D\\x0Ab\\x85");
    EXPECT_EQ(EscapeLogLine("\xC0\x8A\xE2\x80"), "\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD") << "an overlong LF stays no LF";
}
