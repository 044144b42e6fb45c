// The Print command: checks, the questions of PrintPolicy.h, the raw job and its result.
#pragma once

#include <windows.h>

#include <optional>
#include <string>

#include "PrinterList.h"


// Prints the current file to the printer selected in the dialog's list (none when nothing is
// selected), after the checks and questions that apply, and shows the outcome.
void PrintCurrentFile(HWND dialog, const std::optional<PrinterEntry>& selectedPrinter);

// The success or failure message of a print job.
void ShowPrintResult(HWND dialog, const std::wstring& printerName, const std::wstring& splFileName, bool success);
