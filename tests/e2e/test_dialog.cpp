// The main dialog and the Print command as a user meets them: the real Tavrel.exe, each test
// in a folder of its own, driven through its window from this process while it prints to
// the CUPS test bed; the log beside the copied program and the bytes that reach the bed's
// listener are the other witnesses. The list-box bookkeeping that no real list box lets
// fail is checked in this process, on a window with the dialog's controls.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>
#include <shellapi.h>
#include <shlobj.h>
#include <winspool.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <future>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "EmfSpoolBuilder.h"
#include "MarkedRecords_win.h"
#include "FileProcessor/FileProcessor.h"
#include "PrintTestSupport_win.h"
#include "PrinterList_win.h"
#include "ShadowFileBuilder.h"
#include "Visualisation/MainDialog_win.h"
#include "WindowTestSupport_win.h"
#include "ZipFixtures.h"
#include "resource.h"
#include "texts/TextTable.h"
#include "textutil.h"

using namespace windowtest;

namespace {

// ---------------------------------------------------------------------------------------
// Files

const std::wstring BuiltTavrel = WindowsPath(TAVREL_EXE_PATH);
const std::wstring PacedTavrel = WindowsPath(TAVREL_PACED_EXE_PATH);
const std::wstring RunsRoot = WindowsPath(TAVREL_DIALOG_RUNS);

void WriteBytes(const std::wstring& path, const std::string& bytes) {
    HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE) << WideToUtf8(path);
    DWORD written = 0;
    BOOL ok = WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    CloseHandle(file);
    ASSERT_TRUE(ok && written == bytes.size()) << WideToUtf8(path);
}

bool Exists(const std::wstring& path) { return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

// Printer-ready bytes that differ from job to job.
std::string SpoolBytes(size_t size, unsigned seed) {
    std::string bytes = "\x1b%-12345X@PJL JOB NAME=\"" + std::to_string(seed) + "\"\r\n";
    unsigned state = seed * 2654435761u + 1;
    while (bytes.size() < size) {
        state = state * 1103515245u + 12345u;
        bytes.push_back(static_cast<char>(state >> 16));
    }
    return bytes;
}

std::string ShadowBytes(const std::wstring& job, const std::wstring& printer, const std::wstring& driver,
                        const std::wstring& dataFormat) {
    auto u16 = [](const std::wstring& text) { return std::u16string(text.begin(), text.end()); };
    ShadowFileBuilder builder;
    builder.strings = ShadowFileBuilder::Job(u16(job), u16(printer), u16(driver), u16(dataFormat));
    std::vector<std::uint8_t> bytes = builder.Build();
    return std::string(bytes.begin(), bytes.end());
}

std::uint32_t Crc32(std::string_view data) {
    std::uint32_t crc = 0xFFFFFFFFu;
    for (unsigned char byte : data) {
        crc ^= byte;
        for (int bit = 0; bit < 8; ++bit) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
    }
    return ~crc;
}

// A ZIP archive with stored members (PKWARE APPNOTE: local headers, central directory, end
// record), written piece by piece: the 32-bit test process has no room for a 256 MiB member
// copied into a whole archive in memory.
void WriteStoredZip(const std::wstring& path, const std::vector<std::pair<std::string, std::string_view>>& members) {
    auto put16 = [](std::string& out, unsigned value) {
        out.push_back(static_cast<char>(value & 0xFF));
        out.push_back(static_cast<char>((value >> 8) & 0xFF));
    };
    auto put32 = [&](std::string& out, std::uint32_t value) {
        put16(out, value & 0xFFFF);
        put16(out, value >> 16);
    };
    HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE) << WideToUtf8(path);
    std::uint32_t written = 0;
    bool ok = true;
    auto write = [&](std::string_view bytes) {
        DWORD done = 0;
        ok = ok && WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &done, nullptr) && done == bytes.size();
        written += static_cast<std::uint32_t>(bytes.size());
    };
    std::string directory;
    for (const auto& [name, data] : members) {
        std::uint32_t offset = written;
        std::uint32_t crc = Crc32(data);
        std::uint32_t size = static_cast<std::uint32_t>(data.size());
        std::string header;
        put32(header, 0x04034b50);
        for (unsigned value : {20u, 0u, 0u, 0x6000u, 0x5821u}) put16(header, value);  // version, flags, stored, time, date
        put32(header, crc);
        put32(header, size);
        put32(header, size);
        put16(header, static_cast<unsigned>(name.size()));
        put16(header, 0);
        write(header + name);
        write(data);

        put32(directory, 0x02014b50);
        for (unsigned value : {20u, 20u, 0u, 0u, 0x6000u, 0x5821u}) put16(directory, value);
        put32(directory, crc);
        put32(directory, size);
        put32(directory, size);
        for (unsigned value : {static_cast<unsigned>(name.size()), 0u, 0u, 0u, 0u}) put16(directory, value);
        put32(directory, 0);
        put32(directory, offset);
        directory += name;
    }
    std::uint32_t directoryOffset = written;
    std::string end = directory;
    put32(end, 0x06054b50);
    put16(end, 0);
    put16(end, 0);
    put16(end, static_cast<unsigned>(members.size()));
    put16(end, static_cast<unsigned>(members.size()));
    put32(end, static_cast<std::uint32_t>(directory.size()));
    put32(end, directoryOffset);
    put16(end, 0);
    write(end);
    CloseHandle(file);
    ASSERT_TRUE(ok) << WideToUtf8(path);
}

// A folder of this test's own under the runs folder, emptied first.
std::wstring FreshFolder() {
    const auto* test = ::testing::UnitTest::GetInstance()->current_test_info();
    std::string name = std::string(test->test_suite_name()) + "." + test->name();
    std::wstring folder = RunsRoot + L"\\" + std::wstring(name.begin(), name.end());
    std::error_code ignored;
    std::filesystem::remove_all(std::filesystem::path(folder), ignored);
    std::filesystem::create_directories(std::filesystem::path(folder), ignored);
    return folder;
}

// ---------------------------------------------------------------------------------------
// Printers of the test bed

const std::wstring DriverA = L"Tavrel Dialog Driver A";
const std::wstring DriverB = L"Tavrel Dialog Driver B";

// Queues that get a driver of their own for these tests (put back afterwards); every other
// queue keeps Wine's default driver, named after the queue.
const std::vector<std::pair<std::wstring, std::wstring>> DialogDrivers = {
    {L"tavrel_list_35", DriverA}, {L"tavrel_list_36", DriverA}, {L"tavrel_list_37", DriverA},
    {L"tavrel_list_38", DriverB}, {L"tavrel_list_39", DriverB},
};
const std::vector<std::wstring> PrintersOfDriverA = {L"tavrel_list_35", L"tavrel_list_36", L"tavrel_list_37"};

std::wstring PrinterKey(const std::wstring& queue) {
    return L"System\\CurrentControlSet\\Control\\Print\\Printers\\" + queue;
}

std::wstring ReadDriverOfQueue(const std::wstring& queue) {
    wchar_t value[512] = {};
    DWORD size = sizeof value - sizeof(wchar_t);
    if (RegGetValueW(HKEY_LOCAL_MACHINE, PrinterKey(queue).c_str(), L"Printer Driver", RRF_RT_REG_SZ, nullptr, value,
                     &size) != ERROR_SUCCESS)
        return {};
    return value;
}

bool WriteDriverOfQueue(const std::wstring& queue, const std::wstring& driver) {
    HKEY printer = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, PrinterKey(queue).c_str(), 0, KEY_SET_VALUE, &printer) != ERROR_SUCCESS)
        return false;
    LSTATUS set = RegSetValueExW(printer, L"Printer Driver", 0, REG_SZ, reinterpret_cast<const BYTE*>(driver.c_str()),
                                 static_cast<DWORD>((driver.size() + 1) * sizeof(wchar_t)));
    RegCloseKey(printer);
    return set == ERROR_SUCCESS;
}

// Every printer the spooler reports, in its order: what the dialog lists when nothing filters.
std::vector<std::wstring> SpoolerPrinters() {
    DWORD needed = 0;
    DWORD returned = 0;
    EnumPrintersW(PRINTER_ENUM_LOCAL | PRINTER_ENUM_CONNECTIONS, nullptr, 2, nullptr, 0, &needed, &returned);
    std::vector<BYTE> buffer(needed);
    std::vector<std::wstring> names;
    if (needed == 0 || !EnumPrintersW(PRINTER_ENUM_LOCAL | PRINTER_ENUM_CONNECTIONS, nullptr, 2, buffer.data(), needed,
                                      &needed, &returned))
        return names;
    const auto* records = reinterpret_cast<const PRINTER_INFO_2W*>(buffer.data());
    for (DWORD i = 0; i < returned; ++i) names.emplace_back(records[i].pPrinterName);
    return names;
}

std::wstring QueueOutput(const std::wstring& queue, size_t job) {
    wchar_t name[16];
    swprintf(name, 16, L"%06zu.bin", job);
    return TestbedFolder() + L"\\out\\" + queue + L"\\" + name;
}

size_t JobsAt(const std::wstring& queue) {
    size_t count = 0;
    std::error_code ignored;
    for (const auto& entry : std::filesystem::directory_iterator(
             std::filesystem::path(TestbedFolder() + L"\\out\\" + queue), ignored))
        if (entry.path().extension() == L".bin") ++count;
    return count;
}

