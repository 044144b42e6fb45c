#include "Visualisation/PrintPolicy.h"

#include "logging/logog.h"
#include "textutil.h"

// By origin, not by spool path: each extraction of an archive gets a new path, and the same
// archive dropped twice is just the accident the question is for.
bool PrintPolicy::ConfirmRepeatPrint(const JobOrigin& origin, const AskUser& ask) const {
    bool same = !m_LastPrinted.Path.empty() && m_SamePath(m_LastPrinted.Path, origin.Path) &&
                m_SamePath(m_LastPrinted.Member, origin.Member);
    return !same || ask({PrintQuestion::PrintAgain, {}, {}});
}

bool PrintPolicy::ConfirmPrinterSuitability(const JobInfo& job, const PrinterEntry& printer, const AskUser& ask) {
    bool allowed = IsSuitablePrinter(PrinterEntry{job.PrinterName, job.PrinterDriverName}, printer) ||
                   AllowedBefore(job, printer) || ask({PrintQuestion::UnsuitablePrinter, {}, {}});
    m_LastDecision = SuitabilityDecision{printer.PrinterDriverName, job.PrinterDriverName, allowed};
    return allowed;
}

bool PrintPolicy::AllowedBefore(const JobInfo& job, const PrinterEntry& printer) const {
    return m_LastDecision.Allowed && m_LastDecision.PrinterDriverName == printer.PrinterDriverName &&
           m_LastDecision.JobDriverName == job.PrinterDriverName;
}

bool PrintPolicy::ConfirmDataType(const std::wstring& dataType, const SpoolContents& contents,
                                  const AskUser& ask) const {
    const std::optional<DataTypeMismatch> mismatch = FindDataTypeMismatch(dataType, contents);
    if (!mismatch) return true;
    LOGOG_INFO("The data type \"%s\" does not suit the spool file, which holds %s data",
               LogText(mismatch->DataType).c_str(), mismatch->ContentsName.c_str());
    const std::wstring contentsName(mismatch->ContentsName.begin(), mismatch->ContentsName.end());
    return ask({PrintQuestion::DataTypeMismatch, mismatch->DataType, contentsName});
}
