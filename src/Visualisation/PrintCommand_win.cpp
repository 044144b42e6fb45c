#include "Visualisation/PrintCommand_win.h"

#include "FileProcessor/FileProcessor.h"
#include "PrintRawData_win.h"
#include "Visualisation/BackgroundWork_win.h"
#include "Visualisation/MessageBoxes_win.h"
#include "Visualisation/PrintPolicy.h"
#include "pathutil_win.h"
#include "texts/TextTable.h"
#include "textutil.h"

namespace {

PrintPolicy& Policy() {
    static PrintPolicy policy(SamePath);
    return policy;
}

std::wstring QuestionText(const PrintQuestion& question) {
    switch (question.Asked) {
        case PrintQuestion::PrintAgain: return GetText(TXT_ALREADY_PRINTED);
        case PrintQuestion::UnsuitablePrinter: return GetText(TXT_PRINTER_NOT_SUITABLE);
        case PrintQuestion::DataTypeMismatch:
            return FormatText(TXT_DATA_TYPE_MISMATCH, {question.Contents, EscapeForLog(question.DataType)});
    }
    return GetText(TXT_UNKNOWN_TEXT_ID);
}

// The policy's questions as message boxes over the dialog.
AskUser QuestionsOver(HWND dialog) {
    return [dialog](const PrintQuestion& question) {
        return AskUserYesNo(dialog, QuestionText(question), GetText(TXT_PRINT_FILE_TITLE));
    };
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
            Policy().RecordPrinted(job.Origin);
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

void PrintCurrentFile(HWND dialog, const std::optional<PrinterEntry>& selectedPrinter) {
    SPLFileInfo current = CurrentFile();
    if (current.Result != CorrectFile) {
        ShowPrintError(dialog, TXT_NO_FILE_CHOSEN);
        return;
    }
    if (!selectedPrinter) {
        ShowPrintError(dialog, TXT_NO_PRINTER_SELECTED);
        return;
    }
    const PrinterEntry& printer = *selectedPrinter;
    const AskUser ask = QuestionsOver(dialog);
    if (!Policy().ConfirmRepeatPrint(current.Origin, ask)) return;
    if (!Policy().ConfirmPrinterSuitability(current.JobInfo, printer, ask)) return;
    if (!Policy().ConfirmDataType(current.JobInfo.DataFormat, current.Details.Contents, ask)) return;
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
