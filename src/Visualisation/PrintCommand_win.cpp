#include "Visualisation/PrintCommand_win.h"

#include "EmfSpool/EmfPrint_win.h"
#include "FileProcessor/FileProcessor.h"
#include "PrinterList_win.h"
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
        case PrintQuestion::RedrawPages:
            return FormatText(TXT_REDRAW_QUESTION, {question.Printer, std::to_wstring(question.Pages)}) +
                   (question.Flagged ? GetText(TXT_REDRAW_WARNING) : L"") + (question.Fitted ? GetText(TXT_REDRAW_FIT) : L"");
        case PrintQuestion::IncompleteJob:
            return FormatText(TXT_JOB_STILL_SPOOLING, {question.File, std::to_wstring(question.Pages)});
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

// The page-drawing process died or hung: its job was withdrawn, or could not be.
void ShowDrawingCrashed(HWND dialog, const std::wstring& printerName, const std::wstring& splFileName, bool withdrawn) {
    ShowMessage(dialog,
                FormatText(withdrawn ? TXT_DRAWING_CRASHED : TXT_DRAWING_CRASHED_MAYBE_PRINTED, {splFileName, printerName}),
                GetText(TXT_PRINTING_RESULT), withdrawn ? MB_ICONERROR : MB_ICONWARNING);
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
        case RawJobOutcome::Crashed:
        case RawJobOutcome::CrashedNotWithdrawn:
            ShowDrawingCrashed(dialog, printer.PrinterName, job.SPLFileName, outcome == RawJobOutcome::Crashed);
            return;
        case RawJobOutcome::Failed: break;
    }
    ShowPrintResult(dialog, printer.PrinterName, job.SPLFileName, false);
}

void ShowOperationFailed(HWND dialog) {
    ShowMessage(dialog, GetText(TXT_OPERATION_FAILED), GetText(TXT_PRINTING_RESULT), MB_ICONERROR);
}

// What a redraw cannot bring out as the original driver would have (skipped records, such as
// stock colour spaces, lose nothing).
constexpr std::uint32_t RedrawLosses = emf::kEmbeddedFonts | emf::kPostScript | emf::kDriverEscapes | emf::kEmfPlusOnly;

enum class RedrawChoice { Done, SendUnchanged };

// The pages are checked first (in the background: a large job takes a while), then the
// user chooses between drawing them for this printer and sending the spool file unchanged.
RedrawChoice OfferRedraw(HWND dialog, const SPLFileInfo& job, const PrinterEntry& printer, const AskUser& ask) {
    const std::wstring file = GetFileNameFromPath(job.SPLFileName);
    const DevModeDetails devMode = job.Details.Shadow.DevMode.value_or(DevModeDetails{});
    emf::EmfSpoolJob pages;
    emf::SpoolRefusal refusal;
    bool fitted = false;  // the printer's driver may take its time to answer too
    BackgroundOutcome checked = RunInBackground(dialog, FormatText(TXT_CHECKING_PAGES, {file}), [&] {
        refusal = CheckEmfJob(job.SPLFileName, pages);
        if (!refusal.Refused()) fitted = PagesNeedFitting(pages, printer.PrinterName, devMode);
    });
    if (checked.Failed) {
        ShowOperationFailed(dialog);
        return RedrawChoice::Done;
    }
    if (checked.Stopped || refusal.Problem == emf::SpoolProblem::Cancelled) return RedrawChoice::Done;
    if (refusal.Refused()) {
        ShowPrintResult(dialog, printer.PrinterName, job.SPLFileName, false);
        return RedrawChoice::Done;
    }
    const auto count = static_cast<std::uint32_t>(pages.Pages.size());
    const bool flagged = (pages.Flags & RedrawLosses) != 0;
    if (!Policy().ConfirmRedraw(printer.PrinterName, count, flagged, fitted, ask)) return RedrawChoice::SendUnchanged;
    if (!Policy().ConfirmUnfinishedJob(pages.CutShort, file, count, ask)) return RedrawChoice::Done;
    RawJobOutcome outcome = RawJobOutcome::Failed;
    BackgroundOutcome drawn = RunInBackground(
        dialog, FormatText(TXT_DRAWING_PAGES, {file, printer.PrinterName}),
        [&] { outcome = DrawEmfJob(job.SPLFileName, job.JobInfo.JobName, printer.PrinterName, devMode); },
        ProgressUnit::Pages);
    if (drawn.Failed) {
        ShowOperationFailed(dialog);
    } else {
        ShowJobOutcome(dialog, printer, job, outcome);
    }
    return RedrawChoice::Done;
}

// An EMF job for a printer that is not known to replay it as it is: its pages may be drawn.
bool RedrawsEmfJob(HWND dialog, const SPLFileInfo& job, const PrinterEntry& printer, const AskUser& ask) {
    if (!IsEmfJob(job.JobInfo.DataFormat, job.Details.Contents)) return false;
    if (!OffersRedraw(DescribePrinterForEmf(printer, job.JobInfo.PrinterDriverName, job.JobInfo.DataFormat)))
        return false;
    return OfferRedraw(dialog, job, printer, ask) == RedrawChoice::Done;
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
    if (RedrawsEmfJob(dialog, current, printer, ask)) return;
    // From here the spool file goes unchanged.
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
        ShowOperationFailed(dialog);
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
