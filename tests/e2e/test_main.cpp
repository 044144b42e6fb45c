// The real Tavrel.exe, started as a user would start it: window, texts, debug switch, ending
// through Exit, Esc and the close box, a refused second instance and a failed window.
#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <cstdlib>
#include <map>
#include <string>
#include <vector>

#include "WindowTestSupport_win.h"
#include "resource.h"
#include "textutil.h"

using namespace windowtest;

namespace {

const std::wstring TavrelExe = WindowsPath(TAVREL_EXE_PATH);
const std::wstring TavrelLog = TavrelExe.substr(0, TavrelExe.rfind(L'.')) + L".log";

// A started Tavrel.exe; killed at the end of the test if it is still running. It inherits this
// test's environment: under Wine the locale and the display come from the Unix environment
// that CTest gives the test, not from an environment block handed to CreateProcess.
class Tavrel {
public:
    explicit Tavrel(const std::wstring& arguments = L"") {
        std::wstring commandLine = L"\"" + TavrelExe + L"\"" + (arguments.empty() ? L"" : L" " + arguments);
        STARTUPINFOW startup = {};
        startup.cb = sizeof startup;
        m_Started = CreateProcessW(TavrelExe.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                                   nullptr, &startup, &m_Process);
    }
    ~Tavrel() {
        if (!m_Started) return;
        if (WaitForSingleObject(m_Process.hProcess, 0) == WAIT_TIMEOUT) TerminateProcess(m_Process.hProcess, 99);
        CloseHandle(m_Process.hThread);
        CloseHandle(m_Process.hProcess);
    }
    Tavrel(const Tavrel&) = delete;
    Tavrel& operator=(const Tavrel&) = delete;

    bool Started() const { return m_Started != FALSE; }
    DWORD ProcessId() const { return m_Process.dwProcessId; }
    DWORD ThreadId() const { return m_Process.dwThreadId; }

    HWND WaitForMainWindow() const {
        return WaitForDialog(ProcessId(), [](HWND w) { return GetDlgItem(w, IDC_PRINTERSLIST) != nullptr; });
    }
    bool HasMainWindow() const {
        return FindDialog(ProcessId(), [](HWND w) { return GetDlgItem(w, IDC_PRINTERSLIST) != nullptr; }) != nullptr;
    }

    // The exit code, or STILL_ACTIVE when the program has not ended in time.
    DWORD WaitForExit(DWORD milliseconds = 20000) const {
        WaitForSingleObject(m_Process.hProcess, milliseconds);
        DWORD code = STILL_ACTIVE;
        GetExitCodeProcess(m_Process.hProcess, &code);
        return code;
    }

private:
    BOOL m_Started = FALSE;
    PROCESS_INFORMATION m_Process = {};
};

constexpr DWORD ExitCodeMinusOne = 0xFFFFFFFF;

// Lines that a run adds to the log, each from its level on ("info: ..."), time and source cut off.
class NewLogLines {
public:
    NewLogLines() : m_Start(ReadFileBytes(TavrelLog).size()) {}

    std::vector<std::string> Get() const {
        std::string added = ReadFileBytes(TavrelLog).substr(m_Start);
        std::vector<std::string> lines;
        size_t begin = 0;
        for (size_t end; (end = added.find("\r\n", begin)) != std::string::npos; begin = end + 2) {
            std::string line = added.substr(begin, end - begin);
            size_t source = line.find("): ");
            lines.push_back(source == std::string::npos ? line : line.substr(source + 3));
        }
        return lines;
    }

private:
    size_t m_Start;
};

bool StartsWith(const std::string& text, const std::string& start) { return text.rfind(start, 0) == 0; }

}  // namespace