// The bytes of the queue's job number n once the listener has them whole; empty after 30 s.
std::string WaitForJob(const std::wstring& queue, size_t job) {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (!Exists(QueueOutput(queue, job)) && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    return ReadFileBytes(QueueOutput(queue, job));
}

// Gives the bed's queues the drivers of these tests and takes them back afterwards.
class QueueDrivers {
public:
    void Apply() {
        // Loading the spooler makes Wine take over the bed's queues before their drivers change.
        ASSERT_FALSE(SpoolerPrinters().empty());
        for (const auto& [queue, driver] : DialogDrivers) {
            std::wstring original = ReadDriverOfQueue(queue);
            ASSERT_FALSE(original.empty()) << "Wine has no printer " << WideToUtf8(queue);
            m_Originals.emplace_back(queue, original);
            ASSERT_TRUE(WriteDriverOfQueue(queue, driver));
        }
    }
    ~QueueDrivers() {
        for (const auto& [queue, driver] : m_Originals) WriteDriverOfQueue(queue, driver);
    }

private:
    std::vector<std::pair<std::wstring, std::wstring>> m_Originals;
};

// ---------------------------------------------------------------------------------------
// The program

// There is no window manager on the test display, and Wine waits up to two seconds for one to
// withdraw each window it hides, every message box included. The program and this test draw
// their own frames instead.
bool LetWineDrawFrames(const wchar_t* program) {
    std::wstring path = std::wstring(L"Software\\Wine\\AppDefaults\\") + program + L"\\X11 Driver";
    HKEY key = nullptr;
    if (RegCreateKeyExW(HKEY_CURRENT_USER, path.c_str(), 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key, nullptr) !=
        ERROR_SUCCESS)
        return false;
    LSTATUS set = RegSetValueExW(key, L"Managed", 0, REG_SZ, reinterpret_cast<const BYTE*>(L"N"), 2 * sizeof(wchar_t));
    RegCloseKey(key);
    return set == ERROR_SUCCESS;
}

// Read by the test program itself when its display driver starts, so set before main runs.
[[maybe_unused]] const bool FramesOfThisTest = LetWineDrawFrames(L"test_dialog.exe");

// A copy of Tavrel.exe started in the test's folder, with a temporary folder of its own (TMP
// and TEMP reach a Wine program through its environment block; the locale and the display
// come from the Unix environment that CTest gives this test). Killed at the end if it still runs.
class TavrelProcess {
public:
    explicit TavrelProcess(const std::wstring& folder, const std::wstring& built = BuiltTavrel)
        : m_Exe(folder + L"\\Tavrel.exe"), m_Log(folder + L"\\Tavrel.log"), m_Temp(folder + L"\\temp") {
        if (!CopyFileW(built.c_str(), m_Exe.c_str(), FALSE)) return;
        CreateDirectoryW(m_Temp.c_str(), nullptr);
        std::vector<wchar_t> environment = EnvironmentWithTemp();
        std::wstring commandLine = L"\"" + m_Exe + L"\"";
        STARTUPINFOW startup = {};
        startup.cb = sizeof startup;
        m_Started = CreateProcessW(m_Exe.c_str(), commandLine.data(), nullptr, nullptr, FALSE,
                                   CREATE_UNICODE_ENVIRONMENT, environment.data(), folder.c_str(), &startup,
                                   &m_Process);
        if (m_Started)
            m_Window = WaitForDialog(Pid(), [](HWND w) { return GetDlgItem(w, IDC_PRINTERSLIST) != nullptr; });
    }
    ~TavrelProcess() {
        if (!m_Started) return;
        if (WaitForSingleObject(m_Process.hProcess, 0) == WAIT_TIMEOUT) TerminateProcess(m_Process.hProcess, 99);
        CloseHandle(m_Process.hThread);
        CloseHandle(m_Process.hProcess);
    }
    TavrelProcess(const TavrelProcess&) = delete;
    TavrelProcess& operator=(const TavrelProcess&) = delete;

    HWND Window() const { return m_Window; }
    DWORD Pid() const { return m_Process.dwProcessId; }
    HANDLE Process() const { return m_Process.hProcess; }
    const std::wstring& TempFolder() const { return m_Temp; }

    // The log's lines from the level on ("info: ..."); a line may hold a message's line feeds.
    std::vector<std::string> Log() const {
        std::string content = ReadFileBytes(m_Log);
        std::vector<std::string> lines;
        size_t begin = 0;
        for (size_t end; (end = content.find("\r\n", begin)) != std::string::npos; begin = end + 2) {
            std::string line = content.substr(begin, end - begin);
            size_t source = line.find("): ");
            lines.push_back(source == std::string::npos ? line : line.substr(source + 3));
        }
        return lines;
    }

    // The exit code, or STILL_ACTIVE when the program has not ended in time.
    DWORD WaitForExit() const {
        WaitForSingleObject(m_Process.hProcess, 20000);
        DWORD code = STILL_ACTIVE;
        GetExitCodeProcess(m_Process.hProcess, &code);
        return code;
    }

private:
    std::vector<wchar_t> EnvironmentWithTemp() const {
        std::vector<wchar_t> block;
        wchar_t* strings = GetEnvironmentStringsW();
        for (const wchar_t* entry = strings; *entry != L'\0'; entry += wcslen(entry) + 1) {
            std::wstring text = entry;
            if (_wcsnicmp(entry, L"TMP=", 4) == 0 || _wcsnicmp(entry, L"TEMP=", 5) == 0) continue;
            block.insert(block.end(), text.begin(), text.end());
            block.push_back(L'\0');
        }
        FreeEnvironmentStringsW(strings);
        for (const std::wstring& entry : {L"TMP=" + m_Temp, L"TEMP=" + m_Temp}) {
            block.insert(block.end(), entry.begin(), entry.end());
            block.push_back(L'\0');
        }
        block.push_back(L'\0');
        return block;
    }

    std::wstring m_Exe;
    std::wstring m_Log;
    std::wstring m_Temp;
    BOOL m_Started = FALSE;
    PROCESS_INFORMATION m_Process = {};
    HWND m_Window = nullptr;
};

bool MessageBoxOpen(DWORD pid) { return FindDialog(pid, IsMessageBox) != nullptr; }

std::vector<std::wstring> ListedPrinters(HWND window) { return ListBoxItems(GetDlgItem(window, IDC_PRINTERSLIST)); }

LRESULT SelectedItem(HWND window) { return SendDlgItemMessageW(window, IDC_PRINTERSLIST, LB_GETCURSEL, 0, 0); }

void SelectPrinter(HWND window, const std::wstring& name) {
    ASSERT_TRUE(SelectListBoxItem(GetDlgItem(window, IDC_PRINTERSLIST), name)) << WideToUtf8(name) << " is not listed";
}

// A notification that opens no box, sent so that it has been handled when this returns (a
// posted one would wait behind messages sent meanwhile).
void Notify(HWND window, int controlId, WORD notification) {
    DWORD_PTR ignored = 0;
    SendMessageTimeoutW(window, WM_COMMAND, MAKEWPARAM(controlId, notification),
                        reinterpret_cast<LPARAM>(GetDlgItem(window, controlId)), SMTO_NORMAL, 30000, &ignored);
}

// A click on the check box: it changes its state, then tells the dialog.
void ShowAllPrinters(HWND window, bool all) {
    SendDlgItemMessageW(window, IDC_SHOWALLPRINTERS, BM_SETCHECK, all ? BST_CHECKED : BST_UNCHECKED, 0);
    Notify(window, IDC_SHOWALLPRINTERS, BN_CLICKED);
}

void ChooseLanguage(HWND window, int index, WORD notification = CBN_SELENDOK) {
    SendDlgItemMessageW(window, IDC_LANGUAGE, CB_SETCURSEL, static_cast<WPARAM>(index), 0);
    Notify(window, IDC_LANGUAGE, notification);
}

// The folders the program extracted archives into (Wine keeps files of its own in TEMP too).
std::vector<std::wstring> ExtractionFolders(const std::wstring& temp) {
    std::vector<std::wstring> found;
    std::error_code ignored;
    for (const auto& entry : std::filesystem::directory_iterator(std::filesystem::path(temp), ignored)) {
        std::wstring name = entry.path().filename().wstring();
        if (name.rfind(L"Tavrel-", 0) == 0) found.push_back(name);
    }
    return found;
}

HWND OpenFileDialog(DWORD pid, HWND window) { return windowtest::OpenFileDialog(pid, window, IDC_CHOOSEFILE); }

// Picks the file in the open-file dialog as a user would type its path and press Open. Any box
// the choice opens is left for the caller.
void ChooseInFileDialog(const TavrelProcess& tavrel, const std::wstring& path) {
    HWND chooser = OpenFileDialog(tavrel.Pid(), tavrel.Window());
    ASSERT_NE(chooser, nullptr) << "no open-file dialog";
    ASSERT_TRUE(ChooseInOpenFileDialog(chooser, path)) << "the open-file dialog did not take " << WideToUtf8(path);
}

// WM_DROPFILES with the drop block written into the program's own memory: an HDROP is
// memory of the receiving process (GlobalLock of a fixed block is its address), so a block
// made here would mean nothing there.
void DropFiles(const TavrelProcess& tavrel, const std::vector<std::wstring>& paths) {
    std::wstring list;
    for (const std::wstring& path : paths) list += path + L'\0';
    list += L'\0';
    DROPFILES header = {};
    header.pFiles = sizeof header;
    header.fWide = TRUE;
    std::string block(reinterpret_cast<const char*>(&header), sizeof header);
    block.append(reinterpret_cast<const char*>(list.data()), list.size() * sizeof(wchar_t));
    void* remote = VirtualAllocEx(tavrel.Process(), nullptr, block.size(), MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
    ASSERT_NE(remote, nullptr);
    SIZE_T written = 0;
    ASSERT_TRUE(WriteProcessMemory(tavrel.Process(), remote, block.data(), block.size(), &written));
    // Sent, not posted: a message sent from another thread is taken before anything posted,
    // so Settle's WM_NULL would overtake a posted drop. A notification is sent without waiting.
    ASSERT_TRUE(SendNotifyMessageW(tavrel.Window(), WM_DROPFILES, reinterpret_cast<WPARAM>(remote), 0));
}

SeenBox Answer(const TavrelProcess& tavrel, int answer) { return AnswerMessageBox(tavrel.Pid(), answer); }

bool Contains(const std::vector<std::string>& lines, const std::string& line) {
    return std::find(lines.begin(), lines.end(), line) != lines.end();
}

void ExitWithEsc(const TavrelProcess& tavrel) {
    PostMessageW(GetDlgItem(tavrel.Window(), IDC_LANGUAGE), WM_KEYDOWN, VK_ESCAPE, 0);
}

// Expected texts, spelt out here rather than taken from the program's table.
const std::wstring NoFileChosen = L"No file chosen!\nPlease choose file for printing.";
const std::wstring NoPrinterSelected = L"No printer selected!\nPlease choose printer in the list.";
const std::wstring AlreadyPrinted = L"This file has already been printed, do you want to print it again?";
const std::wstring NotSuitable =
    L"The selected printer is not suitable for printing the file, which may result in paper damage or printer "
    L"failure!\nContinue printing?";
const std::wstring AskDataFormat =
    L"The program can not detect data format in the file!\nUse data format \"RAW\"?\n(answer 'No' means using "
    L"format \"XPS_PASS\")";

std::wstring Printed(const std::wstring& spool, const std::wstring& printer) {
    return L"File \"" + spool + L"\" printed successfully.\nTake the printout on the printer \"" + printer + L"\"";
}

// ---------------------------------------------------------------------------------------
// Fixture: the bed's drivers and a folder of spooled jobs

class TavrelDialog : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_FALSE(TestbedFolder().empty()) << "needs the CUPS test bed (CUPS_SERVER=<bed>/cups.sock)";
        ASSERT_NO_FATAL_FAILURE(drivers.Apply());
        ASSERT_TRUE(LetWineDrawFrames(L"Tavrel.exe"));
        folder = FreshFolder();
        // Job A: the job's printer and driver A, a spool file of two transfer chunks.
        ASSERT_NO_FATAL_FAILURE(WriteJob(L"jobA", L"Office printer", DriverA, 300000, 1));
        // Job B: driver B and a printer name in Cyrillic.
        ASSERT_NO_FATAL_FAILURE(WriteJob(L"jobB", L"Лаборатория", DriverB, 5000, 2));
        // Job C: another job of driver A.
        ASSERT_NO_FATAL_FAILURE(WriteJob(L"jobC", L"Office printer", DriverA, 7000, 3));
        // Job D: a shadow file whose spool file is missing.
        ASSERT_NO_FATAL_FAILURE(WriteBytes(Path(L"jobD.SHD"), ShadowBytes(L"D", L"Office printer", DriverA, L"RAW")));
        // A spool file without its shadow file.
        ASSERT_NO_FATAL_FAILURE(WriteBytes(Path(L"orphan.SPL"), SpoolBytes(4000, 4)));
        ASSERT_NO_FATAL_FAILURE(WriteStoredZip(Path(L"jobE.zip"), {{"00012.SPL", SpoolBytes(6000, 5)},
                                          {"00012.SHD", ShadowBytes(L"E", L"Office printer", DriverA, L"RAW")}}));
        ASSERT_NO_FATAL_FAILURE(WriteStoredZip(Path(L"noshd.zip"), {{"00013.SPL", SpoolBytes(3000, 6)}}));
    }

    void WriteJob(const std::wstring& name, const std::wstring& printer, const std::wstring& driver, size_t size,
                  unsigned seed) {
        ASSERT_NO_FATAL_FAILURE(WriteBytes(Path(name + L".SHD"), ShadowBytes(name, printer, driver, L"RAW")));
        ASSERT_NO_FATAL_FAILURE(WriteBytes(Path(name + L".SPL"), SpoolBytes(size, seed)));
    }

    std::wstring Path(const std::wstring& name) const { return folder + L"\\" + name; }

    // Print pressed with the answers to give, one per box in the order they come; returns the boxes.
    std::vector<SeenBox> Print(const TavrelProcess& tavrel, const std::vector<int>& answers) {
        PressButton(tavrel.Window(), IDC_PRINT);
        std::vector<SeenBox> boxes;
        for (int answer : answers) boxes.push_back(Answer(tavrel, answer));
        Settle(tavrel.Window());
        return boxes;
    }

    QueueDrivers drivers;
    std::wstring folder;
};

