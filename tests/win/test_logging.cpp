// The program's log file: line layout, sharing, unbuffered writes, its path, and the
// once-only set-up, partly in child processes (a copy of this executable).
#include <gtest/gtest.h>

#include <windows.h>

#include <share.h>

#include <cstdio>
#include <ctime>
#include <iterator>
#include <regex>
#include <string>

#include "logging/LogFile.h"
#include "logging/TavrelLog.h"
#include "textutil.h"
#include "textutil_win.h"

namespace {

constexpr char kChildLogAndDie[] = "--child-log-and-die";
constexpr char kChildInitialize[] = "--child-initialize";

std::wstring ModulePath() {
    wchar_t path[32768];
    DWORD length = GetModuleFileNameW(nullptr, path, 32768);
    return std::wstring(path, length);
}

// A fresh folder of the test's own under the temporary folder.
std::wstring MakeTempFolder(const std::wstring& name) {
    wchar_t temp[MAX_PATH + 1];
    GetTempPathW(MAX_PATH + 1, temp);
    std::wstring folder = std::wstring(temp) + L"tavrel-log-" + std::to_wstring(GetCurrentProcessId()) + L"-" + name;
    CreateDirectoryW(folder.c_str(), nullptr);
    return folder;
}

// Removes what a test left in its folder (flat: files only) and the folder itself.
void RemoveTempFolder(const std::wstring& folder) {
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW((folder + L"\\*").c_str(), &found);
    if (search != INVALID_HANDLE_VALUE) {
        do {
            if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) DeleteFileW((folder + L"\\" + found.cFileName).c_str());
        } while (FindNextFileW(search, &found));
        FindClose(search);
    }
    RemoveDirectoryW(folder.c_str());
}

std::string ReadAll(const std::wstring& path) {
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return "<cannot open>";
    std::string content;
    char buffer[4096];
    DWORD got = 0;
    while (ReadFile(file, buffer, sizeof buffer, &got, nullptr) && got > 0) content.append(buffer, got);
    CloseHandle(file);
    return content;
}

// Runs a copy of this executable with one argument; returns its exit code.
DWORD RunChild(const std::wstring& exe, const char* argument) {
    std::wstring commandLine = L"\"" + exe + L"\" " + MultiByteToWideString(argument, CP_UTF8);
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    if (!CreateProcessW(exe.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                        &process)) {
        return 0xDEADBEEF;
    }
    WaitForSingleObject(process.hProcess, 60000);
    DWORD code = 0xDEADBEEF;
    GetExitCodeProcess(process.hProcess, &code);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return code;
}

std::wstring CopyOfThisExecutable(const std::wstring& folder) {
    std::wstring copy = folder + L"\\probe.exe";
    CopyFileW(ModulePath().c_str(), copy.c_str(), FALSE);
    return copy;
}

// A log target with the program's formatter on a file of the test's own.
class LogFileFixture : public ::testing::Test {
protected:
    void SetUp() override {
        logog::InitializeFramework();
        logog::SetDefaultLevel(logog::LOGOG_LEVEL_ALL);
        folder = MakeTempFolder(MultiByteToWideString(::testing::UnitTest::GetInstance()->current_test_info()->name(), CP_UTF8));
        path = folder + L"\\test.log";
        DeleteFileW(path.c_str());
        formatter = new zendal::TavrelUtil::CFormatterCustom;
        formatter->SetTimeOfDayShown(true);
        target = new logog::LogFile(path.c_str());
        target->SetFormatter(*formatter);
    }
    void TearDown() override {
        delete target;
        delete formatter;
        logog::ShutdownFramework();
        RemoveTempFolder(folder);
    }

    std::wstring folder;
    std::wstring path;
    zendal::TavrelUtil::CFormatterCustom* formatter = nullptr;
    logog::LogFile* target = nullptr;
};

const std::string kTimePrefix = R"(\d\d/\d\d/\d\d \d\d:\d\d:\d\d: )";

}  // namespace

TEST_F(LogFileFixture, LineHasLocalTimeFileLineLevelAndTextInThatOrder) {
    static logog::MessageSite site;
    logog::LogAtSite(site, logog::LOGOG_LEVEL_INFO, "C:\\work\\src\\FileProcessor.cpp", 123, "hello %s %lu",
                     WideToUtf8(L"мир").c_str(), 42ul);
    std::string content = ReadAll(path);
    std::smatch match;
    ASSERT_TRUE(std::regex_match(content, match,
                                 std::regex("(" + kTimePrefix + ")FileProcessor\\.cpp\\(123\\): info: hello "
                                            "\xD0\xBC\xD0\xB8\xD1\x80 42\r\n")))
        << content;

    // The time is the local time of formatting, day/month/two-digit year.
    std::time_t now = std::time(nullptr);
    char expected[32];
    std::strftime(expected, sizeof expected, "%d/%m/%y", std::localtime(&now));
    EXPECT_EQ(match[1].str().substr(0, 8), expected);
}

