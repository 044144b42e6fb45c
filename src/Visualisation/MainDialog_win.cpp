#include "Visualisation/MainDialog_win.h"

#include <commdlg.h>

#include <functional>
#include <optional>
#include <vector>

#include "EmfSpool/EmfPrint_win.h"
#include "FileProcessor/FileProcessor.h"
#include "Progress.h"
#include "Visualisation/BackgroundWork_win.h"
#include "Visualisation/ControlTexts_win.h"
#include "Visualisation/MessageBoxes_win.h"
#include "Visualisation/PrintCommand_win.h"
#include "logging/logog.h"
#include "pathutil_win.h"
#include "resource.h"
#include "texts/TextTable.h"

namespace {

// Controls whose text comes straight from the table, in the order they are set; the printer
// hint, composed by UpdatePrinterHint, comes between the file button and the check box. The
// file label keeps its path.
constexpr ControlText TextsBeforeHint[] = {
    {IDC_LANGUAGELABEL, TXT_INTERFACE_LANGUAGE},
    {IDC_CHOOSEFILE, TXT_CHOOSE_FILE_BUTTON},
};
constexpr ControlText TextsAfterHint[] = {
    {IDC_SHOWALLPRINTERS, TXT_SHOW_INAPPROPRIATE},
    {IDC_PRINT, TXT_PRINT_BUTTON},
    {IDC_OPENLOGFILE, TXT_OPEN_LOG_BUTTON},
    {IDCANCEL, TXT_EXIT_BUTTON},
};

// The open-file dialog's path buffer, in UTF-16 units: room for the longest path Windows
// can name, so a file deep in a folder tree is not refused for its length.
constexpr DWORD ChosenPathCapacity = 32768;

using CommandHandler = void (*)(HWND dialog, WORD notification);

struct DialogCommand {
    WORD ControlId;
    CommandHandler Handler;
};

void SetItemText(HWND dialog, int controlId, const std::wstring& text) {
    SendDlgItemMessageW(dialog, controlId, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()));
}

bool IsShowAllPrintersChecked(HWND dialog) {
    return IsDlgButtonChecked(dialog, IDC_SHOWALLPRINTERS) == BST_CHECKED;
}

// How the user's locale writes the submitted time (in local time: the spooler keeps UTC) and
// numbers, whatever the interface language.
DetailsFormat UserLocaleFormat() {
    DetailsFormat format;
    format.SubmittedTime = [](const ShadowTime& utc) {
        SYSTEMTIME universal{utc.Year, utc.Month, 0, utc.Day, utc.Hour, utc.Minute, utc.Second, utc.Milliseconds};
        SYSTEMTIME local{};
        if (!SystemTimeToTzSpecificLocalTime(nullptr, &universal, &local)) local = universal;
        wchar_t date[80] = {}, time[80] = {};
        GetDateFormatEx(LOCALE_NAME_USER_DEFAULT, DATE_SHORTDATE, &local, nullptr, date, 80, nullptr);
        GetTimeFormatEx(LOCALE_NAME_USER_DEFAULT, TIME_NOSECONDS, &local, nullptr, time, 80);
        return std::wstring(date) + L" " + time;
    };
    wchar_t separator[8] = {};
    if (GetLocaleInfoEx(LOCALE_NAME_USER_DEFAULT, LOCALE_SDECIMAL, separator, 8) > 1) format.DecimalSeparator = separator;
    return format;
}

// The bitmap that the thumbnail shows; the static control does not delete what it is given.
Bitmap Thumbnail;
// The current job is an EMF job whose first page could not be drawn: the details say so.
bool FirstPageNotDrawn = false;

void ShowThumbnail(HWND dialog, Bitmap bitmap) {
    auto previous = reinterpret_cast<HBITMAP>(
        SendDlgItemMessageW(dialog, IDC_PAGETHUMBNAIL, STM_SETIMAGE, IMAGE_BITMAP, reinterpret_cast<LPARAM>(bitmap.get())));
    if (previous != nullptr && previous != Thumbnail.get()) DeleteObject(previous);  // a copy the control made
    Thumbnail = std::move(bitmap);
}

// The printers for a job accepted without its metadata: normally none has this driver.
PrinterEntry PlaceholderPrinter() { return PrinterEntry{UnknownPrinterName, UnknownDriverName}; }

void OnShowAllPrintersToggled(HWND dialog) {
    SPLFileInfo current = CurrentFile();
    if (current.Result == CorrectFile) {
        FillPrintersListBox(dialog, PrinterEntry{current.JobInfo.PrinterName, current.JobInfo.PrinterDriverName});
    } else {
        FillPrintersListBox(dialog, PlaceholderPrinter());
    }
}