std::vector<std::wstring> Texts(const std::vector<SeenBox>& boxes) {
    std::vector<std::wstring> texts;
    for (const SeenBox& box : boxes) texts.push_back(box.Found ? box.Text : L"<no box>");
    return texts;
}

std::string Printable(const std::vector<std::wstring>& texts) {
    std::string all;
    for (const std::wstring& text : texts) all.append("[").append(WideToUtf8(text)).append("] ");
    return all;
}

}  // namespace

// ---------------------------------------------------------------------------------------

TEST_F(TavrelDialog, StartsWithEveryPrinterThenFollowsTheChosenJobAndTheLanguage) {
    TavrelProcess tavrel(folder);
    HWND window = tavrel.Window();
    ASSERT_NE(window, nullptr);

    const std::map<int, std::wstring> english = {
        {IDC_LANGUAGELABEL, L"Interface language:"}, {IDC_CHOOSEFILE, L"Choose file"},
        {IDC_FILENAME, L"..."},                      {IDC_PRINTERHINT, L"Choose printer"},
        {IDC_SHOWALLPRINTERS, L"show inappropriate printers"},
        {IDC_PRINT, L"Print"},                       {IDC_OPENLOGFILE, L"Open log-file"},
        {IDCANCEL, L"Exit"},
    };
    EXPECT_EQ(WindowText(window), L"Print spooler file");
    for (const auto& [id, text] : english) EXPECT_EQ(ItemText(window, id), text) << id;
    EXPECT_EQ(ItemText(window, IDC_LANGUAGE), L"English");
    EXPECT_EQ(SendDlgItemMessageW(window, IDC_LANGUAGE, CB_GETCOUNT, 0, 0), 2);
    EXPECT_EQ(IsDlgButtonChecked(window, IDC_SHOWALLPRINTERS), BST_UNCHECKED);
    const std::vector<std::wstring> everyPrinter = SpoolerPrinters();
    EXPECT_EQ(ListedPrinters(window), everyPrinter);
    EXPECT_EQ(SelectedItem(window), 0);

    // Print before any file was accepted, although the list holds printers.
    std::vector<SeenBox> boxes = Print(tavrel, {IDOK});
    EXPECT_EQ(boxes[0].Caption, L"Print file");
    EXPECT_EQ(boxes[0].Text, NoFileChosen);

    // The check box without a current file: all printers, then those of the placeholder driver.
    ShowAllPrinters(window, true);
    EXPECT_EQ(ListedPrinters(window), everyPrinter);
    ShowAllPrinters(window, false);
    EXPECT_TRUE(ListedPrinters(window).empty());

    // A shadow file: its path, the job's printer and the printers of the job's driver.
    ASSERT_NO_FATAL_FAILURE(ChooseInFileDialog(tavrel, Path(L"jobA.SHD")));
    Settle(window);
    EXPECT_FALSE(MessageBoxOpen(tavrel.Pid()));
    EXPECT_EQ(ItemText(window, IDC_FILENAME), Path(L"jobA.SHD"));
    EXPECT_EQ(ItemText(window, IDC_PRINTERHINT), L"Choose printer similar to \"Office printer\"");
    EXPECT_EQ(ListedPrinters(window), PrintersOfDriverA);
    EXPECT_EQ(SelectedItem(window), 0);
    ShowAllPrinters(window, true);
    EXPECT_EQ(ListedPrinters(window), everyPrinter);
    ShowAllPrinters(window, false);
    EXPECT_EQ(ListedPrinters(window), PrintersOfDriverA);

    // Its spool file gives the same job; the label shows the path as chosen.
    ASSERT_NO_FATAL_FAILURE(ChooseInFileDialog(tavrel, Path(L"jobB.SPL")));
    Settle(window);
    EXPECT_EQ(ItemText(window, IDC_FILENAME), Path(L"jobB.SPL"));
    EXPECT_EQ(ItemText(window, IDC_PRINTERHINT), L"Choose printer similar to \"Лаборатория\"");
    EXPECT_EQ(ListedPrinters(window), (std::vector<std::wstring>{L"tavrel_list_38", L"tavrel_list_39"}));

    // An archive: the label keeps the archive's path; its job is extracted into our TMP.
    ASSERT_NO_FATAL_FAILURE(ChooseInFileDialog(tavrel, Path(L"jobE.zip")));
    Settle(window);
    EXPECT_EQ(ItemText(window, IDC_FILENAME), Path(L"jobE.zip"));
    EXPECT_EQ(ItemText(window, IDC_PRINTERHINT), L"Choose printer similar to \"Office printer\"");
    EXPECT_EQ(ListedPrinters(window), PrintersOfDriverA);
    EXPECT_EQ(ExtractionFolders(tavrel.TempFolder()).size(), 1u) << "the archive's job is extracted into TMP";
    EXPECT_TRUE(IsChild(window, FocusOn(window))) << "the keyboard must work after the short extraction";

    // Cancelling the open-file dialog changes nothing and logs nothing.
    size_t logged = tavrel.Log().size();
    HWND chooser = OpenFileDialog(tavrel.Pid(), window);
    ASSERT_NE(chooser, nullptr);
    CloseFileDialog(chooser, IDCANCEL);
    Settle(window);
    EXPECT_EQ(tavrel.Log().size(), logged);
    EXPECT_EQ(ItemText(window, IDC_FILENAME), Path(L"jobE.zip"));

    // Switching to Russian relabels everything but the file label and the list.
    ChooseLanguage(window, Russian);
    const std::map<int, std::wstring> russian = {
        {IDC_LANGUAGELABEL, L"Язык интерфейса:"},
        {IDC_CHOOSEFILE, L"Выбор файла"},
        {IDC_FILENAME, Path(L"jobE.zip")},
        {IDC_PRINTERHINT, L"Выберите принтер аналогичный \"Office printer\""},
        {IDC_SHOWALLPRINTERS, L"показывать неподходящие принтеры"},
        {IDC_PRINT, L"Печать"},
        {IDC_OPENLOGFILE, L"Открыть журнал"},
        {IDCANCEL, L"Выход"},
    };
    EXPECT_EQ(WindowText(window), L"Печать файла спулера");
    for (const auto& [id, text] : russian) EXPECT_EQ(ItemText(window, id), text) << id;
    EXPECT_EQ(ListedPrinters(window), PrintersOfDriverA);
    // Choosing the language that is already current does nothing.
    logged = tavrel.Log().size();
    ChooseLanguage(window, Russian);
    EXPECT_EQ(WindowText(window), L"Печать файла спулера");
    EXPECT_EQ(tavrel.Log().size(), logged);
    // Notifications other than the end of a selection leave the language alone.
    ChooseLanguage(window, English, CBN_SELCHANGE);
    EXPECT_EQ(WindowText(window), L"Печать файла спулера");
    ChooseLanguage(window, English);
    for (const auto& [id, text] : english) {
        if (id == IDC_FILENAME || id == IDC_PRINTERHINT) continue;
        EXPECT_EQ(ItemText(window, id), text) << id;
    }
    EXPECT_EQ(ItemText(window, IDC_PRINTERHINT), L"Choose printer similar to \"Office printer\"");

    PressButton(window, IDCANCEL);
    EXPECT_EQ(tavrel.WaitForExit(), 0u);
    EXPECT_TRUE(Contains(tavrel.Log(), "info: Programm finished."));
    EXPECT_TRUE(ExtractionFolders(tavrel.TempFolder()).empty()) << "the archive's files outlived the program";
}

