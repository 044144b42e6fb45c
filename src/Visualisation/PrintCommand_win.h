// The Print command: checks, the repeat and suitability questions, the raw job and its result.
#pragma once

#include <windows.h>

#include <string>

#include "FileProcessor/JobRecords.h"
#include "PrinterList_win.h"

// Prints the current file to the printer selected in the dialog's list, after the checks and
// questions that apply, and shows the outcome.
void PrintCurrentFile(HWND dialog);

// True to go on: the job does not come from where the last job printed successfully came
// from (the same archive member, or the same spool file), or the user wants it again.
bool ConfirmRepeatPrint(HWND dialog, const JobOrigin& origin);

// True to go on: the printer's driver suits the job, the user allowed this pair of drivers
// the last time, or allows it now.
bool ConfirmPrinterSuitability(HWND dialog, const JobInfo& job, const PrinterEntry& printer);

// The success or failure message of a print job.
void ShowPrintResult(HWND dialog, const std::wstring& printerName, const std::wstring& splFileName, bool success);