std::optional<PrinterEntry> SelectedPrinter(HWND dialog) {
    unsigned index = 0;
    if (!GetSelectedPrinterIndex(dialog, index)) return std::nullopt;
    return PrinterList::Instance().GetPrinter(index);
}

constexpr DialogCommand DialogCommands[] = {
    {IDC_LANGUAGE,
     [](HWND dialog, WORD notification) {
         if (notification == CBN_SELENDOK) OnLanguageChanged(dialog);
     }},
    {IDC_CHOOSEFILE, [](HWND dialog, WORD) { ChooseFile(dialog); }},
    {IDC_PRINT, [](HWND dialog, WORD) { PrintCurrentFile(dialog, SelectedPrinter(dialog)); }},
    {IDC_OPENLOGFILE, [](HWND dialog, WORD) { OpenLogFile(dialog); }},
    {IDC_SHOWALLPRINTERS, [](HWND dialog, WORD) { OnShowAllPrintersToggled(dialog); }},
    {IDC_WEBLINK, [](HWND dialog, WORD) { OpenWebAddress(dialog); }},
};

// Adds one printer's name and tags the item with the printer's index in the printer list,
// which Print reads back: after a failed addition the list-box positions no longer match the
// printer list. An item that cannot carry its index is taken out again.
void AddPrinterItem(HWND list, const PrinterEntry& printer, unsigned printerIndex) {
    LRESULT item = SendMessageW(list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(printer.PrinterName.c_str()));
    if (item == LB_ERRSPACE) {
        LOGOG_ERROR("Can't add string to IDC_PRINTERSLIST with error CB_ERRSPACE!");
        return;
    }
    if (item == LB_ERR) {
        LOGOG_ERROR("Can't add string to IDC_PRINTERSLIST with error CB_ERR!");
        return;
    }
    if (SendMessageW(list, LB_SETITEMDATA, static_cast<WPARAM>(item), printerIndex) == LB_ERR) {
        LOGOG_ERROR("Can't set the printer index of item %ld of IDC_PRINTERSLIST!", static_cast<long>(item));
        SendMessageW(list, LB_DELETESTRING, static_cast<WPARAM>(item), 0);
    }
}

// The first dropped item's path, whatever its length; empty when there is none.
std::wstring FirstDroppedPath(HDROP drop) {
    UINT length = DragQueryFileW(drop, 0, nullptr, 0);
    if (length == 0) return {};
    std::wstring path(static_cast<size_t>(length) + 1, L'\0');
    UINT copied = DragQueryFileW(drop, 0, path.data(), length + 1);
    path.resize(copied <= length ? copied : length);
    return path;
}