TEST(Tavrel, ShowsTheWindowWithItsTextsAndEndsWithExit) {
    NewLogLines log;
    Tavrel tavrel;
    ASSERT_TRUE(tavrel.Started());
    HWND window = tavrel.WaitForMainWindow();
    ASSERT_NE(window, nullptr);

    EXPECT_EQ(WindowText(window), L"Print spooler file");
    const std::map<int, std::wstring> texts = {
        {IDC_LANGUAGELABEL, L"Interface language:"}, {IDC_CHOOSEFILE, L"Choose file"},
        {IDC_FILENAME, L"..."},                      {IDC_PRINTERHINT, L"Choose printer"},
        {IDC_SHOWALLPRINTERS, L"show inappropriate printers"},
        {IDC_PRINT, L"Print"},                       {IDC_OPENLOGFILE, L"Open log-file"},
        {IDCANCEL, L"Exit"},
    };
    for (const auto& [id, text] : texts) EXPECT_EQ(ItemText(window, id), text) << id;

    // The list box index must stay the printer list's index: no sorting.
    LONG listStyle = GetWindowLongW(GetDlgItem(window, IDC_PRINTERSLIST), GWL_STYLE);
    EXPECT_EQ(listStyle & LBS_SORT, 0);
    EXPECT_NE(listStyle & LBS_NOTIFY, 0);
    EXPECT_NE(GetWindowLongW(window, GWL_EXSTYLE) & WS_EX_ACCEPTFILES, 0) << "files can be dropped";
    EXPECT_NE(GetWindowLongW(GetDlgItem(window, IDC_CHOOSEFILE), GWL_STYLE) & BS_DEFPUSHBUTTON, 0);
    EXPECT_NE(SendMessageW(GetDlgItem(window, IDC_WEBLINK), BM_GETIMAGE, IMAGE_ICON, 0), 0) << "web button icon";
    EXPECT_EQ(FocusOn(window), GetDlgItem(window, IDC_LANGUAGE)) << "first tab stop has the focus";

    PressButton(window, IDCANCEL);
    EXPECT_EQ(tavrel.WaitForExit(), 0u);
    auto lines = log.Get();
    ASSERT_EQ(lines.size(), 2u) << ::testing::PrintToString(lines);
    // Project version as product and file version; build date and time between the two.
    const std::string bannerStart = "info: Tavrel started: version[" TAVREL_VERSION_TEXT " (" TAVREL_VERSION_TEXT
                                    ")] compiled[\"" TAVREL_CONFIGURATION "\" ";
    const std::string bannerEnd = "] file[" + WideToUtf8(TavrelExe) + "]";
    EXPECT_TRUE(StartsWith(lines[0], bannerStart)) << lines[0];
    EXPECT_EQ(lines[0].size(), bannerStart.size() + std::string("Dec  8 2026 17:30:08").size() + bannerEnd.size())
        << lines[0];
    EXPECT_EQ(lines[0].substr(lines[0].size() - std::min(lines[0].size(), bannerEnd.size())), bannerEnd);
    EXPECT_EQ(lines[1], "info: Programm finished.");
}

TEST(Tavrel, DebugSwitchWritesItsLineBeforeTheBannerAndEscEnds) {
    NewLogLines log;
    Tavrel tavrel(L"-d");
    HWND window = tavrel.WaitForMainWindow();
    ASSERT_NE(window, nullptr);
    PostMessageW(GetDlgItem(window, IDC_LANGUAGE), WM_KEYDOWN, VK_ESCAPE, 0);
    EXPECT_EQ(tavrel.WaitForExit(), 0u);
    auto lines = log.Get();
    ASSERT_GE(lines.size(), 3u) << ::testing::PrintToString(lines);
    EXPECT_EQ(lines[0], "info: Debug mode turn on (Set LOGOG_LEVEL_ALL).");
    EXPECT_TRUE(StartsWith(lines[1], "info: Tavrel started: version[")) << lines[1];
    // Between them only the debug lines of listing the installed printers at start.
    for (size_t i = 2; i + 1 < lines.size(); ++i) EXPECT_TRUE(StartsWith(lines[i], "debug: ")) << lines[i];
    EXPECT_TRUE(std::find(lines.begin(), lines.end(), "debug: EnumPrinters return amount: 0") != lines.end() ||
                std::any_of(lines.begin(), lines.end(),
                            [](const std::string& line) { return StartsWith(line, "debug: Add suitable printer "); }))
        << ::testing::PrintToString(lines);
    EXPECT_EQ(lines.back(), "info: Programm finished.");
}

