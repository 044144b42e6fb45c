// The installed printers that suit the current job, as the spooler lists them.
#pragma once

#include <windows.h>
#include <winspool.h>

#include <string>
#include <vector>

#include "PrinterList.h"

// winspool.h maps GetPrinter to GetPrinterW; here it names the list's own operation. Code
// that wants the spooler's function calls GetPrinterW.
#undef GetPrinter

// The spooler's answers about the printer for a job of this driver and data type: its
// attributes and driver (GetPrinter level 2) and its print processor's data types
// (EnumPrintProcessorDatatypes; "cannot tell" where that fails). Logged at debug.
PrinterForEmf DescribePrinterForEmf(const PrinterEntry& printer, const std::wstring& jobDriver,
                                    const std::wstring& dataType);

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