TEST_F(LogFileFixture, FileNameIsCutAtItsLastSeparatorUnlessTheSeparatorIsLast) {
    const std::pair<const char*, const char*> cases[] = {
        {"a\\b\\c.cpp", "c.cpp"}, {"a/b/c.cpp", "c.cpp"}, {"a\\b/c.cpp", "c.cpp"}, {"a/b\\c.cpp", "c.cpp"},
        {"plain.cpp", "plain.cpp"}, {"dir\\", "dir\\"}, {"dir/", "dir/"},
    };
    static logog::MessageSite sites[std::size(cases)];
    for (size_t i = 0; i < std::size(cases); ++i) {
        logog::LogAtSite(sites[i], logog::LOGOG_LEVEL_ERROR, cases[i].first, 7, "x");
    }
    std::string content = ReadAll(path);
    for (const auto& [file, shown] : cases) {
        std::string line = std::string(shown) + "(7): error: x\r\n";
        EXPECT_NE(content.find(": " + line), std::string::npos) << file << "\n" << content;
    }
}

TEST_F(LogFileFixture, LevelsAreNamedByRangeAndWithoutTimeFlagTheLineStartsWithTheFile) {
    formatter->SetTimeOfDayShown(false);
    static logog::MessageSite seventy, thirtyThree, eightyOne;
    logog::LogAtSite(seventy, 70, "m.cpp", 1, "a");
    logog::LogAtSite(thirtyThree, 33, "m.cpp", 2, "b");
    logog::LogAtSite(eightyOne, 81, "m.cpp", 3, "c");
    EXPECT_EQ(ReadAll(path), "m.cpp(1): info: a\r\nm.cpp(2): warning: b\r\nm.cpp(3): unknown: c\r\n");
}

TEST_F(LogFileFixture, TextWithLineBreaksContinuesOverPhysicalLinesAndNoZeroByteIsWritten) {
    formatter->SetTimeOfDayShown(false);
    static logog::MessageSite site;
    logog::LogAtSite(site, logog::LOGOG_LEVEL_INFO, "m.cpp", 9, "%s", "first\nsecond");
    std::string content = ReadAll(path);
    EXPECT_EQ(content, "m.cpp(9): info: first\nsecond\r\n");
    EXPECT_EQ(content.find('\0'), std::string::npos);
}

// Cut so that the record keeps its line end, and before the two-byte letter that would not
// fit whole: the next record starts a line of its own.
TEST_F(LogFileFixture, LongLineIsCutAtTheLineBuffer) {
    formatter->SetTimeOfDayShown(false);
    static logog::MessageSite site;
    std::string big = "z";
    while (big.size() < 70000) big += "\xD0\xB6";  // Cyrillic zhe
    logog::LogAtSite(site, logog::LOGOG_LEVEL_INFO, "m.cpp", 1, "%s", big.c_str());
    logog::LogAtSite(site, logog::LOGOG_LEVEL_INFO, "m.cpp", 1, "%s", "next");
    std::string content = ReadAll(path);
    EXPECT_EQ(content.substr(0, 16), "m.cpp(1): info: ");
    EXPECT_EQ(content.substr(65531), "\xD0\xB6\r\nm.cpp(1): info: next\r\n");
}

TEST_F(LogFileFixture, SecondOpenerIsRefusedWhileAReaderCanRead) {
    static logog::MessageSite site;
    logog::LogAtSite(site, logog::LOGOG_LEVEL_INFO, "m.cpp", 1, "held");

    logog::LogFile second(path.c_str());
    logog::String empty;
    EXPECT_NE(second.OutputUnderLock(empty), 0) << "a second writer must be refused";
    EXPECT_NE(second.OutputUnderLock(empty), 0) << "and refused again on the next try";

    EXPECT_NE(ReadAll(path).find("held\r\n"), std::string::npos) << "readers may read while it is held";
}

TEST_F(LogFileFixture, EachOpeningAppendsAndKeepsEarlierLines) {
    formatter->SetTimeOfDayShown(false);
    static logog::MessageSite site;
    logog::LogAtSite(site, logog::LOGOG_LEVEL_INFO, "m.cpp", 1, "run one");
    delete target;  // closes the file
    target = new logog::LogFile(path.c_str());
    target->SetFormatter(*formatter);
    logog::LogAtSite(site, logog::LOGOG_LEVEL_INFO, "m.cpp", 1, "run two");
    EXPECT_EQ(ReadAll(path), "m.cpp(1): info: run one\r\nm.cpp(1): info: run two\r\n");
}

