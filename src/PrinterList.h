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
