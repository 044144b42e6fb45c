// What the Print command remembers and when it asks, without windows: before printing a job
// again, before printing on a printer whose driver is not the job's, and before sending data
// with a data type that would print them as garbage.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "FileProcessor/JobRecords.h"
#include "FileProcessor/SpoolContents.h"
#include "PrinterList.h"

// A question asked before a job is sent.
struct PrintQuestion {
    enum Kind { PrintAgain, UnsuitablePrinter, DataTypeMismatch, RedrawPages, IncompleteJob };
    Kind Asked;
    std::wstring DataType = {};  // DataTypeMismatch: the type the job would be sent with,
    std::wstring Contents = {};  //   and the name of what the spool file holds
    std::wstring Printer = {};   // RedrawPages: the printer to draw the pages for,
    std::uint32_t Pages = 0;     //   how many (IncompleteJob too),
    bool Flagged = false;        //   whether some content will not come out as on the original,
    bool Fitted = false;         //   and whether pages are scaled down to the printable area
    std::wstring File = {};      // IncompleteJob: the spool file's name
};

// A job of EMF pages: its spool file holds EMF, or its data type is "NT EMF ..." and what the
// spool file holds could not be told.
bool IsEmfJob(const std::wstring& dataType, const SpoolContents& contents);

// An EMF job goes unchanged to a printer of its own driver that takes its data type (its
// print processor replays the pages best); for any other, drawing its pages is offered.
bool OffersRedraw(const PrinterForEmf& printer);

// Asks the user; true for Yes.
using AskUser = std::function<bool(const PrintQuestion&)>;
// Whether two paths name the same file, as the file system compares names.
using SamePathTest = std::function<bool(const std::wstring&, const std::wstring&)>;

class PrintPolicy {
public:
    explicit PrintPolicy(SamePathTest samePath) : m_SamePath(std::move(samePath)) {}

    // True to go on: the job does not come from where the last job printed whole came from
    // (the same archive member, or the same spool file), or the user wants it again.
    bool ConfirmRepeatPrint(const JobOrigin& origin, const AskUser& ask) const;

    // True to go on: the printer's driver suits the job, the user allowed this pair of
    // drivers the last time, or allows it now. The decision is remembered.
    bool ConfirmPrinterSuitability(const JobInfo& job, const PrinterEntry& printer, const AskUser& ask);

    // True to go on: the data type suits what the spool file holds, or the user wants it sent
    // anyway (EMF data as RAW, printer-language data as NT EMF print garbage). Logged.
    bool ConfirmDataType(const std::wstring& dataType, const SpoolContents& contents, const AskUser& ask) const;

    // True to draw the job's pages for the printer, false to send it unchanged.
    bool ConfirmRedraw(const std::wstring& printerName, std::uint32_t pages, bool flagged, bool fitted,
                       const AskUser& ask) const {
        return ask({.Asked = PrintQuestion::RedrawPages, .Printer = printerName, .Pages = pages, .Flagged = flagged,
                    .Fitted = fitted});
    }

    // True to go on: the spool file is finished, or the user wants the pages it holds drawn
    // although the job may still be being spooled (its last page has no offset record).
    bool ConfirmUnfinishedJob(bool cutShort, const std::wstring& fileName, std::uint32_t pages,
                              const AskUser& ask) const {
        return !cutShort || ask({.Asked = PrintQuestion::IncompleteJob, .Pages = pages, .File = fileName});
    }

    // The job reached the spooler whole; one stopped at a question, failed or cancelled did not.
    void RecordPrinted(const JobOrigin& origin) { m_LastPrinted = origin; }

private:
    // The user's last answer about a printer whose driver is not the job's, for that pair of
    // drivers; a Yes holds until another pair is decided.
    struct SuitabilityDecision {
        std::wstring PrinterDriverName;
        std::wstring JobDriverName;
        bool Allowed = false;
    };

    bool AllowedBefore(const JobInfo& job, const PrinterEntry& printer) const;

    SamePathTest m_SamePath;
    JobOrigin m_LastPrinted;
    SuitabilityDecision m_LastDecision;
};
