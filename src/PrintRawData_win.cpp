#include "PrintRawData_win.h"

#include <cstdint>
#include <vector>

#include "Progress.h"
#include "logging/logog.h"
#include "pathutil_win.h"
#include "textutil.h"
#include "textutil_win.h"

RawPrintCalls PlatformRawPrintCalls() {
    return RawPrintCalls{::CreateFileW,   ::ReadFile,     ::OpenPrinterW, ::StartDocPrinterW,
                         ::WritePrinter,  ::EndDocPrinter, ::AbortPrinter, ::ClosePrinter};
}

RawPrintCalls& CurrentRawPrintCalls() {
    static RawPrintCalls calls = PlatformRawPrintCalls();
    return calls;
}

namespace {

// The spooler takes non-const strings: a zero-terminated copy, never null even when empty.
std::vector<wchar_t> WritableCopy(const std::wstring& text) {
    std::vector<wchar_t> copy(text.begin(), text.end());
    copy.push_back(L'\0');
    return copy;
}

// What one job is called in the log, converted once. The names come from the shadow file:
// escaped, so that a line break in them cannot forge a log line.
struct JobLabel {
    std::string jobName;
    std::string dataFormat;
};

struct TransferTotals {
    std::uint32_t read = 0;
    std::uint32_t written = 0;
    bool sawData = false;  // the 32-bit totals wrap on files of 4 GiB and more
    bool failed = false;
    bool cancelled = false;  // the user stopped the job between two chunks
};

// Hands one chunk to the spooler, offering what it did not accept again until all of it is
// taken. A WritePrinter that fails, or succeeds without taking a byte, ends the transfer.
bool WriteChunk(HANDLE printer, BYTE* chunk, DWORD size, TransferTotals& totals, const JobLabel& label) {
    const RawPrintCalls& calls = CurrentRawPrintCalls();
    DWORD offset = 0;
    while (offset < size) {
        DWORD remaining = size - offset;
        DWORD written = 0;
        if (!calls.writePrinter(printer, chunk + offset, remaining, &written)) {
            DWORD error = GetLastError();
            LOGOG_ERROR(
                "Error in WritePrinter, dwTotalBytesRead[%u], dwTotalBytesWritten[%u], JobName[%s], "
                "JobDataFormat[%s]: %s",
                totals.read, totals.written, label.jobName.c_str(), label.dataFormat.c_str(),
                GetLastErrorText(error).c_str());
            return false;
        }
        if (written == 0 || written > remaining) {
            LOGOG_ERROR(
                "WritePrinter reported %lu of %lu bytes written, dwTotalBytesRead[%u], dwTotalBytesWritten[%u], "
                "JobName[%s], JobDataFormat[%s]",
                written, remaining, totals.read, totals.written, label.jobName.c_str(), label.dataFormat.c_str());
            return false;
        }
        if (written < remaining) {
            LOGOG_DEBUG("WritePrinter took %lu of %lu bytes, offering the rest again", written, remaining);
        }
        totals.written += written;
        offset += written;
    }
    return true;
}

// The user may stop the job between two chunks (and before the first: a StartDocPrinter
// that blocked for long may have been cancelled meanwhile, which asks without a step).
bool StoppedByUser(DWORD chunk, TransferTotals& totals, const JobLabel& label) {
    if (chunk == 0 ? !ProgressStopRequested() : ProgressAdvance(chunk)) return false;
    LOGOG_INFO("Cancelled by the user: sending job \"%s\" to the printer after %u bytes", label.jobName.c_str(),
               totals.written);
    totals.cancelled = true;
    return true;
}

// Streams the file to the open job chunk by chunk through one buffer.
TransferTotals TransferFile(HANDLE file, HANDLE printer, const JobLabel& label) {
    const RawPrintCalls& calls = CurrentRawPrintCalls();
    std::vector<BYTE> buffer(kRawTransferChunkSize, 0);
    TransferTotals totals;
    LARGE_INTEGER size{};
    if (GetFileSizeEx(file, &size)) ProgressAddTotal(static_cast<std::uint64_t>(size.QuadPart));
    if (StoppedByUser(0, totals, label)) return totals;
    for (;;) {
        DWORD read = 0;
        if (!calls.readFile(file, buffer.data(), kRawTransferChunkSize, &read, nullptr)) {
            DWORD error = GetLastError();
            LOGOG_ERROR(
                "Error in ReadFile, dwTotalBytesRead[%u], dwTotalBytesWritten[%u], JobName[%s], JobDataFormat[%s]: %s",
                totals.read, totals.written, label.jobName.c_str(), label.dataFormat.c_str(),
                GetLastErrorText(error).c_str());
            totals.failed = true;
            break;
        }
        if (read == 0) break;
        totals.read += read;
        totals.sawData = true;
        if (!WriteChunk(printer, buffer.data(), read, totals, label)) {
            totals.failed = true;
            break;
        }
        if (StoppedByUser(read, totals, label)) break;
    }
    if (totals.read != totals.written && !totals.cancelled) {
        LOGOG_ERROR("Sent to printer not expected amount of data! Read from file %lu bytes, wrote to printer %lu bytes.",
                    static_cast<unsigned long>(totals.read), static_cast<unsigned long>(totals.written));
    }
    return totals;
}

// A failed transfer must not leave a truncated document in the queue. False when the abort
// failed: then the closing of the printer may submit what was written.
bool CancelJob(HANDLE printer, const JobLabel& label) {
    if (CurrentRawPrintCalls().abortPrinter(printer)) return true;
    DWORD error = GetLastError();
    LOGOG_ERROR("Error in AbortPrinter, JobName[%s], JobDataFormat[%s]: %s", label.jobName.c_str(),
                label.dataFormat.c_str(), GetLastErrorText(error).c_str());
    return false;
}

// Ends the document; false when EndDocPrinter fails.
bool EndJob(HANDLE printer, const JobLabel& label) {
    if (CurrentRawPrintCalls().endDocPrinter(printer)) return true;
    DWORD error = GetLastError();
    LOGOG_ERROR("Error in EndDocPrinter, JobName[%s], JobDataFormat[%s]: %s", label.jobName.c_str(),
                label.dataFormat.c_str(), GetLastErrorText(error).c_str());
    return false;
}

}  // namespace