// Only an item known to be a folder is refused here. One whose attributes cannot be read
// (INVALID_FILE_ATTRIBUTES has every bit set, the folder bit too) goes on to SelectFile,
// which reports what is wrong with it.
bool IsDirectory(const std::wstring& path) {
    DWORD attributes = GetFileAttributesW(ExtendedLengthPath(path).c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

// Reading a chosen file may take long: an archive is extracted, and an EMF spool file's
// records are walked to count its pages, millions of them in a crafted file. So it runs in
// the background for every file (the progress window comes only after half a second). True
// when the work ran to its end; a failure is said here, a cancel shows nothing, since the
// user asked for it.
bool ReadInBackground(HWND dialog, TextId activity, const std::wstring& path,
                      const std::function<void(OperationProgress*)>& work) {
    BackgroundOutcome outcome = RunInBackground(dialog, FormatText(activity, {GetFileNameFromPath(path)}),
                                                [&] { work(CurrentOperationProgress()); });
    if (outcome.Failed)
        ShowMessage(dialog, GetText(TXT_OPERATION_FAILED), GetText(TXT_CHOOSE_FILE_TITLE), MB_ICONERROR);
    return !outcome.Failed && !outcome.Stopped;
}

// For a spool file whose metadata are missing: asks whether to go on and which data format
// to use, then makes it the current file with placeholder metadata. False when the user
// declines or the file cannot be taken.
bool AcceptWithoutMetadata(HWND dialog, const SPLFileInfo& info, const std::wstring& text,
                           const std::wstring& caption) {
    SPLFileInfo& current = CurrentFile();
    if (!AskUserYesNo(dialog, text + GetText(TXT_CONTINUE_ANYWAY), caption)) {
        // Files extracted from a failed archive are not kept for a job the user turned down.
        current.DiscardPendingFiles();
        return false;
    }
    std::wstring dataFormat = DataFormatXpsPass;
    if (AskUserYesNo(dialog, GetText(TXT_ASK_DATA_FORMAT), caption)) dataFormat = DataFormatRaw;
    bool taken = false;
    // A cancel turns the job down as a No would; a stopped SetCurrentFile has changed nothing.
    if (!ReadInBackground(dialog, TXT_CHECKING_PAGES, info.SPLFileName, [&](OperationProgress* progress) {
            taken = current.SetCurrentFile(info, UnknownPrinterName, UnknownDriverName, dataFormat, progress);
        })) {
        current.DiscardPendingFiles();
        return false;
    }
    if (!taken) {
        ShowMessage(dialog, GetText(TXT_INVALID_FILE), caption, MB_ICONERROR);
        return false;
    }
    return true;
}

}  // namespace

void InitialiseDialogControls(HWND dialog) {
    FillLanguageList(dialog);
    SetInterfaceTexts(dialog);
    CheckDlgButton(dialog, IDC_SHOWALLPRINTERS, BST_UNCHECKED);
    FillPrintersListBox(dialog, PrinterEntry{});
}

bool HandleDialogCommand(HWND dialog, WORD controlId, WORD notification) {
    for (const DialogCommand& command : DialogCommands) {
        if (command.ControlId == controlId) {
            command.Handler(dialog, notification);
            return true;
        }
    }
    return false;
}

void HandleDroppedFiles(HWND dialog, HDROP drop) {
    std::wstring path = FirstDroppedPath(drop);
    if (!path.empty()) {
        if (IsDirectory(path)) {
            ShowMessage(dialog, GetText(TXT_DIRECTORIES_NOT_PROCESSED), GetText(TXT_CHOOSE_FILE_BUTTON),
                        MB_ICONWARNING);
        } else {
            SelectFile(dialog, path);
        }
    }
    DragFinish(drop);
}

void FillLanguageList(HWND dialog) {
    const TextTable& texts = GetTextTable();
    for (std::uint32_t language = 0; language < LANGUAGE_COUNT; ++language) {
        std::wstring name = texts.GetLanguageName(language);
        SendDlgItemMessageW(dialog, IDC_LANGUAGE, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(name.c_str()));
    }
    SendDlgItemMessageW(dialog, IDC_LANGUAGE, CB_SETCURSEL, texts.CurrentLanguage(), 0);
}

void SetInterfaceTexts(HWND dialog) {
    const TextTable& texts = GetTextTable();
    SetWindowTextW(dialog, texts.GetTextPtr(TXT_DIALOG_CAPTION));
    SetControlTexts(dialog, texts, std::begin(TextsBeforeHint), std::end(TextsBeforeHint));
    UpdatePrinterHint(dialog);
    SetControlTexts(dialog, texts, std::begin(TextsAfterHint), std::end(TextsAfterHint));
    UpdateJobDetails(dialog);
}

// Page 1 of an EMF job, drawn off the window's thread in the page-drawing process; nothing
// for other kinds of data. When it cannot be drawn (a page that the check refuses, a process
// that died on it), the details say so and the window goes on without it.
void UpdatePageThumbnail(HWND dialog) {
    const SPLFileInfo current = CurrentFile();
    Bitmap bitmap;
    const bool emf = current.Result == CorrectFile && current.Details.Contents.Kind == SpoolContentKind::EmfSpool;
    if (emf) {
        RECT area{};
        GetClientRect(GetDlgItem(dialog, IDC_PAGETHUMBNAIL), &area);
        RunInBackground(dialog, FormatText(TXT_DRAWING_FIRST_PAGE, {GetFileNameFromPath(current.SPLFileName)}),
                        [&] { bitmap = DrawFirstPage(current.SPLFileName, area.right, area.bottom); });
    }
    FirstPageNotDrawn = emf && !bitmap;
    ShowThumbnail(dialog, std::move(bitmap));
    UpdateJobDetails(dialog);
}

void UpdateJobDetails(HWND dialog) {
    const SPLFileInfo& current = CurrentFile();
    std::wstring text;
    if (current.Result == CorrectFile) {
        std::vector<std::wstring> lines = DetailsLines(current.Details, GetTextTable(), UserLocaleFormat());
        if (FirstPageNotDrawn) lines.push_back(GetText(TXT_FIRST_PAGE_NOT_DRAWN));
        for (const std::wstring& line : lines) {
            if (!text.empty()) text += L'\n';
            text += line;
        }
    }
    SetItemText(dialog, IDC_JOBDETAILS, text);
}

void UpdatePrinterHint(HWND dialog) {
    std::wstring printerName = SPLFileInfo(CurrentFile()).JobInfo.PrinterName;
    if (printerName.empty() || printerName == UnknownPrinterName) {
        SetItemText(dialog, IDC_PRINTERHINT, GetText(TXT_CHOOSE_PRINTER));
    } else {
        SetItemText(dialog, IDC_PRINTERHINT, GetText(TXT_CHOOSE_PRINTER_SIMILAR_TO) + printerName + GetText(TXT_QUOTE));
    }
}

void OnLanguageChanged(HWND dialog) {
    LRESULT selected = SendDlgItemMessageW(dialog, IDC_LANGUAGE, CB_GETCURSEL, 0, 0);
    TextTable& texts = GetTextTable();
    if (selected == CB_ERR || static_cast<std::uint32_t>(selected) == texts.CurrentLanguage()) return;
    if (texts.SetLanguage(static_cast<std::uint32_t>(selected))) SetInterfaceTexts(dialog);
}

void FillPrintersListBox(HWND dialog, const PrinterEntry& reference) {
    PrinterList& printers = PrinterList::Instance();
    unsigned count = printers.FillPrinterList(IsShowAllPrintersChecked(dialog) ? PrinterEntry{} : reference);
    HWND list = GetDlgItem(dialog, IDC_PRINTERSLIST);
    SendMessageW(list, LB_RESETCONTENT, 0, 0);
    for (unsigned index = 0; index < count; ++index) AddPrinterItem(list, printers.GetPrinter(index), index);
    SendMessageW(list, LB_SETCURSEL, 0, 0);
}

bool GetSelectedPrinterIndex(HWND dialog, unsigned& printerIndex) {
    HWND list = GetDlgItem(dialog, IDC_PRINTERSLIST);
    LRESULT item = SendMessageW(list, LB_GETCURSEL, 0, 0);
    if (item == LB_ERR) return false;
    LRESULT data = SendMessageW(list, LB_GETITEMDATA, static_cast<WPARAM>(item), 0);
    if (data < 0 || static_cast<unsigned long long>(data) >= PrinterList::Instance().Count()) return false;
    printerIndex = static_cast<unsigned>(data);
    return true;
}

// A cancel leaves the current job as it was (ProcessFile keeps it when stopped).
void SelectFile(HWND dialog, const std::wstring& path) {
    SPLFileInfo info;
    if (!ReadInBackground(dialog, IsArchivePath(path) ? TXT_EXTRACTING_JOB : TXT_CHECKING_PAGES, path,
                          [&](OperationProgress* progress) { info = CurrentFile().ProcessFile(path, progress); }))
        return;
    PrinterEntry reference;
    if (info.Result == CorrectFile) {
        reference = PrinterEntry{info.JobInfo.PrinterName, info.JobInfo.PrinterDriverName};
    } else {
        std::wstring text = GetTextTable().GetResultText(info.Result);
        std::wstring caption = GetText(TXT_CHOOSE_FILE_TITLE);
        if (info.Result != CannotReadSHD && info.Result != CannotDetectSHD) {
            ShowMessage(dialog, text, caption, MB_ICONERROR);
            return;
        }
        if (!AcceptWithoutMetadata(dialog, info, text, caption)) return;
        reference = PlaceholderPrinter();
    }
    SetItemText(dialog, IDC_FILENAME, path);
    UpdatePrinterHint(dialog);
    UpdatePageThumbnail(dialog);
    FillPrintersListBox(dialog, reference);
}

void ChooseFile(HWND dialog) {
    std::vector<wchar_t> path(ChosenPathCapacity, L'\0');
    OPENFILENAMEW request = {};
    request.lStructSize = sizeof request;
    request.hwndOwner = dialog;
    request.lpstrFilter = GetTextTable().GetFileFilter();
    request.nFilterIndex = 1;
    request.lpstrFile = path.data();
    request.nMaxFile = ChosenPathCapacity;
    request.Flags = OFN_PATHMUSTEXIST | OFN_FILEMUSTEXIST;
    if (GetOpenFileNameW(&request)) {
        SelectFile(dialog, path.data());
        return;
    }
    DWORD error = CommDlgExtendedError();
    if (error != 0) LOGOG_ERROR("Error in GetOpenFileName: %lu", error);
}
