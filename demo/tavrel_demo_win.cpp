// The demo's helper under Wine, called step by step by scripts/run-tavrel: it writes the
// sample jobs, lists the spooler's printers, and drives a running Tavrel.exe through its
// window as a person at the screen would (the display-less run). Each step prints what it
// saw as "key: value" lines in UTF-8 and exits with 0 when the step did what it should; else
// it says why on the error stream and exits with 1.
//
//   tavrel_demo jobs FOLDER          sample jobs into FOLDER, the ZIP's members into FOLDER\zip;
//                                    Tavrel's open-file dialog is to start in FOLDER
//   tavrel_demo printers             the spooler's printers and their drivers
//   tavrel_demo window EXE           where the main window of the Tavrel.exe at EXE is
//   tavrel_demo choose EXE FILE      chooses FILE in the open-file dialog
//   tavrel_demo print EXE PRINTER    selects PRINTER, presses Print, reports the first box
//   tavrel_demo answer EXE [yes|no]  answers the open message box: OK, or Yes or No
//   tavrel_demo exit EXE             presses Exit
#include <windows.h>
#include <winspool.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>
#include <tuple>
#include <vector>

#include "EmfSpoolBuilder.h"
#include "ShadowFileBuilder.h"
#include "WindowTestSupport_win.h"
#include "resource.h"
#include "textutil.h"

using namespace windowtest;

