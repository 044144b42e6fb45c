// Paths as Windows handles them: the extended-length form and the comparison of spellings.
#include <gtest/gtest.h>

#include <string>

#include "pathutil_win.h"

TEST(ExtendedLengthPath, OnlyLongPathsGetThePrefixAfterNormalisation) {
    EXPECT_EQ(ExtendedLengthPath(L"C:\\jobs\\00012.SPL"), L"C:\\jobs\\00012.SPL");
    std::wstring segment(100, L's');
    std::wstring longPath = L"C:\\" + segment + L"\\" + segment + L"\\" + segment + L"\\a.SPL";
    EXPECT_EQ(ExtendedLengthPath(longPath), L"\\\\?\\" + longPath);
    EXPECT_EQ(ExtendedLengthPath(L"C:/" + segment + L"/x/../" + segment + L"/./" + segment + L"/a.SPL"),
              L"\\\\?\\C:\\" + segment + L"\\" + segment + L"\\" + segment + L"\\a.SPL");
    EXPECT_EQ(ExtendedLengthPath(L"\\\\server\\share\\" + segment + L"\\" + segment + L"\\" + segment),
              L"\\\\?\\UNC\\server\\share\\" + segment + L"\\" + segment + L"\\" + segment);
    EXPECT_EQ(ExtendedLengthPath(L"\\\\?\\" + longPath), L"\\\\?\\" + longPath);
}

// Deciding wrongly that two spellings are different files deletes a job that is still current.
TEST(SamePath, IgnoresCaseAsTheFileSystemDoes) {
    EXPECT_TRUE(SamePath(L"C:\\Spool\\00012.SPL", L"c:\\spool\\00012.spl"));
    EXPECT_TRUE(SamePath(L"C:\\Задания\\Отчёт.SPL", L"c:\\задания\\ОТЧЁТ.spl"));
    EXPECT_FALSE(SamePath(L"C:\\Spool\\00012.SPL", L"C:\\Spool\\00012.SP"));
    EXPECT_FALSE(SamePath(L"C:\\Spool\\00012.SPL", L"C:\\Spool\\00013.SPL"));
    EXPECT_TRUE(SamePath(L"", L""));
}