TEST_F(LogFileFixture, NothingIsWrittenAfterShutdownFramework) {
    static logog::MessageSite site;
    logog::LogAtSite(site, logog::LOGOG_LEVEL_INFO, "m.cpp", 1, "before");
    std::string before = ReadAll(path);
    logog::ShutdownFramework();  // deletes the target and closes the file
    target = nullptr;
    logog::LogAtSite(site, logog::LOGOG_LEVEL_INFO, "m.cpp", 1, "after");
    EXPECT_EQ(ReadAll(path), before);
    logog::InitializeFramework();  // balanced by TearDown, which also frees the late record
}

TEST(LogFilePath, OnlyTheLastDotOfTheWholePathStartsTheExtension) {
    EXPECT_EQ(LogFilePathForModule(L"C:\\Program Files\\v1.2\\Tavrel.exe"), L"C:\\Program Files\\v1.2\\Tavrel.log");
    EXPECT_EQ(LogFilePathForModule(L"C:\\tools.old\\Tavrel"), L"C:\\tools.log");
    EXPECT_EQ(LogFilePathForModule(L"C:\\tools\\Tavrel"), L"C:\\tools\\Tavrel.log");
    EXPECT_EQ(LogFilePathForModule(L"C:\\журнал\\Таврел.exe"), L"C:\\журнал\\Таврел.log");
}

TEST(LogFilePath, IsBesideThisExecutable) {
    std::wstring module = ModulePath();
    EXPECT_EQ(GetLogFilePath(), module.substr(0, module.rfind(L'.')) + L".log");
}

TEST(LogProcess, LinesReachTheFileEvenWhenTheProcessDiesRightAfterLogging) {
    std::wstring folder = MakeTempFolder(L"dies");
    std::wstring exe = CopyOfThisExecutable(folder);
    DeleteFileW((folder + L"\\probe.log").c_str());
    ASSERT_EQ(RunChild(exe, kChildLogAndDie), 3u);
    std::string content = ReadAll(folder + L"\\probe.log");
    EXPECT_TRUE(std::regex_search(content, std::regex(kTimePrefix + R"(test_logging\.cpp\(\d+\): info: child line )")))
        << content;
    EXPECT_EQ(content.find("debug"), std::string::npos) << "debug lines are off by default:\n" << content;
    RemoveTempFolder(folder);
}

TEST(LogProcess, LogOpensBesideAnExecutableInAFolderOutsideTheAnsiCodePage) {
    // Cyrillic and CJK letters: neither is in code page 1252 that this test runs under.
    std::wstring folder = MakeTempFolder(L"журнал 日本");
    std::wstring exe = CopyOfThisExecutable(folder);
    ASSERT_EQ(RunChild(exe, kChildLogAndDie), 3u) << "the child could not open its log";
    std::string content = ReadAll(folder + L"\\probe.log");
    EXPECT_NE(content.find("info: child line"), std::string::npos) << content;
    RemoveTempFolder(folder);
}

TEST(LogProcess, SecondInstanceCannotOpenTheLogAndWritesNothing) {
    std::wstring folder = MakeTempFolder(L"second");
    std::wstring exe = CopyOfThisExecutable(folder);
    std::wstring log = folder + L"\\probe.log";
    DeleteFileW(log.c_str());
    ASSERT_EQ(RunChild(exe, kChildInitialize), 0u) << "alone, the log opens";

    FILE* first = _wfsopen(log.c_str(), L"ab", _SH_DENYWR);  // as the running first instance holds it
    ASSERT_NE(first, nullptr);
    std::string before = ReadAll(log);
    EXPECT_EQ(RunChild(exe, kChildInitialize), 1u) << "the second instance must be refused";
    EXPECT_EQ(ReadAll(log), before);
    std::fclose(first);
    RemoveTempFolder(folder);
}

int main(int argc, char** argv) {
    if (argc == 2 && std::string(argv[1]) == kChildLogAndDie) {
        if (!InitializeLogging()) return 1;
        LOGOG_INFO("child line %s", "ok");
        LOGOG_DEBUG("child debug line");
        TerminateProcess(GetCurrentProcess(), 3);  // no exit handlers, no flushing
    }
    if (argc == 2 && std::string(argv[1]) == kChildInitialize) {
        return InitializeLogging() ? 0 : 1;
    }
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
