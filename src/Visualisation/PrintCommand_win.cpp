#include "Visualisation/PrintCommand_win.h"

#include "FileProcessor/FileProcessor.h"
#include "PrintRawData_win.h"
#include "Visualisation/BackgroundWork_win.h"
#include "Visualisation/MainDialog_win.h"
#include "Visualisation/MessageBoxes_win.h"
#include "pathutil_win.h"
#include "texts/TextTable.h"

namespace {

// Where the last job that reached the spooler whole came from. A job stopped at a question
// or one that failed does not count: nothing of it was printed.
JobOrigin LastPrinted;

// The user's last answer about a printer whose driver is not the job's, for that pair of
// drivers; a Yes holds until another pair is decided.
struct SuitabilityDecision {
    std::wstring PrinterDriverName;
    std::wstring JobDriverName;
    bool Allowed = false;
};
SuitabilityDecision LastDecision;

bool AllowedBefore(const JobInfo& job, const PrinterEntry& printer) {
    return LastDecision.Allowed && LastDecision.PrinterDriverName == printer.PrinterDriverName &&
           LastDecision.JobDriverName == job.PrinterDriverName;
}

// The job was cancelled with AbortPrinter: nothing of it reaches the printer. When the abort
// failed, the printer may still get the part that was written.
void ShowPrintCancelled(HWND dialog, const std::wstring& printerName, const std::wstring& splFileName,
                        bool aborted) {
    ShowMessage(dialog,
                FormatText(aborted ? TXT_PRINT_CANCELLED : TXT_PRINT_MAYBE_SUBMITTED, {splFileName, printerName}),
                GetText(TXT_PRINTING_RESULT), aborted ? MB_ICONINFORMATION : MB_ICONWARNING);
}

void ShowPrintError(HWND dialog, TextId text) {
    ShowMessage(dialog, GetText(text), GetText(TXT_PRINT_FILE_TITLE), MB_ICONERROR);
}

void ShowJobOutcome(HWND dialog, const PrinterEntry& printer, const SPLFileInfo& job, RawJobOutcome outcome) {
    switch (outcome) {
        case RawJobOutcome::Submitted:
            LastPrinted = job.Origin;
            ShowPrintResult(dialog, printer.PrinterName, job.SPLFileName, true);
            return;
        case RawJobOutcome::Cancelled:
        case RawJobOutcome::CancelledNotAborted:
            ShowPrintCancelled(dialog, printer.PrinterName, job.SPLFileName, outcome == RawJobOutcome::Cancelled);
            return;
        case RawJobOutcome::Failed: break;
    }
    ShowPrintResult(dialog, printer.PrinterName, job.SPLFileName, false);
}

}  // namespace

void PrintCurrentFile(HWND dialog) {
    SPLFileInfo current = CurrentFile();
    if (current.Result != CorrectFile) {
        ShowPrintError(dialog, TXT_NO_FILE_CHOSEN);
        return;
    }
    unsigned printerIndex = 0;
    if (!GetSelectedPrinterIndex(dialog, printerIndex)) {
        ShowPrintError(dialog, TXT_NO_PRINTER_SELECTED);
        return;
    }
    PrinterEntry printer = PrinterList::Instance().GetPrinter(printerIndex);
    if (!ConfirmRepeatPrint(dialog, current.Origin)) return;
    if (!ConfirmPrinterSuitability(dialog, current.JobInfo, printer)) return;
    RawJobOutcome outcome = RawJobOutcome::Failed;
    const std::wstring activity =
        FormatText(TXT_SENDING_TO_PRINTER, {GetFileNameFromPath(current.SPLFileName), printer.PrinterName});
    BackgroundOutcome work = RunInBackground(dialog, activity, [&] {
        outcome = PrintFileRaw(current.SPLFileName, current.JobInfo.JobName, current.JobInfo.DataFormat,
                               printer.PrinterName);
    });
    if (work.Failed) {
        ShowMessage(dialog, GetText(TXT_OPERATION_FAILED), GetText(TXT_PRINTING_RESULT), MB_ICONERROR);
        return;
    }
    ShowJobOutcome(dialog, printer, current, outcome);
}

// By origin, not by spool path: each extraction of an archive gets a new path, and the same
// archive dropped twice is just the accident the question is for.
bool ConfirmRepeatPrint(HWND dialog, const JobOrigin& origin) {
    bool same = !LastPrinted.Path.empty() && SamePath(LastPrinted.Path, origin.Path) &&
                SamePath(LastPrinted.Member, origin.Member);
    if (!same) return true;
    return AskUserYesNo(dialog, GetText(TXT_ALREADY_PRINTED), GetText(TXT_PRINT_FILE_TITLE));
}

bool ConfirmPrinterSuitability(HWND dialog, const JobInfo& job, const PrinterEntry& printer) {
    bool allowed = IsSuitablePrinter(PrinterEntry{job.PrinterName, job.PrinterDriverName}, printer) ||
                   AllowedBefore(job, printer) ||
                   AskUserYesNo(dialog, GetText(TXT_PRINTER_NOT_SUITABLE), GetText(TXT_PRINT_FILE_TITLE));
    LastDecision = SuitabilityDecision{printer.PrinterDriverName, job.PrinterDriverName, allowed};
    return allowed;
}

void ShowPrintResult(HWND dialog, const std::wstring& printerName, const std::wstring& splFileName, bool success) {
    if (success) {
        ShowMessage(dialog,
                    GetText(TXT_FILE_QUOTE) + splFileName + GetText(TXT_PRINTED_SUCCESSFULLY) + printerName +
                        GetText(TXT_QUOTE),
                    GetText(TXT_PRINTING_RESULT), 0);
    } else {
        ShowMessage(dialog, GetText(TXT_PRINT_ERROR) + splFileName + GetText(TXT_QUOTE_EXCLAMATION),
                    GetText(TXT_PRINTING_RESULT), MB_ICONERROR);
    }
}
