// A printer as the program lists it, and when it suits a job: by its driver's name.
#pragma once

#include <string>

struct PrinterEntry {
    std::wstring PrinterName;
    std::wstring PrinterDriverName;

    bool operator==(const PrinterEntry&) const = default;
};

// True when the reference's driver name is empty or equals the candidate's exactly
// (ordinal, case-sensitive, untrimmed). Printer names play no part.
bool IsSuitablePrinter(const PrinterEntry& candidate, const PrinterEntry& reference);

// Whether a printer's print processor takes a data type, as far as the spooler tells.
enum class DataTypeSupport { Listed, NotListed, CannotTell };

// What decides how an EMF job goes to a printer.
struct PrinterForEmf {
    bool JobsDriver = false;  // the printer's driver is the job's
    bool RawOnly = false;     // PRINTER_ATTRIBUTE_RAW_ONLY
    DataTypeSupport JobDataType = DataTypeSupport::CannotTell;
};
