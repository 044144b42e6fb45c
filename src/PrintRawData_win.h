// Sends a spool file's bytes unchanged to a printer as one new job.
#pragma once

#include <windows.h>
#include <winspool.h>

#include <string>

#include "handles_win.h"

// The spooler and file calls a raw print job makes. Production uses the platform's own
// functions; tests point them at recording fakes.
struct RawPrintCalls {
    decltype(&::CreateFileW) createFile;
    decltype(&::ReadFile) readFile;
    decltype(&::OpenPrinterW) openPrinter;
    decltype(&::StartDocPrinterW) startDocPrinter;
    decltype(&::WritePrinter) writePrinter;
    decltype(&::EndDocPrinter) endDocPrinter;
    decltype(&::AbortPrinter) abortPrinter;
    decltype(&::ClosePrinter) closePrinter;
};

RawPrintCalls PlatformRawPrintCalls();
RawPrintCalls& CurrentRawPrintCalls();

// A spooler printer handle: holds -1 until OpenPrinterW fills it; closed with ClosePrinter.
struct PrinterHandleTraits {
    using pointer = HANDLE;
    static pointer Invalid() { return INVALID_HANDLE_VALUE; }
    static void Close(pointer value) { CurrentRawPrintCalls().closePrinter(value); }
};

using PrinterHandle = UniqueHandle<PrinterHandleTraits>;

// The printer opened by name through the spooler calls in force; empty, and the failure
// logged, when it cannot be opened.
PrinterHandle OpenPrinterByName(const std::wstring& printerName);

// The size of each chunk read from the file and handed to WritePrinter.
constexpr DWORD kRawTransferChunkSize = 0x40000;

// How a job ended. A cancelled job whose AbortPrinter failed may still reach the printer:
// ClosePrinter can submit what was written (Wine's does). An EMF job whose page-drawing
// process died or hung was withdrawn from the spooler (Crashed), or could not be
// (CrashedNotWithdrawn: what was drawn may still print).
enum class RawJobOutcome { Submitted, Failed, Cancelled, CancelledNotAborted, Crashed, CrashedNotWithdrawn };

// Prints the file raw to the printer under the job name and spooler data type, and says how
// the job ended; Submitted only when every byte of a non-empty file went to the spooler and
// the job was submitted.
RawJobOutcome PrintFileRaw(const std::wstring& filePath, const std::wstring& jobName, const std::wstring& dataFormat,
                           const std::wstring& printerName);

// PrintFileRaw's outcome as a yes or no: true only for a job submitted whole.
bool SendFileToPrinter(const std::wstring& filePath, const std::wstring& jobName, const std::wstring& dataFormat,
                       const std::wstring& printerName);

// Runs the job on an open file and printer and closes both. On a failed or cancelled
// transfer the job is aborted.
RawJobOutcome WriteRawJob(FileHandle file, PrinterHandle printer, const std::wstring& jobName,
                          const std::wstring& dataFormat);