RawJobOutcome WriteRawJob(FileHandle file, PrinterHandle printer, const std::wstring& jobName,
                          const std::wstring& dataFormat) {
    const RawPrintCalls& calls = CurrentRawPrintCalls();
    const JobLabel label{LogText(jobName), LogText(dataFormat)};
    std::vector<wchar_t> docName = WritableCopy(jobName);
    std::vector<wchar_t> dataType = WritableCopy(dataFormat);
    DOC_INFO_1W docInfo{docName.data(), nullptr, dataType.data()};

    TransferTotals totals;
    bool started = calls.startDocPrinter(printer.get(), 1, reinterpret_cast<BYTE*>(&docInfo)) != 0;
    if (!started) {
        DWORD error = GetLastError();
        LOGOG_ERROR("Error in StartDocPrinter, JobName[%s], JobDataFormat[%s]: %s", label.jobName.c_str(),
                    label.dataFormat.c_str(), GetLastErrorText(error).c_str());
    } else {
        totals = TransferFile(file.get(), printer.get(), label);
    }

    RawJobOutcome outcome = RawJobOutcome::Failed;
    if (totals.failed || totals.cancelled) {
        const bool aborted = CancelJob(printer.get(), label);
        if (totals.cancelled) outcome = aborted ? RawJobOutcome::Cancelled : RawJobOutcome::CancelledNotAborted;
    } else if (EndJob(printer.get(), label) && started && totals.sawData && totals.read == totals.written) {
        // Also after a failed StartDocPrinterW, where a failure to end is logged as well.
        // Success needs a started job with data that all reached the spooler; EndDocPrinter
        // may report success with any nonzero value.
        outcome = RawJobOutcome::Submitted;
    }

    file.reset();
    printer.reset();
    return outcome;
}

PrinterHandle OpenPrinterByName(const std::wstring& printerName) {
    std::vector<wchar_t> name = WritableCopy(printerName);
    PrinterHandle printer;
    if (!CurrentRawPrintCalls().openPrinter(name.data(), printer.put(), nullptr)) {
        DWORD error = GetLastError();
        printer.release();  // whatever the failed call left there is no open printer
        LOGOG_ERROR("Can't open printer \"%s\": %s", LogText(printerName).c_str(), GetLastErrorText(error).c_str());
    }
    return printer;
}

RawJobOutcome PrintFileRaw(const std::wstring& filePath, const std::wstring& jobName, const std::wstring& dataFormat,
                           const std::wstring& printerName) {
    const std::string pathText = LogText(filePath);
    const std::string printerText = LogText(printerName);
    const std::string jobText = LogText(jobName);
    const std::string formatText = LogText(dataFormat);
    LOGOG_INFO("Start send file \"%s\" to printer \"%s\". JobName is \"%s\", JobDataFormat is \"%s\".",
               pathText.c_str(), printerText.c_str(), jobText.c_str(), formatText.c_str());

    RawJobOutcome outcome = RawJobOutcome::Failed;
    // No sharing: a file another process still writes is not printed half-done. The intake
    // takes paths of any length, so the open must too: plain paths fail from MAX_PATH on.
    HANDLE opened = CurrentRawPrintCalls().createFile(ExtendedLengthPath(filePath).c_str(), GENERIC_READ, 0, nullptr,
                                                      OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    DWORD openError = GetLastError();
    FileHandle file(opened);
    if (opened == INVALID_HANDLE_VALUE) {
        LOGOG_ERROR("Can't open file \"%s\": %s", pathText.c_str(), GetLastErrorText(openError).c_str());
    } else {
        if (PrinterHandle printer = OpenPrinterByName(printerName))
            outcome = WriteRawJob(std::move(file), std::move(printer), jobName, dataFormat);
    }

    LOGOG_INFO("Finished [%s] sending file \"%s\" to printer \"%s\". JobName is \"%s\", JobDataFormat is \"%s\".",
               outcome == RawJobOutcome::Submitted ? "success" : "failure", pathText.c_str(), printerText.c_str(),
               jobText.c_str(), formatText.c_str());
    file.reset();
    return outcome;
}

bool SendFileToPrinter(const std::wstring& filePath, const std::wstring& jobName, const std::wstring& dataFormat,
                       const std::wstring& printerName) {
    return PrintFileRaw(filePath, jobName, dataFormat, printerName) == RawJobOutcome::Submitted;
}