TEST_F(TavrelDialog, PrintsTheSpoolBytesAndAsksBeforeRepeatsAndUnsuitablePrinters) {
    TavrelProcess tavrel(folder);
    HWND window = tavrel.Window();
    ASSERT_NE(window, nullptr);
    const std::string jobA = ReadFileBytes(Path(L"jobA.SPL"));

    // A suitable printer: no question, the bytes arrive unchanged, the success message names both.
    ASSERT_NO_FATAL_FAILURE(ChooseInFileDialog(tavrel, Path(L"jobA.SHD")));
    Settle(window);
    ASSERT_NO_FATAL_FAILURE(SelectPrinter(window, L"tavrel_list_37"));
    size_t at37 = JobsAt(L"tavrel_list_37");
    std::vector<SeenBox> boxes = Print(tavrel, {IDOK});
    EXPECT_EQ(boxes[0].Caption, L"Printing result");
    EXPECT_EQ(boxes[0].Text, Printed(Path(L"jobA.SPL"), L"tavrel_list_37"));
    EXPECT_FALSE(MessageBoxOpen(tavrel.Pid()));
    EXPECT_TRUE(WaitForJob(L"tavrel_list_37", at37 + 1) == jobA) << "the printed bytes differ from the spool file";
    EXPECT_TRUE(Contains(tavrel.Log(), "info: ShowMessage \"Printing result\" {0x0}: \"" +
                                           WideToUtf8(Printed(Path(L"jobA.SPL"), L"tavrel_list_37")) + "\""));

    // The same file again: asked first; No sends nothing, Yes prints it again.
    boxes = Print(tavrel, {IDNO});
    EXPECT_EQ(boxes[0].Caption, L"Print file");
    EXPECT_EQ(boxes[0].Text, AlreadyPrinted);
    EXPECT_FALSE(MessageBoxOpen(tavrel.Pid()));
    boxes = Print(tavrel, {IDYES, IDOK});
    EXPECT_EQ(Texts(boxes), (std::vector<std::wstring>{AlreadyPrinted, Printed(Path(L"jobA.SPL"), L"tavrel_list_37")}));
    EXPECT_TRUE(WaitForJob(L"tavrel_list_37", at37 + 2) == jobA);

    // A printer of driver B for a job of driver A: asked; No stops and is asked again next time.
    ShowAllPrinters(window, true);
    ASSERT_NO_FATAL_FAILURE(SelectPrinter(window, L"tavrel_list_38"));
    size_t at38 = JobsAt(L"tavrel_list_38");
    boxes = Print(tavrel, {IDYES, IDNO});
    EXPECT_EQ(Texts(boxes), (std::vector<std::wstring>{AlreadyPrinted, NotSuitable})) << Printable(Texts(boxes));
    EXPECT_EQ(boxes[1].Caption, L"Print file");
    EXPECT_FALSE(MessageBoxOpen(tavrel.Pid()));
    boxes = Print(tavrel, {IDYES, IDYES, IDOK});
    EXPECT_EQ(Texts(boxes), (std::vector<std::wstring>{AlreadyPrinted, NotSuitable,
                                                       Printed(Path(L"jobA.SPL"), L"tavrel_list_38")}));
    EXPECT_TRUE(WaitForJob(L"tavrel_list_38", at38 + 1) == jobA);

    // The Yes holds for another job of driver A on another printer of driver B ...
    ASSERT_NO_FATAL_FAILURE(ChooseInFileDialog(tavrel, Path(L"jobC.SHD")));
    Settle(window);
    ASSERT_NO_FATAL_FAILURE(SelectPrinter(window, L"tavrel_list_39"));
    size_t at39 = JobsAt(L"tavrel_list_39");
    boxes = Print(tavrel, {IDOK});
    EXPECT_EQ(Texts(boxes), (std::vector<std::wstring>{Printed(Path(L"jobC.SPL"), L"tavrel_list_39")}));
    EXPECT_TRUE(WaitForJob(L"tavrel_list_39", at39 + 1) == ReadFileBytes(Path(L"jobC.SPL")));
    // ... until another pair is decided: driver tavrel_list_40, then back to B asks again.
    ASSERT_NO_FATAL_FAILURE(SelectPrinter(window, L"tavrel_list_40"));
    boxes = Print(tavrel, {IDYES, IDNO});
    EXPECT_EQ(Texts(boxes), (std::vector<std::wstring>{AlreadyPrinted, NotSuitable}));
    ASSERT_NO_FATAL_FAILURE(SelectPrinter(window, L"tavrel_list_39"));
    boxes = Print(tavrel, {IDYES, IDNO});
    EXPECT_EQ(Texts(boxes), (std::vector<std::wstring>{AlreadyPrinted, NotSuitable}));

    // A file stopped at the suitability question has not been printed: no repeat question.
    ASSERT_NO_FATAL_FAILURE(ChooseInFileDialog(tavrel, Path(L"jobB.SHD")));
    Settle(window);
    ASSERT_NO_FATAL_FAILURE(SelectPrinter(window, L"tavrel_list_36"));
    boxes = Print(tavrel, {IDNO});
    EXPECT_EQ(Texts(boxes), (std::vector<std::wstring>{NotSuitable}));
    boxes = Print(tavrel, {IDNO});
    EXPECT_EQ(Texts(boxes), (std::vector<std::wstring>{NotSuitable})) << "the job was never printed";
    EXPECT_FALSE(MessageBoxOpen(tavrel.Pid()));

    // A job that fails (its spool file is missing): the failure message, and no repeat question.
    ASSERT_NO_FATAL_FAILURE(ChooseInFileDialog(tavrel, Path(L"jobD.SHD")));
    Settle(window);
    ASSERT_NO_FATAL_FAILURE(SelectPrinter(window, L"tavrel_list_35"));
    const std::wstring failure = L"An error occurred while printing the file\"" + Path(L"jobD.SPL") + L"\"!";
    boxes = Print(tavrel, {IDOK});
    EXPECT_EQ(boxes[0].Caption, L"Printing result");
    EXPECT_EQ(boxes[0].Text, failure);
    boxes = Print(tavrel, {IDOK});
    EXPECT_EQ(Texts(boxes), (std::vector<std::wstring>{failure})) << "a failed job counts as not printed";
    EXPECT_TRUE(Contains(tavrel.Log(), "info: ShowMessage \"Printing result\" {0x10}: \"" + WideToUtf8(failure) + "\""));

    // A job from an archive, its spool member in lower case.
    ASSERT_NO_FATAL_FAILURE(WriteStoredZip(Path(L"jobF.zip"), {{"00014.spl", SpoolBytes(9000, 7)},
                                      {"00014.SHD", ShadowBytes(L"F", L"Office printer", DriverA, L"RAW")}}));
    ASSERT_NO_FATAL_FAILURE(ChooseInFileDialog(tavrel, Path(L"jobF.zip")));
    Settle(window);
    std::vector<std::wstring> extracted = ExtractionFolders(tavrel.TempFolder());
    ASSERT_EQ(extracted.size(), 1u);
    const std::wstring jobFolder = tavrel.TempFolder() + L"\\" + extracted[0];
    const std::string jobF = ReadFileBytes(jobFolder + L"\\00014.spl");
    ASSERT_NO_FATAL_FAILURE(SelectPrinter(window, L"tavrel_list_37"));
    boxes = Print(tavrel, {IDOK});
    EXPECT_EQ(Texts(boxes), (std::vector<std::wstring>{Printed(jobFolder + L"\\00014.spl", L"tavrel_list_37")}));
    // Our extracted copy chosen through its shadow file, which names it ...\00014.SPL: the same
    // file, so it stays the job (not deleted as a replaced one) and counts as printed.
    ASSERT_NO_FATAL_FAILURE(ChooseInFileDialog(tavrel, jobFolder + L"\\00014.SHD"));
    Settle(window);
    ASSERT_NO_FATAL_FAILURE(SelectPrinter(window, L"tavrel_list_37"));
    at37 = JobsAt(L"tavrel_list_37");
    boxes = Print(tavrel, {IDYES, IDOK});
    EXPECT_EQ(Texts(boxes), (std::vector<std::wstring>{AlreadyPrinted,
                                                       Printed(jobFolder + L"\\00014.SPL", L"tavrel_list_37")}))
        << Printable(Texts(boxes));
    EXPECT_TRUE(WaitForJob(L"tavrel_list_37", at37 + 1) == jobF);
    // The same archive chosen again is extracted anew, yet it is the job printed last.
    ASSERT_NO_FATAL_FAILURE(ChooseInFileDialog(tavrel, Path(L"JOBF.ZIP")));
    Settle(window);
    EXPECT_FALSE(Exists(jobFolder)) << "the replaced extraction goes";
    ASSERT_NO_FATAL_FAILURE(SelectPrinter(window, L"tavrel_list_37"));
    boxes = Print(tavrel, {IDNO});
    EXPECT_EQ(Texts(boxes), (std::vector<std::wstring>{AlreadyPrinted}));

    // Archives with Zip64 records, as zippers write them for small jobs too. No printer has
    // the job's driver: the Yes for the first holds for the others.
    const std::string zip64Job = ReadFileBytes(WindowsPath(ZipFixture("src/job/00002.SPL").c_str()));
    ASSERT_FALSE(zip64Job.empty());
    ShowAllPrinters(window, true);
    for (const std::string& archive : kZip64Archives) {
        SCOPED_TRACE(archive);
        ASSERT_NO_FATAL_FAILURE(ChooseInFileDialog(tavrel, WindowsPath(ZipFixture(archive).c_str())));
        Settle(window);
        EXPECT_EQ(ItemText(window, IDC_PRINTERHINT), L"Choose printer similar to \"Zip64 printer\"");
        extracted = ExtractionFolders(tavrel.TempFolder());
        ASSERT_EQ(extracted.size(), 1u);
        const std::wstring spool = tavrel.TempFolder() + L"\\" + extracted[0] + L"\\00002.SPL";
        ASSERT_NO_FATAL_FAILURE(SelectPrinter(window, L"tavrel_list_37"));
        at37 = JobsAt(L"tavrel_list_37");
        const bool first = archive == kZip64Archives.front();
        boxes = Print(tavrel, first ? std::vector<int>{IDYES, IDOK} : std::vector<int>{IDOK});
        std::vector<std::wstring> expected = {Printed(spool, L"tavrel_list_37")};
        if (first) expected.insert(expected.begin(), NotSuitable);
        EXPECT_EQ(Texts(boxes), expected) << Printable(Texts(boxes));
        EXPECT_TRUE(WaitForJob(L"tavrel_list_37", at37 + 1) == zip64Job) << "the printed bytes differ from the spool file";
    }

    ExitWithEsc(tavrel);
    EXPECT_EQ(tavrel.WaitForExit(), 0u);
    EXPECT_TRUE(Contains(tavrel.Log(), "info: Programm finished."));
}