namespace {

// A value's line feeds start lines of their own, indented under it; other control characters
// are shown escaped.
void Say(const std::string& key, const std::wstring& value, DWORD stream = STD_OUTPUT_HANDLE) {
    std::string line = key + ": ";
    const std::string indent = "\n" + std::string(line.size(), ' ');
    size_t begin = 0;
    for (size_t end; (end = value.find(L'\n', begin)) != std::wstring::npos; begin = end + 1)
        line += WideToUtf8(EscapeForLog(value.substr(begin, end - begin))) + indent;
    line += WideToUtf8(EscapeForLog(value.substr(begin))) + "\n";
    DWORD written = 0;
    WriteFile(GetStdHandle(stream), line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
}

int Fail(const std::wstring& why) {
    Say("tavrel_demo", why, STD_ERROR_HANDLE);
    return 1;
}

// ---------------------------------------------------------------------------------------
// Sample jobs

// The job as its shadow file records it; the demo's two laser queues get this driver name.
const std::u16string JobName = u"Tavrel demo page";
const std::u16string JobPrinter = u"Front desk laser";
const std::u16string JobDriver = u"Demo Laser PS";

// A one-page PostScript document (A4) whose text says how it got to the printer. The lines
// hold no parentheses or backslashes, so they go into PostScript strings as they are.
std::string DemoPage(const std::string& file, const std::vector<std::string>& lines) {
    std::string page =
        "%!PS-Adobe-3.0\r\n"
        "%%Title: Tavrel demo page " + file + "\r\n"
        "%%Creator: Tavrel demo\r\n"
        "%%Pages: 1\r\n"
        "%%BoundingBox: 0 0 595 842\r\n"
        "%%DocumentMedia: A4 595 842 80 white ()\r\n"
        "%%EndComments\r\n"
        "%%BeginProlog\r\n"
        "/Line { /Helvetica findfont 13 scalefont setfont 72 exch moveto show } bind def\r\n"
        "%%EndProlog\r\n"
        "%%BeginSetup\r\n"
        "<< /PageSize [595 842] >> setpagedevice\r\n"
        "%%EndSetup\r\n"
        "%%Page: 1 1\r\n"
        "gsave\r\n"
        "0.9 setgray 56 690 483 96 rectfill 0 setgray 2 setlinewidth 56 690 483 96 rectstroke\r\n"
        "/Helvetica-Bold findfont 34 scalefont setfont 72 740 moveto (Reprinted by Tavrel) show\r\n"
        "/Helvetica findfont 13 scalefont setfont 72 708 moveto (Sample spool file " + file + ") show\r\n";
    int y = 640;
    for (const std::string& line : lines) {
        page += "(" + line + ") " + std::to_string(y) + " Line\r\n";
        y -= 20;
    }
    page +=
        "grestore\r\n"
        "showpage\r\n"
        "%%Trailer\r\n"
        "%%EOF\r\n";
    return page;
}

// The public part of a DEVMODE: A4 portrait, two copies, duplex along the long edge.
std::vector<std::uint8_t> DemoDevMode() {
    std::vector<std::uint8_t> mode(220, 0);
    auto put = [&mode](std::size_t at, std::uint32_t value, int width) {
        for (int i = 0; i < width; ++i) mode[at + i] = static_cast<std::uint8_t>(value >> 8 * i);
    };
    put(68, 220, 2);                                                          // dmSize
    put(72, DM_ORIENTATION | DM_PAPERSIZE | DM_COPIES | DM_DUPLEX, 4);        // dmFields
    put(76, DMORIENT_PORTRAIT, 2), put(78, DMPAPER_A4, 2), put(86, 2, 2), put(94, DMDUP_VERTICAL, 2);
    return mode;
}

// Who sent the job from where and when, as a help desk would find it in a kept job.
std::string Shadow(ShadowFileBuilder::Layout layout, const std::u16string& dataType = u"RAW") {
    ShadowFileBuilder builder;
    builder.layout = layout;
    builder.strings = ShadowFileBuilder::Job(JobName, JobPrinter, JobDriver, dataType);
    builder.strings[0] = builder.strings[1] = u"ivanov";
    builder.computerName = u"\\\\ACCT-PC17";
    builder.submitted = {2026, 12, 3, 9, 8, 42, 0, 0};  // UTC
    builder.pages = 1;
    builder.devMode = DemoDevMode();
    std::vector<std::uint8_t> bytes = builder.Build();
    return std::string(bytes.begin(), bytes.end());
}

// An A4 page recorded by GDI: a frame, a title and a line of text.
emfbuild::Bytes RecordedPage(const std::wstring& title, const std::wstring& line) {
    const RECT a4{0, 0, 21000, 29700};
    // Coordinates in the reference device's pixels: the screen's, about 96 to the inch.
    HDC recorder = CreateEnhMetaFileW(nullptr, nullptr, &a4, L"Tavrel demo\0EMF page\0");
    const int width = MulDiv(GetDeviceCaps(recorder, LOGPIXELSX), 210, 25), height = width * 297 / 210;
    Rectangle(recorder, width / 20, width / 20, width - width / 20, height - width / 20);
    for (auto [text, size, y] : {std::tuple{&title, width / 10, width / 10}, std::tuple{&line, width / 30, width / 4}}) {
        HFONT font = CreateFontW(-size, 0, 0, 0, FW_BOLD, FALSE, FALSE, FALSE, DEFAULT_CHARSET, 0, 0, 0, 0, L"Arial");
        HGDIOBJ previous = SelectObject(recorder, font);
        TextOutW(recorder, width / 10, y, text->c_str(), static_cast<int>(text->size()));
        SelectObject(recorder, previous);
        DeleteObject(font);
    }
    HENHMETAFILE metafile = CloseEnhMetaFile(recorder);
    emfbuild::Bytes page(GetEnhMetaFileBits(metafile, 0, nullptr));
    GetEnhMetaFileBits(metafile, static_cast<UINT>(page.size()), page.data());
    DeleteEnhMetaFile(metafile);
    return page;
}

// An EMF spool file as a GDI printer driver's spooler keeps it: three A4 pages recorded by
// GDI, each in a content record followed by the record that names it as a page.
std::string EmfSpoolJob() {
    emfbuild::Spool spool;
    for (int number = 1; number <= 3; ++number)
        spool.Page(RecordedPage(L"EMF page " + std::to_wstring(number) + L" of 3", L"drawn again by Tavrel for another printer"));
    return std::string(spool.File.begin(), spool.File.end());
}

// A page from a stranger: recorded as above, with two records after its header that are
// aimed at the system's metafile player (a palette resized to 2^30 entries, whose size
// overflows in a 32-bit player, and a brush whose "pattern" is a pointer into the player's
// process). Tavrel leaves them out, draws the rest, and says so in its log.
std::string StrangersJob() {
    emfbuild::Bytes page = RecordedPage(L"A page from a stranger", L"two records aimed at the player were left out");
    const emfbuild::Bytes hostile[] = {emfbuild::Rec(51, {1, 1u << 30}), emfbuild::Rec(39, {1, 6, 0, 0x00400000})};
    const std::uint32_t header = page[4] | page[5] << 8, records = page[52] | page[53] << 8;
    for (const emfbuild::Bytes& record : hostile) page.insert(page.begin() + header, record.begin(), record.end());
    page = emfbuild::Set(emfbuild::Set(page, 48, static_cast<std::uint32_t>(page.size())), 52, records + 2);
    emfbuild::Spool spool;
    spool.Page(page);
    return std::string(spool.File.begin(), spool.File.end());
}

bool Write(const std::filesystem::path& path, const std::string& bytes) {
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    file.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    file.close();
    return !file.fail();
}

// Wine's open-file dialog starts in the folder that the program last chose a file in,
// remembered per program file name in LastVisitedMRU: slots "a" to "z" holding
// "<program>\0<folder>\0", their order in MRUList. This points Tavrel.exe's slot at the folder.
bool StartOpenFileDialogIn(const std::wstring& folder) {
    const std::wstring program = L"Tavrel.exe";
    HKEY key = nullptr;
    if (RegCreateKeyExW(HKEY_CURRENT_USER, L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\ComDlg32\\LastVisitedMRU",
                        0, nullptr, 0, KEY_QUERY_VALUE | KEY_SET_VALUE, nullptr, &key, nullptr) != ERROR_SUCCESS)
        return false;
    wchar_t order[32] = {};
    DWORD size = sizeof order - sizeof(wchar_t);
    if (RegGetValueW(key, nullptr, L"MRUList", RRF_RT_REG_SZ, nullptr, order, &size) != ERROR_SUCCESS) order[0] = L'\0';
    std::wstring list = order;
    wchar_t slot = 0;
    for (wchar_t letter : list) {
        wchar_t data[MAX_PATH * 2] = {};
        DWORD bytes = sizeof data - sizeof(wchar_t);
        const wchar_t name[2] = {letter, L'\0'};
        if (RegGetValueW(key, nullptr, name, RRF_RT_REG_BINARY, nullptr, data, &bytes) == ERROR_SUCCESS &&
            lstrcmpiW(data, program.c_str()) == 0) {
            slot = letter;
            break;
        }
    }
    for (wchar_t letter = L'a'; slot == 0 && letter <= L'z'; ++letter)
        if (list.find(letter) == std::wstring::npos) slot = letter;
    if (slot == 0) slot = list.back();  // every slot taken: the oldest goes
    std::wstring data = program + L'\0' + folder + L'\0';
    const wchar_t name[2] = {slot, L'\0'};
    list.erase(std::remove(list.begin(), list.end(), slot), list.end());
    list.insert(list.begin(), slot);
    bool set = RegSetValueExW(key, name, 0, REG_BINARY, reinterpret_cast<const BYTE*>(data.data()),
                              static_cast<DWORD>(data.size() * sizeof(wchar_t))) == ERROR_SUCCESS &&
               RegSetValueExW(key, L"MRUList", 0, REG_SZ, reinterpret_cast<const BYTE*>(list.c_str()),
                              static_cast<DWORD>((list.size() + 1) * sizeof(wchar_t))) == ERROR_SUCCESS;
    RegCloseKey(key);
    return set;
}

// 00001.SHD in the 32-bit layout beside its spool file 00001.SPL; the same job with its shadow
// file in the 64-bit layout, as 64-bit Windows 10 writes it, in zip\ for the archive; and
// 00002.SPL, a spool file whose shadow file is missing; 00003.SHD with 00003.SPL, a job of
// three EMF pages as a GDI printer driver's spooler keeps it; 00004.SHD with 00004.SPL, an
// EMF page from a stranger.
int WriteJobs(const std::wstring& folder) {
    const std::filesystem::path jobs(folder);
    std::error_code made;
    std::filesystem::create_directories(jobs / L"zip", made);
    if (made) return Fail(L"cannot make " + folder);
    const std::string page = DemoPage("00001.SPL", {
        "Tavrel read this job's printer, driver, job name and data type",
        "from its shadow file 00001.SHD, listed the printers with the same",
        "driver, and sent the spool file 00001.SPL to the one you chose,",
        "byte for byte. On a real printer of the model the job was made",
        "for, this is the page that comes out.",
    });
    const std::string orphan = DemoPage("00002.SPL", {
        "This spool file came without its shadow file. Tavrel asked",
        "whether to go on without the job's metadata and which data type",
        "to send it as, then sent it unchanged to the printer you chose.",
    });
    bool written = Write(jobs / L"00003.SHD", Shadow(ShadowFileBuilder::Layout::Bits64, u"NT EMF 1.008")) &&
                   Write(jobs / L"00003.SPL", EmfSpoolJob()) &&
                   Write(jobs / L"00004.SHD", Shadow(ShadowFileBuilder::Layout::Bits64, u"NT EMF 1.008")) &&
                   Write(jobs / L"00004.SPL", StrangersJob()) &&
                   Write(jobs / L"00001.SHD", Shadow(ShadowFileBuilder::Layout::Bits32)) &&
                   Write(jobs / L"00001.SPL", page) && Write(jobs / L"00002.SPL", orphan) &&
                   Write(jobs / L"zip" / L"00001.SHD", Shadow(ShadowFileBuilder::Layout::Bits64)) &&
                   Write(jobs / L"zip" / L"00001.SPL", page);
    if (!written) return Fail(L"cannot write the sample jobs into " + folder);
    Say("jobs", folder);
    if (!StartOpenFileDialogIn(folder)) return Fail(L"cannot point the open-file dialog at " + folder);
    return 0;
}

// ---------------------------------------------------------------------------------------
// Printers

// Loading the spooler is also what makes Wine take over the scheduler's queues.
int ListPrinters() {
    DWORD needed = 0;
    DWORD returned = 0;
    const DWORD flags = PRINTER_ENUM_LOCAL | PRINTER_ENUM_CONNECTIONS;
    EnumPrintersW(flags, nullptr, 2, nullptr, 0, &needed, &returned);
    std::vector<BYTE> buffer(needed);
    if (needed == 0 || !EnumPrintersW(flags, nullptr, 2, buffer.data(), needed, &needed, &returned)) {
        Say("printers", L"none");
        return 0;
    }
    const auto* printers = reinterpret_cast<const PRINTER_INFO_2W*>(buffer.data());
    for (DWORD i = 0; i < returned; ++i)
        Say("printer", std::wstring(printers[i].pPrinterName) + L", driver " + printers[i].pDriverName);
    return 0;
}

// ---------------------------------------------------------------------------------------
// The window of a running Tavrel.exe

bool IsProgramAt(DWORD processId, const std::wstring& exe) {
    HANDLE process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, processId);
    if (process == nullptr) return false;
    wchar_t image[MAX_PATH * 4] = {};
    DWORD size = MAX_PATH * 4;
    BOOL named = QueryFullProcessImageNameW(process, 0, image, &size);
    CloseHandle(process);
    return named && lstrcmpiW(image, exe.c_str()) == 0;
}

struct MainWindowSearch {
    const std::wstring* Exe;
    HWND Found;
};

// A named callback rather than a lambda: a 32-bit build needs the stdcall convention.
BOOL CALLBACK AcceptMainWindow(HWND window, LPARAM data) {
    auto* search = reinterpret_cast<MainWindowSearch*>(data);
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    if (!IsDialogOfProcess(window, owner) || GetDlgItem(window, IDC_PRINTERSLIST) == nullptr ||
        !IsProgramAt(owner, *search->Exe))
        return TRUE;
    search->Found = window;
    return FALSE;
}

// The main dialog of the program started from exe, waited for while Wine starts it.
HWND FindMainWindow(const std::wstring& exe, DWORD& processId) {
    MainWindowSearch search{&exe, nullptr};
    for (int i = 0; i < 600 && search.Found == nullptr; ++i) {
        EnumWindows(AcceptMainWindow, reinterpret_cast<LPARAM>(&search));
        if (search.Found == nullptr) Sleep(50);
    }
    processId = 0;
    if (search.Found != nullptr) GetWindowThreadProcessId(search.Found, &processId);
    return search.Found;
}

// The part of the screen that shows the window and, when given, a box over it.
void SayWhere(HWND window, HWND box = nullptr) {
    RECT r = {};
    GetWindowRect(window, &r);
    RECT boxRect = {};
    if (box != nullptr && GetWindowRect(box, &boxRect)) UnionRect(&r, &r, &boxRect);
    Say("screen", std::to_wstring(r.right - r.left) + L"x" + std::to_wstring(r.bottom - r.top) + L"+" +
                 std::to_wstring(r.left) + L"+" + std::to_wstring(r.top));
}

void SayWindow(HWND window) {
    Say("file", ItemText(window, IDC_FILENAME));
    Say("hint", ItemText(window, IDC_PRINTERHINT));
    std::wstring listed;
    for (const std::wstring& printer : ListBoxItems(GetDlgItem(window, IDC_PRINTERSLIST)))
        listed += (listed.empty() ? L"" : L", ") + printer;
    Say("listed", listed);
    SayWhere(window);
}

void SayBox(HWND window, HWND box) {
    Say("box", WindowText(box));
    Say("text", ItemText(box, MessageBoxTextId));
    SayWhere(window, box);
}

// The folder box of Wine's open-file dialog.
constexpr int LookInBoxId = 0x471;

int Choose(HWND window, DWORD processId, const std::wstring& file) {
    HWND chooser = OpenFileDialog(processId, window, IDC_CHOOSEFILE);
    if (chooser == nullptr) return Fail(L"no open-file dialog");
    Say("opened in", ItemText(chooser, LookInBoxId));
    if (!ChooseInOpenFileDialog(chooser, file)) return Fail(L"the open-file dialog did not take " + file);
    Settle(window);
    // A file without its shadow file asks first: that box is left for the next step.
    if (HWND box = FindDialog(processId, IsMessageBox)) {
        SayBox(window, box);
        return 0;
    }
    SayWindow(window);
    return 0;
}

// A printer of another driver is listed once "show inappropriate printers" is ticked.
int Print(HWND window, DWORD processId, const std::wstring& printer) {
    HWND list = GetDlgItem(window, IDC_PRINTERSLIST);
    if (!SelectListBoxItem(list, printer)) {
        SendDlgItemMessageW(window, IDC_SHOWALLPRINTERS, BM_CLICK, 0, 0);
        Settle(window);
    }
    if (!SelectListBoxItem(list, printer)) return Fail(printer + L" is not listed");
    PressButton(window, IDC_PRINT);
    HWND box = WaitForDialog(processId, IsMessageBox, std::chrono::seconds(60));
    if (box == nullptr) return Fail(L"no message box after Print");
    SayBox(window, box);
    return 0;
}

int Answer(DWORD processId, int button) {
    SeenBox box = AnswerMessageBox(processId, button);
    if (!box.Found) return Fail(L"no message box to answer");
    Say("answered", box.Caption);
    return 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    const std::vector<std::wstring> args(argv + 1, argv + argc);
    if (args.size() == 2 && args[0] == L"jobs") return WriteJobs(args[1]);
    if (args.size() == 1 && args[0] == L"printers") return ListPrinters();
    if (args.size() < 2) return Fail(L"usage: tavrel_demo jobs FOLDER | printers | window|choose|print|answer|exit EXE [...]");

    DWORD processId = 0;
    HWND window = FindMainWindow(args[1], processId);
    if (window == nullptr) return Fail(L"no Tavrel window of " + args[1]);
    const std::wstring& step = args[0];
    if (step == L"window" && args.size() == 2) {
        SayWindow(window);
        return 0;
    }
    if (step == L"choose" && args.size() == 3) return Choose(window, processId, args[2]);
    if (step == L"print" && args.size() == 3) return Print(window, processId, args[2]);
    if (step == L"answer" && args.size() == 2) return Answer(processId, IDOK);
    if (step == L"answer" && args.size() == 3 && (args[2] == L"yes" || args[2] == L"no"))
        return Answer(processId, args[2] == L"yes" ? IDYES : IDNO);
    if (step == L"exit" && args.size() == 2) {
        PressButton(window, IDCANCEL);
        return 0;
    }
    return Fail(L"unknown step " + step);
}
