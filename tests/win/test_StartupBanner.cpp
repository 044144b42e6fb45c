// The start-up banner: versions from the version resource (this test program carries product
// version 5.8.0.0 and file version 1.0.0.2), build facts, the path, and each failed step.
#include <gtest/gtest.h>

#include <windows.h>

#include <regex>
#include <string>

#include "LogCapture.h"
#include "StartupBanner.h"
#include "textutil.h"
#include "textutil_win.h"

namespace {

std::wstring OwnPath() {
    wchar_t path[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    return path;
}

std::wstring TempFolder() {
    wchar_t path[MAX_PATH] = {};
    GetTempPathW(MAX_PATH, path);
    return path;
}

using StartupBanner = LogCapture;

}  // namespace

TEST_F(StartupBanner, NamesProductVersionThenFileVersionBuildAndPath) {
    LogStartupBanner();
    ASSERT_EQ(Texts().size(), 1u);
    const std::string expectedStart = "info: Tavrel started: version[5.8.0.0 (1.0.0.2)] compiled[\"" +
                                      std::string(TAVREL_TEST_CONFIGURATION) + "\" ";
    const std::string text = Texts()[0];
    ASSERT_EQ(text.rfind(expectedStart, 0), 0u) << text;
    // Build date as the compiler writes it ("Aug 22 2026", day padded with a blank), then time.
    std::smatch match;
    std::string rest = text.substr(expectedStart.size());
    ASSERT_TRUE(std::regex_match(rest, match, std::regex(R"(([A-Z][a-z]{2} [ 1-3][0-9] [0-9]{4}) ([0-9]{2}:[0-9]{2}:[0-9]{2})\] file\[(.*)\])")))
        << rest;
    EXPECT_EQ(match[3].str(), WideToUtf8(OwnPath()));
}

TEST_F(StartupBanner, CyrillicFolderIsWrittenAsUtf8) {
    std::wstring folder = TempFolder() + L"Тест баннера";
    CreateDirectoryW(folder.c_str(), nullptr);
    std::wstring copy = folder + L"\\копия.exe";
    ASSERT_TRUE(CopyFileW(OwnPath().c_str(), copy.c_str(), FALSE));
    LogVersionBanner(copy);
    DeleteFileW(copy.c_str());
    RemoveDirectoryW(folder.c_str());
    ASSERT_EQ(Texts().size(), 1u);
    const std::string utf8Tail = "\\\xD0\xA2\xD0\xB5\xD1\x81\xD1\x82 \xD0\xB1\xD0\xB0\xD0\xBD\xD0\xBD\xD0\xB5\xD1\x80\xD0\xB0"
                                 "\\\xD0\xBA\xD0\xBE\xD0\xBF\xD0\xB8\xD1\x8F.exe]";
    const std::string text = Texts()[0];
    ASSERT_GE(text.size(), utf8Tail.size());
    EXPECT_EQ(text.substr(text.size() - utf8Tail.size()), utf8Tail) << text;
    EXPECT_NE(text.find("version[5.8.0.0 (1.0.0.2)]"), std::string::npos) << text;
}

TEST_F(StartupBanner, FileWithoutVersionResourceGivesTheSizeStepErrorAndNoBanner) {
    std::wstring path = TempFolder() + L"tavrel-banner-no-version.txt";
    HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    DWORD written = 0;
    WriteFile(file, "plain text", 10, &written, nullptr);
    CloseHandle(file);

    LogVersionBanner(path);
    DeleteFileW(path.c_str());
    ASSERT_EQ(Texts().size(), 1u);
    EXPECT_EQ(Texts()[0].rfind("error: GetFileVersionInfoSize failed: ", 0), 0u) << Texts()[0];
}

TEST_F(StartupBanner, MissingFileNamesTheSystemError) {
    LogVersionBanner(TempFolder() + L"tavrel-banner-no-such-file.exe");
    ASSERT_EQ(Texts().size(), 1u);
    EXPECT_EQ(Texts()[0], "error: GetFileVersionInfoSize failed: " + GetLastErrorText(ERROR_FILE_NOT_FOUND));
}
