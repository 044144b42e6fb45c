// Behaviour of the main dialog's controls. The window's frame (creation, icons, closing,
// the message loop) lives in main.cpp, whose MainDialogProc calls in here.
#pragma once

#include <windows.h>
#include <shellapi.h>

#include <string>

#include "PrinterList_win.h"
#include "texts/TextTable.h"

// The dialog's share of WM_INITDIALOG, after the frame has set the icons: language list,
// control texts, the unchecked "show inappropriate printers" box and every installed printer.
void InitialiseDialogControls(HWND dialog);

// WM_COMMAND for every control but IDCANCEL; false for a command id the dialog does not handle.
bool HandleDialogCommand(HWND dialog, WORD controlId, WORD notification);

// WM_DROPFILES: the first dropped item is chosen as if picked in the file chooser; the drop
// handle is released.
void HandleDroppedFiles(HWND dialog, HDROP drop);

// The two language names, in index order, with the current language selected.
void FillLanguageList(HWND dialog);

// The caption and every control text from the text table, in the current language;
// after a change of language it is called again.
void SetInterfaceTexts(HWND dialog);

// The label above the printers list: the current job's printer, when the job names one.
void UpdatePrinterHint(HWND dialog);

// The details under the file label: the current job's, in the interface language with
// times and numbers as the user's locale writes them; empty when no job is current.
void UpdateJobDetails(HWND dialog);

// CBN_SELENDOK of the language box: switches the language and relabels the window.
void OnLanguageChanged(HWND dialog);

// Refills the printer list and the list box with the printers whose driver is the
// reference's (every printer while "show inappropriate printers" is checked), first selected.
void FillPrintersListBox(HWND dialog, const PrinterEntry& reference);

// Resolves a chosen or dropped path into the current job and shows it; a failure is shown
// and leaves the current job, the labels and the list as they were.
void SelectFile(HWND dialog, const std::wstring& path);

// The system's open-file dialog; the chosen path goes to SelectFile.
void ChooseFile(HWND dialog);

// Index in the printer list of the printer selected in the list box; false when none is.
bool GetSelectedPrinterIndex(HWND dialog, unsigned& printerIndex);
