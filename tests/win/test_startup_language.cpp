// The process-wide text table starts in the user's language.
#include <gtest/gtest.h>

#include <windows.h>

#include <cstdlib>
#include <string>

#include "texts/TextTable.h"

// The process-wide table takes its language from the user's locale before main runs. CTest
// runs this test once per locale (LC_ALL); Wine turns the locale into the user's LCID.
TEST(StartupLanguage, FollowsTheUserDefaultLocale) {
    struct Expectation {
        const char* Locale;
        LCID Lcid;
        std::uint32_t Language;
        const wchar_t* ExitButton;
    };
    const Expectation expectations[] = {
        {"en_US.UTF-8", 0x0409, English, L"Exit"},
        {"ru_RU.UTF-8", 0x0419, Russian, L"Выход"},
        {"ru_MD.UTF-8", 0x0819, English, L"Exit"},
    };
    const char* locale = std::getenv("LC_ALL");
    if (locale == nullptr) GTEST_SKIP() << "run through CTest, which sets LC_ALL";
    for (const Expectation& expected : expectations) {
        if (std::string(locale) != expected.Locale) continue;
        ASSERT_EQ(GetUserDefaultLCID(), expected.Lcid) << "locale of this run: " << locale;
        EXPECT_EQ(GetTextTable().CurrentLanguage(), expected.Language);
        EXPECT_EQ(GetText(TXT_EXIT_BUTTON), expected.ExitButton);
        return;
    }
    GTEST_SKIP() << "no expectation for LC_ALL=" << locale;
}