// The job's details under the file label, in the interface language and the user's way of
// writing times (TZ is Europe/Berlin: 11:50 UTC in January is 12:50); and the question before
// data would be sent with a data type that prints them as garbage (No sends nothing).
TEST_F(TavrelDialog, ShowsTheJobsDetailsAndAsksBeforeDataOfAnotherType) {
    emfbuild::Spool emf;
    emf.Page();
    const std::string emfBytes(emf.File.begin(), emf.File.end());
    ASSERT_NO_FATAL_FAILURE(WriteBytes(Path(L"real.SPL"), emfBytes));
    ASSERT_NO_FATAL_FAILURE(WriteBytes(Path(L"real.SHD"), ReadFileBytes(WindowsPath(TAVREL_TEST_DATA_DIR "/shd/win10-x64-00002.SHD"))));
    ASSERT_NO_FATAL_FAILURE(WriteBytes(Path(L"emfraw.SHD"), ShadowBytes(L"E", L"Office printer", DriverA, L"RAW")));
    ASSERT_NO_FATAL_FAILURE(WriteBytes(Path(L"emfraw.SPL"), emfBytes));
    ASSERT_NO_FATAL_FAILURE(WriteBytes(Path(L"psemf.SHD"), ShadowBytes(L"P", L"Office printer", DriverA, L"NT EMF 1.008")));
    ASSERT_NO_FATAL_FAILURE(WriteBytes(Path(L"psemf.SPL"), "%!PS-Adobe-3.0\n%%Pages: 2\n%%EndComments\nshowpage\n"));
    TavrelProcess tavrel(folder);
    HWND window = tavrel.Window();
    ASSERT_NE(window, nullptr);
    EXPECT_EQ(ItemText(window, IDC_JOBDETAILS), L"") << "no job yet";

    ASSERT_NO_FATAL_FAILURE(ChooseInFileDialog(tavrel, Path(L"real.SHD")));
    Settle(window);
    const std::wstring size = emfBytes.size() < 1024 ? L"0." + std::to_wstring(emfBytes.size() * 10 / 1024) : L"?";
    EXPECT_EQ(ItemText(window, IDC_JOBDETAILS), L"Untitled \u00B7 SYSTEM on \\\\P-B0X \u00B7 1/21/2020 12:50 PM\n"
                                                 L"1 page \u00B7 " + size + L" KB \u00B7 Letter landscape \u00B7 colour \u00B7 EMF");
    ChooseLanguage(window, Russian);
    EXPECT_EQ(ItemText(window, IDC_JOBDETAILS), L"Untitled \u00B7 SYSTEM на \\\\P-B0X \u00B7 1/21/2020 12:50 PM\n"
                                                 L"1 страница \u00B7 " + size + L" КБ \u00B7 Letter альбомная \u00B7 цветная \u00B7 EMF");
    ChooseLanguage(window, English);
    EXPECT_NE(SendDlgItemMessageW(window, IDC_PAGETHUMBNAIL, STM_GETIMAGE, IMAGE_BITMAP, 0), 0) << "page 1 of EMF";
    ASSERT_NO_FATAL_FAILURE(ChooseInFileDialog(tavrel, Path(L"noshd.zip")));
    Answer(tavrel, IDNO);
    Settle(window);
    EXPECT_EQ(ItemText(window, IDC_FILENAME), Path(L"real.SHD")) << "a failed choice leaves the job as it was";
    EXPECT_THAT(ItemText(window, IDC_JOBDETAILS), ::testing::StartsWith(L"Untitled"));

    const size_t at37 = JobsAt(L"tavrel_list_37");
    for (const auto& [job, contents, type] : {std::tuple{L"emfraw.SHD", L"EMF", L"RAW"},
                                              std::tuple{L"psemf.SHD", L"PostScript", L"NT EMF 1.008"}}) {
        ASSERT_NO_FATAL_FAILURE(ChooseInFileDialog(tavrel, Path(job)));
        Settle(window);
        ASSERT_NO_FATAL_FAILURE(SelectPrinter(window, L"tavrel_list_37"));
        std::vector<SeenBox> boxes = Print(tavrel, {IDNO});
        EXPECT_EQ(Texts(boxes), std::vector<std::wstring>{std::wstring(L"The spool file holds ") + contents +
                                                           L" data, but the job would be sent with the data type \"" +
                                                           type + L"\": the printer may print pages of garbage.\n"
                                                           L"Print anyway?"});
    }
    std::this_thread::sleep_for(std::chrono::seconds(1));
    EXPECT_EQ(JobsAt(L"tavrel_list_37"), at37) << "No sends nothing";
    EXPECT_EQ(SendDlgItemMessageW(window, IDC_PAGETHUMBNAIL, STM_GETIMAGE, IMAGE_BITMAP, 0), 0) << "no page 1 of PostScript";

    // The EMF job on a printer of another driver (one whose driver Wine has, unlike the
    // names the fixture gives): its pages are drawn for it, when the user wants; its page draws
    // to the paper's edge, which that printer cannot print, so it is scaled to fit.
    ASSERT_NO_FATAL_FAILURE(ChooseInFileDialog(tavrel, Path(L"emfraw.SHD")));
    Settle(window);
    ShowAllPrinters(window, true);
    ASSERT_NO_FATAL_FAILURE(SelectPrinter(window, L"tavrel_print"));
    const size_t atPrint = JobsAt(L"tavrel_print");
    std::vector<SeenBox> boxes = Print(tavrel, {IDYES, IDOK});
    EXPECT_EQ(Texts(boxes), (std::vector<std::wstring>{
                                L"The job holds EMF pages, which the printer \"tavrel_print\" is not known to replay as "
                                L"they are. Draw its 1 pages for this printer instead?\n(answer 'No' sends the spool file "
                                L"unchanged)\nPages larger than the printable area of this printer will be scaled down to "
                                L"fit it.",
                                Printed(Path(L"emfraw.SPL"), L"tavrel_print")}));
    EXPECT_NE(WaitForJob(L"tavrel_print", atPrint + 1).find("%%Pages: 1"), std::string::npos) << "drawn as PostScript";
    ExitWithEsc(tavrel);
    EXPECT_EQ(tavrel.WaitForExit(), 0u);
}

