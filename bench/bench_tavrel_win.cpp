// Times Tavrel's own byte-moving operations in-process, with the log set up as the program
// sets it up. bench/run drives it and compares each figure with a baseline.
//
//   bench_tavrel extract ARCHIVE MEMBER TARGET [--hold]
//   bench_tavrel print FILE QUEUE DELIVERED [--hold]   DELIVERED: the file the printer's
//                                                      listener completes for this job
//   bench_tavrel resolve PATH CALLS
//   bench_tavrel resolve-floor SHD CALLS       the file work a shadow file needs at least
//   bench_tavrel resolve-floor-pair SPL CALLS  ... and an archived pair: a folder of its
//                                              own, both files in it, the old ones deleted
//   bench_tavrel count-pages SPL CALLS         an EMF spool file's pages, as the details count them
//   bench_tavrel read-through SPL CALLS        the file read from start to end in 64 KiB blocks
//   bench_tavrel choose TAVREL_EXE FILE        starts the program, drops FILE on its window and
//                                              probes the window every 2 ms until the choice is
//                                              done: the longest wait for an answer
//
// Prints "key=value" lines. --hold: after the work, print "holding" and wait for a line on
// standard input, so that the caller can read the process's peak memory while it lives.
#include <windows.h>

#include <shlobj.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <cwchar>
#include <string>
#include <thread>
#include <vector>

#include "EmfSpool/EmfSpoolReader.h"
#include "FileByteSource_win.h"
#include "FileProcessor/FileProcessor_win.h"
#include "PrintRawData_win.h"
#include "handles_win.h"
#include "logging/TavrelLog.h"
#include "resource.h"

