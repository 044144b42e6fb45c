#include "PrinterList.h"

bool IsSuitablePrinter(const PrinterEntry& candidate, const PrinterEntry& reference) {
    if (reference.PrinterDriverName.empty()) return true;
    return candidate.PrinterDriverName == reference.PrinterDriverName;
}