// A page that kills the player costs one job, never the window (TavrelPaced's player crashes
// on the marked record): the thumbnail is missing and the details say so; the drawing for a
// printer is withdrawn, nothing reaches it, and the user is told in either language; then the
// window works on.
TEST_F(TavrelDialog, APageThatKillsThePlayerCostsOneJobNotTheWindow) {
    emfbuild::Spool crashing, good;
    crashing.Page(emfbuild::Emf({marked::Pixel(marked::Mark::Crash)}));
    good.Page();
    ASSERT_NO_FATAL_FAILURE(WriteBytes(Path(L"crash.SPL"), std::string(crashing.File.begin(), crashing.File.end())));
    ASSERT_NO_FATAL_FAILURE(WriteBytes(Path(L"good.SPL"), std::string(good.File.begin(), good.File.end())));
    for (const wchar_t* job : {L"crash.SHD", L"good.SHD"})
        ASSERT_NO_FATAL_FAILURE(WriteBytes(Path(job), ShadowBytes(job, L"Office printer", DriverA, L"NT EMF 1.008")));
    TavrelProcess tavrel(folder, PacedTavrel);
    HWND window = tavrel.Window();
    ASSERT_NE(window, nullptr);
    ASSERT_NO_FATAL_FAILURE(ChooseInFileDialog(tavrel, Path(L"crash.SHD")));
    Settle(window);
    EXPECT_THAT(ItemText(window, IDC_JOBDETAILS), ::testing::EndsWith(L"\nThe first page could not be drawn."));
    EXPECT_EQ(SendDlgItemMessageW(window, IDC_PAGETHUMBNAIL, STM_GETIMAGE, IMAGE_BITMAP, 0), 0);

    ShowAllPrinters(window, true);
    ASSERT_NO_FATAL_FAILURE(SelectPrinter(window, L"tavrel_print"));
    const size_t before = JobsAt(L"tavrel_print");
    const std::wstring spool = Path(L"crash.SPL");
    for (const auto& [language, told] : {std::pair{English, L"The pages of \"" + spool + L"\" could not be drawn for the "
                                                             L"printer \"tavrel_print\": the drawing stopped unexpectedly. "
                                                             L"Nothing of the job reached the printer. The details are in "
                                                             L"the log file."},
                                         std::pair{Russian, L"Страницы \"" + spool + L"\" не удалось нарисовать для принтера "
                                                             L"\"tavrel_print\": рисование неожиданно прервалось. Ничего из "
                                                             L"задания не попало на принтер. Подробности в файле журнала."}}) {
        ChooseLanguage(window, language);
        std::vector<SeenBox> boxes = Print(tavrel, {IDYES, IDOK});
        ASSERT_EQ(boxes.size(), 2u);
        EXPECT_EQ(boxes[1].Text, told);
    }
    std::this_thread::sleep_for(std::chrono::seconds(1));
    EXPECT_EQ(JobsAt(L"tavrel_print"), before) << "nothing of the dead drawing is printed";
    const std::vector<std::string> log = tavrel.Log();
    EXPECT_EQ(std::count(log.begin(), log.end(),
                         "error: The page-drawing process for \"" + WideToUtf8(spool) +
                             "\" on printer \"tavrel_print\" crashed with exception code 0xC0000005, on page 1"),
              2);

    ChooseLanguage(window, English);
    ASSERT_NO_FATAL_FAILURE(ChooseInFileDialog(tavrel, Path(L"good.SHD")));
    Settle(window);
    EXPECT_NE(SendDlgItemMessageW(window, IDC_PAGETHUMBNAIL, STM_GETIMAGE, IMAGE_BITMAP, 0), 0) << "the window works on";
    EXPECT_THAT(ItemText(window, IDC_JOBDETAILS), ::testing::Not(::testing::HasSubstr(L"could not be drawn")));
    ExitWithEsc(tavrel);
    EXPECT_EQ(tavrel.WaitForExit(), 0u);
}

TEST_F(TavrelDialog, JobWithoutMetadataIsTakenOnlyAfterBothQuestions) {
    TavrelProcess tavrel(folder);
    HWND window = tavrel.Window();
    ASSERT_NE(window, nullptr);
    const std::vector<std::wstring> everyPrinter = SpoolerPrinters();
    const std::wstring cannotRead = L"Can not read the shd-file with printing metadata!\nContinue anyway?";

    // No: nothing changes, not even the file label.
    ASSERT_NO_FATAL_FAILURE(ChooseInFileDialog(tavrel, Path(L"orphan.SPL")));
    SeenBox box = Answer(tavrel, IDNO);
    EXPECT_EQ(box.Caption, L"Choose file");
    EXPECT_EQ(box.Text, cannotRead);
    Settle(window);
    EXPECT_FALSE(MessageBoxOpen(tavrel.Pid()));
    EXPECT_EQ(ItemText(window, IDC_FILENAME), L"...");
    EXPECT_EQ(ItemText(window, IDC_PRINTERHINT), L"Choose printer");
    EXPECT_EQ(ListedPrinters(window), everyPrinter);
    EXPECT_EQ(Print(tavrel, {IDOK})[0].Text, NoFileChosen);

    // An archive without a shadow member; No deletes what was extracted at once.
    ASSERT_NO_FATAL_FAILURE(ChooseInFileDialog(tavrel, Path(L"noshd.zip")));
    box = Answer(tavrel, IDNO);
    EXPECT_EQ(box.Text, L"Can not detect shd-file with metadata!\nContinue anyway?");
    Settle(window);
    EXPECT_TRUE(ExtractionFolders(tavrel.TempFolder()).empty())
        << "extracted files of a declined archive are deleted at once";
    EXPECT_EQ(ItemText(window, IDC_FILENAME), L"...");

    // Yes, then RAW: the file is current with placeholders; no printer has their driver.
    ASSERT_NO_FATAL_FAILURE(ChooseInFileDialog(tavrel, Path(L"orphan.SPL")));
    EXPECT_EQ(Answer(tavrel, IDYES).Text, cannotRead);
    box = Answer(tavrel, IDYES);
    EXPECT_EQ(box.Caption, L"Choose file");
    EXPECT_EQ(box.Text, AskDataFormat);
    Settle(window);
    EXPECT_EQ(ItemText(window, IDC_FILENAME), Path(L"orphan.SPL"));
    EXPECT_EQ(ItemText(window, IDC_PRINTERHINT), L"Choose printer");
    EXPECT_TRUE(ListedPrinters(window).empty());
    std::vector<SeenBox> boxes = Print(tavrel, {IDOK});
    EXPECT_EQ(boxes[0].Caption, L"Print file");
    EXPECT_EQ(boxes[0].Text, NoPrinterSelected);

    // Every printer's driver differs from the placeholder: asked, then printed raw.
    ShowAllPrinters(window, true);
    ASSERT_NO_FATAL_FAILURE(SelectPrinter(window, L"tavrel_print"));
    size_t before = JobsAt(L"tavrel_print");
    boxes = Print(tavrel, {IDYES, IDOK});
    EXPECT_EQ(Texts(boxes), (std::vector<std::wstring>{NotSuitable, Printed(Path(L"orphan.SPL"), L"tavrel_print")}));
    EXPECT_TRUE(WaitForJob(L"tavrel_print", before + 1) == ReadFileBytes(Path(L"orphan.SPL")));
    const std::string spool = WideToUtf8(Path(L"orphan.SPL"));
    EXPECT_TRUE(Contains(tavrel.Log(), "info: Start send file \"" + spool + "\" to printer \"tavrel_print\". JobName is "
                                       "\"Tavrel[RAW] " + spool + "\", JobDataFormat is \"RAW\"."));

    // The archive without a shadow member, taken as XPS_PASS; its files go at exit.
    ASSERT_NO_FATAL_FAILURE(ChooseInFileDialog(tavrel, Path(L"noshd.zip")));
    EXPECT_EQ(Answer(tavrel, IDYES).Text, L"Can not detect shd-file with metadata!\nContinue anyway?");
    EXPECT_EQ(Answer(tavrel, IDNO).Text, AskDataFormat);
    Settle(window);
    EXPECT_EQ(ItemText(window, IDC_FILENAME), Path(L"noshd.zip"));
    EXPECT_EQ(ExtractionFolders(tavrel.TempFolder()).size(), 1u);
    ShowAllPrinters(window, false);
    EXPECT_TRUE(ListedPrinters(window).empty());

    PressButton(window, IDCANCEL);
    EXPECT_EQ(tavrel.WaitForExit(), 0u);
    EXPECT_TRUE(ExtractionFolders(tavrel.TempFolder()).empty()) << "the accepted archive's files are deleted at exit";
    EXPECT_TRUE(Contains(tavrel.Log(), "info: Programm finished."));
}