namespace {

using Clock = std::chrono::steady_clock;

double SecondsSince(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

bool Exists(const std::wstring& path) { return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

// The caller reads /proc/<pid>/status while this process still lives.
void HoldUntilReleased() {
    std::printf("holding\n");
    std::fflush(stdout);
    char line[16];
    (void)std::fgets(line, sizeof line, stdin);  // a line or the end of the input
}

int Extract(const std::vector<std::wstring>& args) {
    if (args.size() < 3) return 2;
    const auto start = Clock::now();
    const bool ok = ExtractFileFromArchive(args[0], args[1], args[2]);
    const double seconds = SecondsSince(start);
    if (!ok) {
        std::fprintf(stderr, "bench_tavrel: extraction failed\n");
        return 1;
    }
    std::printf("seconds=%.6f\n", seconds);
    return 0;
}

// Where a print job's time goes: the platform calls, each wrapped by a timer.
struct CallTimes {
    double readFile = 0, openPrinter = 0, startDoc = 0, writePrinter = 0, endDoc = 0, closePrinter = 0;
};
CallTimes g_CallTimes;
RawPrintCalls g_Platform;

template <auto Member, class... Args>
auto Timed(double CallTimes::*slot, Args... args) {
    const auto start = Clock::now();
    auto result = (g_Platform.*Member)(args...);
    g_CallTimes.*slot += SecondsSince(start);
    return result;
}

// Named WINAPI functions, not lambdas: the 32-bit build needs the stdcall convention.
BOOL WINAPI TimedReadFile(HANDLE file, LPVOID buffer, DWORD size, LPDWORD read, LPOVERLAPPED overlapped) {
    return Timed<&RawPrintCalls::readFile>(&CallTimes::readFile, file, buffer, size, read, overlapped);
}
BOOL WINAPI TimedOpenPrinter(LPWSTR name, LPHANDLE printer, LPPRINTER_DEFAULTSW defaults) {
    return Timed<&RawPrintCalls::openPrinter>(&CallTimes::openPrinter, name, printer, defaults);
}
DWORD WINAPI TimedStartDocPrinter(HANDLE printer, DWORD level, LPBYTE info) {
    return Timed<&RawPrintCalls::startDocPrinter>(&CallTimes::startDoc, printer, level, info);
}
BOOL WINAPI TimedWritePrinter(HANDLE printer, LPVOID data, DWORD size, LPDWORD written) {
    return Timed<&RawPrintCalls::writePrinter>(&CallTimes::writePrinter, printer, data, size, written);
}
BOOL WINAPI TimedEndDocPrinter(HANDLE printer) {
    return Timed<&RawPrintCalls::endDocPrinter>(&CallTimes::endDoc, printer);
}
BOOL WINAPI TimedClosePrinter(HANDLE printer) {
    return Timed<&RawPrintCalls::closePrinter>(&CallTimes::closePrinter, printer);
}

void TimePrintCalls() {
    g_Platform = PlatformRawPrintCalls();
    RawPrintCalls& calls = CurrentRawPrintCalls();
    calls.readFile = TimedReadFile;
    calls.openPrinter = TimedOpenPrinter;
    calls.startDocPrinter = TimedStartDocPrinter;
    calls.writePrinter = TimedWritePrinter;
    calls.endDocPrinter = TimedEndDocPrinter;
    calls.closePrinter = TimedClosePrinter;
}

// Until the listener has the whole job: the spooler may hand the data on after
// SendFileToPrinter has returned.
int Print(const std::vector<std::wstring>& args) {
    if (args.size() < 3) return 2;
    const std::wstring& delivered = args[2];
    TimePrintCalls();
    const auto start = Clock::now();
    const bool ok = SendFileToPrinter(args[0], L"Tavrel bench job", L"RAW", args[1]);
    const double returned = SecondsSince(start);
    if (!ok) {
        std::fprintf(stderr, "bench_tavrel: SendFileToPrinter failed\n");
        return 1;
    }
    const double timeout = 600;
    while (!Exists(delivered)) {
        if (SecondsSince(start) > timeout) {
            std::fprintf(stderr, "bench_tavrel: the job did not reach the listener\n");
            return 1;
        }
        Sleep(2);
    }
    const CallTimes& t = g_CallTimes;
    std::printf("seconds=%.6f returned=%.6f read_file=%.6f open_printer=%.6f start_doc=%.6f write_printer=%.6f "
                "end_doc=%.6f close_printer=%.6f\n",
                SecondsSince(start), returned, t.readFile, t.openPrinter, t.startDoc, t.writePrinter, t.endDoc,
                t.closePrinter);
    return 0;
}

// Opens the shadow file and reads its header and string area, as any reader must.
bool ReadShadowFile(const std::wstring& path) {
    FileHandle file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return false;
    std::uint8_t header[196];
    DWORD got = 0;
    if (!ReadFile(file.get(), header, sizeof header, &got, nullptr) || got != sizeof header) return false;
    DWORD offset = 0;
    std::memcpy(&offset, header + 20, 4);
    if (offset == 0) std::memcpy(&offset, header + 24, 4);
    if (SetFilePointer(file.get(), static_cast<LONG>(offset), nullptr, FILE_BEGIN) == INVALID_SET_FILE_POINTER)
        return false;
    std::uint8_t strings[8192];
    return ReadFile(file.get(), strings, sizeof strings, &got, nullptr) && got > 2;
}

// The least file work that resolving an archived pair ends in: a folder of its own holding
// both files, the shadow file read, and the previous call's copies deleted.
class PairCopies {
public:
    explicit PairCopies(const std::wstring& spoolPath) : m_Spool(spoolPath) {
        m_Shadow = spoolPath.substr(0, spoolPath.rfind(L'.')) + L".SHD";
        wchar_t temp[MAX_PATH + 1];
        const DWORD length = GetTempPathW(MAX_PATH + 1, temp);
        m_Temp.assign(temp, length);
    }
    ~PairCopies() { Remove(); }
    PairCopies(const PairCopies&) = delete;
    PairCopies& operator=(const PairCopies&) = delete;

    bool Next(long number) {
        Remove();
        m_Folder = m_Temp + L"tavrel-bench-floor-" + std::to_wstring(number) + L"\\";
        if (!CreateDirectoryW(m_Folder.c_str(), nullptr)) return false;
        return CopyFileW(m_Spool.c_str(), (m_Folder + L"JOB.SPL").c_str(), FALSE) &&
               CopyFileW(m_Shadow.c_str(), (m_Folder + L"JOB.SHD").c_str(), FALSE) &&
               ReadShadowFile(m_Folder + L"JOB.SHD");
    }

private:
    void Remove() {
        if (m_Folder.empty()) return;
        DeleteFileW((m_Folder + L"JOB.SPL").c_str());
        DeleteFileW((m_Folder + L"JOB.SHD").c_str());
        RemoveDirectoryW(m_Folder.c_str());
        m_Folder.clear();
    }

    std::wstring m_Spool, m_Shadow, m_Temp, m_Folder;
};

constexpr double kWarmUpSeconds = 1.0;

template <class Work>
int TimeCalls(const std::wstring& countText, Work&& work) {
    const long calls = std::wcstol(countText.c_str(), nullptr, 10);
    if (calls <= 0) return 2;
    // Not counted: the first calls pay for loading and first-use set-up, and for a while
    // after a Wine process starts its server calls are several times slower.
    const auto warmUp = Clock::now();
    do {
        if (!work(0)) {
            std::fprintf(stderr, "bench_tavrel: the work failed\n");
            return 1;
        }
    } while (SecondsSince(warmUp) < kWarmUpSeconds);
    const auto start = Clock::now();
    for (long i = 1; i <= calls; ++i) {
        if (!work(i)) {
            std::fprintf(stderr, "bench_tavrel: the work failed on call %ld\n", i);
            return 1;
        }
    }
    std::printf("microseconds_per_call=%.3f calls=%ld\n", SecondsSince(start) * 1e6 / calls, calls);
    return 0;
}

int Resolve(const std::vector<std::wstring>& args) {
    if (args.size() < 2) return 2;
    return TimeCalls(args[1], [&](long) { return CurrentFile().ProcessFile(args[0]).Result == CorrectFile; });
}

int ResolveFloor(const std::vector<std::wstring>& args) {
    if (args.size() < 2) return 2;
    return TimeCalls(args[1], [&](long) { return ReadShadowFile(args[0]); });
}

int ResolveFloorPair(const std::vector<std::wstring>& args) {
    if (args.size() < 2) return 2;
    PairCopies copies(args[0]);
    return TimeCalls(args[1], [&](long number) { return copies.Next(number); });
}

// The walk that counts the pages for the job's details, over the file as the program opens it.
int CountPages(const std::vector<std::wstring>& args) {
    if (args.size() < 2) return 2;
    std::size_t pages = 0;
    const int status = TimeCalls(args[1], [&](long) {
        std::unique_ptr<ByteSource> source = OpenFileForReading(args[0]);
        emf::EmfSpoolJob job;
        if (!source || emf::ListEmfSpoolPages(*source, job).Refused()) return false;
        pages = job.Pages.size();
        return true;
    });
    std::printf("pages=%lu\n", static_cast<unsigned long>(pages));
    return status;
}

// The least any walk over every record of a file does: open it and read it through.
int ReadThrough(const std::vector<std::wstring>& args) {
    if (args.size() < 2) return 2;
    std::vector<std::uint8_t> block(64 * 1024);
    return TimeCalls(args[1], [&](long) {
        FileHandle file(CreateFileW(args[0].c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                    FILE_ATTRIBUTE_NORMAL, nullptr));
        DWORD got = 0;
        while (file && ReadFile(file.get(), block.data(), static_cast<DWORD>(block.size()), &got, nullptr) && got > 0) {
        }
        return static_cast<bool>(file);
    });
}

// ---- the main window's answers while a file is chosen ----

struct WindowSearch {
    DWORD Pid;
    HWND Found;
};

BOOL CALLBACK FindMainWindow(HWND window, LPARAM parameter) {
    auto* search = reinterpret_cast<WindowSearch*>(parameter);
    DWORD pid = 0;
    GetWindowThreadProcessId(window, &pid);
    if (pid != search->Pid || GetDlgItem(window, IDC_PRINTERSLIST) == nullptr) return TRUE;
    search->Found = window;
    return FALSE;
}

HWND WaitForMainWindow(DWORD pid) {
    WindowSearch search{pid, nullptr};
    for (int i = 0; i < 3000 && search.Found == nullptr; ++i) {
        EnumWindows(FindMainWindow, reinterpret_cast<LPARAM>(&search));
        if (search.Found == nullptr) Sleep(10);
    }
    return search.Found;
}

// A drop as the shell makes it: the drop block lives in the receiving process's memory.
bool DropFile(HANDLE process, HWND window, const std::wstring& path) {
    DROPFILES header = {};
    header.pFiles = sizeof header;
    header.fWide = TRUE;
    std::string block(reinterpret_cast<const char*>(&header), sizeof header);
    block.append(reinterpret_cast<const char*>(path.c_str()), (path.size() + 1) * sizeof(wchar_t));
    block.append(sizeof(wchar_t), '\0');
    void* remote = VirtualAllocEx(process, nullptr, block.size(), MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
    SIZE_T written = 0;
    return remote != nullptr && WriteProcessMemory(process, remote, block.data(), block.size(), &written) &&
           SendNotifyMessageW(window, WM_DROPFILES, reinterpret_cast<WPARAM>(remote), 0);
}

std::wstring FileLabel(HWND window) {
    wchar_t text[1024] = {};
    DWORD_PTR ignored = 0;
    SendMessageTimeoutW(GetDlgItem(window, IDC_FILENAME), WM_GETTEXT, 1024, reinterpret_cast<LPARAM>(text),
                        SMTO_NORMAL, 600000, &ignored);
    return text;
}

// Messages sent to the window every 2 ms until stopped; the longest wait for an answer.
class Prober {
public:
    explicit Prober(HWND window)
        : m_Thread([this, window] {
              while (!m_Stop) {
                  DWORD_PTR ignored = 0;
                  const auto start = Clock::now();
                  SendMessageTimeoutW(window, WM_NULL, 0, 0, SMTO_NORMAL, 600000, &ignored);
                  m_Worst = std::max(m_Worst.load(), SecondsSince(start));
                  ++m_Probes;
                  Sleep(2);
              }
          }) {}
    ~Prober() { Stop(); }
    Prober(const Prober&) = delete;
    Prober& operator=(const Prober&) = delete;
    void Stop() {
        m_Stop = true;
        if (m_Thread.joinable()) m_Thread.join();
    }
    double Worst() const { return m_Worst; }
    long Probes() const { return m_Probes; }

private:
    std::atomic<bool> m_Stop{false};
    std::atomic<double> m_Worst{0};
    std::atomic<long> m_Probes{0};
    std::thread m_Thread;
};

// Done: the window shows the file and has taken input for a while (no background work
// under way, the page thumbnail's included).
double WaitUntilChosen(HWND window, const std::wstring& path, Clock::time_point start) {
    auto enabledSince = Clock::now();
    bool shown = false;
    for (;;) {
        if (!shown) shown = FileLabel(window) == path;
        const bool enabled = IsWindowEnabled(window);
        if (!shown || !enabled) enabledSince = Clock::now();
        if (shown && SecondsSince(enabledSince) >= 0.3) return SecondsSince(start) - 0.3;
        if (SecondsSince(start) > 600) return -1;
        Sleep(1);
    }
}

int Choose(const std::vector<std::wstring>& args) {
    if (args.size() < 2) return 2;
    const std::wstring& exe = args[0];
    const std::wstring folder = exe.substr(0, exe.find_last_of(L"\\/"));
    std::wstring commandLine = L"\"" + exe + L"\"";
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};
    if (!CreateProcessW(exe.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, folder.c_str(), &startup,
                        &process)) {
        std::fprintf(stderr, "bench_tavrel: cannot start the program\n");
        return 1;
    }
    ThreadHandle thread(process.hThread);
    HWND window = WaitForMainWindow(process.dwProcessId);
    double seconds = -1, worst = 0;
    long probes = 0;
    if (window != nullptr) {
        Sleep(static_cast<DWORD>(kWarmUpSeconds * 1000));  // Wine's slow first second, as above
        Prober prober(window);
        const auto start = Clock::now();
        if (DropFile(process.hProcess, window, args[1])) seconds = WaitUntilChosen(window, args[1], start);
        prober.Stop();
        worst = prober.Worst();
        probes = prober.Probes();
        PostMessageW(window, WM_CLOSE, 0, 0);
    }
    if (WaitForSingleObject(process.hProcess, 20000) != WAIT_OBJECT_0) TerminateProcess(process.hProcess, 1);
    CloseHandle(process.hProcess);
    if (seconds < 0) {
        std::fprintf(stderr, "bench_tavrel: the program did not take the file\n");
        return 1;
    }
    std::printf("worst_ms=%.3f seconds=%.6f probes=%ld\n", worst * 1000, seconds, probes);
    return 0;
}

int Usage() {
    std::fprintf(stderr,
                 "usage: bench_tavrel extract ARCHIVE MEMBER TARGET [--hold]\n"
                 "       bench_tavrel print FILE QUEUE DELIVERED [--hold]\n"
                 "       bench_tavrel resolve PATH CALLS\n"
                 "       bench_tavrel resolve-floor SHD CALLS\n"
                 "       bench_tavrel resolve-floor-pair SPL CALLS\n"
                 "       bench_tavrel count-pages SPL CALLS\n"
                 "       bench_tavrel read-through SPL CALLS\n"
                 "       bench_tavrel choose TAVREL_EXE FILE\n");
    return 2;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc < 2) return Usage();
    const std::wstring command = argv[1];
    std::vector<std::wstring> args;
    bool hold = false;
    for (int i = 2; i < argc; ++i) {
        if (std::wstring(argv[i]) == L"--hold") hold = true;
        else args.emplace_back(argv[i]);
    }
    if (!InitializeLogging()) {
        std::fprintf(stderr, "bench_tavrel: cannot open the log file\n");
        return 1;
    }
    int status = 2;
    if (command == L"extract") status = Extract(args);
    else if (command == L"print") status = Print(args);
    else if (command == L"resolve") status = Resolve(args);
    else if (command == L"resolve-floor") status = ResolveFloor(args);
    else if (command == L"resolve-floor-pair") status = ResolveFloorPair(args);
    else if (command == L"count-pages") status = CountPages(args);
    else if (command == L"read-through") status = ReadThrough(args);
    else if (command == L"choose") status = Choose(args);
    if (status == 2) return Usage();
    std::fflush(stdout);
    if (status == 0 && hold) HoldUntilReleased();
    return status;
}