TEST(Tavrel, CloseBoxEndsTheProgram) {
    NewLogLines log;
    Tavrel tavrel(L"some-file.shd x-d");  // no blank before the hyphen: no debug
    HWND window = tavrel.WaitForMainWindow();
    ASSERT_NE(window, nullptr);
    PostMessageW(window, WM_CLOSE, 0, 0);
    EXPECT_EQ(tavrel.WaitForExit(), 0u);
    auto lines = log.Get();
    ASSERT_EQ(lines.size(), 2u) << ::testing::PrintToString(lines);
    EXPECT_TRUE(StartsWith(lines[0], "info: Tavrel started: ")) << lines[0];
    EXPECT_EQ(lines[1], "info: Programm finished.");
}

// CTest runs this one with LC_ALL=ru_RU.UTF-8.
TEST(TavrelInRussia, WindowSpeaksRussian) {
    if (!RunsWithLocale("ru_RU.UTF-8")) GTEST_SKIP() << "needs LC_ALL=ru_RU.UTF-8";
    Tavrel tavrel;
    HWND window = tavrel.WaitForMainWindow();
    ASSERT_NE(window, nullptr);
    EXPECT_EQ(WindowText(window), L"Печать файла спулера");
    EXPECT_EQ(ItemText(window, IDC_LANGUAGELABEL), L"Язык интерфейса:");
    EXPECT_EQ(ItemText(window, IDC_PRINTERHINT), L"Выберите принтер");
    EXPECT_EQ(ItemText(window, IDC_SHOWALLPRINTERS), L"показывать неподходящие принтеры");
    EXPECT_EQ(ItemText(window, IDCANCEL), L"Выход");
    PressButton(window, IDCANCEL);
    EXPECT_EQ(tavrel.WaitForExit(), 0u);
}

// What a second copy meets: the log held with writing denied to others.
TEST(Tavrel, SecondInstanceShowsTheLogFileErrorAndLeavesWithoutWindow) {
    HANDLE held = CreateFileW(TavrelLog.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    std::string before = ReadFileBytes(TavrelLog);

    Tavrel tavrel;
    HWND box = WaitForDialog(tavrel.ProcessId(), IsMessageBox);
    ASSERT_NE(box, nullptr);
    EXPECT_FALSE(tavrel.HasMainWindow());
    EXPECT_EQ(WindowText(box), L"Print spooler file");
    EXPECT_EQ(ItemText(box, MessageBoxTextId),
              L"Log-file opening error!\nMaybe another instance of the program is already running.");
    PressButton(box, IDOK);
    EXPECT_EQ(tavrel.WaitForExit(), ExitCodeMinusOne);
    CloseHandle(held);
    EXPECT_EQ(ReadFileBytes(TavrelLog), before) << "nothing may be written";
}

// Without a display no window can be made: the failure is logged and the program leaves
// instead of waiting in a loop that nothing can end. CTest runs this one without DISPLAY.
TEST(TavrelWithoutDisplay, FailedWindowIsLoggedAndEndsWithMinusOne) {
    if (std::getenv("DISPLAY") != nullptr) GTEST_SKIP() << "needs DISPLAY unset";
    NewLogLines log;
    Tavrel tavrel;
    EXPECT_EQ(tavrel.WaitForExit(), ExitCodeMinusOne);
    auto lines = log.Get();
    ASSERT_EQ(lines.size(), 2u) << ::testing::PrintToString(lines);
    EXPECT_TRUE(StartsWith(lines[0], "info: Tavrel started: ")) << lines[0];
    EXPECT_TRUE(StartsWith(lines[1], "error: CreateDialogParam failed: ")) << lines[1];
}