TEST_F(TavrelDialog, DroppedFirstItemIsChosenAndFoldersAreRefused) {
    TavrelProcess tavrel(folder);
    HWND window = tavrel.Window();
    ASSERT_NE(window, nullptr);

    // A folder: the warning, and nothing changes.
    ASSERT_NO_FATAL_FAILURE(DropFiles(tavrel, {folder}));
    SeenBox box = Answer(tavrel, IDOK);
    EXPECT_EQ(box.Caption, L"Choose file");
    EXPECT_EQ(box.Text, L"The program does not process directories. To select a file, drag it into the window of "
                        L"this program.");
    Settle(window);
    EXPECT_EQ(ItemText(window, IDC_FILENAME), L"...");
    EXPECT_TRUE(Contains(tavrel.Log(), "info: ShowMessage \"Choose file\" {0x30}: \"" + WideToUtf8(box.Text) + "\""));

    // Three files: only the first counts.
    ASSERT_NO_FATAL_FAILURE(DropFiles(tavrel, {Path(L"jobB.SHD"), Path(L"jobA.SHD"), Path(L"jobC.SHD")}));
    Settle(window);
    EXPECT_FALSE(MessageBoxOpen(tavrel.Pid()));
    EXPECT_EQ(ItemText(window, IDC_FILENAME), Path(L"jobB.SHD"));
    EXPECT_EQ(ItemText(window, IDC_PRINTERHINT), L"Choose printer similar to \"Лаборатория\"");
    EXPECT_EQ(ListedPrinters(window), (std::vector<std::wstring>{L"tavrel_list_38", L"tavrel_list_39"}));

    // An item that does not exist is no folder: the intake says what is wrong with it.
    ASSERT_NO_FATAL_FAILURE(DropFiles(tavrel, {Path(L"missing.SHD")}));
    box = Answer(tavrel, IDNO);
    EXPECT_EQ(box.Text, L"Can not read the shd-file with printing metadata!\nContinue anyway?");
    Settle(window);
    EXPECT_EQ(ItemText(window, IDC_FILENAME), Path(L"jobB.SHD"));

    // A path longer than MAX_PATH arrives whole.
    std::wstring deep = folder;
    while (deep.size() < 300) deep += L"\\a-rather-long-folder-name-for-the-drop";
    std::error_code made;
    std::filesystem::create_directories(std::filesystem::path(L"\\\\?\\" + deep), made);
    ASSERT_FALSE(made) << made.message();
    const std::wstring longShd = deep + L"\\jobA.SHD";
    ASSERT_NO_FATAL_FAILURE(WriteBytes(L"\\\\?\\" + longShd, ReadFileBytes(Path(L"jobA.SHD"))));
    ASSERT_NO_FATAL_FAILURE(DropFiles(tavrel, {longShd}));
    Settle(window);
    EXPECT_FALSE(MessageBoxOpen(tavrel.Pid()));
    EXPECT_EQ(ItemText(window, IDC_FILENAME), longShd);
    EXPECT_EQ(ItemText(window, IDC_PRINTERHINT), L"Choose printer similar to \"Office printer\"");
    EXPECT_EQ(ListedPrinters(window), PrintersOfDriverA);

    PostMessageW(window, WM_CLOSE, 0, 0);
    EXPECT_EQ(tavrel.WaitForExit(), 0u);
    EXPECT_TRUE(Contains(tavrel.Log(), "info: Programm finished."));
}

namespace {

// Probes the window from another thread of this test until stopped (at most a minute, so a
// failed assertion cannot leave it running), with messages sent to it; the longest wait for
// an answer in ms, or -1 when one went unanswered for 5 s (the "Not Responding" threshold).
std::future<double> ProbeResponses(HWND window, const std::atomic<bool>& stop) {
    return std::async(std::launch::async, [window, &stop] {
        using Clock = std::chrono::steady_clock;
        const auto deadline = Clock::now() + std::chrono::minutes(1);
        double worst = 0;
        for (; !stop && Clock::now() < deadline; std::this_thread::sleep_for(std::chrono::milliseconds(20))) {
            DWORD_PTR ignored = 0;
            const auto start = Clock::now();
            if (!SendMessageTimeoutW(window, WM_NULL, 0, 0, SMTO_NORMAL, 5000, &ignored)) return -1.0;
            worst = std::max(worst, std::chrono::duration<double, std::milli>(Clock::now() - start).count());
        }
        return worst;
    });
}

HWND WaitForProgressWindow(const TavrelProcess& tavrel) {
    return WaitForDialog(tavrel.Pid(), [](HWND w) { return GetDlgItem(w, IDC_PROGRESSBAR) != nullptr; });
}

LRESULT BarPosition(HWND progress) { return SendDlgItemMessageW(progress, IDC_PROGRESSBAR, PBM_GETPOS, 0, 0); }

}  // namespace

