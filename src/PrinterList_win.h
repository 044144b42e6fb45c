// The installed printers that suit the current job: those whose driver is the job's driver.
#pragma once

#include <windows.h>
#include <winspool.h>

#include <string>
#include <vector>

struct PrinterEntry {
    std::wstring PrinterName;
    std::wstring PrinterDriverName;

    bool operator==(const PrinterEntry&) const = default;
};

// True when the reference's driver name is empty or equals the candidate's exactly
// (ordinal, case-sensitive, untrimmed). Printer names play no part.
bool IsSuitablePrinter(const PrinterEntry& candidate, const PrinterEntry& reference);

// winspool.h maps GetPrinter to GetPrinterW; here it names the list's own operation. Code
// that wants the spooler's function calls GetPrinterW.
#undef GetPrinter

// The process-wide list of suitable printers, in the spooler's enumeration order.
class PrinterList {
public:
    static PrinterList& Instance();

    // Re-enumerates the spooler's printers and keeps those suitable for the reference.
    // Returns the new count; a spooler failure is logged and leaves the list empty.
    unsigned FillPrinterList(const PrinterEntry& reference);

    // A copy of the entry; throws std::out_of_range when index >= Count().
    PrinterEntry GetPrinter(unsigned index) const;

    unsigned Count() const;

    PrinterList(const PrinterList&) = delete;
    PrinterList& operator=(const PrinterList&) = delete;

private:
    PrinterList() = default;

    std::vector<PrinterEntry> m_Printers;
};
