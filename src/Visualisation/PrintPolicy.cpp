#include "Visualisation/PrintPolicy.h"

// By origin, not by spool path: each extraction of an archive gets a new path, and the same
// archive dropped twice is just the accident the question is for.
bool PrintPolicy::ConfirmRepeatPrint(const JobOrigin& origin, const AskUser& ask) const {
    bool same = !m_LastPrinted.Path.empty() && m_SamePath(m_LastPrinted.Path, origin.Path) &&
                m_SamePath(m_LastPrinted.Member, origin.Member);
    return !same || ask(PrintQuestion::PrintAgain);
}

bool PrintPolicy::ConfirmPrinterSuitability(const JobInfo& job, const PrinterEntry& printer, const AskUser& ask) {
    bool allowed = IsSuitablePrinter(PrinterEntry{job.PrinterName, job.PrinterDriverName}, printer) ||
                   AllowedBefore(job, printer) || ask(PrintQuestion::UnsuitablePrinter);
    m_LastDecision = SuitabilityDecision{printer.PrinterDriverName, job.PrinterDriverName, allowed};
    return allowed;
}

bool PrintPolicy::AllowedBefore(const JobInfo& job, const PrinterEntry& printer) const {
    return m_LastDecision.Allowed && m_LastDecision.PrinterDriverName == printer.PrinterDriverName &&
           m_LastDecision.JobDriverName == job.PrinterDriverName;
}