// A 256 MiB job printed by a copy of the program whose steps are slowed to 64 MiB/s.
TEST_F(TavrelDialog, LongJobsShowProgressStayResponsiveAndCanBeCancelled) {
    constexpr size_t Big = size_t{256} << 20;
    ASSERT_NO_FATAL_FAILURE(WriteJob(L"jobL", L"Office printer", DriverA, Big, 8));
    TavrelProcess tavrel(folder, PacedTavrel);
    HWND window = tavrel.Window();
    ASSERT_NE(window, nullptr);
    ASSERT_NO_FATAL_FAILURE(ChooseInFileDialog(tavrel, Path(L"jobL.SHD")));
    Settle(window);
    ASSERT_NO_FATAL_FAILURE(SelectPrinter(window, L"tavrel_list_37"));
    const size_t at37 = JobsAt(L"tavrel_list_37");

    // Print: the progress window, owned by the disabled main window, its bar moving.
    std::atomic<bool> printed{false};
    std::future<double> printing = ProbeResponses(window, printed);
    PressButton(window, IDC_PRINT);
    HWND progress = WaitForProgressWindow(tavrel);
    ASSERT_NE(progress, nullptr) << "no progress window";
    EXPECT_EQ(GetWindow(progress, GW_OWNER), window);
    EXPECT_FALSE(IsWindowEnabled(window)) << "the main window must take no input meanwhile";
    EXPECT_EQ(WindowText(progress), L"Print spooler file");
    EXPECT_EQ(ItemText(progress, IDC_PROGRESSTEXT), L"Sending \"jobL.SPL\" to the printer \"tavrel_list_37\"...");
    EXPECT_EQ(ItemText(progress, IDCANCEL), L"Cancel");
    const LRESULT first = BarPosition(progress);
    PostMessageW(FocusOn(progress), WM_KEYDOWN, VK_RETURN, 0);
    std::this_thread::sleep_for(std::chrono::milliseconds(800));
    EXPECT_GT(BarPosition(progress), first) << "the bar must move";
    EXPECT_TRUE(IsWindowEnabled(GetDlgItem(progress, IDCANCEL))) << "Enter must not cancel the job";
    EXPECT_THAT(ItemText(progress, IDC_PROGRESSAMOUNT), ::testing::EndsWith(L" of 256.0 MB"));

    // Cancel: the job is aborted, the progress window goes before the message comes.
    PressButton(progress, IDCANCEL);
    HWND resultBox = WaitForDialog(tavrel.Pid(), IsMessageBox);
    EXPECT_EQ(GetForegroundWindow(), resultBox) << "the result must come up in front";
    SeenBox box = Answer(tavrel, IDOK);
    EXPECT_EQ(GetForegroundWindow(), window);
    EXPECT_FALSE(IsWindow(progress));
    EXPECT_EQ(box.Caption, L"Printing result");
    EXPECT_EQ(box.Text, L"Printing of the file \"" + Path(L"jobL.SPL") +
                            L"\" was cancelled; nothing was sent to the printer \"tavrel_list_37\".");
    printed = true;
    const double worstPrinting = printing.get();
    EXPECT_GE(worstPrinting, 0) << "the window did not answer within 5 s";
    std::printf("worst response while printing: %.0f ms\n", worstPrinting);
    // The job was aborted, not ended. Wine 8's AbortPrinter does nothing, though, and its
    // ClosePrinter submits a document left open, so under Wine the part sent before the
    // cancel still reaches CUPS (on Windows AbortPrinter deletes the job); what the program
    // does is seen in its log.
    const std::vector<std::string> log = tavrel.Log();
    auto logged = [&log](const std::string& start) {
        return std::any_of(log.begin(), log.end(), [&](const std::string& line) { return line.rfind(start, 0) == 0; });
    };
    EXPECT_TRUE(logged("info: Cancelled by the user: sending job \"jobL\" to the printer after "));
    EXPECT_TRUE(logged("info: Finished [failure] sending file \"" + WideToUtf8(Path(L"jobL.SPL"))));
    EXPECT_FALSE(logged("error: ")) << "a cancel is no error";
    std::this_thread::sleep_for(std::chrono::seconds(2));
    const size_t afterCancel = JobsAt(L"tavrel_list_37");

    // Not printed: the next Print asks no repeat question and sends the job whole.
    std::vector<SeenBox> boxes = Print(tavrel, {IDOK});
    EXPECT_EQ(Texts(boxes), (std::vector<std::wstring>{Printed(Path(L"jobL.SPL"), L"tavrel_list_37")}))
        << Printable(Texts(boxes));
    EXPECT_TRUE(WaitForJob(L"tavrel_list_37", afterCancel + 1) == ReadFileBytes(Path(L"jobL.SPL")));
    EXPECT_LE(afterCancel, at37 + 1);

    // A 256 MiB archive: cancelling its extraction leaves the temporary folder as it was, the
    // current job as it was, and shows nothing.
    ASSERT_NO_FATAL_FAILURE(WriteStoredZip(Path(L"jobL.zip"), {{"00015.SPL", ReadFileBytes(Path(L"jobL.SPL"))},
                                                                     {"00015.SHD", ReadFileBytes(Path(L"jobL.SHD"))}}));
    const std::vector<std::wstring> foldersBefore = ExtractionFolders(tavrel.TempFolder());
    std::atomic<bool> extracted{false};
    std::future<double> extracting = ProbeResponses(window, extracted);
    ASSERT_NO_FATAL_FAILURE(ChooseInFileDialog(tavrel, Path(L"jobL.zip")));
    progress = WaitForProgressWindow(tavrel);
    ASSERT_NE(progress, nullptr) << "no progress window while extracting";
    EXPECT_FALSE(IsWindowEnabled(window));
    EXPECT_EQ(ItemText(progress, IDC_PROGRESSTEXT), L"Extracting the job from \"jobL.zip\"...");
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    SendMessageW(progress, WM_CLOSE, 0, 0);  // the close box means Cancel
    Settle(window);
    extracted = true;
    const double worstExtracting = extracting.get();
    EXPECT_GE(worstExtracting, 0) << "the window did not answer within 5 s";
    std::printf("worst response while extracting: %.0f ms\n", worstExtracting);
    EXPECT_FALSE(IsWindow(progress));
    EXPECT_FALSE(MessageBoxOpen(tavrel.Pid())) << "a cancelled extraction shows nothing";
    EXPECT_EQ(ExtractionFolders(tavrel.TempFolder()), foldersBefore);
    EXPECT_EQ(ItemText(window, IDC_FILENAME), Path(L"jobL.SHD")) << "the current job stays as it was";

    ExitWithEsc(tavrel);
    EXPECT_EQ(tavrel.WaitForExit(), 0u);
}

// CTest runs this one with LC_ALL=ru_RU.UTF-8.
TEST_F(TavrelDialog, InRussiaSpeaksRussianFromTheStart) {
    if (!RunsWithLocale("ru_RU.UTF-8")) GTEST_SKIP() << "needs LC_ALL=ru_RU.UTF-8";
    TavrelProcess tavrel(folder);
    HWND window = tavrel.Window();
    ASSERT_NE(window, nullptr);
    EXPECT_EQ(WindowText(window), L"Печать файла спулера");
    EXPECT_EQ(ItemText(window, IDC_LANGUAGE), L"Русский");
    EXPECT_EQ(ItemText(window, IDC_CHOOSEFILE), L"Выбор файла");
    EXPECT_EQ(ItemText(window, IDC_PRINTERHINT), L"Выберите принтер");
    EXPECT_EQ(ItemText(window, IDC_PRINT), L"Печать");

    // The open-file dialog offers the Russian filter.
    HWND chooser = OpenFileDialog(tavrel.Pid(), window);
    ASSERT_NE(chooser, nullptr);
    EXPECT_EQ(ItemText(chooser, FileTypeBoxId), L"Все файлы(*.*)");
    CloseFileDialog(chooser, IDCANCEL);

    std::vector<SeenBox> boxes = Print(tavrel, {IDOK});
    EXPECT_EQ(boxes[0].Caption, L"Печать файла");
    EXPECT_EQ(boxes[0].Text, L"Не выбран файл! Пожалуйста выберите файл для печати.");

    ASSERT_NO_FATAL_FAILURE(ChooseInFileDialog(tavrel, Path(L"jobB.SHD")));
    Settle(window);
    EXPECT_EQ(ItemText(window, IDC_PRINTERHINT), L"Выберите принтер аналогичный \"Лаборатория\"");
    ASSERT_NO_FATAL_FAILURE(SelectPrinter(window, L"tavrel_list_39"));
    boxes = Print(tavrel, {IDOK});
    EXPECT_EQ(boxes[0].Caption, L"Результат печати");
    EXPECT_EQ(boxes[0].Text, L"Файл \"" + Path(L"jobB.SPL") +
                                 L"\" успешно напечатан.\nЗаберите распечатку на принтере \"tavrel_list_39\"");

    PressButton(window, IDCANCEL);
    EXPECT_EQ(tavrel.WaitForExit(), 0u);
}

// ---------------------------------------------------------------------------------------
// In this process: a window with the dialog's controls whose list box refuses some printers.

namespace {

std::map<std::wstring, LRESULT> RefusedPrinters;
WNDPROC ListBoxProc = nullptr;

LRESULT CALLBACK RefusingListBox(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == LB_ADDSTRING) {
        auto refused = RefusedPrinters.find(reinterpret_cast<const wchar_t*>(lParam));
        if (refused != RefusedPrinters.end()) return refused->second;
    }
    return CallWindowProcW(ListBoxProc, window, message, wParam, lParam);
}

class DialogControls : public TavrelDialog {
protected:
    void SetUp() override {
        ASSERT_NO_FATAL_FAILURE(TavrelDialog::SetUp());
        dialog = CreateWindowExW(0, L"#32770", L"Tavrel test dialog", WS_POPUP | WS_CAPTION | WS_VISIBLE, 0, 0, 600,
                                 400, nullptr, nullptr, nullptr, nullptr);
        ASSERT_NE(dialog, nullptr);
        auto child = [&](const wchar_t* className, int id, DWORD style) {
            return CreateWindowExW(0, className, L"", WS_CHILD | WS_VISIBLE | style, 0, 0, 300, 200, dialog,
                                   reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), nullptr, nullptr);
        };
        HWND list = child(L"ListBox", IDC_PRINTERSLIST, LBS_NOTIFY);
        child(L"Button", IDC_SHOWALLPRINTERS, BS_AUTOCHECKBOX);
        child(L"Static", IDC_FILENAME, 0);
        child(L"Static", IDC_PRINTERHINT, 0);
        ASSERT_NE(list, nullptr);
        ListBoxProc = reinterpret_cast<WNDPROC>(
            SetWindowLongPtrW(list, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&RefusingListBox)));
    }
    void TearDown() override {
        if (dialog != nullptr) DestroyWindow(dialog);
        RefusedPrinters.clear();
    }

    LogRecorder log;
    HWND dialog = nullptr;
};

}  // namespace

TEST_F(DialogControls, PrintGoesToThePrinterOfTheSelectedItemAfterRefusedAdditions) {
    RefusedPrinters = {{L"tavrel_list_35", LB_ERRSPACE}, {L"tavrel_list_36", LB_ERR}};
    SelectFile(dialog, Path(L"jobA.SHD"));
    ASSERT_EQ(CurrentFile().Result, CorrectFile);
    EXPECT_EQ(ListedPrinters(dialog), (std::vector<std::wstring>{L"tavrel_list_37"}));
    EXPECT_EQ(log.Errors(), (std::vector<std::string>{
                                "Can't add string to IDC_PRINTERSLIST with error CB_ERRSPACE!",
                                "Can't add string to IDC_PRINTERSLIST with error CB_ERR!",
                            }));
    ASSERT_EQ(SelectedItem(dialog), 0);

    // Item 0 is the third printer of the list: that one prints.
    size_t at37 = JobsAt(L"tavrel_list_37");
    size_t at35 = JobsAt(L"tavrel_list_35");
    auto result = AnswerNextMessageBox(IDOK);
    HandleDialogCommand(dialog, IDC_PRINT, BN_CLICKED);
    SeenBox box = result.get();
    EXPECT_EQ(box.Text, Printed(Path(L"jobA.SPL"), L"tavrel_list_37"));
    EXPECT_TRUE(WaitForJob(L"tavrel_list_37", at37 + 1) == ReadFileBytes(Path(L"jobA.SPL")));
    EXPECT_EQ(JobsAt(L"tavrel_list_35"), at35);
}
