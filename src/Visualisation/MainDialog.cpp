#include "Visualisation/MainDialog.h"

#include "Visualisation/MessageBoxes.h"
#include "resource.h"
#include "texts/TextTable.h"

namespace {

struct ControlText {
    int ControlId;
    TextId Text;
};

// Controls whose text comes straight from the table. The file label keeps its path and the
// printer hint is composed by UpdatePrinterHint, so neither is listed.
constexpr ControlText ControlTexts[] = {
    {IDC_LANGUAGELABEL, TXT_INTERFACE_LANGUAGE},
    {IDC_CHOOSEFILE, TXT_CHOOSE_FILE_BUTTON},
    {IDC_SHOWALLPRINTERS, TXT_SHOW_INAPPROPRIATE},
    {IDC_PRINT, TXT_PRINT_BUTTON},
    {IDC_OPENLOGFILE, TXT_OPEN_LOG_BUTTON},
    {IDCANCEL, TXT_EXIT_BUTTON},
};

using CommandHandler = void (*)(HWND dialog, WORD notification);

struct DialogCommand {
    WORD ControlId;
    CommandHandler Handler;
};

// Commands of the dialog's controls. Still to come: IDC_LANGUAGE (language change on
// CBN_SELENDOK), IDC_CHOOSEFILE, IDC_PRINT and IDC_SHOWALLPRINTERS.
constexpr DialogCommand DialogCommands[] = {
    {IDC_OPENLOGFILE, [](HWND dialog, WORD) { OpenLogFile(dialog); }},
    {IDC_WEBLINK, [](HWND dialog, WORD) { OpenWebAddress(dialog); }},
};

}  // namespace

// Still to come, in this order before SetInterfaceTexts and after it: the language list,
// the unchecked "show inappropriate printers" box and the list of every installed printer.
void InitialiseDialogControls(HWND dialog) { SetInterfaceTexts(dialog); }

bool HandleDialogCommand(HWND dialog, WORD controlId, WORD notification) {
    for (const DialogCommand& command : DialogCommands) {
        if (command.ControlId == controlId) {
            command.Handler(dialog, notification);
            return true;
        }
    }
    return false;
}

void SetInterfaceTexts(HWND dialog) {
    const TextTable& texts = GetTextTable();
    SetWindowTextW(dialog, texts.GetTextPtr(TXT_DIALOG_CAPTION));
    for (const ControlText& control : ControlTexts) {
        SendDlgItemMessageW(dialog, control.ControlId, WM_SETTEXT, 0,
                            reinterpret_cast<LPARAM>(texts.GetTextPtr(control.Text)));
    }
    UpdatePrinterHint(dialog);
}

// No file can be current yet, so the hint asks for any printer; with the current-file record
// it becomes "Choose printer similar to \"<job printer>\"" for a job that names its printer.
void UpdatePrinterHint(HWND dialog) {
    SendDlgItemMessageW(dialog, IDC_PRINTERHINT, WM_SETTEXT, 0,
                        reinterpret_cast<LPARAM>(GetTextTable().GetTextPtr(TXT_CHOOSE_PRINTER)));
}
