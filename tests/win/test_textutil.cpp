// Text conversion and system error texts.
#include <gtest/gtest.h>

#include "textutil_win.h"

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
