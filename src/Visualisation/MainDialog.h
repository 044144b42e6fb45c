// Behaviour of the main dialog's controls. The window's frame (creation, icons, closing,
// the message loop) lives in main.cpp, whose MainDialogProc calls in here.
#pragma once

#include <windows.h>

// The dialog's share of WM_INITDIALOG, after the frame has set the icons.
void InitialiseDialogControls(HWND dialog);

// WM_COMMAND for every control but IDCANCEL; false for a command id the dialog does not handle.
bool HandleDialogCommand(HWND dialog, WORD controlId, WORD notification);

// The caption and every control text from the text table, in the current language;
// after a change of language it is called again.
void SetInterfaceTexts(HWND dialog);

// The label above the printers list.
void UpdatePrinterHint(HWND dialog);
